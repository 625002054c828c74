// The Windows adapters against the real system calls (run under Wine here).
#include "maintenance/CycleFiles.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Service.h"
#include "ports/Errors.h"
#include "tests/support/Win32AccessLists.h"

#include "platform/win32/WinApi.h"

#include <aclapi.h>
#include <sddl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

namespace veltor::win32 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorAlreadyExists = 183;

// A fresh folder under the user's temporary folder, removed with its content afterwards.
class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        folder = (fs::temp_directory_path() / ("veltor-" + std::to_string(random()))).string();
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string In(const std::string& name) const { return folder + "\\" + name; }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& path) {
        std::unique_ptr<IInputFile> file = files.OpenForReading(path);
        std::string bytes;
        char buffer[7]; // small, so the end of the file comes in the middle of a read
        while (const std::size_t n = file->Read(buffer, sizeof buffer))
            bytes.append(buffer, n);
        return bytes;
    }

    bool KeepsOwnAccessLists() const { return SystemKeepsOwnAccessLists(In("sonda")); }

    std::string folder;
    Win32FileSystem files;
};

TEST_F(Win32Files, SwapPutsTheRestoredFileInPlaceAndKeepsTheLiveOne) {
    Win32DatabaseFiles databases;
    Put(In("EMP.FDB"), "live");
    Put(In("EMP-Restore-20261207-1245.GDB"), "restored");
    SwapInRestored(databases, In("EMP.FDB"), In("EMP-Restore-20261207-1245.GDB"), In("EMP-Copia-20261207-1245.GDB"));
    EXPECT_EQ(Read(In("EMP.FDB")), "restored");
    EXPECT_EQ(Read(In("EMP-Copia-20261207-1245.GDB")), "live");
    EXPECT_FALSE(fs::exists(In("EMP-Restore-20261207-1245.GDB")));

    // A kept name that is taken, or a restored file that is missing, leaves the live file.
    Put(In("EMP-Restore-20261207-1245.GDB"), "again");
    try {
        SwapInRestored(databases, In("EMP.FDB"), In("EMP-Restore-20261207-1245.GDB"),
                       In("EMP-Copia-20261207-1245.GDB"));
        ADD_FAILURE() << "exchanged over a kept name that is taken";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(e.what(), "ya existe " + In("EMP-Copia-20261207-1245.GDB"));
    }
    EXPECT_THROW(SwapInRestored(databases, In("EMP.FDB"), In("NONE.GDB"), In("EMP-Copia2.GDB")), OsError);
    EXPECT_EQ(Read(In("EMP.FDB")), "restored");
    EXPECT_EQ(Read(In("EMP-Copia-20261207-1245.GDB")), "live");
    EXPECT_EQ(Read(In("EMP-Restore-20261207-1245.GDB")), "again");
    EXPECT_FALSE(fs::exists(In("EMP-Copia2.GDB")));
}

