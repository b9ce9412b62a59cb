// What scenarios prepare and expect: targets held, expected states, and a hostile machine.
#include "driver.h"

#include <sddl.h>
#include <stdio.h>
#include <wchar.h>

using namespace std::string_literals;

namespace e2e {

// ---------------------------------------------------------------- held targets and expected states

// Things a scenario holds while the program runs.
static HMODULE heldLibrary;
static HANDLE heldFile = INVALID_HANDLE_VALUE;

void Hold(const std::wstring &path)
{
    heldLibrary = LoadLibraryW(path.c_str());
    if (!heldLibrary)
        Fail("setting up: cannot load " + Utf8(path) + " as a library, error " + std::to_string(GetLastError()));
}

void ReleaseLibrary()
{
    if (heldLibrary)
        FreeLibrary(heldLibrary);
    heldLibrary = nullptr;
}

void OpenWithoutShareDelete(const std::wstring &path)
{
    heldFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (heldFile == INVALID_HANDLE_VALUE)
        Fail("setting up: cannot open " + Utf8(path));
}

void CloseHeldFile()
{
    if (heldFile != INVALID_HANDLE_VALUE)
        CloseHandle(heldFile);
    heldFile = INVALID_HANDLE_VALUE;
}

// The state after a run that stopped at plan target `stop` (0-based, as
// for Removed): zone value set, class keys and the targets before it gone.
void StoppedAt(State &s, int stop)
{
    ZoneSet(s);
    ClassKeysGone(s);
    Removed(s, 0, stop);
}

void Everything(State &s)
{
    StoppedAt(s, 8);
}

void EverythingBut(State &s, std::initializer_list<std::wstring> kept)
{
    const State before = s;
    Everything(s);
    for (const std::wstring &entry : before)
        for (const std::wstring &prefix : kept)
            if (Under(entry, prefix))
                s.insert(entry);
}

void RemoveAllComponents()
{
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2);
    for (const wchar_t *name : SystemFiles)
        RemovePath(SystemDir() + L"\\" + name);
    RemovePath(Folder());
    for (const wchar_t *name : DpfFiles)
        RemovePath(Dpf() + L"\\" + name);
}

// ---------------------------------------------------------------- a hostile machine

// The program under test, for scenarios that work beside it or run it twice.
std::wstring programPath;

static std::wstring ProgramFolder()
{
    return programPath.substr(0, programPath.find_last_of(L'\\'));
}

static bool KeyExists(HKEY root, const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

static bool FileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// fanout subkeys K00, K01, ... on each of depth levels below path.
static void PlantTree(const std::wstring &path, int fanout, int depth)
{
    RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, path));
    if (depth == 0)
        return;
    for (int i = 0; i < fanout; i++) {
        wchar_t name[8];
        swprintf(name, 8, L"K%02d", i);
        PlantTree(path + L"\\" + name, fanout, depth - 1);
    }
}

// A large subtree that sorts first below the first class key, and the key
// whose disappearance shows that the program has begun removing it.
const std::wstring DeepSubtree = std::wstring(L"CLSID\\") + ClassKey1 + L"\\AAA Deep";
const std::wstring FirstLeaf = DeepSubtree + L"\\K00\\K00\\K00";

// A DLL the message boxes load on demand, planted beside the program, with
// Wine told to prefer a native copy for this program as Windows does.
const std::wstring PlantedName = L"uxtheme.dll";
const std::wstring WineAppDefaults = L"Software\\Wine\\AppDefaults\\";
static bool appDefaultsExisted;

static std::wstring PlantedCopy()
{
    return ProgramFolder() + L"\\" + PlantedName;
}

static std::wstring ProgramAppDefaults()
{
    return WineAppDefaults + programPath.substr(programPath.find_last_of(L'\\') + 1);
}

