// The side-file names the cycle builds from its run values, the exchange of the files step by
// step with each step failing, the reading of the transaction counter's reply and the page size
// of the restore.
#include "catalogue/CycleSelection.h"
#include "dbserver/DatabaseState.h"
#include "dbserver/FirebirdError.h"
#include "maintenance/BackupRestoreCycle.h"
#include "tests/support/FakeAttachments.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMaintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace veltor {
namespace {

TEST(CycleSideFiles, AWindowsPathWithForwardSlashesKeepsItsFolder) {
    EXPECT_EQ(RestoredFileName("C:/Conta/emp.gdb", '\\', "20261207-1245"), "C:/Conta/EMP-Restore-20261207-1245.GDB");
}

TEST(CycleSideFiles, BaseIsUpperCasedAndTheExtensionBecomesGdbWhileTheFolderKeepsItsCase) {
    EXPECT_EQ(RestoredFileName("D:\\Data\\emp2024.fdb", '\\', "20250303-0705"),
              "D:\\Data\\EMP2024-Restore-20250303-0705.GDB");
    EXPECT_EQ(KeptCopyFileName("D:\\Data\\emp2024.fdb", '\\', "20250303-0705"),
              "D:\\Data\\EMP2024-Copia-20250303-0705.GDB");
    EXPECT_EQ(KeptCopyFileName("/srv/Datos Veltor/emp.2024.gdb", '/', "20250303-0705"),
              "/srv/Datos Veltor/EMP.2024-Copia-20250303-0705.GDB");
    // Only a to z change case; a name without a dot is taken whole.
    EXPECT_EQ(RestoredFileName("/srv/añoñ_x", '/', "20250303-0705"), "/srv/AñOñ_X-Restore-20250303-0705.GDB");
    EXPECT_EQ(RestoredFileName("emp", '/', "20250303-0705"), "EMP-Restore-20250303-0705.GDB");
}

// The timer's selection holds a company from its restore hour for half an hour: a cycle stamped
// today at that hour or later has run in this window.
TEST(CycleWindow, ACycleStampedTodayFromTheRestoreHourOnHasRunInItsWindow) {
    EXPECT_TRUE(catalogue::CycledSinceRestoreHour("03:00", "03:00"));
    EXPECT_TRUE(catalogue::CycledSinceRestoreHour("3:29", "03:00       "));
    EXPECT_FALSE(catalogue::CycledSinceRestoreHour("02:59", "03:00"));
    EXPECT_FALSE(catalogue::CycledSinceRestoreHour("", "03:00"));
    EXPECT_FALSE(catalogue::CycledSinceRestoreHour("03:00", ""));
    EXPECT_FALSE(catalogue::CycledSinceRestoreHour("24:00", "03:00"));
    EXPECT_FALSE(catalogue::CycledSinceRestoreHour("03:60", "03:00"));
}

TEST(CycleSideFiles, FileStampIsZeroFilledDateAndMinute) {
    EXPECT_EQ(FileStampOf(test::MakeDateTime(2025, 3, 3, 7, 5, 59)), "20250303-0705");
    EXPECT_EQ(FileStampOf(test::MakeDateTime(2026, 12, 31, 23, 59)), "20261231-2359");
}

// The live name holds a database whichever step fails: a link that fails touches nothing; a
// rename that fails takes the kept name away again, and its own failure is the one reported
// even when that removal fails too. Each failure names its step.
TEST(CycleSwap, EachStepThatFailsLeavesTheLiveFileAtItsNameAndReportsItsOwnFailure) {
    using ::testing::ElementsAre;
    const std::string live = "D:\\Data\\emp.fdb", restored = "D:\\Data\\EMP-Restore-1.GDB",
                      kept = "D:\\Data\\EMP-Copia-1.GDB";
    auto failureOf = [&](test::RecordingDatabaseFiles& files) -> std::string {
        try {
            SwapInRestored(files, live, restored, kept);
        } catch (const OsError& e) {
            return e.what();
        }
        return {};
    };
    test::RecordingDatabaseFiles files;
    EXPECT_EQ(failureOf(files), "");
    EXPECT_THAT(files.calls, ElementsAre("link " + live + "|" + kept, "rename " + restored + "|" + live));

    test::RecordingDatabaseFiles linkFails;
    linkFails.failures.emplace("link", OsError("Cannot create a file when that file already exists.", 183));
    EXPECT_EQ(failureOf(linkFails), "no se pudo dar a la base de datos el nombre " + kept +
                                        ": Cannot create a file when that file already exists.");
    EXPECT_THAT(linkFails.calls, ElementsAre("link " + live + "|" + kept));

    const std::string renameFailure = "no se pudo renombrar " + restored + " por " + live + ": Access is denied.";
    test::RecordingDatabaseFiles renameFails;
    renameFails.failures.emplace("rename", OsError("Access is denied.", 5));
    EXPECT_EQ(failureOf(renameFails), renameFailure);
    EXPECT_THAT(renameFails.calls,
                ElementsAre("link " + live + "|" + kept, "rename " + restored + "|" + live, "remove " + kept));

    test::RecordingDatabaseFiles bothFail;
    bothFail.failures.emplace("rename", OsError("Access is denied.", 5));
    bothFail.failures.emplace("remove", OsError("The process cannot access the file.", 32));
    EXPECT_EQ(failureOf(bothFail), renameFailure);
}

// What would make a step fail with the system's words is told in ours before anything is
// touched: a kept name already taken (a second exchange of the database in the same minute),
// a live or restored name that holds a link or no file.
TEST(CycleSwap, ATakenKeptNameOrALinkAtEitherNameIsRefusedBeforeAnythingIsTouched) {
    const std::string live = "/srv/conta/emp.fdb", restored = "/srv/conta/EMP-Restore-1.GDB",
                      kept = "/srv/conta/EMP-Copia-1.GDB";
    struct Case {
        std::string name;
        NameHolds holds;
        std::string why;
    };
    for (const Case& c :
         {Case{kept, NameHolds::RegularFile, "ya existe " + kept}, Case{kept, NameHolds::Link, "ya existe " + kept},
          Case{live, NameHolds::Link, "la base de datos es un enlace: " + live},
          Case{live, NameHolds::Other, "la base de datos no es un archivo: " + live},
          Case{restored, NameHolds::Link, "el Archivo Restaurado es un enlace: " + restored},
          Case{restored, NameHolds::Other, "el Archivo Restaurado no es un archivo: " + restored}}) {
        SCOPED_TRACE(c.why);
        test::RecordingDatabaseFiles files;
        files.kinds = {{live, NameHolds::RegularFile}, {restored, NameHolds::RegularFile}};
        files.kinds[c.name] = c.holds;
        try {
            SwapInRestored(files, live, restored, kept);
            ADD_FAILURE() << "exchanged";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.why);
        }
        EXPECT_THAT(files.calls, ::testing::IsEmpty());
    }
}