TEST_F(Win32Files, DatabaseFilesTellLinksSizesRoomAndTheLeftOversOfACycleCutShort) {
    Win32DatabaseFiles databases;
    Put(In("EMP.FDB"), "live");
    databases.LinkFile(In("EMP.FDB"), In("EMP-Copia-20261101-0300.GDB"));
    Put(In("EMP-Restore-20261101-0300.GDB"), "restored");
    Put(In("EMP-Copia-20261001-0300.GDB"), "an exchange that ended");
    EXPECT_TRUE(databases.SameFile(In("EMP.FDB"), In("EMP-Copia-20261101-0300.GDB")));
    EXPECT_FALSE(databases.SameFile(In("EMP.FDB"), In("EMP-Copia-20261001-0300.GDB")));
    EXPECT_FALSE(databases.SameFile(In("EMP.FDB"), In("NONE.GDB")));
    EXPECT_EQ(databases.FileSize(In("EMP.FDB")), 4u);
    EXPECT_THROW(databases.FileSize(In("NONE.GDB")), OsError);
    {
        // The last change in local time, to the second.
        const SYSTEMTIME local{2026, 3, 3, 4, 5, 6, 7, 0};
        SYSTEMTIME universal{};
        FILETIME moment{};
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal));
        ASSERT_TRUE(SystemTimeToFileTime(&universal, &moment));
        HANDLE file = CreateFileW(fs::path(In("EMP.FDB")).wstring().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &moment));
        CloseHandle(file);
        const LocalDateTime written = databases.LastWritten(In("EMP.FDB"));
        EXPECT_EQ(std::vector<int>({written.year, written.month, written.day, written.hour, written.minute,
                                    written.second, written.weekday}),
                  std::vector<int>({2026, 3, 4, 5, 6, 7, 3}));
        EXPECT_THROW(databases.LastWritten(In("NONE.GDB")), OsError);
    }
    EXPECT_THROW(databases.LinkFile(In("EMP.FDB"), In("EMP-Copia-20261001-0300.GDB")), OsError);

    const LeftOvers found = FindLeftOvers(databases, In("emp.fdb"), '\\');
    EXPECT_EQ(found.keptLinks, std::vector<std::string>{In("EMP-Copia-20261101-0300.GDB")});
    EXPECT_EQ(found.restoredFiles, std::vector<std::string>{In("EMP-Restore-20261101-0300.GDB")});

    const VolumeRoom room = databases.RoomIn(folder + "\\");
    EXPECT_GT(room.available, 0u);
    EXPECT_EQ(room.volume, databases.RoomIn(folder).volume);
    EXPECT_THROW(databases.RoomIn(In("NONE")), OsError);
    EXPECT_TRUE(databases.RemoveFile(In("EMP-Copia-20261101-0300.GDB")));
    EXPECT_FALSE(databases.RemoveFile(In("EMP-Copia-20261101-0300.GDB")));
    EXPECT_EQ(Read(In("EMP.FDB")), "live");
    databases.RenameOver(In("EMP-Restore-20261101-0300.GDB"), In("EMP.FDB"));
    EXPECT_EQ(Read(In("EMP.FDB")), "restored");
    EXPECT_THROW(databases.RenameOver(In("NONE.GDB"), In("EMP.FDB")), OsError);
    EXPECT_EQ(databases.FileNamesIn(folder).size(), 2u);
    EXPECT_EQ(databases.WhatIsAt(In("EMP.FDB")), NameHolds::RegularFile);
    EXPECT_EQ(databases.WhatIsAt(folder), NameHolds::Other);
    EXPECT_EQ(databases.WhatIsAt(In("NONE.GDB")), NameHolds::Nothing);
    EXPECT_EQ(databases.WhatIsAt(In("NONE\\EMP.FDB")), NameHolds::Nothing);
}

TEST_F(Win32Files, AppendWritesAtTheEndAndCreatesAMissingFile) {
    Put(In("log.txt"), "abc");
    std::unique_ptr<IAppendFile> log = files.OpenForAppend(In("log.txt"));
    log->Write("def\r\n");
    log->Write(" \r\n");
    log->Close();
    EXPECT_EQ(Read(In("log.txt")), "abcdef\r\n \r\n");

    std::unique_ptr<IAppendFile> fresh = files.OpenForAppend(In("new.txt"));
    fresh->Write("x");
    fresh.reset(); // the destructor writes out what is buffered
    EXPECT_EQ(Read(In("new.txt")), "x");
}

TEST_F(Win32Files, AppendKeepsEveryByteOfLongWrites) {
    std::string chunk(1000, 'a');
    chunk.back() = '\n';
    std::unique_ptr<IAppendFile> log = files.OpenForAppend(In("big.txt"));
    for (int i = 0; i < 200; ++i)
        log->Write(chunk);
    log->Close();
    EXPECT_EQ(fs::file_size(In("big.txt")), 200000u);
}

TEST_F(Win32Files, SecondWriterIsRefusedWhileReadersMayOpen) {
    std::unique_ptr<IAppendFile> first = files.OpenForAppend(In("month.txt"));
    first->Write("held");
    try {
        files.OpenForAppend(In("month.txt"));
        FAIL() << "a second writer was let in";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), kErrorSharingViolation);
        EXPECT_THAT(e.what(), Not(HasSubstr("\n")));
    }
    EXPECT_EQ(Read(In("month.txt")), "held"); // readable while held, each write already in it
    first->Close();
    EXPECT_EQ(Read(In("month.txt")), "held");
    EXPECT_NO_THROW(files.OpenForAppend(In("month.txt"))->Close());
}