void PlantDll()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring planted = self;
    planted = planted.substr(0, planted.find_last_of(L'\\')) + L"\\planted.dll";
    RemovePath(PlantedCopy() + L".loaded");
    if (!CopyFileW(planted.c_str(), PlantedCopy().c_str(), FALSE))
        Fail("setting up: cannot copy " + Utf8(planted) + " to " + Utf8(PlantedCopy()));
    appDefaultsExisted = KeyExists(HKEY_CURRENT_USER, ProgramAppDefaults());
    SetString(HKEY_CURRENT_USER, ProgramAppDefaults() + L"\\DllOverrides", L"uxtheme", L"native,builtin");
}

void RemovePlantedDll()
{
    bool loaded = FileExists(PlantedCopy() + L".loaded");
    RemovePath(PlantedCopy() + L".loaded");
    RemovePath(PlantedCopy());
    if (appDefaultsExisted) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, (ProgramAppDefaults() + L"\\DllOverrides").c_str(), 0, KEY_ALL_ACCESS,
                          &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"uxtheme");
            RegCloseKey(key);
        }
    } else {
        DeleteTree(HKEY_CURRENT_USER, ProgramAppDefaults());
    }
    if (loaded)
        Fail("the program loaded the " + Utf8(PlantedName) + " planted beside it");
}

// Another program deletes a sibling below the first class key while the
// program is busy removing the deep subtree before it.
const std::wstring Victim = std::wstring(L"CLSID\\") + ClassKey1 + L"\\Sibling 05";
static HANDLE otherProgram;
static volatile LONG otherProgramResult;  // 1 deleted in time, 2 too late, 0 never saw the removal start

static DWORD WINAPI DeleteSiblingMeanwhile(LPVOID)
{
    for (DWORD start = GetTickCount(); KeyExists(HKEY_CLASSES_ROOT, FirstLeaf); Sleep(1))
        if (GetTickCount() - start > Scaled(60000))
            return 0;
    bool inTime = KeyExists(HKEY_CLASSES_ROOT, DeepSubtree) && KeyExists(HKEY_CLASSES_ROOT, Victim);
    // With a subkey named, RegDeleteTreeW deletes that key too.
    LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, Victim.c_str());
    otherProgramResult = inTime && result == ERROR_SUCCESS && !KeyExists(HKEY_CLASSES_ROOT, Victim) ? 1 : 2;
    return 0;
}

void StartOtherProgram()
{
    PlantTree(DeepSubtree, 12, 3);
    for (int i = 0; i < 25; i++) {
        wchar_t name[16];
        swprintf(name, 16, L"Sibling %02d", i);
        SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1 + L"\\" + name + L"\\Sub", L"v", L"x");
    }
    otherProgramResult = 0;
    otherProgram = CreateThread(nullptr, 0, DeleteSiblingMeanwhile, nullptr, 0, nullptr);
    if (!otherProgram)
        Fail("setting up: cannot start the thread that deletes a sibling");
}

void StopOtherProgram()
{
    if (!otherProgram)
        return;
    WaitForSingleObject(otherProgram, Scaled(10000));
    CloseHandle(otherProgram);
    otherProgram = nullptr;
    if (otherProgramResult != 1)
        Fail(otherProgramResult ? "the sibling was deleted only after the program had passed it"
                                : "the removal of the deep subtree was never seen to begin");
}

// The state before the first of two runs, the first one killed while it
// removes a large class key tree.
State beforeFirstRun;

void RunAndKill()
{
    PlantTree(DeepSubtree, 12, 3);
    beforeFirstRun = Snapshot();
    PROCESS_INFORMATION process;
    if (!StartProgram(programPath, L"", process))
        return;
    for (DWORD start = GetTickCount();
         KeyExists(HKEY_CLASSES_ROOT, FirstLeaf) && GetTickCount() - start < Scaled(60000);)
        if (WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT)
            break;
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, Scaled(10000));
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (exitCode != 99 || !KeyExists(HKEY_CLASSES_ROOT, DeepSubtree))
        Fail("the first run was not cut short in the middle of the removal (exit code " +
             std::to_string(exitCode) + ")");
    size_t left = 0;
    for (const std::wstring &entry : Snapshot())
        left += Under(entry, KeyEntry(ClassKey1)) || Under(entry, KeyEntry(ClassKey2));
    printf("  first run killed with %zu registry entries left\n", left);
}

