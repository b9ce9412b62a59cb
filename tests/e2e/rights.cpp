// Keys the account may not change: made read-only for a scenario, and given back.
#include "driver.h"

#include <sddl.h>

namespace e2e {

// Everyone may read the key and change its permissions, nobody may write or
// delete it, and SYSTEM owns it: with the account or the Administrators as
// the owner, Wine grants the account DELETE whatever the permissions say.
// WRITE_DAC is how the driver gives the key back.
static const wchar_t ReadOnly[] = L"O:SYD:(A;;KR;;;WD)(A;;WD;;;WD)";
// The same, and values may be set (KEY_SET_VALUE).
static const wchar_t ReadOnlySetValues[] = L"O:SYD:(A;;KR;;;WD)(A;;0x2;;;WD)(A;;WD;;;WD)";
// Full access for everyone: the first step of giving a key back.
static const wchar_t Open[] = L"D:(A;;KA;;;WD)";
static const SECURITY_INFORMATION Whole =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// Each key made read-only, with the security it had.
struct Protected {
    HKEY root;
    std::wstring path;
    std::vector<BYTE> security;
};
static std::vector<Protected> protectedKeys;

// Setting another account as a key's owner takes the restore privilege,
// which an administrator has but must switch on.
static void AllowOwnerChange()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

// Sets the parts `parts` of a key's security from `security`.
static LONG SetSecurity(HKEY root, const std::wstring &path, REGSAM access, SECURITY_INFORMATION parts,
                        PSECURITY_DESCRIPTOR security)
{
    HKEY key;
    LONG result = RegOpenKeyExW(root, path.c_str(), 0, access, &key);
    if (result == ERROR_SUCCESS) {
        result = RegSetKeySecurity(key, parts, security);
        RegCloseKey(key);
    }
    return result;
}

static LONG SetSecurity(HKEY root, const std::wstring &path, REGSAM access, SECURITY_INFORMATION parts,
                        const wchar_t *sddl)
{
    PSECURITY_DESCRIPTOR security;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &security, nullptr))
        return (LONG)GetLastError();
    LONG result = SetSecurity(root, path, access, parts, security);
    LocalFree(security);
    return result;
}

// Gives every key made read-only its own security back: open to all first
// (everyone may change its permissions), then its owner and permissions as they were.
static void GiveBackKeys()
{
    for (auto it = protectedKeys.rbegin(); it != protectedKeys.rend(); ++it) {
        LONG result = SetSecurity(it->root, it->path, WRITE_DAC, DACL_SECURITY_INFORMATION, Open);
        if (result == ERROR_SUCCESS)
            result = SetSecurity(it->root, it->path, WRITE_DAC | WRITE_OWNER, Whole, it->security.data());
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            Fail("cleaning up: cannot give " + Utf8(it->path) + " its security back, error " + std::to_string(result));
    }
    protectedKeys.clear();
}

void MakeReadOnly(HKEY root, const std::wstring &path, bool withSubkeys, bool setValues)
{
    if (withSubkeys)
        for (const std::wstring &name : SubkeyNames(root, path))
            MakeReadOnly(root, path + L"\\" + name, true, setValues);
    AllowOwnerChange();
    HKEY key;
    LONG result = RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL, &key);
    Protected saved{root, path, std::vector<BYTE>(4096)};
    DWORD size = (DWORD)saved.security.size();
    if (result == ERROR_SUCCESS) {
        result = RegGetKeySecurity(key, Whole, saved.security.data(), &size);
        RegCloseKey(key);
    }
    if (result == ERROR_SUCCESS)
        result = SetSecurity(root, path, WRITE_DAC | WRITE_OWNER,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                             setValues ? ReadOnlySetValues : ReadOnly);
    if (result != ERROR_SUCCESS) {
        Fail("setting up: cannot make " + Utf8(path) + " read-only, error " + std::to_string(result));
        return;
    }
    if (protectedKeys.empty())
        AtEnd(GiveBackKeys);
    protectedKeys.push_back(saved);
    // The premise of the scenarios that use it.
    if (KeyExists(root, path, DELETE))
        Fail("setting up: " + Utf8(path) + " still lets the account delete it");
    if (setValues && !KeyExists(root, path, KEY_SET_VALUE))
        Fail("setting up: " + Utf8(path) + " does not let the account set a value");
}

void OpenToAll(HKEY root, const std::wstring &path, bool withSubkeys)
{
    if (!KeyExists(root, path, KEY_ALL_ACCESS))
        SetSecurity(root, path, WRITE_DAC, DACL_SECURITY_INFORMATION, Open);
    if (withSubkeys)
        for (const std::wstring &name : SubkeyNames(root, path))
            OpenToAll(root, path + L"\\" + name, true);
}

}  // namespace e2e
