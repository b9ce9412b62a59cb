// The watched state: every registry entry and file the program may touch, and the changes scenarios expect.
#include "driver.h"

#include <algorithm>
#include <iterator>

namespace e2e {

static std::wstring Hex(const BYTE *data, DWORD size)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring s;
    for (DWORD i = 0; i < size; i++) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

// A key with its values and everything below it, each subkey opened by its
// counted name; a NUL in a name shows as U+2400.
static void WatchKey(HKEY key, const std::wstring &shown, State &state)
{
    state.insert(shown);
    // On the heap: this recursion follows trees hundreds of levels deep.
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; i++) {
        DWORD nameLength = (DWORD)name.size(), size = (DWORD)data.size(), type;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        state.insert(shown + L" = " + (nameLength ? name.data() : L"@") + L":" + std::to_wstring(type) + L":" +
                     Hex(data.data(), size));
    }
    for (std::wstring child : SubkeyNames(key)) {
        HKEY opened;
        if (OpenCounted(key, child, KEY_READ, opened) != ERROR_SUCCESS)
            continue;
        std::replace(child.begin(), child.end(), L'\0', L'\u2400');
        WatchKey(opened, shown + L"\\" + child, state);
        RegCloseKey(opened);
    }
}

static void WatchKey(HKEY root, const std::wstring &rootName, const std::wstring &path, State &state, REGSAM view = 0)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    WatchKey(key, L"reg " + rootName + L"\\" + path, state);
    RegCloseKey(key);
}

static void WatchPath(const std::wstring &path, State &state)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    state.insert(L"file " + path + (attributes & FILE_ATTRIBUTE_READONLY ? L" (read-only)" : L""));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            WatchPath(path + L"\\" + name, state);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

State Snapshot()
{
    State state;
    // Both class stores, each on its own: HKEY_CLASSES_ROOT shows the
    // user's and the machine's merged on Windows, only the machine's under
    // Wine.  Under WoW64 both are the 32-bit views, as the program sees them.
    for (const wchar_t *id : {ClassKey1, ClassKey2, SiblingKey1, SiblingKey2}) {
        WatchKey(HKEY_LOCAL_MACHINE, L"HKLM", ClassStore + std::wstring(id), state);
        WatchKey(HKEY_CURRENT_USER, L"HKCU", ClassStore + std::wstring(id), state);
    }
    WatchKey(HKEY_CURRENT_USER, L"HKCU", ZonesPath, state);
    WatchKey(HKEY_LOCAL_MACHINE, L"HKLM", LinkTarget, state);
    const std::wstring sys = SystemDir();
    for (const wchar_t *name : SystemFiles)
        WatchPath(sys + L"\\" + name, state);
    for (const wchar_t *name : {L"brevandel.dll.old", L"pendrow", L"pendrow2"})
        WatchPath(sys + L"\\" + name, state);
    WatchPath(Dpf(), state);
    if (Wow64()) {
        // The 64-bit side: whatever is there must stay exactly as it is.
        for (const wchar_t *id : {ClassKey1, ClassKey2, SiblingKey1, SiblingKey2})
            WatchKey(HKEY_LOCAL_MACHINE, L"HKLM(64-bit view)", ClassStore + std::wstring(id), state,
                     KEY_WOW64_64KEY);
        const std::wstring native = NativeSystemDir();
        for (const wchar_t *name : SystemFiles)
            WatchPath(native + L"\\" + name, state);
        WatchPath(native + L"\\pendrow", state);
    }
    return state;
}

// Everything at or below a key or file entry.
bool Under(const std::wstring &entry, const std::wstring &prefix)
{
    return entry.compare(0, prefix.size(), prefix) == 0 &&
           (entry.size() == prefix.size() || entry[prefix.size()] == L'\\' || entry[prefix.size()] == L' ');
}

void Drop(State &state, const std::wstring &prefix)
{
    for (auto it = state.begin(); it != state.end();)
        it = Under(*it, prefix) ? state.erase(it) : std::next(it);
}

std::wstring KeyEntry(const wchar_t *id)
{
    return L"reg HKLM\\" + (ClassStore + std::wstring(id));
}
std::wstring UserKeyEntry(const wchar_t *id)
{
    return L"reg HKCU\\" + (ClassStore + std::wstring(id));
}

// Both class keys gone from both stores.
void ClassKeysGone(State &state)
{
    for (const wchar_t *id : {ClassKey1, ClassKey2}) {
        Drop(state, KeyEntry(id));
        Drop(state, UserKeyEntry(id));
    }
}
std::wstring SystemFileEntry(const wchar_t *name)
{
    return L"file " + SystemDir() + L"\\" + name;
}
std::wstring DpfEntry(const wchar_t *name)
{
    return L"file " + Dpf() + L"\\" + name;
}
const std::wstring ZoneKeyEntry = std::wstring(L"reg HKCU\\") + ZonesPath + L"\\3";

// The zone value after the program: DWORD 1.
void ZoneSet(State &state)
{
    for (auto it = state.begin(); it != state.end();)
        it = it->compare(0, ZoneKeyEntry.size() + 8, ZoneKeyEntry + L" = 1004:") == 0 ? state.erase(it)
                                                                                       : std::next(it);
    state.insert(ZoneKeyEntry + L" = 1004:4:01000000");
}

// Removes the plan's targets from `from` (0-based plan step after the class
// keys) up to, not including, `to`: 0-3 system files, 4 the folder, 5-7 the
// Downloaded Program Files entries.
void Removed(State &state, int from, int to)
{
    for (int i = from; i < to; i++) {
        if (i < 4)
            Drop(state, SystemFileEntry(SystemFiles[i]));
        else if (i == 4)
            Drop(state, L"file " + Folder());
        else
            Drop(state, DpfEntry(DpfFiles[i - 5]));
    }
}

}  // namespace e2e