// ---------------------------------------------------------------- names outside the ANSI code page

// Names code page 936 has no characters for: Thai, Hangul, and an emoji,
// which UTF-16 spells as a surrogate pair.
static const std::wstring Thai = L"\u0e01\u0e02";
static const std::wstring Hangul = L"\ud55c\uad6d\uc5b4";
static const std::wstring Emoji = L"\xd83d\xde00";

void PlantForeignNames()
{
    const std::wstring key1 = std::wstring(L"CLSID\\") + ClassKey1, key2 = std::wstring(L"CLSID\\") + ClassKey2;
    // A level where the Thai name is the first of 25: its Chinese siblings
    // (which code page 936 spells) sort after it.
    const std::wstring level = key1 + L"\\Names";
    for (int i = 0; i < 24; i++) {
        wchar_t name[16];
        swprintf(name, 16, L"\u6ce8\u518c %02d", i);
        SetString(HKEY_CLASSES_ROOT, level + L"\\" + name, L"v", L"x");
    }
    SetString(HKEY_CLASSES_ROOT, level + L"\\" + Thai, Hangul.c_str(), L"a value named in Hangul");
    SetString(HKEY_CLASSES_ROOT, level + L"\\" + Thai + L"\\" + Hangul, nullptr, Thai);
    SetString(HKEY_CLASSES_ROOT, level + L"\\" + Thai + L"\\" + Hangul + L"\\" + Emoji, Emoji.c_str(), Emoji);
    RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, level + L"\\" + Thai + L"\\Plain\\" + Emoji + Thai));
    // Right below the class keys, among their ordinary subkeys.
    SetString(HKEY_CLASSES_ROOT, key1 + L"\\" + Emoji, nullptr, L"depth 1");
    SetString(HKEY_CLASSES_ROOT, key2 + L"\\InprocServer32\\" + Hangul + L" " + Thai, nullptr, L"depth 2");

    HKEY key;
    wchar_t first[256] = L"";
    DWORD length = 256;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, level.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegEnumKeyExW(key, 0, first, &length, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    if (first != Thai)
        Fail("setting up: the Thai name does not come first among its siblings");
}

// ---------------------------------------------------------------- names with NULs

static const std::wstring NulNames[] = {L"A\0"s, L"\0B"s, L"A\0B"s, L"\0"s, L"\0\0"s};

// Each name below `key`, and below each of them `depth` - 1 levels more;
// the number of keys made.
static size_t PlantNulNames(HKEY key, int depth)
{
    size_t made = 0;
    for (const std::wstring &name : NulNames) {
        HKEY child = CreateCounted(key, name);
        if (!child)
            return made;
        made += 1 + (depth > 1 ? PlantNulNames(child, depth - 1) : 0);
        RegCloseKey(child);
    }
    return made;
}

void PlantNulNames()
{
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, ClassStore + std::wstring(ClassKey1));
    const size_t made = key ? PlantNulNames(key, 3) : 0;
    RegCloseKey(key);
    // The state sees each of them under its own name.
    size_t seen = 0;
    for (const std::wstring &entry : Snapshot())
        seen += Under(entry, KeyEntry(ClassKey1)) && entry.find(L'\u2400') != std::wstring::npos;
    if (seen != made)
        Fail("setting up: " + std::to_string(made) + " keys named with NULs made, the state sees " +
             std::to_string(seen));
}

// ---------------------------------------------------------------- keys the account may not change

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

// The subkeys reached by path, which a name with a NUL cannot be part of:
// such keys are never made read-only.
static std::vector<std::wstring> Subkeys(HKEY root, const std::wstring &path)
{
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (const std::wstring &name : SubkeyNames(key))
        if (name.find(L'\0') == std::wstring::npos)
            names.push_back(name);
    RegCloseKey(key);
    return names;
}

