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

// Gone, whoever removed it: not found, or deleted by another program while
// this one held it open.
static bool Gone(LSTATUS result)
{
    return result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED;
}

// Every key is opened as it is: a registry link as the link, never as the key
// it points to, so that a link below a class key cannot steer the removal at
// keys outside it.  And every key is deleted through its own handle, which
// deletes exactly what was opened; a delete by name would follow a link.
static LSTATUS OpenAsIs(HKEY parent, const char *name, REGSAM access, HKEY *key)
{
    return RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access, key);
}

static LSTATUS DeleteOpenKey(HKEY key)
{
    return (LSTATUS)RtlNtStatusToDosError(NtDeleteKey(key));
}

// Deletes every key below an open key, deepest first.
static void RemoveChildren(HKEY key);

// Returns the result of deleting the key itself.
static LSTATUS RemoveKeyTree(HKEY parent, const char *name)
{
    HKEY key;
    LSTATUS result = OpenAsIs(parent, name, KEY_ALL_ACCESS, &key);
    if (result == ERROR_SUCCESS) {
        RemoveChildren(key);
        result = DeleteOpenKey(key);
        RegCloseKey(key);
    } else if (!Gone(result)) {
        // Full access refused.  The right to delete alone still removes a key
        // that has no subkeys; without it the refusal is the system's answer.
        result = OpenAsIs(parent, name, DELETE, &key);
        if (result == ERROR_SUCCESS) {
            result = DeleteOpenKey(key);
            RegCloseKey(key);
        }
    }
    if (result == ERROR_ACCESS_DENIED) {
        ShowMessage(MsgNoRegistryRights);
        ShowMessage(MsgUninstallFailed);
        ExitProcess(1);
    }
    return result;
}

static void RemoveChildren(HKEY key)
{
    char children[ChildListBytes];
    // Children that stayed after their removal.  Deleting a key keeps the
    // order of the others, so these are the first `kept` of the enumeration
    // and the next batch starts after them: no child is collected twice and
    // none is skipped.  A child that another program deleted meanwhile is
    // not found; it stayed only if the enumeration still lists it where it
    // would be.
    DWORD kept = 0;
    for (;;) {
        int count = 0;
        DWORD used = 0;
        while (count < ChildSlots && ChildListBytes - used >= LongestName) {
            DWORD length = ChildListBytes - used;
            if (RegEnumKeyExA(key, kept + (DWORD)count, children + used, &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS)
                break;
            used += length + 1;
            count++;
        }
        // A batch cut short does not mean the level is empty: while another
        // program deletes siblings the indexes shift and the enumeration runs
        // out early.  Only a batch that finds nothing at all ends the level.
        if (count == 0)
            return;
        for (const char *child = children; count > 0; count--, child += strlen(child) + 1) {
            LSTATUS result = RemoveKeyTree(key, child);
            if (result != ERROR_SUCCESS && (!Gone(result) || Listed(key, kept, child)))
                kept++;
        }
    }
}

void DeleteKeyTree(HKEY parent, const char *name)
{
    RemoveKeyTree(parent, name);
}
