// End-to-end driver: runs inside Wine (or Windows), prepares one scenario on
// the real registry and file system, starts uninstall.exe, reads and answers
// its message boxes, and checks the boxes, the exit code and the final state.
//
//   driver.exe list                      names of all scenarios
//   driver.exe run NAME UNINSTALL.EXE    one scenario; exit code 0 when it passed
//   driver.exe demo UNINSTALL.EXE [in-use] [manual] [shots=DIR]
//                                        the whole job on an installed machine,
//                                        shown as tables and a transcript
//   driver.exe bench UNINSTALL.EXE [RUNS [SHAPE]]
//                                        time key tree removal against SHDeleteKeyA
//   driver.exe state                     print the watched state
//   driver.exe install-twins             everything installed, and under WoW64
//                                        a 64-bit twin of every target
//
// Under WoW64 (the 32-bit build in a 64-bit prefix or on 64-bit Windows) the
// driver sees the 32-bit views as the program does: HKCR\CLSID below
// Wow6432Node, the system directory in SysWOW64.  The 64-bit side, where
// same-named twins of the targets must survive, is reached through
// KEY_WOW64_64KEY and C:\windows\Sysnative.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- output

std::string Utf8(const std::wstring &w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

// Text with line ends and other controls made visible, for the transcript.
std::string Show(const std::wstring &w)
{
    std::wstring out;
    for (wchar_t c : w) {
        if (c == L'\r')
            out += L"\\r";
        else if (c == L'\n')
            out += L"\\n";
        else
            out += c;
    }
    return "\"" + Utf8(out) + "\"";
}

int failures = 0;

// Every wait is multiplied by E2E_SCALE: an emulated machine is many times
// slower than a real one.
DWORD Scaled(DWORD milliseconds)
{
    wchar_t value[16];
    DWORD n = GetEnvironmentVariableW(L"E2E_SCALE", value, 16);
    int scale = n && n < 16 ? _wtoi(value) : 1;
    return milliseconds * (DWORD)(scale > 0 ? scale : 1);
}

void Fail(const std::string &what)
{
    failures++;
    printf("  FAIL: %s\n", what.c_str());
    fflush(stdout);
}

// ---------------------------------------------------------------- the product's constants

const wchar_t *const ClassKey1 = L"{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}";
const wchar_t *const ClassKey2 = L"{B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}";
// Near-identical neighbours that must survive.
const wchar_t *const SiblingKey1 = L"{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D3}";
const wchar_t *const SiblingKey2 = L"{B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}.old";
const wchar_t *const SystemFiles[] = {L"brevandel.dll", L"larMosk.dll", L"tivMosk.exe", L"soltane.dll"};
const wchar_t *const DpfFiles[] = {L"marvisk.ocx", L"tobrin.inf", L"tobrin.ocx"};
const wchar_t *const ZonesPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones";

// The texts as a Chinese user reads them.
const std::wstring Caption = L"\u7cfb\u7edf\u63d0\u793a ";                          // 系统提示 + blank
const std::wstring ZoneFailed = L"\u4fee\u6539IE\u5b89\u5168\u9009\u9879\u5931\u8d25\uff01";  // 修改IE安全选项失败！
const std::wstring Succeeded = L"\u5378\u8f7d\u6210\u529f\uff01";                     // 卸载成功！
const std::wstring Failed = L"\u5378\u8f7d\u5931\u8d25\uff01";                        // 卸载失败！
const std::wstring NoRights =                                                          // 您没有操作注册表的权限，请切换用户！
    L"\u60a8\u6ca1\u6709\u64cd\u4f5c\u6ce8\u518c\u8868\u7684\u6743\u9650\uff0c\u8bf7\u5207\u6362\u7528\u6237\uff01";
const std::wstring InUse =  // 文件正在被使用，请关闭浏览器后点击“是” 。是否重试？
    L"\u6587\u4ef6\u6b63\u5728\u88ab\u4f7f\u7528\uff0c\u8bf7\u5173\u95ed\u6d4f\u89c8\u5668\u540e"
    L"\u70b9\u51fb\u201c\u662f\u201d \u3002\u662f\u5426\u91cd\u8bd5\uff1f";

std::wstring SystemDir()
{
    wchar_t buffer[MAX_PATH];
    GetSystemDirectoryW(buffer, MAX_PATH);
    return buffer;
}

std::wstring WindowsDir()
{
    wchar_t buffer[MAX_PATH];
    GetWindowsDirectoryW(buffer, MAX_PATH);
    return buffer;
}

// A 32-bit process on 64-bit Windows.
bool Wow64()
{
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

// The real system32 as a 32-bit process names it under WoW64.
std::wstring NativeSystemDir()
{
    return WindowsDir() + L"\\Sysnative";
}

// The class keys' parent in the 64-bit registry view.
const wchar_t *const Classes64 = L"Software\\Classes\\CLSID\\";

std::wstring Dpf()
{
    return WindowsDir() + L"\\Downloaded Program Files";
}

std::wstring Folder()
{
    return SystemDir() + L"\\pendrow";
}

std::wstring SystemText(DWORD code)
{
    wchar_t *text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPWSTR)&text, 0,
                             nullptr);
    std::wstring s = n ? std::wstring(text, n) : L"";
    LocalFree(text);
    return s;
}

// Starts `program` with `arguments` after its quoted name.
bool StartProgram(const std::wstring &program, const std::wstring &arguments, PROCESS_INFORMATION &process)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + program + L"\"" + arguments;
    if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process))
        return true;
    Fail("cannot start " + Utf8(program) + ", error " + std::to_string(GetLastError()));
    return false;
}