void MakeReadOnly(HKEY root, const std::wstring &path, bool withSubkeys, bool setValues)
{
    if (withSubkeys)
        for (const std::wstring &name : Subkeys(root, path))
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
    protectedKeys.push_back(saved);
    // The premise of the scenarios that use it.
    if (RegOpenKeyExW(root, path.c_str(), 0, DELETE, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        Fail("setting up: " + Utf8(path) + " still lets the account delete it");
    }
    if (setValues && RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        Fail("setting up: " + Utf8(path) + " does not let the account set a value");
    else if (setValues)
        RegCloseKey(key);
}

void GiveBackKeys()
{
    for (auto it = protectedKeys.rbegin(); it != protectedKeys.rend(); ++it) {
        // Everyone may change its permissions: open it to all first, then
        // its owner and permissions as they were.
        LONG result = SetSecurity(it->root, it->path, WRITE_DAC, DACL_SECURITY_INFORMATION, Open);
        if (result == ERROR_SUCCESS)
            result = SetSecurity(it->root, it->path, WRITE_DAC | WRITE_OWNER, Whole, it->security.data());
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            Fail("cleaning up: cannot give " + Utf8(it->path) + " its security back, error " + std::to_string(result));
    }
    protectedKeys.clear();
}

void OpenToAll(HKEY root, const std::wstring &path, bool withSubkeys)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        SetSecurity(root, path, WRITE_DAC, DACL_SECURITY_INFORMATION, Open);
    if (withSubkeys)
        for (const std::wstring &name : Subkeys(root, path))
            OpenToAll(root, path + L"\\" + name, true);
}

// ---------------------------------------------------------------- registry links

const std::wstring LinkTarget = L"System\\E2E Link Target";
static const std::wstring LinkPath = std::wstring(L"CLSID\\") + ClassKey1 + L"\\Link";

void RemoveLink()
{
    HKEY link;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, LinkPath.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &link) !=
        ERROR_SUCCESS)
        return;
    NtDeleteKey(link);
    RegCloseKey(link);
}

