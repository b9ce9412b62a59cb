// Staging: what a scenario puts on the machine beyond the standard
// installation, and what it holds while the program runs.
#include "driver.h"

using namespace std::string_literals;

namespace e2e {

static std::vector<std::function<void()>> atEnd;

void AtEnd(std::function<void()> release)
{
    atEnd.push_back(release);
}

void Release()
{
    while (!atEnd.empty()) {
        std::function<void()> release = atEnd.back();
        atEnd.pop_back();
        release();
    }
}

// ---------------------------------------------------------------- held targets

static HMODULE heldLibrary;

void Hold(const std::wstring &path)
{
    heldLibrary = LoadLibraryW(path.c_str());
    if (!heldLibrary)
        Fail("setting up: cannot load " + Utf8(path) + " as a library, error " + std::to_string(GetLastError()));
    AtEnd(ReleaseLibrary);
}

void ReleaseLibrary()
{
    if (heldLibrary)
        FreeLibrary(heldLibrary);
    heldLibrary = nullptr;
}

void OpenWithoutShareDelete(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("setting up: cannot open " + Utf8(path));
    else
        AtEnd([file] { CloseHandle(file); });
}

void RemoveTarget(const Target &target)
{
    if (target.root)
        DeleteTree(target.root, target.path);
    else
        RemovePath(target.path);
}

void RemoveTargets()
{
    for (const Target &target : PlanTargets())
        RemoveTarget(target);
}

void FolderInPlace(const std::wstring &path)
{
    RemovePath(path);
    MakeFolder(path);
    PutText(path + L"\\inside.txt", "not a plan file");
}

// ---------------------------------------------------------------- a DLL planted beside the program

// A DLL the message boxes load on demand, planted beside the program, with
// Wine told to prefer a native copy for this program as Windows does.
void PlantDll()
{
    const size_t slash = programPath.find_last_of(L'\\');
    const std::wstring copy = programPath.substr(0, slash) + L"\\uxtheme.dll";
    const std::wstring appDefaults = L"Software\\Wine\\AppDefaults\\" + programPath.substr(slash + 1);
    const bool existed = KeyExists(HKEY_CURRENT_USER, appDefaults);
    RemovePath(copy + L".loaded");
    if (!CopyFileW((DriverFolder() + L"\\planted.dll").c_str(), copy.c_str(), FALSE))
        Fail("setting up: cannot copy planted.dll to " + Utf8(copy));
    SetString(HKEY_CURRENT_USER, appDefaults + L"\\DllOverrides", L"uxtheme", L"native,builtin");
    AtEnd([copy, appDefaults, existed] {
        const bool loaded = GetFileAttributesW((copy + L".loaded").c_str()) != INVALID_FILE_ATTRIBUTES;
        RemovePath(copy + L".loaded");
        RemovePath(copy);
        if (!existed)
            DeleteTree(HKEY_CURRENT_USER, appDefaults);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, (appDefaults + L"\\DllOverrides").c_str(), L"uxtheme");
        if (loaded)
            Fail("the program loaded the uxtheme.dll planted beside it");
    });
}

// ---------------------------------------------------------------- names outside the ANSI code page

// Names code page 936 has no characters for: Thai, Hangul, and an emoji,
// which UTF-16 spells as a surrogate pair.
static const std::wstring Thai = L"\u0e01\u0e02";
static const std::wstring Hangul = L"\ud55c\uad6d\uc5b4";
static const std::wstring Emoji = L"\xd83d\xde00";

void PlantForeignNames()
{
    const std::wstring key1 = ClassPath(plan::ClassKeys[0]), key2 = ClassPath(plan::ClassKeys[1]);
    // A level where the Thai name is the first of 25: its Chinese siblings
    // (which code page 936 spells) sort after it.
    const std::wstring level = key1 + L"\\Names";
    Tree(HKEY_LOCAL_MACHINE, level, 1, Numbered(L"\u6ce8\u518c ", 24, 2), true);
    SetString(HKEY_LOCAL_MACHINE, level + L"\\" + Thai, Hangul.c_str(), L"a value named in Hangul");
    SetString(HKEY_LOCAL_MACHINE, level + L"\\" + Thai + L"\\" + Hangul, nullptr, Thai);
    SetString(HKEY_LOCAL_MACHINE, level + L"\\" + Thai + L"\\" + Hangul + L"\\" + Emoji, Emoji.c_str(), Emoji);
    RegCloseKey(CreateKey(HKEY_LOCAL_MACHINE, level + L"\\" + Thai + L"\\Plain\\" + Emoji + Thai));
    // Right below the class keys, among their ordinary subkeys.
    SetString(HKEY_LOCAL_MACHINE, key1 + L"\\" + Emoji, nullptr, L"depth 1");
    SetString(HKEY_LOCAL_MACHINE, key2 + L"\\InprocServer32\\" + Hangul + L" " + Thai, nullptr, L"depth 2");

    const std::vector<std::wstring> names = SubkeyNames(HKEY_LOCAL_MACHINE, level);
    if (names.empty() || names[0] != Thai)
        Fail("setting up: the Thai name does not come first among its siblings");
}

// ---------------------------------------------------------------- names with NULs

// Below the first class key, keys named with NULs: at the end, at the
// start, inside, and of NULs alone; three levels of them below one another.
void PlantNulNames()
{
    const size_t made = Tree(HKEY_LOCAL_MACHINE, ClassPath(plan::ClassKeys[0]), 3,
                             {L"A\0"s, L"\0B"s, L"A\0B"s, L"\0"s, L"\0\0"s});
    // The state sees each of them under its own name.
    size_t seen = 0;
    for (const std::wstring &entry : Snapshot())
        seen += Under(entry, MachineKey(plan::ClassKeys[0])) && entry.find(L'\u2400') != std::wstring::npos;
    if (seen != made)
        Fail("setting up: " + std::to_string(made) + " keys named with NULs made, the state sees " +
             std::to_string(seen));
}

// ---------------------------------------------------------------- registry links

const std::wstring LinkTarget = L"System\\E2E Link Target";

static const std::wstring LinkPath = ClassPath(plan::ClassKeys[0]) + L"\\Link";

void RemoveLink()
{
    TryDeleteTree(HKEY_LOCAL_MACHINE, LinkPath);
}

void PlantLink()
{
    SetString(HKEY_LOCAL_MACHINE, LinkTarget, L"Kept", L"outside the plan");
    SetString(HKEY_LOCAL_MACHINE, LinkTarget + L"\\Child\\Grandchild", L"Deep", L"x");
    SetDword(HKEY_LOCAL_MACHINE, LinkTarget + L"\\Leaf", L"N", 7);
    HKEY link;
    Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, LinkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                          KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr),
          "create the link");
    if (failures)
        return;
    // The target as the kernel names it, without a closing NUL.
    const std::wstring target = L"\\Registry\\Machine\\" + LinkTarget;
    Check(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)target.c_str(),
                         (DWORD)(target.size() * sizeof(wchar_t))),
          "point the link at its target");
    RegCloseKey(link);
    if (!KeyExists(HKEY_LOCAL_MACHINE, LinkPath + L"\\Child\\Grandchild"))
        Fail("setting up: the link does not lead to its target");
}

}  // namespace e2e
