// Depth-first removal of a registry key and everything below it.
#include "registry/registry.h"

// Keys are enumerated, opened and deleted by their real names, through the
// wide functions: the ANSI ones give a name outside the ANSI code page (an
// emoji; Chinese on a Western Windows) back with question marks, and no key
// answers to that.  The messages stay ANSI.
//
// Child names are collected in batches before any of them is touched: up
// to 20 names, packed one after another, each with the length the
// enumeration gave.
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
// pass empties a level that nobody else touches, and the key's delete after
// it succeeds; more are needed only while another program works on the same
// level.  A component that registers itself again as fast as it is removed
// must not keep the run busy for ever: after this many passes the key stays,
// and the run says so.
static const int PassesPerLevel = 8;

// Whether the enumeration still lists a name at index, for a child that the
// registry no longer found.  Kept out of line, so that its buffer is not part
// of every level's frame.
OUT_OF_LINE static bool Listed(HKEY key, DWORD index, const WCHAR *name, DWORD length)
{
    WCHAR listed[LongestName];
    DWORD listedLength = LongestName;
    if (RegEnumKeyExW(key, index, listed, &listedLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        listedLength != length)
        return false;
    for (DWORD i = 0; i < length; i++)
        if (listed[i] != name[i])
            return false;
    return true;
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
//
// A key's name is a counted string, and a NUL may stand anywhere in it (a
// known way to hide keys from tools that take C strings).  Each name is
// opened by the length the enumeration gave, never up to its first NUL: that
// could name a sibling, or, for a name that begins with a NUL, the parent
// itself.  No name is empty; the system never lists one.
static LSTATUS OpenAsIs(HKEY parent, const WCHAR *name, DWORD length, REGSAM access, HKEY *key)
{
    if (length == 0 || length >= LongestName)
        return ERROR_INVALID_PARAMETER;
    UNICODE_STRING counted;
    counted.Length = counted.MaximumLength = (USHORT)(length * sizeof(WCHAR));
    counted.Buffer = const_cast<WCHAR *>(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE | OBJ_OPENLINK, parent, nullptr);
    HANDLE handle = nullptr;
    NTSTATUS status = NtOpenKey(&handle, access, &attributes);
    if (status != 0)
        return (LSTATUS)RtlNtStatusToDosError(status);
    *key = (HKEY)handle;
    return ERROR_SUCCESS;
}

// Through a handle that holds DELETE, a delete fails only while subkeys are
// left (or for a key the system will not delete at all), never for rights.
static bool SubkeysLeft(NTSTATUS status)
{
    return status == STATUS_CANNOT_DELETE || status == STATUS_ACCESS_DENIED;
}

// What became of one key: deleted here, not found (the system no longer
// has it, whoever removed it), stayed, or refused.
enum Removal { Deleted, NotFound, Stayed, Refused };

static Removal AfterDelete(NTSTATUS status)
{
    if (status == 0)
        return Deleted;
    return Gone((LSTATUS)RtlNtStatusToDosError(status)) ? NotFound : Stayed;
}

// One pass over the subkeys of an open key: removes each of the `left`
// children that follow the first `*kept`, deepest first.  Children that stay
// after their removal are counted in *kept.  False when the system refused
// to open one of them for its removal: the caller stops there, and so does
// everything after it.
static bool RemovePass(HKEY key, DWORD left, DWORD *kept);

// What removing a key takes: listing and counting its subkeys, and
// deleting it.  No more, so that a key whose owner granted just that goes.
static const REGSAM RemovalAccess = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE;

// The system checks a key's rights when it is opened, so the one refusal for
// rights is an open refused with ERROR_ACCESS_DENIED.  Most keys have no
// subkeys: the delete comes first, and only a key whose delete says that
// subkeys are left is listed and emptied, a pass at a time, and deleted
// again.
static Removal RemoveKeyTree(HKEY parent, const WCHAR *name, DWORD length)
{
    HKEY key;
    LSTATUS opened = OpenAsIs(parent, name, length, RemovalAccess, &key);
    if (opened == ERROR_SUCCESS) {
        NTSTATUS status = NtDeleteKey(key);
        // Children that stayed after their removal.  Deleting a key keeps
        // the order of the others, so these are the first `kept` of the
        // enumeration and every pass starts after them: no child is
        // collected twice and none is skipped.
        DWORD kept = 0;
        for (int pass = 0; pass < PassesPerLevel && SubkeysLeft(status); pass++) {
            DWORD listed = CountChildren(key);
            // Only children that stayed are left: so does the key.
            if (listed != 0 && listed <= kept)
                break;
            // No more than the level listed at the start of the pass: what
            // comes meanwhile waits for the next one.
            if (listed > kept && !RemovePass(key, listed - kept, &kept)) {
                RegCloseKey(key);
                return Refused;
            }
            status = NtDeleteKey(key);
        }
        RegCloseKey(key);
        return AfterDelete(status);
    }
    if (Gone(opened))
        return NotFound;
    // Anything but a refusal (a passing shortage of the system's
    // resources, say) proves nothing about rights: the key stayed.
    if (opened != ERROR_ACCESS_DENIED)
        return Stayed;
    // The right to delete alone still removes a key that has no subkeys.
    // One that has some needed the listing the system refused.
    opened = OpenAsIs(parent, name, length, DELETE, &key);
    if (opened != ERROR_SUCCESS)
        return Gone(opened) ? NotFound : opened == ERROR_ACCESS_DENIED ? Refused : Stayed;
    NTSTATUS status = NtDeleteKey(key);
    RegCloseKey(key);
    return SubkeysLeft(status) ? Refused : AfterDelete(status);
}

static bool RemovePass(HKEY key, DWORD left, DWORD *kept)
{
    WCHAR children[ChildListChars];
    WORD lengths[ChildSlots];
    while (left > 0) {
        int count = 0;
        DWORD used = 0;
        while (count < ChildSlots && (DWORD)count < left && ChildListChars - used >= LongestName) {
            DWORD length = ChildListChars - used;
            if (RegEnumKeyExW(key, *kept + (DWORD)count, children + used, &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS)
                break;
            lengths[count++] = (WORD)length;
            used += length;
        }
        // Others deleted some of the level meanwhile: the next pass looks
        // again.
        if (count == 0)
            break;
        left -= (DWORD)count;
        const WCHAR *child = children;
        for (int i = 0; i < count; child += lengths[i++]) {
            Removal removal = RemoveKeyTree(key, child, lengths[i]);
            if (removal == Refused)
                return false;
            // A child that another program deleted meanwhile is not found;
            // it stayed only if the enumeration still lists it where it
            // would be.
            if (removal == Stayed || (removal == NotFound && Listed(key, *kept, child, lengths[i])))
                (*kept)++;
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
    switch (RemoveKeyTree(parent, wide, length)) {
    case Deleted:
    case NotFound: return KeyGone;
    case Refused: return KeyRefused;
    default: return KeyStayed;
    }
}
