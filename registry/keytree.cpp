// Depth-first removal of a registry key and everything below it.
#include "app/messages.h"
#include "registry/registry.h"

// Child names are collected in batches of this many before any is touched.
static const int ChildSlots = 20;
// A key name has up to 255 characters; in the ANSI code page one character
// takes at most 3 bytes (UTF-8 as the ANSI code page; 2 in GBK), so 765
// bytes and the NUL always fit.  The executable's stack reserve is sized for
// 512 levels of these slots (see CMakeLists.txt).
static const DWORD NameSlotBytes = 768;

// Returns true when the key is gone.
static bool RemoveKeyTree(HKEY parent, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char children[ChildSlots][NameSlotBytes];
        // Children that stayed after their removal.  Deleting a key keeps the
        // order of the others, so these are the first `kept` of the
        // enumeration and the next batch starts after them: no child is
        // collected twice and none is skipped.
        DWORD kept = 0;
        for (;;) {
            int count = 0;
            while (count < ChildSlots) {
                DWORD length = NameSlotBytes;
                if (RegEnumKeyExA(key, kept + (DWORD)count, children[count], &length, nullptr,
                                  nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                    break;
                count++;
            }
            for (int i = 0; i < count; i++)
                if (!RemoveKeyTree(key, children[i]))
                    kept++;
            if (count < ChildSlots)
                break;
        }
        RegCloseKey(key);
    }
    LSTATUS result = RegDeleteKeyA(parent, name);
    if (result == ERROR_ACCESS_DENIED) {
        ShowMessage(MsgNoRegistryRights);
        ShowMessage(MsgUninstallFailed);
        ExitProcess(1);
    }
    return result == ERROR_SUCCESS;
}

void DeleteKeyTree(HKEY parent, const char *name)
{
    RemoveKeyTree(parent, name);
}