void PlantLink()
{
    RemoveLink();
    DeleteTree(HKEY_LOCAL_MACHINE, LinkTarget);
    SetString(HKEY_LOCAL_MACHINE, LinkTarget, L"Kept", L"outside the plan");
    SetString(HKEY_LOCAL_MACHINE, LinkTarget + L"\\Child\\Grandchild", L"Deep", L"x");
    SetDword(HKEY_LOCAL_MACHINE, LinkTarget + L"\\Leaf", L"N", 7);
    HKEY link;
    Check(RegCreateKeyExW(HKEY_CLASSES_ROOT, LinkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
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
    if (!KeyExists(HKEY_CLASSES_ROOT, LinkPath + L"\\Child\\Grandchild"))
        Fail("setting up: the link does not lead to its target");
}

// ---------------------------------------------------------------- a second copy

void InstallLargeComponents()
{
    HKEY key = CreateKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
    for (int i = 0; i < 1500 && key; i++) {
        wchar_t name[16];
        swprintf(name, 16, L"Sub%04d", i);
        HKEY child;
        if (RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) != ERROR_SUCCESS) {
            Fail("setting up: cannot create a subkey");
            break;
        }
        DWORD value = (DWORD)i;
        RegSetValueExW(child, L"V", 0, REG_DWORD, (const BYTE *)&value, sizeof value);
        RegCloseKey(child);
    }
    if (key)
        RegCloseKey(key);
    for (int i = 0; i < 300; i++) {
        wchar_t name[16];
        swprintf(name, 16, L"\\f%03d.dat", i);
        PutText(Folder() + name, "data");
    }
}

// What the second copy did, written by its thread and read after it ended.
struct SecondCopy {
    DWORD delay;
    bool started;
    std::vector<Box> boxes;
    std::vector<Moment> times;  // of each box, as boxTimes for the first copy
    DWORD exitCode;
    double firstCopysBoxAt;  // when the first copy showed a box while one of ours was up; 0: never
};
static SecondCopy second;
static HANDLE secondThread;
// Its process, while it runs.
static volatile DWORD secondProcess;

static DWORD WINAPI RunSecondCopy(LPVOID)
{
    Sleep(Scaled(second.delay));
    PROCESS_INFORMATION process;
    if (!StartProgram(programPath, L"", process))
        return 0;
    secondProcess = process.dwProcessId;
    second.started = true;
    printf("  second copy started at %.3f s\n", Seconds());
    fflush(stdout);
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > Scaled(120000)) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
        Box box;
        const double looked = Seconds();
        if (!ShownBox(process.dwProcessId, box))
            continue;
        second.boxes.push_back(box);
        // Held up for a second while the first copy may still run: if this
        // copy got the first turn, the first copy must show nothing
        // meanwhile.
        for (DWORD held = GetTickCount(); GetTickCount() - held < Scaled(1000); Sleep(10)) {
            Finder finder{programProcess, nullptr};
            EnumWindows(FindBox, (LPARAM)&finder);
            if (finder.found && !second.firstCopysBoxAt) {
                second.firstCopysBoxAt = Seconds();
                break;
            }
        }
        second.times.push_back({looked, Seconds()});
        PostMessageW(box.window, WM_COMMAND, box.yes ? IDNO : IDOK, 0);
        while (IsWindow(box.window) && WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT)
            ;
    }
    secondProcess = 0;
    GetExitCodeProcess(process.hProcess, &second.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

void StartSecondCopy(DWORD delay)
{
    second = SecondCopy{delay, false, {}, {}, 0, 0};
    secondThread = CreateThread(nullptr, 0, RunSecondCopy, nullptr, 0, nullptr);
    if (!secondThread)
        Fail("cannot start the thread that runs the second copy");
}

void HoldForSecondCopy()
{
    for (DWORD start = GetTickCount(); secondProcess && GetTickCount() - start < Scaled(1000); Sleep(10)) {
        Finder finder{secondProcess, nullptr};
        EnumWindows(FindBox, (LPARAM)&finder);
        if (finder.found) {
            Fail("the second copy shows a box while the first copy's final box is up");
            return;
        }
    }
}

void FinishSecondCopy()
{
    if (!secondThread)
        return;
    if (WaitForSingleObject(secondThread, Scaled(150000)) == WAIT_TIMEOUT)
        Fail("the second copy did not end");
    CloseHandle(secondThread);
    secondThread = nullptr;
    if (!second.started) {
        Fail("the second copy did not start");
        return;
    }
    for (size_t i = 0; i < second.boxes.size(); i++) {
        const Box &box = second.boxes[i];
        std::string gloss = Gloss(box.text);
        printf("  second copy: box %s %s%s %s at %.3f s, answered at %.3f s\n", Show(box.caption).c_str(),
               Show(box.text).c_str(), gloss.empty() ? "" : (" (" + gloss + ")").c_str(), Buttons(box).c_str(),
               second.times[i].appeared, second.times[i].answered);
    }
    printf("  second copy: exit code %lu\n", second.exitCode);
    fflush(stdout);
    if (second.boxes.size() != 1 || second.boxes[0].text != Succeeded || second.boxes[0].caption != Caption)
        Fail("the second copy did not show the success box alone");
    if (second.exitCode != 0)
        Fail("the second copy ended with " + std::to_string(second.exitCode));
    // One copy at a time: whichever copy showed a box first, the other
    // speaks only once that one's final box was answered.
    if (second.firstCopysBoxAt) {
        char what[160];
        snprintf(what, sizeof what, "the first copy showed a box at %.3f s while the second copy's box was up",
                 second.firstCopysBoxAt);
        Fail(what);
    }
    if (second.times.empty() || boxTimes.empty())
        return;
    const bool secondFirst = second.times.front().appeared < boxTimes.front().appeared;
    const Moment &earlierDone = secondFirst ? second.times.back() : boxTimes.back();
    const Moment &laterStart = secondFirst ? boxTimes.front() : second.times.front();
    if (laterStart.appeared <= earlierDone.answered) {
        char what[200];
        snprintf(what, sizeof what, "the %s copy showed its first box at %.3f s, before the %s copy's final box "
                 "was answered at %.3f s", secondFirst ? "first" : "second", laterStart.appeared,
                 secondFirst ? "second" : "first", earlierDone.answered);
        Fail(what);
    }
}

}  // namespace e2e
