// Depth-first removal of a registry key and everything below it.
#include "registry/registry.h"

// Keys are enumerated, opened and deleted by their real names, through the
// wide functions: the ANSI ones give a name outside the ANSI code page (an
// emoji; Chinese on a Western Windows) back with question marks, and no key
// answers to that.  The messages stay ANSI.
//
// Child names are collected in batches before any of them is touched: up
// to 20 names, packed one after another, each with its NUL.
static const int ChildSlots = 20;
static const DWORD ChildListChars = 1024;
// A key name has up to 255 UTF-16 units.  A name is only asked for while this
// much room is left, so every name fits and every batch holds at least four.
static const DWORD LongestName = 255 + 1;
// The list is the bulk of each level's stack frame (2 KiB), and a tree can be
// 512 levels deep: the executable's stack reserve covers that (see
// CMakeLists.txt).  A small frame also matters for speed: every fresh stack
// page costs a fault.

// How many times one level is looked at afresh.  A pass takes the children
// the level lists at its start; the next pass looks again for any that came
// meanwhile or that a pass cut short by others' deletions did not reach.  One
// pass empties a level that nobody else touches and the second finds it
// empty; more are needed only while another program works on the same
// level.  A component that registers itself again as fast as it is removed
// must not keep the run busy for ever: after this many passes the key stays,
// and the run says so.
static const int PassesPerLevel = 8;

#ifdef _MSC_VER
#define OUT_OF_LINE __declspec(noinline)
#else
#define OUT_OF_LINE __attribute__((noinline))
#endif

static bool SameName(const WCHAR *a, const WCHAR *b)
{
    while (*a && *a == *b)
        a++, b++;
    return *a == *b;
}

// Whether the enumeration still lists name at index, for a child that the
// registry no longer found.  Kept out of line, so that its buffer is not part
// of every level's frame.
OUT_OF_LINE static bool Listed(HKEY key, DWORD index, const WCHAR *name)
{
    WCHAR listed[LongestName];
    DWORD length = LongestName;
    return RegEnumKeyExW(key, index, listed, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           SameName(listed, name);
}

// The number of subkeys an open key lists now.  A key deleted meanwhile has
// none; where the system cannot tell, the enumeration finds out, as far as
// it goes.
static const DWORD CountUnknown = 0xFFFFFFFF;
static DWORD CountChildren(HKEY key)
{
    DWORD count = 0;
    LSTATUS result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS)
        return count;
    return result == ERROR_KEY_DELETED ? 0 : CountUnknown;
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
static LSTATUS OpenAsIs(HKEY parent, const WCHAR *name, REGSAM access, HKEY *key)
{
    return RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, access, key);
}

static LSTATUS DeleteOpenKey(HKEY key)
{
    return (LSTATUS)RtlNtStatusToDosError(NtDeleteKey(key));
}

// What became of one key: deleted here, not found (the system no longer
// has it, whoever removed it), stayed, or refused.
enum Removal { Deleted, NotFound, Stayed, Refused };

// Deletes every key below an open key, deepest first, as far as it can.
// False when the system refused to open one of them for its removal: the
// caller stops there, and so does everything after it.
static bool RemoveChildren(HKEY key);

// What removing a key takes: listing and counting its subkeys, and
// deleting it.  No more, so that a key whose owner granted just that goes.
static const REGSAM RemovalAccess = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE;

// The system checks a key's rights when it is opened.  Through a handle that
// holds DELETE, a delete fails only for subkeys left (or a key the system
// will not delete at all), never for rights, whatever code it comes with: the
// key stayed.  So the one refusal for rights is an open refused with
// ERROR_ACCESS_DENIED.
static Removal RemoveKeyTree(HKEY parent, const WCHAR *name)
{
    HKEY key;
    LSTATUS opened = OpenAsIs(parent, name, RemovalAccess, &key);
    if (opened == ERROR_SUCCESS) {
        if (!RemoveChildren(key)) {
            RegCloseKey(key);
            return Refused;
        }
        LSTATUS result = DeleteOpenKey(key);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? Deleted : Gone(result) ? NotFound : Stayed;
    }
    if (Gone(opened))
        return NotFound;
    // Anything but a refusal (a passing shortage of the system's
    // resources, say) proves nothing about rights: the key stayed.
    if (opened != ERROR_ACCESS_DENIED)
        return Stayed;
    // The right to delete alone still removes a key that has no subkeys.
    // One that has some needed the listing the system refused.
    opened = OpenAsIs(parent, name, DELETE, &key);
    if (opened != ERROR_SUCCESS)
        return Gone(opened) ? NotFound : opened == ERROR_ACCESS_DENIED ? Refused : Stayed;
    LSTATUS result = DeleteOpenKey(key);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS)
        return Deleted;
    return Gone(result) ? NotFound : result == ERROR_ACCESS_DENIED ? Refused : Stayed;
}

static bool RemoveChildren(HKEY key)
{
    WCHAR children[ChildListChars];
    // Children that stayed after their removal.  Deleting a key keeps the
    // order of the others, so these are the first `kept` of the enumeration
    // and every batch starts after them: no child is collected twice and
    // none is skipped.  A child that another program deleted meanwhile is
    // not found; it stayed only if the enumeration still lists it where it
    // would be.
    DWORD kept = 0;
    for (int pass = 0; pass < PassesPerLevel; pass++) {
        DWORD listed = CountChildren(key);
        if (listed <= kept)
            return true;
        // No more than the level listed at the start of the pass: what comes
        // meanwhile waits for the next one.
        for (DWORD left = listed - kept; left > 0;) {
            int count = 0;
            DWORD used = 0;
            while (count < ChildSlots && (DWORD)count < left && ChildListChars - used >= LongestName) {
                DWORD length = ChildListChars - used;
                if (RegEnumKeyExW(key, kept + (DWORD)count, children + used, &length, nullptr, nullptr, nullptr,
                                  nullptr) != ERROR_SUCCESS)
                    break;
                used += length + 1;
                count++;
            }
            // Others deleted some of the level meanwhile: the next pass
            // looks again.
            if (count == 0)
                break;
            left -= (DWORD)count;
            for (const WCHAR *child = children; count > 0; count--) {
                Removal removal = RemoveKeyTree(key, child);
                if (removal == Refused)
                    return false;
                if (removal == Stayed || (removal == NotFound && Listed(key, kept, child)))
                    kept++;
                while (*child++) {
                }
            }
        }
    }
    return true;
}

KeyOutcome DeleteKeyTree(HKEY parent, const char *name)
{
    // The names of the plan are ASCII (class identifiers).
    WCHAR wide[LongestName];
    DWORD length = 0;
    while (name[length] && length < LongestName - 1) {
        wide[length] = (WCHAR)(unsigned char)name[length];
        length++;
    }
    wide[length] = 0;
    switch (RemoveKeyTree(parent, wide)) {
    case Deleted:
    case NotFound: return KeyGone;
    case Refused: return KeyRefused;
    default: return KeyStayed;
    }
}