TEST_F(Win32Files, CopyNeverOverwrites) {
    Put(In("a.cop"), "template");
    EXPECT_TRUE(files.CopyFileNoOverwrite(In("a.cop"), In("a.inf")));
    EXPECT_EQ(Read(In("a.inf")), "template");

    Put(In("b.cop"), "other");
    EXPECT_FALSE(files.CopyFileNoOverwrite(In("b.cop"), In("a.inf")));
    EXPECT_EQ(Read(In("a.inf")), "template");
    EXPECT_FALSE(files.CopyFileNoOverwrite(In("missing.cop"), In("c.inf")));
    EXPECT_FALSE(files.FileExists(In("c.inf")));
}

TEST_F(Win32Files, RemoveTellsAMissingFileFromAFailure) {
    Put(In("nota.inf"), "x");
    EXPECT_TRUE(files.RemoveFile(In("nota.inf")));
    EXPECT_FALSE(files.FileExists(In("nota.inf")));
    EXPECT_FALSE(files.RemoveFile(In("nota.inf")));
    EXPECT_FALSE(files.RemoveFile(In("falta\\nota.inf")));
    files.CreateDirectory(In("carpeta"));
    EXPECT_THROW(files.RemoveFile(In("carpeta")), OsError);
}

TEST_F(Win32Files, CreatesOneFolderLevelAndTellsFilesFromFolders) {
    files.CreateDirectory(In("Backups"));
    EXPECT_TRUE(files.DirectoryExists(In("Backups")));
    EXPECT_FALSE(files.FileExists(In("Backups")));
    Put(In("f.txt"), "");
    EXPECT_TRUE(files.FileExists(In("f.txt")));
    EXPECT_FALSE(files.DirectoryExists(In("f.txt")));
    EXPECT_FALSE(files.FileExists(In("none")));
    EXPECT_FALSE(files.DirectoryExists(In("none")));

    try {
        files.CreateDirectory(In("x\\y"));
        FAIL() << "two levels were created";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), kErrorPathNotFound);
    }
    EXPECT_FALSE(files.DirectoryExists(In("x")));
    try {
        files.CreateDirectory(In("Backups"));
        FAIL() << "an existing folder was created again";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), kErrorAlreadyExists);
    }
}

TEST_F(Win32Files, FailuresCarryTheSystemMessage) {
    try {
        files.OpenForReading(In("ADMINBD.inf"));
        FAIL() << "a missing file was opened";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), kErrorFileNotFound);
        EXPECT_STRNE(e.what(), "");
        EXPECT_STRNE(e.what(), "Error 2");
        EXPECT_THAT(e.what(), Not(HasSubstr("\r\n")));
    }
    EXPECT_THROW(files.OpenForAppend(In("no-folder\\log.txt")), OsError);
}

