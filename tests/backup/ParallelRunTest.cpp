// Jobs on a few threads, finished in their order: the limit, the keys that keep jobs apart,
// and the ways out when a job or its finish fails.

#include "backup/ParallelRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace veltor {
namespace {

using ::testing::ElementsAre;

TEST(ParallelSetting, OnlyWholeNumbersAboveZeroCountAndTheMostIsSixteen) {
    EXPECT_EQ(ReadParallelSetting(std::nullopt).limit, 1);
    EXPECT_FALSE(ReadParallelSetting(std::nullopt).unusable);
    EXPECT_EQ(ReadParallelSetting("1").limit, 1);
    EXPECT_FALSE(ReadParallelSetting("1").unusable);
    EXPECT_EQ(ReadParallelSetting("2").limit, 2);
    EXPECT_EQ(ReadParallelSetting("16").limit, 16);
    EXPECT_FALSE(ReadParallelSetting("16").capped);
    EXPECT_EQ(ReadParallelSetting("17").limit, 16);
    EXPECT_TRUE(ReadParallelSetting("17").capped);
    EXPECT_EQ(ReadParallelSetting("99999999999999999999999").limit, 16);
    for (const char* unusable : {"0", "", "dos", "2x", "-2", "2.5"}) {
        EXPECT_TRUE(ReadParallelSetting(std::string(unusable)).unusable) << unusable;
        EXPECT_EQ(ReadParallelSetting(std::string(unusable)).limit, 1) << unusable;
    }
}

// Counts the jobs running at once; each job holds on until `limit` run or a while has passed,
// so that a pool that could run more would show it.
struct Overlap {
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    int most = 0;

    void Hold(int until) {
        std::unique_lock lock(mutex);
        most = std::max(most, ++running);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return running >= until; });
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        lock.lock();
        --running;
    }
};

TEST(RunInOrder, RunsUpToTheLimitAtOnceAndFinishesInOrderWhateverEndsFirst) {
    for (std::size_t limit : {1u, 2u, 3u}) {
        Overlap overlap;
        std::vector<std::size_t> finished;
        std::vector<std::thread::id> threads(7);
        OrderedWork work;
        work.count = 7;
        work.limit = limit;
        work.work = [&](std::size_t job, std::size_t slot) {
            EXPECT_LT(slot, limit);
            threads[job] = std::this_thread::get_id();
            // The first job is the slowest: the others end before it.
            if (job == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            overlap.Hold(static_cast<int>(limit) + 1);
        };
        work.finish = [&](std::size_t job) {
            EXPECT_NE(threads[job], std::this_thread::get_id()) << "a job runs on a worker";
            finished.push_back(job);
        };
        RunInOrder(work);
        EXPECT_EQ(overlap.most, static_cast<int>(limit));
        EXPECT_THAT(finished, ElementsAre(0, 1, 2, 3, 4, 5, 6));
    }
}

TEST(RunInOrder, JobsOfOneKeyRunOneAfterAnotherInTheirOrder) {
    std::mutex mutex;
    std::vector<std::string> events;
    auto note = [&](const std::string& event) {
        std::lock_guard lock(mutex);
        events.push_back(event);
    };
    OrderedWork work;
    work.count = 3;
    work.limit = 3;
    work.keys = {"CONTA", "CONTA", "OTRA"};
    work.work = [&](std::size_t job, std::size_t) {
        note("start " + std::to_string(job));
        std::this_thread::sleep_for(std::chrono::milliseconds(job == 0 ? 100 : 10));
        note("end " + std::to_string(job));
    };
    work.finish = [](std::size_t) {};
    RunInOrder(work);
    const auto at = [&](const std::string& event) { return std::find(events.begin(), events.end(), event); };
    EXPECT_LT(at("end 0"), at("start 1"));
    // The other key did not wait.
    EXPECT_LT(at("start 2"), at("end 0"));
}

TEST(RunInOrder, AFailureEndsTheWholeAtItsTurnAndNoJobStartsAfterIt) {
    // The jobs after the one that fails take long enough for the caller to stop the rest.
    std::atomic<int> started = 0;
    std::size_t failing = 2;
    std::vector<std::size_t> finished;
    OrderedWork work;
    work.count = 6;
    work.limit = 1;
    work.work = [&](std::size_t job, std::size_t) {
        ++started;
        if (job > failing) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (job == failing) throw std::runtime_error("job");
    };
    work.finish = [&](std::size_t job) { finished.push_back(job); };
    try {
        RunInOrder(work);
        ADD_FAILURE() << "the job's failure was not raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "job");
    }
    EXPECT_THAT(finished, ElementsAre(0, 1));
    EXPECT_LE(started.load(), 4);

    // A finish that fails ends it the same way; the caller handled the window while it waited.
    started = 0;
    failing = 6;
    int waited = 0;
    work.work = [&](std::size_t, std::size_t) {
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    work.finish = [](std::size_t job) {
        if (job == 1) throw std::runtime_error("finish");
    };
    work.waiting = [&] { ++waited; };
    EXPECT_THROW(RunInOrder(work), std::runtime_error);
    EXPECT_LE(started.load(), 3);
    EXPECT_GT(waited, 0);
}

} // namespace
} // namespace veltor