// ---------------------------------------------------------------- registry and files

void Check(LONG result, const std::string &what)
{
    if (result != ERROR_SUCCESS)
        Fail("setting up: " + what + " gave " + std::to_string(result));
}

// `view` is 0 or KEY_WOW64_64KEY.
HKEY CreateKey(HKEY root, const std::wstring &path, REGSAM view = 0)
{
    HKEY key = nullptr;
    Check(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
          "create " + Utf8(path));
    return key;
}

void SetString(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value,
               REGSAM view = 0)
{
    HKEY key = CreateKey(root, path, view);
    Check(RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)value.c_str(),
                         (DWORD)((value.size() + 1) * sizeof(wchar_t))),
          "set value");
    RegCloseKey(key);
}

void SetDword(HKEY root, const std::wstring &path, const wchar_t *name, DWORD value)
{
    HKEY key = CreateKey(root, path);
    Check(RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value), "set dword");
    RegCloseKey(key);
}

void DeleteTree(HKEY root, const std::wstring &path)
{
    LONG r = RegDeleteTreeW(root, path.c_str());
    if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyW(root, path.c_str());
        return;
    }
    Fail("cleaning up: RegDeleteTreeW " + Utf8(path) + " gave " + std::to_string(r));
}

void RemovePath(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..")
                    RemovePath(path + L"\\" + name);
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        if (!RemoveDirectoryW(path.c_str()))
            Fail("cleaning up: cannot remove folder " + Utf8(path));
    } else if (!DeleteFileW(path.c_str())) {
        Fail("cleaning up: cannot remove " + Utf8(path) + ", error " + std::to_string(GetLastError()));
    }
}

void MakeFolder(const std::wstring &path)
{
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        Fail("setting up: cannot create folder " + Utf8(path));
}

std::wstring Payload()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\')) + L"\\payload.dll";
}

// A loadable library, so that a target can be held as a mapped image.
void PutLibrary(const std::wstring &path)
{
    if (!CopyFileW(Payload().c_str(), path.c_str(), FALSE))
        Fail("setting up: cannot copy the payload library to " + Utf8(path));
}

void PutText(const std::wstring &path, const char *text, bool readOnly = false)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("setting up: cannot write " + Utf8(path));
        return;
    }
    DWORD written;
    WriteFile(file, text, (DWORD)strlen(text), &written, nullptr);
    CloseHandle(file);
    if (readOnly)
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

// ---------------------------------------------------------------- installation

// The class registration of an ActiveX control, as its installer leaves it,
// at `key` below `root` in the registry view `view`.
void InstallClass(HKEY root, const std::wstring &key, const wchar_t *library, REGSAM view = 0)
{
    SetString(root, key, nullptr, L"Demo Control", view);
    SetString(root, key + L"\\InprocServer32", nullptr, SystemDir() + L"\\" + library, view);
    SetString(root, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment", view);
    SetString(root, key + L"\\ProgID", nullptr, L"Demo.Control.1", view);
    SetString(root, key + L"\\Version", nullptr, L"1.0", view);
    SetString(root, key + L"\\TypeLib", nullptr, L"{0F6B4A28-52A4-4C5B-9F6D-1E2D3C4B5A69}", view);
    SetString(root, key + L"\\Control", nullptr, L"", view);
    SetString(root, key + L"\\MiscStatus", nullptr, L"0", view);
    SetString(root, key + L"\\MiscStatus\\1", nullptr, L"131473", view);
    RegCloseKey(CreateKey(root, key + L"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", view));
    RegCloseKey(CreateKey(root, key + L"\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}", view));
}

void InstallClass(const std::wstring &id, const wchar_t *library)
{
    InstallClass(HKEY_CLASSES_ROOT, L"CLSID\\" + id, library);
}

// Under WoW64: the 64-bit components of the same names, which are not ours
// to remove.  Class keys with the same identifiers and subtrees (and a
// marker) in the 64-bit view; the four files and a folder with a read-only
// file in the real system32.
void InstallTwins()
{
    for (const wchar_t *id : {ClassKey1, ClassKey2}) {
        const std::wstring key = Classes64 + std::wstring(id);
        InstallClass(HKEY_LOCAL_MACHINE, key, L"twin64.dll", KEY_WOW64_64KEY);
        SetString(HKEY_LOCAL_MACHINE, key + L"\\Twin", L"Bits", L"64", KEY_WOW64_64KEY);
    }
    const std::wstring native = NativeSystemDir();
    for (const wchar_t *name : SystemFiles)
        PutText(native + L"\\" + name, (std::string("64-bit twin of ") + Utf8(name)).c_str());
    MakeFolder(native + L"\\pendrow");
    PutText(native + L"\\pendrow\\twin.txt", "64-bit twin", true);
    MakeFolder(native + L"\\pendrow\\sub");
    PutText(native + L"\\pendrow\\sub\\deep.txt", "64-bit twin, deeper");
}

void RemoveTwins()
{
    HKEY classes;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                      &classes) == ERROR_SUCCESS) {
        for (const wchar_t *id : {ClassKey1, ClassKey2}) {
            RegDeleteTreeW(classes, id);
            RegDeleteKeyExW(classes, id, KEY_WOW64_64KEY, 0);
        }
        RegCloseKey(classes);
    }
    const std::wstring native = NativeSystemDir();
    for (const wchar_t *name : SystemFiles)
        RemovePath(native + L"\\" + name);
    RemovePath(native + L"\\pendrow");
}

