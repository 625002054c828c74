#include "backup/ParallelRun.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace veltor {

ParallelSetting ReadParallelSetting(const std::optional<std::string>& value) {
    ParallelSetting setting;
    if (!value) return setting;
    // A whole number above zero, digits only, as the other counts of ADMINBD.inf.
    long long number = 0;
    bool digits = !value->empty();
    for (const char c : *value) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        number = std::min<long long>(kMostParallelBackups + 1, number * 10 + (c - '0'));
    }
    if (!digits || number < 1) {
        setting.unusable = true;
        return setting;
    }
    setting.capped = number > kMostParallelBackups;
    setting.limit = static_cast<int>(std::min<long long>(number, kMostParallelBackups));
    return setting;
}

namespace {

class Jobs {
public:
    explicit Jobs(const OrderedWork& work)
        : work_(work), started_(work.count, false), ended_(work.count, false), errors_(work.count) {}

    // A worker: takes the first job free to start until none is left.
    void Serve(std::size_t slot) {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (stop_) return;
            const std::optional<std::size_t> job = NextFree();
            if (!job) {
                if (std::find(started_.begin(), started_.end(), false) == started_.end()) return;
                changed_.wait(lock);
                continue;
            }
            started_[*job] = true;
            lock.unlock();
            try {
                work_.work(*job, slot);
            } catch (...) {
                errors_[*job] = std::current_exception();
            }
            lock.lock();
            ended_[*job] = true;
            changed_.notify_all();
        }
    }

    // The caller: waits for `job` to end; its failure, if it had one, is raised.
    void AwaitEnd(std::size_t job) {
        std::unique_lock lock(mutex_);
        while (!ended_[job]) {
            changed_.wait_for(lock, std::chrono::milliseconds(50));
            if (ended_[job]) break;
            lock.unlock();
            if (work_.waiting) work_.waiting();
            lock.lock();
        }
        if (errors_[job]) std::rethrow_exception(errors_[job]);
    }

    void Stop() {
        std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }

private:
    // Called with the lock held.
    std::optional<std::size_t> NextFree() const {
        for (std::size_t job = 0; job < work_.count; ++job) {
            if (started_[job]) continue;
            bool free = true;
            for (std::size_t earlier = 0; earlier < job && free; ++earlier)
                free = ended_[earlier] || work_.keys.size() <= job || work_.keys[earlier] != work_.keys[job];
            if (free) return job;
        }
        return std::nullopt;
    }

    const OrderedWork& work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> started_;
    std::vector<bool> ended_;
    std::vector<std::exception_ptr> errors_;
    bool stop_ = false;
};

// Stops the jobs and waits for the workers on every way out.
class Workers {
public:
    explicit Workers(Jobs& jobs) : jobs_(jobs) {}
    ~Workers() {
        jobs_.Stop();
        for (std::thread& thread : threads_)
            thread.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
    void Start(std::size_t count) {
        for (std::size_t slot = 0; slot < count; ++slot)
            threads_.emplace_back([this, slot] { jobs_.Serve(slot); });
    }

private:
    Jobs& jobs_;
    std::vector<std::thread> threads_;
};

} // namespace

void RunInOrder(const OrderedWork& work) {
    if (work.count == 0) return;
    Jobs jobs(work);
    Workers workers(jobs);
    workers.Start(std::max<std::size_t>(1, std::min(work.limit, work.count)));
    for (std::size_t job = 0; job < work.count; ++job) {
        jobs.AwaitEnd(job);
        work.finish(job);
    }
}

} // namespace veltor