TEST(CycleRoom, RestoredCopyNeedsTheSizeAndAMarginAndTheBackupTheSizeOnItsOwnVolume) {
    EXPECT_EQ(RestoreRoomFor(0), 64u * 1024 * 1024);
    EXPECT_EQ(RestoreRoomFor(2000), 2000u + 100 + 64 * 1024 * 1024);
    test::RecordingDatabaseFiles files;
    files.sizes["D:\\Data\\emp.fdb"] = 2000;
    files.rooms["D:\\Data\\"] = {RestoreRoomFor(2000), 7};
    files.rooms["C:\\Backups\\"] = {2000, 8};
    EXPECT_FALSE(RoomForTheCycle(files, "D:\\Data\\emp.fdb", "C:\\Backups\\", '\\'));
    files.rooms["C:\\Backups\\"] = {1999, 8};
    const auto missing = RoomForTheCycle(files, "D:\\Data\\emp.fdb", "C:\\Backups\\", '\\');
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->folder, "C:\\Backups\\");
    EXPECT_EQ(missing->needed, 2000u);
    EXPECT_EQ(missing->available, 1999u);
}

// The restore refuses a backup whose fingerprint moved since the backup wrote it: any one
// changed bit, anywhere in the file, must move it, however the reads split the file.
TEST(CycleFingerprint, FollowsEveryBitAndTheLengthButNotHowReadsSplitTheFile) {
    test::FakeFileSystem files;
    std::string bytes(1000 + 3, '\0'); // whole 32-byte blocks and a short last one
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    files.AddFile("a.GBK", bytes);
    const FileFingerprint whole = FingerprintOf(files, "a.GBK");
    EXPECT_EQ(whole.size, bytes.size());
    files.readChunk = 5;
    EXPECT_EQ(FingerprintOf(files, "a.GBK"), whole);

    for (const std::size_t at : {std::size_t{0}, std::size_t{7}, std::size_t{31}, std::size_t{500}, bytes.size() - 1})
        for (const int bit : {0, 7}) {
            std::string changed = bytes;
            changed[at] = static_cast<char>(changed[at] ^ (1 << bit));
            files.AddFile("a.GBK", changed);
            EXPECT_NE(FingerprintOf(files, "a.GBK").hash, whole.hash) << "byte " << at << " bit " << bit;
        }
    files.AddFile("a.GBK", bytes + std::string(1, '\0'));
    EXPECT_NE(FingerprintOf(files, "a.GBK"), whole);
}