// Removes whatever an earlier scenario left, then installs everything.
void Install()
{
    for (const wchar_t *id : {ClassKey1, ClassKey2, SiblingKey1, SiblingKey2})
        DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + id);
    if (Wow64())
        RemoveTwins();
    InstallClass(ClassKey1, L"brevandel.dll");
    InstallClass(ClassKey2, L"soltane.dll");
    InstallClass(SiblingKey1, L"kept.dll");
    SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + SiblingKey2, nullptr, L"Not ours");

    const std::wstring zone = std::wstring(ZonesPath) + L"\\3";
    SetString(HKEY_CURRENT_USER, zone, L"DisplayName", L"Internet");
    SetDword(HKEY_CURRENT_USER, zone, L"1001", 1);
    SetDword(HKEY_CURRENT_USER, zone, L"1004", 3);
    SetDword(HKEY_CURRENT_USER, zone, L"1200", 0);

    const std::wstring sys = SystemDir();
    for (const wchar_t *name : SystemFiles) {
        RemovePath(sys + L"\\" + name);
        PutLibrary(sys + L"\\" + name);
    }
    RemovePath(sys + L"\\brevandel.dll.old");
    PutText(sys + L"\\brevandel.dll.old", "neighbour");
    RemovePath(sys + L"\\pendrow2");
    MakeFolder(sys + L"\\pendrow2");
    PutText(sys + L"\\pendrow2\\keep.txt", "neighbour");

    RemovePath(Folder());
    MakeFolder(Folder());
    PutText(Folder() + L"\\pendrow.ini", "[pendrow]\r\n");
    MakeFolder(Folder() + L"\\cache");
    PutText(Folder() + L"\\cache\\a.dat", "a", true);
    MakeFolder(Folder() + L"\\cache\\deeper");
    PutText(Folder() + L"\\cache\\deeper\\b.dat", "b", true);
    MakeFolder(Folder() + L"\\empty");

    RemovePath(Dpf());
    MakeFolder(Dpf());
    for (const wchar_t *name : DpfFiles)
        PutLibrary(Dpf() + L"\\" + name);
    PutText(Dpf() + L"\\other.ocx", "another control");
    PutText(Dpf() + L"\\desktop.ini", "[.ShellClassInfo]\r\n");
}

// ---------------------------------------------------------------- watched state

using State = std::set<std::wstring>;

std::wstring Hex(const BYTE *data, DWORD size)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring s;
    for (DWORD i = 0; i < size; i++) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

void WatchKey(HKEY root, const std::wstring &rootName, const std::wstring &path, State &state, REGSAM view = 0)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    const std::wstring shown = L"reg " + rootName + L"\\" + path;
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
    std::vector<std::wstring> children;
    for (DWORD i = 0;; i++) {
        DWORD length = (DWORD)name.size();
        if (RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(name.data());
    }
    RegCloseKey(key);
    for (const std::wstring &child : children)
        WatchKey(root, rootName, path + L"\\" + child, state, view);
}

void WatchPath(const std::wstring &path, State &state)
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
    for (const wchar_t *id : {ClassKey1, ClassKey2, SiblingKey1, SiblingKey2})
        WatchKey(HKEY_CLASSES_ROOT, L"HKCR", std::wstring(L"CLSID\\") + id, state);
    WatchKey(HKEY_CURRENT_USER, L"HKCU", ZonesPath, state);
    const std::wstring sys = SystemDir();
    for (const wchar_t *name : SystemFiles)
        WatchPath(sys + L"\\" + name, state);
    for (const wchar_t *name : {L"brevandel.dll.old", L"pendrow", L"pendrow2"})
        WatchPath(sys + L"\\" + name, state);
    WatchPath(Dpf(), state);
    if (Wow64()) {
        // The 64-bit side: whatever is there must stay exactly as it is.
        for (const wchar_t *id : {ClassKey1, ClassKey2, SiblingKey1, SiblingKey2})
            WatchKey(HKEY_LOCAL_MACHINE, L"HKLM(64-bit view)", Classes64 + std::wstring(id), state,
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
    return std::wstring(L"reg HKCR\\CLSID\\") + id;
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
void Removed(State &state, int from = 0, int to = 8)
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

// ---------------------------------------------------------------- message boxes

struct Box {
    HWND window;
    std::wstring caption, text;
    bool ok, cancel, yes, no;
    HWND owner;
};

struct Finder {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    Finder *finder = (Finder *)param;
    wchar_t cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == finder->pid && GetClassNameW(window, cls, 64) && wcscmp(cls, L"#32770") == 0 &&
        IsWindowVisible(window)) {
        finder->found = window;
        return FALSE;
    }
    return TRUE;
}

bool HasButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

Box ReadBox(HWND window)
{
    Box box{window, L"", L"", false, false, false, false, nullptr};
    wchar_t text[4096];
    GetWindowTextW(window, text, 4096);
    box.caption = text;
    text[0] = 0;
    GetDlgItemTextW(window, 0xFFFF, text, 4096);
    box.text = text;
    box.ok = HasButton(window, IDOK);
    box.cancel = HasButton(window, IDCANCEL);
    box.yes = HasButton(window, IDYES);
    box.no = HasButton(window, IDNO);
    box.owner = GetWindow(window, GW_OWNER);
    return box;
}

std::string Buttons(const Box &box)
{
    std::string s;
    if (box.ok)
        s += "[OK]";
    if (box.cancel)
        s += "[Cancel]";
    if (box.yes)
        s += "[Yes]";
    if (box.no)
        s += "[No]";
    return s;
}

const char *ButtonName(int id)
{
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
    }
    return "?";
}

