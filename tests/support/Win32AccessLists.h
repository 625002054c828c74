#pragma once
// What the system under the tests keeps of an access list (Wine does not keep them).
#include "platform/win32/WinApi.h"

#include <aclapi.h>

#include <filesystem>
#include <string>

namespace veltor::win32 {

// Whether the system keeps the access list given to a file or folder. Wine 8 keeps none of a
// file's own: it answers one made from the Unix mode. `probe` is a folder made for the question.
inline bool SystemKeepsOwnAccessLists(const std::string& probe) {
    std::filesystem::create_directory(probe);
    std::string name = probe;
    PSID administrators = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    EXPLICIT_ACCESS_A entry{};
    entry.grfAccessPermissions = FILE_ALL_ACCESS;
    entry.grfAccessMode = SET_ACCESS;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.ptstrName = static_cast<LPSTR>(administrators);
    PACL acl = nullptr;
    if (SetEntriesInAclA(1, &entry, nullptr, &acl) != ERROR_SUCCESS) return false;
    SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    FreeSid(administrators);
    PACL kept = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &kept, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return false;
    const bool keepsLists = kept != nullptr && kept->AceCount == 1;
    LocalFree(descriptor);
    return keepsLists;
}

} // namespace veltor::win32