TEST(DatabaseStateReply, ReadsTheLittleEndianValueOfAnyWidthAndRefusesOtherShapes) {
    const char four[] = {107, 4, 0, 0x39, 0x30, 0, 0, 1};
    EXPECT_EQ(FirebirdDatabaseState::ParseNextTransaction(four, sizeof four), 12345);
    const char eight[] = {107, 8, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(FirebirdDatabaseState::ParseNextTransaction(eight, sizeof eight), 0x100000001LL);
    const char truncated[] = {2, 1};
    EXPECT_THROW(FirebirdDatabaseState::ParseNextTransaction(truncated, sizeof truncated), fb::FirebirdError);
    const char unterminated[] = {107, 4, 0, 1, 0, 0, 0, 0};
    EXPECT_THROW(FirebirdDatabaseState::ParseNextTransaction(unterminated, sizeof unterminated), fb::FirebirdError);
    const char overlong[] = {107, 4, 0, 1, 0};
    EXPECT_THROW(FirebirdDatabaseState::ParseNextTransaction(overlong, sizeof overlong), fb::FirebirdError);
}

// The mark asks the page size first, then the counter: the reply holds them in that order.
TEST(DatabaseStateReply, MarkReadsThePageSizeThenTheCounterAndRefusesOtherShapes) {
    const char both[] = {14, 4, 0, 0x00, 0x40, 0, 0, 107, 4, 0, 0x39, 0x30, 0, 0, 1};
    const DatabaseMark mark = FirebirdDatabaseState::ParseMark(both, sizeof both);
    EXPECT_EQ(mark.pageSize, 16384u);
    EXPECT_EQ(mark.nextTransaction, 12345);
    const char narrow[] = {14, 2, 0, 0x00, 0x20, 107, 1, 0, 7, 1};
    EXPECT_EQ(FirebirdDatabaseState::ParseMark(narrow, sizeof narrow).pageSize, 8192u);

    const char counterFirst[] = {107, 4, 0, 0x39, 0x30, 0, 0, 14, 4, 0, 0x00, 0x40, 0, 0, 1};
    EXPECT_THROW(FirebirdDatabaseState::ParseMark(counterFirst, sizeof counterFirst), fb::FirebirdError);
    const char noPageSize[] = {107, 4, 0, 0x39, 0x30, 0, 0, 1};
    EXPECT_THROW(FirebirdDatabaseState::ParseMark(noPageSize, sizeof noPageSize), fb::FirebirdError);
    const char zeroPages[] = {14, 4, 0, 0, 0, 0, 0, 107, 1, 0, 7, 1};
    EXPECT_THROW(FirebirdDatabaseState::ParseMark(zeroPages, sizeof zeroPages), fb::FirebirdError);
    const char widePages[] = {14, 5, 0, 0x00, 0x40, 0, 0, 0, 107, 1, 0, 7, 1};
    EXPECT_THROW(FirebirdDatabaseState::ParseMark(widePages, sizeof widePages), fb::FirebirdError);
    const char unterminated[] = {14, 4, 0, 0x00, 0x40, 0, 0, 107, 1, 0, 7, 0};
    EXPECT_THROW(FirebirdDatabaseState::ParseMark(unterminated, sizeof unterminated), fb::FirebirdError);
    const char truncated[] = {14, 4, 0, 0x00, 0x40, 0, 0, 2};
    EXPECT_THROW(FirebirdDatabaseState::ParseMark(truncated, sizeof truncated), fb::FirebirdError);
}

// Up to 8192 bytes a restore takes 8192-byte pages, above it the live size; the neighbours of
// 8192 pin the threshold, though the engine only makes powers of two.
TEST(CycleRestorePageSize, SmallPagesAreRaisedTo8192AndLargerOnesKept) {
    EXPECT_EQ(RestorePageSize(4096u), 8192);
    EXPECT_EQ(RestorePageSize(8191u), 8192);
    EXPECT_EQ(RestorePageSize(8192u), 8192);
    EXPECT_EQ(RestorePageSize(8193u), 8193);
    EXPECT_EQ(RestorePageSize(16384u), 16384);
    EXPECT_EQ(RestorePageSize(32768u), 32768);
    // Unread: none is asked, and the server keeps the backup's page size.
    EXPECT_EQ(RestorePageSize(std::nullopt), 0);
}

TEST(DatabaseStateAttachment, CounterIsReadWithoutTriggersAndUtf8NamesAreFlagged) {
    test::RecordedAttachments recorded;
    test::gRecordedAttachments = &recorded;
    for (fb::FileNameBytes names : {fb::FileNameBytes::SystemCodePage, fb::FileNameBytes::Utf8}) {
        const fb::ClientApi api = test::RecordingAttachmentsApi(names);
        EXPECT_EQ(FirebirdDatabaseState(api).NextTransaction("/srv/Compañía/A.FDB"), 5);
    }
    test::gRecordedAttachments = nullptr;
    const std::string attributes = std::string("\x01\x1c\x06SYSDBA\x1d\x09quillbank\x48\x04\x01\x00\x00\x00", 26);
    EXPECT_THAT(recorded.blocks, ::testing::ElementsAre(attributes, attributes + std::string("\x4d\x00", 2)));
}

} // namespace
} // namespace veltor
