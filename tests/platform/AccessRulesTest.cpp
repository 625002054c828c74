// The rule that decides whether an access list keeps a file or folder to the administrators.
#include "platform/access/AccessRules.h"

#include <gtest/gtest.h>

namespace veltor::access {
namespace {

constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kUsers = "S-1-5-32-545";
constexpr const char* kAuthenticatedUsers = "S-1-5-11";
constexpr const char* kSelf = "S-1-5-21-1-2-3-1001";
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kFileGenericRead = 0x00120089u;

List Safe() {
    return {kAdministrators,
            true,
            false,
            {{true, kAdministrators, 0x1F01FF, false},
             {true, "S-1-5-18", 0x1F01FF, false},
             {true, kUsers, kFileGenericRead, false}}};
}

List With(Entry entry) {
    List list = Safe();
    list.entries.push_back(std::move(entry));
    return list;
}

TEST(AccessRules, EachWriteRightOfAnotherAccountCountsAndReadingDoesNot) {
    EXPECT_FALSE(OthersMayWrite(Safe()));
    EXPECT_FALSE(OthersMayWrite(With({true, kAuthenticatedUsers, kFileGenericRead | kGenericRead, false})));
    for (int bit = 0; bit < 32; ++bit) {
        const std::uint32_t right = 1u << bit;
        EXPECT_EQ(OthersMayWrite(With({true, kAuthenticatedUsers, right, false})), (kWriteRights & right) != 0)
            << std::hex << right;
    }
    // Modify, as C:\ gives it to Authenticated Users.
    EXPECT_TRUE(OthersMayWrite(With({true, kAuthenticatedUsers, 0x1301BF, false})));
}

TEST(AccessRules, AdministratorsDenyingAndInheritOnlyEntriesDoNotCount) {
    EXPECT_FALSE(OthersMayWrite(
        With({true, "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", 0x1F01FF, false})));
    EXPECT_FALSE(OthersMayWrite(With({false, kAuthenticatedUsers, 0x1F01FF, false})));
    // CREATOR OWNER, as C:\ has it: for what is made inside.
    EXPECT_FALSE(OthersMayWrite(With({true, "S-1-3-0", 0x10000000u, true})));
    List none = Safe();
    none.present = false;
    EXPECT_TRUE(OthersMayWrite(none));
}

TEST(AccessRules, DataFolderIsLessProtectedWhenItInheritsIsOwnedByAnotherOrAnotherMayWrite) {
    EXPECT_FALSE(LessProtectedThanDataFolder(Safe()));
    List inherits = Safe();
    inherits.inherits = true;
    EXPECT_TRUE(LessProtectedThanDataFolder(inherits));
    List owned = Safe();
    owned.owner = kUsers;
    EXPECT_TRUE(LessProtectedThanDataFolder(owned));
    EXPECT_TRUE(LessProtectedThanDataFolder(With({true, kUsers, 0x0002, false})));
}

TEST(AccessRules, ScriptIsRefusedForItsFolderFirstThenForItselfAndThisProcessesAccountIsTrusted) {
    const List writable = With({true, kAuthenticatedUsers, 0x0004, false});
    List foreign = Safe();
    foreign.owner = kUsers;
    const std::string folder = "C:\\Datos Veltor";
    const std::string file = "C:\\Datos Veltor\\gfixonline.Bat";
    EXPECT_EQ(ScriptRefusal(Safe(), folder, Safe(), file, kSelf), "");
    EXPECT_EQ(ScriptRefusal(foreign, folder, writable, file, kSelf),
              "la carpeta no pertenece a los administradores: C:\\Datos Veltor");
    EXPECT_EQ(ScriptRefusal(writable, folder, Safe(), file, kSelf),
              "otros usuarios pueden modificar la carpeta: C:\\Datos Veltor");
    EXPECT_EQ(ScriptRefusal(Safe(), folder, foreign, file, kSelf),
              "el archivo no pertenece a los administradores: C:\\Datos Veltor\\gfixonline.Bat");
    EXPECT_EQ(ScriptRefusal(Safe(), folder, writable, file, kSelf),
              "otros usuarios pueden modificar el archivo: C:\\Datos Veltor\\gfixonline.Bat");
    List mine = With({true, kSelf, 0x1F01FF, false});
    mine.owner = kSelf;
    EXPECT_EQ(ScriptRefusal(mine, folder, mine, file, kSelf), "");
    EXPECT_NE(ScriptRefusal(mine, folder, mine, file, ""), "");
}

} // namespace
} // namespace veltor::access