std::string Gloss(const std::wstring &text)
{
    if (text == ZoneFailed)
        return "changing the IE security option failed";
    if (text == Succeeded)
        return "uninstall succeeded";
    if (text == Failed)
        return "uninstall failed";
    if (text == NoRights)
        return "you have no right to work on the registry, please switch user";
    if (text == InUse)
        return "the file is in use; close the browser, then click Yes; retry?";
    if (text == SystemText(3))
        return "the system cannot find the path specified";
    return "";
}

// Saves a picture of a window as a 24-bit BMP.
void SaveWindow(HWND window, const std::wstring &path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), (BITMAPINFO *)&info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + (DWORD)pixels.size();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("cannot write the picture " + Utf8(path));
        return;
    }
    DWORD written;
    WriteFile(file, &header, sizeof header, &written, nullptr);
    WriteFile(file, &info, sizeof info, &written, nullptr);
    WriteFile(file, pixels.data(), (DWORD)pixels.size(), &written, nullptr);
    CloseHandle(file);
}

struct Options {
    bool manual = false;     // a person answers the boxes
    std::wstring shots;      // folder for pictures of the boxes
    bool tables = false;     // print the state as tables
};
Options options;

// ---------------------------------------------------------------- scenarios

enum class Kind { Ours, SystemError, Shell };

struct Expect {
    Kind kind;
    std::wstring text;  // for Ours: the text; for SystemError: filled from the code
    DWORD code;
    int answer;
    std::function<void()> before;  // while the box is up, before answering
};

Expect Says(const std::wstring &text, int answer = IDOK, std::function<void()> before = {})
{
    return {Kind::Ours, text, 0, answer, before};
}
Expect SystemError(DWORD code)
{
    return {Kind::SystemError, L"", code, IDOK, {}};
}
// Any number of the shell's own boxes, each dismissed.
Expect ShellBoxes()
{
    return {Kind::Shell, L"", 0, IDOK, {}};
}

struct Scenario {
    const char *name;
    const char *summary;
    std::function<void()> prepare;        // after the standard installation
    std::vector<Expect> boxes;
    DWORD exitCode;
    std::function<void(State &)> after;   // turns the state before into the state expected after
    std::function<void()> finish;         // releases what prepare holds
};

// Things a scenario holds while the program runs.
HMODULE heldLibrary;
HANDLE heldFile = INVALID_HANDLE_VALUE;

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
    Drop(s, KeyEntry(ClassKey1));
    Drop(s, KeyEntry(ClassKey2));
    Removed(s, 0, stop);
}