TEST_F(Win32Files, ListsPlainFilesAndTellsTheirSize) {
    Put(In("status.json"), "new content");
    EXPECT_EQ(files.FileSize(In("status.json")), 11u);
    EXPECT_THROW(files.FileSize(In("none")), OsError);
    fs::create_directory(In("sub"));
    Put(In("EMP-20261207-1245.GBK"), "b");
    std::vector<std::string> names = files.ListFiles(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EMP-20261207-1245.GBK", "status.json"}));
    EXPECT_EQ(files.ListFiles(folder + "\\").size(), 2u);
    EXPECT_THROW(files.ListFiles(In("none")), OsError);
}

TEST_F(Win32Files, NewFilesNeverReplaceAndPublishingReplacesTheNameOnlyWhenAsked) {
    Put(In("estado.txt"), "anterior");
    EXPECT_THROW(files.CreateNew(In("estado.txt")), OsError);
    EXPECT_EQ(Read(In("estado.txt")), "anterior");
    auto fresh = files.CreateNew(In("estado.tmp"));
    fresh->Write("OK\r\n");
    fresh->Close();
    files.PublishFile(In("estado.tmp"), In("estado.txt"), IFileSystem::Existing::Replace);
    EXPECT_EQ(Read(In("estado.txt")), "OK\r\n");
    EXPECT_FALSE(fs::exists(In("estado.tmp")));
    Put(In("estado.tmp"), "nuevo");
    EXPECT_THROW(files.PublishFile(In("estado.tmp"), In("estado.txt"), IFileSystem::Existing::Keep), OsError);
    EXPECT_EQ(Read(In("estado.txt")), "OK\r\n");
    EXPECT_EQ(Read(In("estado.tmp")), "nuevo");
}

TEST_F(Win32Files, AFileLockKeepsEveryOtherHolderOutUntilItGoes) {
    auto first = files.TryLockFile(In("Backup en curso.lock"));
    ASSERT_TRUE(first);
    EXPECT_FALSE(files.TryLockFile(In("Backup en curso.lock")));
    first.reset();
    EXPECT_TRUE(files.TryLockFile(In("Backup en curso.lock")));
}

TEST_F(Win32Files, LinksFoldersAndSecondNamesAreRefusedAsFiles) {
    Put(In("secreto.txt"), "solo administradores");
    // A second name of another file under the month log's name.
    ASSERT_TRUE(CreateHardLinkA(In("Log Backup Veltor 202612.txt").c_str(), In("secreto.txt").c_str(), nullptr));
    EXPECT_THROW(files.OpenForAppend(In("Log Backup Veltor 202612.txt")), OsError);
    fs::create_directory(In("carpeta.GBK"));
    EXPECT_THROW(files.OpenForReading(In("carpeta.GBK")), OsError);
    EXPECT_THROW(files.OpenForAppend(In("carpeta.GBK")), OsError);
    // A symbolic link, where the system lets us make one (Windows asks for a privilege).
    if (!CreateSymbolicLinkA(In("enlace.txt").c_str(), In("secreto.txt").c_str(), 0))
        GTEST_SKIP() << "no symbolic link here: " << GetLastError();
    // Wine 8 says it made the link, but what it made is no reparse point.
    const DWORD attributes = GetFileAttributesA(In("enlace.txt").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        GTEST_SKIP() << "links are not reparse points here: only Windows shows the refusal";
    try {
        files.OpenForAppend(In("enlace.txt"));
        ADD_FAILURE() << "the link was opened";
    } catch (const OsError& e) {
        EXPECT_STREQ(e.what(), kIsSymbolicLink);
    }
    EXPECT_THROW(files.OpenForReading(In("enlace.txt")), OsError);
    EXPECT_EQ(Read(In("secreto.txt")), "solo administradores");
}

// A monitoring check reading the status file does not keep the run from publishing the next one,
// and the service's output starts again past its limit under a reader's nose; a holder that
// shares no writing keeps the output out, and it comes back once the holder goes.
TEST_F(Win32Files, ReadersLetTheFilesTheyHoldBeReplacedOrStartedAgain) {
    Put(In("previo.json"), "old");
    Put(In("status.json"), "old");
    Put(In("status.json.tmp"), "new");
    {
        const std::unique_ptr<IInputFile> held = files.OpenForReading(In("previo.json"));
        EXPECT_TRUE(DeleteFileA(In("previo.json").c_str())) << "the reader shares no deletion: " << GetLastError();
        const std::unique_ptr<IInputFile> reader = files.OpenForReading(In("status.json"));
        try {
            files.PublishFile(In("status.json.tmp"), In("status.json"), IFileSystem::Existing::Replace);
        } catch (const OsError& e) {
            // Wine 8 has no rename of POSIX semantics, and the classic one refuses a name held open.
            if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr)
                ADD_FAILURE() << "not published over a reader: " << e.what();
        }
    }
    if (!fs::exists(In("status.json.tmp"))) {
        EXPECT_EQ(Read(In("status.json")), "new");
    }
    const std::string output = In(kServiceOutputFile);
    {
        ServiceOutput service(output, 10);
        const Handle reader(CreateFileA(output.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader.valid());
        service.Write("0123456789"); // at the limit: kept
        EXPECT_EQ(Read(output), "0123456789");
        service.Write("a"); // past it: started again
        EXPECT_EQ(Read(output), "");
        service.Write("b");
        EXPECT_EQ(Read(output), "b");
    }
    Handle holder(CreateFileA(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid());
    ServiceOutput service(output, 10);
    EXPECT_FALSE(service.IsOpen());
    service.Write("lost");
    holder.Close();
    service.Write("c");
    EXPECT_EQ(Read(output), "bc");
}

// The restored file takes the live one's owner and access list, an entry of its own included;
// a second name or a link under either name is refused.
TEST_F(Win32Files, MatchAccessGivesTheRestoredFileTheLiveFilesOwnerAndAccessList) {
    Win32DatabaseFiles databases;
    Put(In("EMP.FDB"), "live");
    Put(In("EMP-Restore.GDB"), "restored");
    PSID service = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SERVICE_RID, 0, 0, 0, 0, 0, 0, 0, &service));
    EXPLICIT_ACCESS_A entry{};
    entry.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.ptstrName = static_cast<LPSTR>(service);
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclA(1, &entry, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    {
        const Handle live(CreateFileA(In("EMP.FDB").c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_EQ(
            SetSecurityInfo(live.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
    }
    LocalFree(acl);
    FreeSid(service);
    const auto sddl = [](const std::string& path) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        EXPECT_EQ(
            GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
        char* text = nullptr;
        EXPECT_TRUE(
            ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, what, &text, nullptr));
        std::string result = text != nullptr ? text : "";
        LocalFree(text);
        LocalFree(descriptor);
        return result;
    };
    databases.MatchAccess(In("EMP.FDB"), In("EMP-Restore.GDB"));
    const std::string live = sddl(In("EMP.FDB"));
    EXPECT_EQ(sddl(In("EMP-Restore.GDB")), live);
    if (live.find("LS") == std::string::npos)
        std::cout << "this system keeps no access list of a file's own: only Windows shows the entry kept\n";

    ASSERT_TRUE(CreateHardLinkA(In("otro.GDB").c_str(), In("EMP-Restore.GDB").c_str(), nullptr));
    try {
        databases.MatchAccess(In("EMP.FDB"), In("EMP-Restore.GDB"));
        ADD_FAILURE() << "a file with a second name took the access list";
    } catch (const OsError& e) {
        EXPECT_STREQ(e.what(), kHasSecondName);
    }
    EXPECT_THROW(databases.MatchAccess(In("nada.FDB"), In("otro.GDB")), OsError);
    if (CreateSymbolicLinkA(In("enlace.GDB").c_str(), In("EMP.FDB").c_str(), 0) &&
        (GetFileAttributesA(In("enlace.GDB").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        EXPECT_THROW(databases.MatchAccess(In("EMP.FDB"), In("enlace.GDB")), OsError);
        EXPECT_THROW(databases.MatchAccess(In("enlace.GDB"), In("otro.GDB")), OsError);
    }
}

// The access list of a folder made for backups: its own (not C:\'s), for the administrators,
// SYSTEM and the account of the database server's service.
TEST_F(Win32Files, NewBackupFolderHasItsOwnAccessListForAdministratorsSystemAndTheServersAccount) {
    const std::string service = "VeltorAclTest" + std::to_string(GetCurrentProcessId());
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE created =
        CreateServiceA(manager, service.c_str(), service.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "C:\\windows\\system32\\cmd.exe", nullptr, nullptr,
                       nullptr, "NT AUTHORITY\\LocalService", "");
    ASSERT_NE(created, nullptr) << GetLastError();

    Win32FileSystem withServer({"NoSuchService", service});
    withServer.CreateDirectory(In("Backups"));
    DeleteService(created);
    CloseServiceHandle(created);
    CloseServiceHandle(manager);
    // The folder is made, and what is made inside it can be written.
    Put(In("Backups\\x.GBK"), "copia");
    EXPECT_EQ(Read(In("Backups\\x.GBK")), "copia");

    if (!KeepsOwnAccessLists())
        GTEST_SKIP() << "this system keeps no access list of a file's own: only Windows shows it";

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(In("Backups").c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "the folder inherits its parent's list";
    ASSERT_NE(dacl, nullptr);
    std::vector<std::string> trustees;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        char* text = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(&ace->SidStart, &text));
        trustees.push_back(std::string(text) + (ace->Mask == FILE_ALL_ACCESS ? " full" : " modify"));
        LocalFree(text);
    }
    LocalFree(descriptor);
    // Administrators, SYSTEM, LOCAL SERVICE.
    EXPECT_THAT(trustees, ::testing::ElementsAre("S-1-5-32-544 full", "S-1-5-18 full", "S-1-5-19 modify"));
}

// The data folder's list: the one text, as Windows reads it, is one the start-up check leaves
// alone, and the folder gets it.
TEST_F(Win32Files, DataFolderGetsTheProtectedListOfItsOneText) {
    const access::List wanted = AccessListOfSddl(access::kDataFolderSddl);
    EXPECT_EQ(wanted.owner, "S-1-5-32-544");
    EXPECT_FALSE(wanted.inherits);
    EXPECT_FALSE(access::LessProtectedThanDataFolder(wanted));
    std::vector<std::string> entries;
    for (const access::Entry& entry : wanted.entries)
        entries.push_back(entry.sid + (entry.rights == FILE_ALL_ACCESS ? " full" : " other"));
    EXPECT_THAT(entries, ::testing::ElementsAre("S-1-5-32-544 full", "S-1-5-18 full"));

    ProtectDataFolder(folder);
    if (!KeepsOwnAccessLists())
        GTEST_SKIP() << "this system keeps no access list of a file's own: only Windows shows it";
    EXPECT_FALSE(access::LessProtectedThanDataFolder(ReadAccessList(folder)));
    EXPECT_FALSE(ProtectDataFolderWhenLess(folder));
}

// The script is taken by its full path from the current folder, with its argument; a missing one
// is not started and nobody is told.
TEST_F(Win32Files, ScriptStartsByItsFullPathInTheCurrentFolder) {
    char previous[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    Win32ShellLauncher launcher;
    const ScriptLaunch missing = launcher.LaunchScript("gfixonline.Bat", "C:\\X.FDB");
    Put(In("gfixonline.Bat"), "@echo %~1> \"%~dp0argumento.txt\"\r\n");
    const ScriptLaunch launch = launcher.LaunchScript("gfixonline.Bat", "C:\\X.FDB");
    SetCurrentDirectoryA(previous);
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.refused, "");
    ASSERT_TRUE(launch.started) << launch.refused;
    // file_size answers -1 for a file not there yet.
    std::error_code ignored;
    for (int i = 0; i < 200 && fs::file_size(In("argumento.txt"), ignored) + 1 < 9; ++i)
        Sleep(50);
    EXPECT_THAT(Read(In("argumento.txt")), HasSubstr("C:\\X.FDB"));
}

TEST(Win32FileSystem, SeparatorIsTheBackslash) {
    EXPECT_EQ(Win32FileSystem().PathSeparator(), '\\');
}

TEST(Win32RegionalFormats, FormatsTheMomentGivenWithTheUserSettings) {
    const LocalDateTime moment{2026, 12, 7, 12, 45, 3, 1};
    Win32RegionalFormats formats;
    const std::string date = formats.ShortDate(moment);
    const std::string time = formats.LongTime(moment);
    EXPECT_THAT(date, HasSubstr("12"));
    EXPECT_THAT(date, HasSubstr("7"));
    EXPECT_THAT(date, HasSubstr("26"));
    EXPECT_THAT(time, HasSubstr("45"));
    EXPECT_THAT(time, HasSubstr("03"));
    EXPECT_EQ(formats.ShortDate(LocalDateTime{2026, 13, 40, 0, 0, 0, 0}), "");
}

TEST(Win32Clock, GivesTheLocalMomentAndATickThatAdvancesWithSleep) {
    Win32Clock clock;
    const LocalDateTime now = clock.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.weekday, 0);
    EXPECT_LE(now.weekday, 6);
    const std::uint32_t before = clock.TickCount();
    clock.Sleep(60);
    EXPECT_GE(static_cast<std::uint32_t>(clock.TickCount() - before), 40u);
}

TEST(Win32OsVersion, ReportsTheNtFamily) {
    const std::optional<OsVersionInfo> version = Win32OsVersion().Query();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->platformId, 2u);
    EXPECT_GE(version->major, 5u);
}

TEST(Win32ServiceManager, OpensTheLocalManagerAndReportsAnUnknownService) {
    Win32ServiceManager manager;
    const ServiceHandle scm = manager.OpenManager(nullptr, service::kActiveDatabase, service::kManagerConnect);
    ASSERT_NE(scm, kNoServiceHandle) << manager.LastError();
    EXPECT_EQ(manager.OpenServiceByName(scm, "VeltorNoSuchService", service::kQueryStatus), kNoServiceHandle);
    EXPECT_EQ(manager.LastError(), service::kErrorServiceDoesNotExist);

    // Every Windows installation, Wine's too, has the plug-and-play service.
    const ServiceHandle known =
        manager.OpenServiceByName(scm, "PlugPlay", service::kQueryStatus | service::kEnumerateDependents);
    ASSERT_NE(known, kNoServiceHandle) << manager.LastError();
    ServiceStatus status;
    EXPECT_TRUE(manager.QueryStatus(known, status));
    EXPECT_GE(status.dwCurrentState, service::kStopped);
    EXPECT_LE(status.dwCurrentState, service::kPaused);
    EXPECT_NE(status.dwServiceType, 0u); // filled by the query
    std::uint32_t needed = 99;
    std::uint32_t count = 99;
    EXPECT_TRUE(manager.EnumerateDependents(known, service::kStateActive, nullptr, 0, needed, count));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(manager.Close(known));
    EXPECT_TRUE(manager.Close(scm));
}

TEST(Win32Elevation, WineUserIsAnAdministrator) {
    EXPECT_TRUE(Win32Elevation().IsAdministrator());
}

TEST(Win32Confirmation, NobodyIsAskedThroughAPipe) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    DWORD written = 0;
    WriteFile(write, "si\r\n", 4, &written, nullptr);
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, read);
    SetStdHandle(STD_OUTPUT_HANDLE, write);
    Win32Confirmation confirmation;
    EXPECT_FALSE(confirmation.CanAsk());
    // The answer in the pipe is not taken: nobody typed it.
    EXPECT_FALSE(confirmation.Confirm(""));
    SetStdHandle(STD_INPUT_HANDLE, in);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    CloseHandle(read);
    CloseHandle(write);
}

// fbclient.dll stand-ins, built into folders under the tests' bin folder.
std::string FakeClientFolder(const char* kind) {
    return ProgramFolder() + "\\test-fbclient\\" + kind;
}

TEST(FbClientLoader, MissingLibraryIsReportedAndNothingIsLoaded) {
    const char* why = nullptr;
    EXPECT_EQ(fb::LoadClientApi(&why), nullptr);
    ASSERT_NE(why, nullptr);
    EXPECT_THAT(why, HasSubstr("fbclient.dll"));
    EXPECT_THAT(why, HasSubstr("PATH"));
    // Asked again, the answer is the same.
    const char* again = nullptr;
    EXPECT_EQ(fb::LoadClientApi(&again), nullptr);
    EXPECT_STREQ(again, why);
}

TEST(FbClientLoader, FillsEverySlotFromItsOwnEntryPoint) {
    std::string why = "stale";
    const std::optional<fb::ClientApi> api =
        LoadClientApiFrom({FakeClientFolder("none"), FakeClientFolder("full"), FakeClientFolder("partial")}, why);
    ASSERT_TRUE(api.has_value()) << why;
    EXPECT_EQ(why, "");
    fb::Status s[fb::kStatusLength] = {};
    fb::Handle h = 0;
    std::int32_t r = 0;
    char b[16] = {};
    const fb::Status* cursor = s;
    EXPECT_EQ(api->attach_database(s, 0, "", &h, 0, ""), 101);
    EXPECT_EQ(api->detach_database(s, &h), 102);
    EXPECT_EQ(api->database_info(s, &h, 0, "", 0, b), 103);
    EXPECT_EQ(api->start_multiple(s, &h, 0, nullptr), 104);
    EXPECT_EQ(api->commit_transaction(s, &h), 105);
    EXPECT_EQ(api->rollback_transaction(s, &h), 106);
    EXPECT_EQ(api->dsql_allocate_statement(s, &h, &h), 107);
    EXPECT_EQ(api->dsql_prepare(s, &h, &h, 0, "", 1, nullptr), 108);
    EXPECT_EQ(api->dsql_describe(s, &h, 1, nullptr), 109);
    EXPECT_EQ(api->dsql_execute(s, &h, &h, 1, nullptr), 110);
    EXPECT_EQ(api->dsql_fetch(s, &h, 1, nullptr), 111);
    EXPECT_EQ(api->dsql_free_statement(s, &h, 1), 112);
    EXPECT_EQ(api->dsql_sql_info(s, &h, 0, "", 0, b), 113);
    EXPECT_EQ(api->service_attach(s, 0, "", &h, 0, ""), 114);
    EXPECT_EQ(api->service_detach(s, &h), 115);
    EXPECT_EQ(api->service_start(s, &h, &r, 0, ""), 116);
    EXPECT_EQ(api->service_query(s, &h, &r, 0, "", 0, "", 0, b), 117);
    EXPECT_EQ(api->sqlcode(s), 118);
    EXPECT_EQ(api->interpret(b, sizeof b, &cursor), 119);
    EXPECT_STREQ(b, "fake");
    EXPECT_EQ(api->shutdown(0, fb::kShutdownApplicationStopped), 120);
}

TEST(FbClientLoader, NamesTheEntryPointALibraryLacks) {
    std::string why;
    EXPECT_FALSE(LoadClientApiFrom({FakeClientFolder("partial"), FakeClientFolder("full")}, why).has_value());
    EXPECT_THAT(why, HasSubstr("isc_service_query"));
    EXPECT_THAT(why, HasSubstr("partial\\fbclient.dll"));
}

// A server's folders as its installer leaves them: the FIREBIRD variable and the instance in
// the registry, each naming a root that holds the stand-in fbclient.dll. Undone afterwards.
class FbClientSearch : public Win32Files {
protected:
    static constexpr const char* kInstances = "SOFTWARE\\Firebird Project\\Firebird Server\\Instances";

    void TearDown() override {
        SetEnvironmentVariableA("FIREBIRD", nullptr);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kInstances);
        Win32Files::TearDown();
    }
    // A root with the stand-in library and, when asked, the engine of the local protocol.
    std::string ServerRoot(const std::string& name, bool withEngine) {
        const std::string root = In(name);
        fs::create_directories(root + "\\plugins");
        fs::copy_file(FakeClientFolder("full") + "\\fbclient.dll", root + "\\fbclient.dll");
        if (withEngine) Put(root + "\\plugins\\engine12.dll", "");
        return root;
    }
    void Register(const std::string& root) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstances, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::string value = root + "\\";
        RegSetValueExA(key, "DefaultInstance", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
};

TEST_F(FbClientSearch, TheServersOwnLibraryComesBeforeTheProgramsFolderAndThePath) {
    const std::string named = ServerRoot("named", true);
    const std::string registered = ServerRoot("registered", true);
    SetEnvironmentVariableA("FIREBIRD", named.c_str());
    ASSERT_NO_FATAL_FAILURE(Register(registered));

    const std::vector<ClientFolder> folders = ClientLibraryFolders();
    ASSERT_GE(folders.size(), 5u);
    EXPECT_EQ(folders[0].folder, named);
    EXPECT_EQ(folders[0].origin, "variable FIREBIRD");
    EXPECT_EQ(folders[1].folder, named + "\\bin");
    EXPECT_EQ(folders[2].folder, registered + "\\");
    EXPECT_EQ(folders[2].origin, "servidor registrado");
    EXPECT_EQ(folders[4].folder, ProgramFolder());
    EXPECT_EQ(folders.back().origin, "PATH");

    std::string why;
    std::optional<LoadedClient> loaded = LoadClientFrom(folders, why);
    ASSERT_TRUE(loaded) << why;
    EXPECT_EQ(loaded->facts.loadedFrom, named + "\\fbclient.dll (variable FIREBIRD)");
    EXPECT_EQ(loaded->facts.noLocalEngine, "");

    // Without the variable, the registered server's library.
    SetEnvironmentVariableA("FIREBIRD", nullptr);
    loaded = LoadClientFrom(ClientLibraryFolders(), why);
    ASSERT_TRUE(loaded) << why;
    EXPECT_THAT(loaded->facts.loadedFrom, HasSubstr("registered\\fbclient.dll (servidor registrado)"));
}

TEST_F(FbClientSearch, ALibraryWithoutTheEngineBesideItSaysTheLocalRestoreCannotWork) {
    std::string why;
    const std::optional<LoadedClient> clientOnly = LoadClientFrom({{ServerRoot("client", false), "PATH"}}, why);
    ASSERT_TRUE(clientOnly) << why;
    EXPECT_THAT(clientOnly->facts.noLocalEngine, HasSubstr("plugins\\engine"));
    EXPECT_THAT(clientOnly->facts.noLocalEngine, HasSubstr("client\\fbclient.dll"));
}

} // namespace
} // namespace veltor::win32
