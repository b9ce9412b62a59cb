// Depth-first removal of a registry key and everything below it.
#include <string.h>

#include "app/messages.h"
#include "registry/registry.h"

// Child names are collected in batches before any of them is touched: up
// to 20 names, packed one after another, each with its NUL.
static const int ChildSlots = 20;
static const DWORD ChildListBytes = 2048;
// A key name has up to 255 characters; in the ANSI code page one character
// takes at most 3 bytes (UTF-8 as the ANSI code page; 2 in GBK).  A name is
// only asked for while this much room is left, so every name fits and every
// batch holds at least two.
static const DWORD LongestName = 255 * 3 + 1;
// The list is the bulk of each level's stack frame, and a tree can be 512
// levels deep: the executable's stack reserve covers that (see
// CMakeLists.txt).  A small frame also matters for speed: every fresh stack
// page costs a fault.

// Whether the enumeration still lists name at index: a key the registry
// does not find by its ANSI name may still be there (a name with characters
// outside the ANSI code page reads back as question marks).  Kept out of
// line, so that its buffer is not part of every level's frame.
#ifdef _MSC_VER
#define OUT_OF_LINE __declspec(noinline)
#else
#define OUT_OF_LINE __attribute__((noinline))
#endif
OUT_OF_LINE static bool Listed(HKEY key, DWORD index, const char *name)
{
    char listed[LongestName];
    DWORD length = LongestName;
    return RegEnumKeyExA(key, index, listed, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           strcmp(listed, name) == 0;
}

// Returns the result of deleting the key itself.
static LSTATUS RemoveKeyTree(HKEY parent, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char children[ChildListBytes];
        // Children that stayed after their removal.  Deleting a key keeps the
        // order of the others, so these are the first `kept` of the
        // enumeration and the next batch starts after them: no child is
        // collected twice and none is skipped.  A child that another program
        // deleted meanwhile is not found; it stayed only if the enumeration
        // still lists it where it would be.
        DWORD kept = 0;
        bool more = true;
        while (more) {
            int count = 0;
            DWORD used = 0;
            while (count < ChildSlots && ChildListBytes - used >= LongestName) {
                DWORD length = ChildListBytes - used;
                if (RegEnumKeyExA(key, kept + (DWORD)count, children + used, &length, nullptr, nullptr,
                                  nullptr, nullptr) != ERROR_SUCCESS) {
                    more = false;
                    break;
                }
                used += length + 1;
                count++;
            }
            for (const char *child = children; count > 0; count--, child += strlen(child) + 1) {
                LSTATUS result = RemoveKeyTree(key, child);
                if (result != ERROR_SUCCESS && (result != ERROR_FILE_NOT_FOUND || Listed(key, kept, child)))
                    kept++;
            }
        }
        RegCloseKey(key);
    }
    LSTATUS result = RegDeleteKeyA(parent, name);
    if (result == ERROR_ACCESS_DENIED) {
        ShowMessage(MsgNoRegistryRights);
        ShowMessage(MsgUninstallFailed);
        ExitProcess(1);
    }
    return result;
}

void DeleteKeyTree(HKEY parent, const char *name)
{
    RemoveKeyTree(parent, name);
}