void Everything(State &s)
{
    StoppedAt(s, 8);
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

std::wstring ProgramFolder()
{
    return programPath.substr(0, programPath.find_last_of(L'\\'));
}

bool KeyExists(HKEY root, const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool FileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// fanout subkeys K00, K01, ... on each of depth levels below path.
void PlantTree(const std::wstring &path, int fanout, int depth)
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
bool appDefaultsExisted;

std::wstring PlantedCopy()
{
    return ProgramFolder() + L"\\" + PlantedName;
}

std::wstring ProgramAppDefaults()
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
HANDLE otherProgram;
volatile LONG otherProgramResult;  // 1 deleted in time, 2 too late, 0 never saw the removal start

DWORD WINAPI DeleteSiblingMeanwhile(LPVOID)
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
        left += entry.compare(0, 8, L"reg HKCR") == 0;
    printf("  first run killed with %zu registry entries left\n", left);
}

std::vector<Scenario> Scenarios()
{
    const std::wstring sys = SystemDir();
    return {
        {"installed", "everything installed, nothing locked: one box, every target gone, zone value 1",
         [] {}, {Says(Succeeded)}, 0, Everything, {}},

        {"nothing_installed", "nothing installed, Downloaded Program Files present: only the success box",
         RemoveAllComponents, {Says(Succeeded)}, 0, ZoneSet, {}},

        {"dpf_missing", "Downloaded Program Files missing: three system-error boxes for code 3, then success",
         [] { RemovePath(Dpf()); }, {SystemError(3), SystemError(3), SystemError(3), Says(Succeeded)}, 0,
         Everything, {}},

        {"in_use_no", "larMosk.dll loaded by another process, answer No: the targets after it stay",
         [sys] { Hold(sys + L"\\larMosk.dll"); }, {Says(InUse, IDNO), Says(Failed)}, 0,
         [](State &s) { StoppedAt(s, 1); },
         ReleaseLibrary},

        {"in_use_yes_until_released", "tivMosk.exe loaded; Yes, then Yes after it is released: two questions",
         [sys] { Hold(sys + L"\\tivMosk.exe"); },
         {Says(InUse, IDYES), Says(InUse, IDYES, ReleaseLibrary), Says(Succeeded)}, 0, Everything,
         ReleaseLibrary},

        {"in_use_vanishes", "soltane.dll loaded; it is deleted while the question is up, then Yes",
         [sys] { Hold(sys + L"\\soltane.dll"); },
         {Says(InUse, IDYES,
               [sys] {
                   ReleaseLibrary();
                   DeleteFileW((sys + L"\\soltane.dll").c_str());
               }),
          Says(Succeeded)},
         0, Everything, ReleaseLibrary},

        {"read_only", "marvisk.ocx read-only: asked as in use, answer No, the entries after it stay",
         [] { SetFileAttributesW((Dpf() + L"\\marvisk.ocx").c_str(), FILE_ATTRIBUTE_READONLY); },
         {Says(InUse, IDNO), Says(Failed)}, 0,
         [](State &s) { StoppedAt(s, 5); },
         {}},

        {"open_no_share_delete",
         "tobrin.inf held open without share-delete: one system-error box (code 32), it stays, the rest goes, "
         "final failure",
         [] { OpenWithoutShareDelete(Dpf() + L"\\tobrin.inf"); }, {SystemError(32), Says(Failed)}, 0,
         [](State &s) {
             Everything(s);
             s.insert(DpfEntry(L"tobrin.inf"));
         },
         CloseHeldFile},

        {"folder_nested", "the folder with nested subfolders and read-only files: gone without a question",
         [] {
             std::wstring path = Folder();
             for (int level = 0; level < 6; level++) {
                 path += L"\\level" + std::to_wstring(level);
                 MakeFolder(path);
                 PutText(path + L"\\locked.txt", "read-only", true);
                 PutText(path + L"\\plain.txt", "plain");
             }
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"folder_refused", "a file in the folder held open: the shell fails, its boxes are dismissed, final "
                           "failure, the entries after it stay",
         [] { OpenWithoutShareDelete(Folder() + L"\\pendrow.ini"); }, {ShellBoxes(), Says(Failed)}, 0,
         [](State &s) {
             StoppedAt(s, 4);
             // Whatever the shell managed to delete before it stopped is gone.
             State now = Snapshot();
             for (auto it = s.begin(); it != s.end();)
                 it = Under(*it, L"file " + Folder()) && !now.count(*it) ? s.erase(it) : std::next(it);
         },
         CloseHeldFile},

        {"zone_key_missing", "the zone key \"3\" missing: its box first, nothing created, the removal goes on",
         [] { DeleteTree(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3"); },
         {Says(ZoneFailed), Says(Succeeded)}, 0,
         [](State &s) {
             Drop(s, KeyEntry(ClassKey1));
             Drop(s, KeyEntry(ClassKey2));
             Removed(s);
         },
         {}},

        {"zone_value_absent", "the value 1004 absent before the run: afterwards DWORD 1",
         [] {
             HKEY key = CreateKey(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3");
             RegDeleteValueW(key, L"1004");
             RegCloseKey(key);
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"zone_value_zero", "the value 1004 is 0 before the run: afterwards DWORD 1",
         [] { SetDword(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3", L"1004", 0); }, {Says(Succeeded)},
         0, Everything, {}},

        {"class_keys_absent", "class keys absent: no box for them, the files are still removed",
         [] {
             DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
             DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2);
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"class_keys_deep_wide", "class keys three levels deeper with values, and a level of 45 subkeys",
         [] {
             const std::wstring base = std::wstring(L"CLSID\\") + ClassKey1 + L"\\Wide";
             for (int i = 0; i < 45; i++) {
                 std::wstring child = base + L"\\Child" + std::to_wstring(i);
                 SetString(HKEY_CLASSES_ROOT, child + L"\\Level2\\Level3", L"Value", L"deep");
                 SetDword(HKEY_CLASSES_ROOT, child, L"Index", (DWORD)i);
             }
             SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2 + L"\\A\\B\\C", L"Leaf", L"x");
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"class_key_deepest", "a class key with a chain of 500 levels below it: removed, no crash",
         [] {
             HKEY key = CreateKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1 + L"\\Chain");
             for (int level = 1; level < 500 && key; level++) {
                 HKEY child = nullptr;
                 Check(RegCreateKeyExW(key, (L"L" + std::to_wstring(level)).c_str(), 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, &child, nullptr),
                       "create chain level " + std::to_string(level));
                 RegCloseKey(key);
                 key = child;
             }
             if (key)
                 RegCloseKey(key);
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"long_names", "subkeys with names of 255 Chinese characters (510 bytes in code page 936): removed",
         [] {
             std::wstring name(255, L'\u6ce8');
             SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1 + L"\\" + name + L"\\" + name,
                       L"v", L"x");
             SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2 + L"\\" + std::wstring(100, L'a'),
                       L"v", L"x");
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"no_rights", "a class key the system refuses to delete (ERROR_ACCESS_DENIED): two boxes, exit code 1, "
                      "no file touched",
         [] {
             // Wine enforces no registry security, so the refusal comes the
             // way the system gives it for a key that keeps a subkey: one whose
             // name the ANSI functions cannot spell (Thai, outside code page 936).
             CreateKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1 + L"\\\u0e01\u0e02");
         },
         {Says(NoRights), Says(Failed)}, 1,
         [](State &s) {
             // The other subkeys of the first class key are gone, the key
             // itself with its value and the unspellable subkey stay; the
             // zone value is set; nothing else changes.
             ZoneSet(s);
             const std::wstring key = KeyEntry(ClassKey1);
             for (auto it = s.begin(); it != s.end();) {
                 bool below = it->compare(0, key.size() + 1, key + L"\\") == 0;
                 bool kept = it->compare(0, key.size() + 5, key + L"\\\u0e01\u0e02") == 0;
                 it = below && !kept ? s.erase(it) : std::next(it);
             }
         },
         {}},

        {"planted_dll", "a uxtheme.dll planted beside the program, native DLLs preferred: the program does not "
                        "load it",
         PlantDll, {Says(Succeeded)}, 0, Everything, RemovePlantedDll},

        {"sibling_deleted_meanwhile", "another program deletes a subkey of a class key while the program removes "
                                      "a deep sibling before it: success, everything removed",
         StartOtherProgram, {Says(Succeeded)}, 0, Everything, StopOtherProgram},

        {"killed_and_run_again", "killed while removing a large class key tree, then run again: success, the "
                                 "state as after one whole run",
         RunAndKill, {Says(Succeeded)}, 0,
         [](State &s) {
             s = beforeFirstRun;
             Everything(s);
         },
         {}},

        // Under WoW64 only: the same-named 64-bit components stay.
        {"wow64_twins", "everything installed in the 32-bit views and a twin of every target in the 64-bit "
                        "views: the 32-bit targets go, every twin stays exactly as it was",
         InstallTwins, {Says(Succeeded)}, 0, Everything, {}},

        {"wow64_only_twins", "only the 64-bit twins present: the success box, every twin stays",
         [] {
             RemoveAllComponents();
             InstallTwins();
         },
         {Says(Succeeded)}, 0, ZoneSet, {}},

        {"wow64_in_use_no", "with the twins, the 32-bit larMosk.dll loaded by another process, answer No: the "
                            "targets after it stay, the twins are unchanged",
         [sys] {
             InstallTwins();
             Hold(sys + L"\\larMosk.dll");
         },
         {Says(InUse, IDNO), Says(Failed)}, 0,
         [](State &s) { StoppedAt(s, 1); },
         ReleaseLibrary},
    };
}

// ---------------------------------------------------------------- running

bool Expected(const Expect &expect, const Box &box, std::string &why)
{
    std::wstring caption = expect.kind == Kind::SystemError ? L"Error" : Caption;
    std::wstring text = expect.kind == Kind::SystemError ? SystemText(expect.code) : expect.text;
    bool question = expect.kind == Kind::Ours && expect.text == InUse;
    if (box.caption != caption)
        why += " caption " + Show(box.caption) + ", expected " + Show(caption) + ";";
    if (box.text != text)
        why += " text " + Show(box.text) + ", expected " + Show(text) + ";";
    if (question ? !(box.yes && box.no && !box.ok && !box.cancel) : !(box.ok && !box.yes && !box.no))
        why += std::string(" buttons ") + Buttons(box) + ", expected " + (question ? "[Yes][No]" : "[OK]") + ";";
    if (box.owner)
        why += " the box has an owner window;";
    return why.empty();
}

bool Ours(const Box &box)
{
    return box.caption == Caption || box.caption == L"Error";
}

// What the state says about one target, in a few words.
std::string Describe(const State &state, const std::wstring &entry, bool folder)
{
    size_t below = 0;
    bool present = false;
    for (const std::wstring &e : state) {
        if (e == entry || e == entry + L" (read-only)")
            present = true;
        else if (Under(e, entry) && e.compare(entry.size(), 1, L"\\") == 0 && e.find(L" = ") == std::wstring::npos)
            below++;
    }
    if (!present)
        return "absent";
    if (folder)
        return "present, " + std::to_string(below) + " entries inside";
    if (entry.compare(0, 4, L"reg ") == 0)
        return "present, " + std::to_string(below) + " subkeys";
    return "present";
}

std::string ZoneValue(const State &state)
{
    bool key = false;
    for (const std::wstring &e : state) {
        if (e == ZoneKeyEntry)
            key = true;
        if (e.compare(0, ZoneKeyEntry.size() + 8, ZoneKeyEntry + L" = 1004:") == 0) {
            std::wstring data = e.substr(e.rfind(L':') + 1);
            if (data.size() == 8 && e.find(L":4:") != std::wstring::npos)
                return "DWORD " + std::to_string(std::stoul(data.substr(0, 2), nullptr, 16));
            return "not a DWORD";
        }
    }
    return key ? "absent" : "zone key absent";
}

void PrintTable(const State &before, const State *after)
{
    struct Row {
        std::string what, where;
        std::wstring entry;
        bool folder;
    };
    std::vector<Row> rows;
    for (const wchar_t *id : {ClassKey1, ClassKey2})
        rows.push_back({"class " + Utf8(id), "HKCR\\CLSID", KeyEntry(id), false});
    for (const wchar_t *name : SystemFiles)
        rows.push_back({Utf8(name), Utf8(SystemDir()), SystemFileEntry(name), false});
    rows.push_back({"pendrow\\", Utf8(SystemDir()), L"file " + Folder(), true});
    for (const wchar_t *name : DpfFiles)
        rows.push_back({Utf8(name), Utf8(Dpf()), DpfEntry(name), false});
    printf("  %-48s %-38s %-28s%s\n", "target", "where", after ? "before" : "state", after ? "after" : "");
    for (const Row &row : rows)
        printf("  %-48s %-38s %-28s%s\n", row.what.c_str(), row.where.c_str(),
               Describe(before, row.entry, row.folder).c_str(),
               after ? Describe(*after, row.entry, row.folder).c_str() : "");
    printf("  %-48s %-38s %-28s%s\n", "zone 3 value 1004 (unsigned ActiveX)", "HKCU\\...\\Internet Settings\\Zones\\3",
           ZoneValue(before).c_str(), after ? ZoneValue(*after).c_str() : "");
    fflush(stdout);
}

int RunScenario(const Scenario &scenario, const std::wstring &program)
{
    printf("scenario %s: %s\n", scenario.name, scenario.summary);
    Install();
    scenario.prepare();
    if (failures)
        return 1;
    State before = Snapshot();
    State expected = before;
    if (options.tables) {
        printf("\ninstalled:\n");
        PrintTable(before, nullptr);
        printf("\nrunning %s\n", Utf8(program).c_str());
        fflush(stdout);
    }

    PROCESS_INFORMATION process;
    if (!StartProgram(program, L" /ignored-argument", process))
        return 1;

    size_t next = 0;
    int boxCount = 0;
    const DWORD start = GetTickCount();
    const DWORD limit = options.manual ? 3600000 : Scaled(60000);
    bool timedOut = false;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > limit) {
            timedOut = true;
            break;
        }
        Finder finder{process.dwProcessId, nullptr};
        EnumWindows(FindBox, (LPARAM)&finder);
        if (!finder.found)
            continue;
        Sleep(Scaled(50));  // let the box finish laying itself out
        Box box = ReadBox(finder.found);
        std::string gloss = Gloss(box.text);
        printf("  box %s %s%s %s%s\n", Show(box.caption).c_str(), Show(box.text).c_str(),
               gloss.empty() ? "" : (" (" + gloss + ")").c_str(), Buttons(box).c_str(),
               box.owner ? " (owned)" : "");
        if (!options.shots.empty()) {
            Sleep(200);  // fully drawn
            std::wstring picture = options.shots + L"\\box" + std::to_wstring(++boxCount) + L".bmp";
            SaveWindow(box.window, picture);
        }
        if (options.manual) {
            // A person answers: wait for the box to go.
            printf("    waiting for you to answer it on the screen\n");
            fflush(stdout);
            while (IsWindow(box.window) && WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT)
                ;
            next++;
            continue;
        }

        int answer = box.yes ? IDNO : box.ok ? IDOK : IDCANCEL;
        if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell && !Ours(box)) {
            printf("    the shell's own box: dismissed\n");
        } else {
            if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell)
                next++;
            if (next >= scenario.boxes.size()) {
                Fail("a box more than expected");
            } else {
                const Expect &expect = scenario.boxes[next++];
                std::string why;
                if (!Expected(expect, box, why))
                    Fail("box " + std::to_string(next) + ":" + why);
                if (expect.before)
                    expect.before();
                answer = expect.answer;
            }
        }
        printf("    answered %s\n", ButtonName(answer));
        fflush(stdout);
        PostMessageW(box.window, WM_COMMAND, answer, 0);
        for (DWORD waited = GetTickCount(); IsWindow(box.window) && GetTickCount() - waited < Scaled(10000);)
            Sleep(10);
        if (IsWindow(box.window)) {
            Fail("the box did not close when answered");
            break;
        }
    }
    if (timedOut || WaitForSingleObject(process.hProcess, Scaled(10000)) == WAIT_TIMEOUT) {
        Fail("the program did not end within its time");
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("  exit code %lu\n", exitCode);

    if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell)
        next++;
    if (next < scenario.boxes.size() && !options.manual)
        Fail("expected " + std::to_string(scenario.boxes.size()) + " boxes, saw " + std::to_string(next));
    if (exitCode != scenario.exitCode)
        Fail("exit code " + std::to_string(exitCode) + ", expected " + std::to_string(scenario.exitCode));

    if (scenario.finish)
        scenario.finish();
    scenario.after(expected);
    State after = Snapshot();
    for (const std::wstring &entry : after)
        if (!expected.count(entry))
            Fail((before.count(entry) ? "unexpectedly still there: " : "unexpectedly appeared: ") + Utf8(entry));
    for (const std::wstring &entry : expected)
        if (!after.count(entry))
            Fail("unexpectedly gone or changed: " + Utf8(entry));
    if (options.tables) {
        printf("\nbefore and after:\n");
        PrintTable(before, &after);
        printf("\n");
    }
    size_t gone = 0;
    for (const std::wstring &entry : before)
        gone += !after.count(entry);
    printf("  state: %zu watched entries before, %zu after, %zu removed or changed\n", before.size(), after.size(),
           gone);
    printf("%s: %s\n", failures ? "FAILED" : "PASSED", scenario.name);
    return failures ? 1 : 0;
}


// ---------------------------------------------------------------- benchmark

double Milliseconds()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

// Runs the program and returns the milliseconds from its start to its final
// box.  The box is the program's first wait for input, so WaitForInputIdle
// marks it without the driver polling the window list, which would compete
// with the program for the wineserver.  The box is then answered.
double TimeProgram(const std::wstring &program)
{
    PROCESS_INFORMATION process;
    double start = Milliseconds();
    if (!StartProgram(program, L"", process))
        return 0;
    if (WaitForInputIdle(process.hProcess, 600000) != 0)
        Fail("the program did not come to its box within 10 minutes");
    double elapsed = Milliseconds() - start;
    while (WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT) {
        if (Milliseconds() - start > 660000) {
            Fail("the program did not end");
            TerminateProcess(process.hProcess, 99);
            break;
        }
        Finder finder{process.dwProcessId, nullptr};
        EnumWindows(FindBox, (LPARAM)&finder);
        if (finder.found) {
            Box box = ReadBox(finder.found);
            if (box.text != Succeeded)
                Fail("unexpected box " + Show(box.text));
            PostMessageW(finder.found, WM_COMMAND, box.yes ? IDNO : IDOK, 0);
            while (IsWindow(finder.found) && WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT)
                ;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

// Below `key`: `fanout` children per level for `depth` levels, each with one value.
int BuildLevel(HKEY key, int fanout, int depth)
{
    int made = 0;
    for (int i = 0; i < fanout && depth > 0; i++) {
        HKEY child;
        wchar_t name[16];
        swprintf(name, 16, L"K%04d", i);
        if (RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) != ERROR_SUCCESS) {
            Fail("cannot create a tree key");
            return made;
        }
        DWORD value = (DWORD)i;
        RegSetValueExW(child, L"V", 0, REG_DWORD, (const BYTE *)&value, sizeof value);
        made += 1 + BuildLevel(child, fanout, depth - 1);
        RegCloseKey(child);
    }
    return made;
}

struct Shape {
    const char *name;
    std::function<int(HKEY)> build;  // returns the number of keys below the class key
};

int BuildShape(const Shape &shape)
{
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
    HKEY key = CreateKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
    DWORD value = 1;
    RegSetValueExW(key, L"V", 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    int keys = 1 + shape.build(key);
    RegCloseKey(key);
    return keys;
}

bool ClassKeyGone()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + ClassKey1).c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    return true;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int Bench(const std::wstring &program, int runs, const std::string &only)
{
    // Nothing else of the plan is present, so a run's time is its start,
    // the key tree and the one box.
    Install();
    RemoveAllComponents();
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2);

    std::vector<double> baseline;
    for (int i = 0; i < runs; i++)
        baseline.push_back(TimeProgram(program));
    double base = Median(baseline);
    printf("baseline (no tree: process start to the final box): median %.1f ms over %d runs (%.0f-%.0f)\n", base,
           runs, *std::min_element(baseline.begin(), baseline.end()),
           *std::max_element(baseline.begin(), baseline.end()));

    const Shape shapes[] = {
        {"tree, fan-out 10, depth 4", [](HKEY key) { return BuildLevel(key, 10, 4); }},
        {"chain of 512 levels",
         [](HKEY key) {
             HKEY level = key;
             int made = 0;
             for (int i = 1; i < 512; i++) {
                 HKEY child;
                 if (RegCreateKeyExW(level, L"L", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) !=
                     ERROR_SUCCESS)
                     break;
                 if (level != key)
                     RegCloseKey(level);
                 level = child;
                 made++;
             }
             if (level != key)
                 RegCloseKey(level);
             return made;
         }},
        {"one level of 2000 subkeys", [](HKEY key) { return BuildLevel(key, 2000, 1); }},
    };
    printf("%-28s %7s %12s %12s %12s %7s\n", "shape", "keys", "to box ms", "minus base", "SHDeleteKeyA", "ratio");
    for (const Shape &shape : shapes) {
        if (!only.empty() && std::string(shape.name).find(only) == std::string::npos)
            continue;
        std::vector<double> ours, shell;
        int keys = 0;
        for (int i = 0; i < runs; i++) {
            keys = BuildShape(shape);
            ours.push_back(TimeProgram(program));
            if (!ClassKeyGone())
                Fail(std::string(shape.name) + ": the program left the key");
            BuildShape(shape);
            double start = Milliseconds();
            LSTATUS result = SHDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}");
            shell.push_back(Milliseconds() - start);
            if (result != ERROR_SUCCESS || !ClassKeyGone())
                Fail(std::string(shape.name) + ": SHDeleteKeyA gave " + std::to_string(result));
        }
        double mine = Median(ours) - base, theirs = Median(shell);
        printf("%-28s %7d %12.1f %12.1f %12.1f %7.2f   (program %.0f-%.0f, SHDeleteKeyA %.0f-%.0f)\n", shape.name,
               keys, Median(ours), mine, theirs, theirs > 0 ? mine / theirs : 0.0,
               *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()),
               *std::min_element(shell.begin(), shell.end()), *std::max_element(shell.begin(), shell.end()));
        fflush(stdout);
    }
    return failures ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"list") {
        for (const Scenario &s : Scenarios())
            printf("%s\n", s.name);
        return 0;
    }
    if (command == L"demo" && argc >= 3) {
        bool inUse = false;
        for (int i = 3; i < argc; i++) {
            std::wstring arg = argv[i];
            if (arg == L"in-use")
                inUse = true;
            else if (arg == L"manual")
                options.manual = true;
            else if (arg.compare(0, 6, L"shots=") == 0)
                options.shots = arg.substr(6);
        }
        options.tables = true;
        const std::wstring held = SystemDir() + L"\\larMosk.dll";
        Scenario demo{"demo", "the whole job on a machine with everything installed", [] {}, {Says(Succeeded)}, 0,
                      Everything, {}};
        if (inUse) {
            demo.summary = "the whole job, with larMosk.dll held as a loaded library until the question is answered";
            demo.prepare = [held] { Hold(held); };
            demo.boxes = {Says(InUse, IDYES, ReleaseLibrary), Says(Succeeded)};
            demo.finish = ReleaseLibrary;
        }
        return RunScenario(demo, argv[2]);
    }
    if (command == L"install-twins") {
        if (!Wow64()) {
            printf("install-twins: not a 32-bit process under WoW64\n");
            return 2;
        }
        Install();
        InstallTwins();
        printf("installed everything, with the 64-bit twins%s\n", failures ? ", with failures" : "");
        return failures ? 1 : 0;
    }
    if (command == L"state") {
        for (const std::wstring &entry : Snapshot())
            printf("%s\n", Utf8(entry).c_str());
        return 0;
    }
    if (command == L"bench" && argc >= 3)
        return Bench(argv[2], argc > 3 ? _wtoi(argv[3]) : 5, argc > 4 ? Utf8(argv[4]) : "");
    if (command == L"run" && argc == 4) {
        programPath = argv[3];
        for (const Scenario &s : Scenarios()) {
            if (Utf8(argv[2]) != s.name)
                continue;
            if (strncmp(s.name, "wow64_", 6) == 0 && !Wow64()) {
                printf("scenario %s runs only in a 32-bit process under WoW64\n", s.name);
                return 2;
            }
            return RunScenario(s, argv[3]);
        }
        printf("no scenario %s\n", Utf8(argv[2]).c_str());
        return 2;
    }
    printf("usage: driver.exe list | install | state | run NAME UNINSTALL.EXE\n");
    return 2;
}
