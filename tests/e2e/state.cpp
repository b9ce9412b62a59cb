// The watched state: every registry entry and file the program may touch, and the state a run leaves.
#include "driver.h"

#include <algorithm>

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
    for (const Value &value : Values(key))
        state.insert(shown + L" = " + (value.name.empty() ? L"@" : value.name) + L":" + std::to_wstring(value.type) +
                     L":" + Hex(value.data.data(), (DWORD)value.data.size()));
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
    for (const std::wstring &entry : FolderEntries(path))  // none for a file
        WatchPath(entry, state);
}

std::wstring Zones()
{
    const std::wstring zone = W(plan::ZoneKey);
    return zone.substr(0, zone.rfind(L'\\'));
}

std::vector<std::wstring> WatchedPaths()
{
    std::vector<std::wstring> paths = {SysPath(0) + L".old", Folder(), Folder() + L"2", Dpf()};
    for (int i = 0; i < 4; i++)
        paths.push_back(SysPath(i));
    if (Wow64()) {
        for (const char *name : plan::SystemFiles)
            paths.push_back(NativeSystemDir() + L"\\" + W(name));
        paths.push_back(NativeSystemDir() + L"\\" + W(plan::Folder));
    }
    return paths;
}

State Snapshot()
{
    State state;
    // Both class stores, each on its own: HKEY_CLASSES_ROOT shows the
    // user's and the machine's merged on Windows, only the machine's under
    // Wine.  Under WoW64 both are the 32-bit views, as the program sees them.
    for (const auto *ids : {plan::ClassKeys, plan::SiblingKeys})
        for (int i : {0, 1}) {
            WatchKey(HKEY_LOCAL_MACHINE, L"HKLM", ClassPath(ids[i]), state);
            WatchKey(HKEY_CURRENT_USER, L"HKCU", ClassPath(ids[i]), state);
            // The 64-bit side: whatever is there must stay exactly as it is.
            if (Wow64())
                WatchKey(HKEY_LOCAL_MACHINE, L"HKLM(64-bit view)", ClassPath(ids[i]), state, KEY_WOW64_64KEY);
        }
    // Every zone, so that a change to the wrong one shows.
    WatchKey(HKEY_CURRENT_USER, L"HKCU", Zones(), state);
    WatchKey(HKEY_LOCAL_MACHINE, L"HKLM", LinkTarget, state);
    for (const std::wstring &path : WatchedPaths())
        WatchPath(path, state);
    return state;
}

bool Under(const std::wstring &entry, const std::wstring &prefix)
{
    return entry.compare(0, prefix.size(), prefix) == 0 &&
           (entry.size() == prefix.size() || entry[prefix.size()] == L'\\' || entry[prefix.size()] == L' ');
}

std::vector<Target> PlanTargets()
{
    std::vector<Target> targets;
    for (const char *id : plan::ClassKeys)
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            targets.push_back({root, ClassPath(id)});
    for (int i = 0; i < 4; i++)
        targets.push_back({nullptr, SysPath(i)});
    targets.push_back({nullptr, Folder()});
    for (int i = 0; i < 3; i++)
        targets.push_back({nullptr, DpfPath(i)});
    return targets;
}

std::vector<std::wstring> Targets()
{
    std::vector<std::wstring> entries;
    for (const Target &t : PlanTargets())
        entries.push_back(t.root ? (t.root == HKEY_CURRENT_USER ? L"reg HKCU\\" : L"reg HKLM\\") + t.path
                                 : File(t.path));
    return entries;
}

std::vector<std::wstring> From(const std::wstring &entry)
{
    const std::vector<std::wstring> targets = Targets();
    auto at = std::find(targets.begin(), targets.end(), entry);
    if (at == targets.end())
        Fail("not a target of the plan: " + Utf8(entry));
    return {at, targets.end()};
}

State Expected(const State &before, const std::vector<std::wstring> &left)
{
    auto under = [](const std::wstring &entry, const std::vector<std::wstring> &prefixes) {
        return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::wstring &p) { return Under(entry, p); });
    };
    const std::vector<std::wstring> targets = Targets();
    const std::wstring zoneValue = ZoneKeyEntry() + L" = " + W(plan::ZoneValue) + L":";
    const bool zoneSet = !under(ZoneKeyEntry(), left);
    State expected;
    for (const std::wstring &entry : before)
        if (under(entry, left) ||
            (!under(entry, targets) && !(zoneSet && entry.compare(0, zoneValue.size(), zoneValue) == 0)))
            expected.insert(entry);
    const DWORD data = plan::ZoneData;
    if (zoneSet)
        expected.insert(zoneValue + std::to_wstring(REG_DWORD) + L":" + Hex((const BYTE *)&data, sizeof data));
    return expected;
}

}  // namespace e2e
