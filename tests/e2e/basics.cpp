// Output, places, and the registry and file helpers every part of the driver uses.
#include "driver.h"

#include <winternl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace e2e {

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
    for (wchar_t c : w)
        out += c == L'\r' ? L"\\r" : c == L'\n' ? L"\\n" : std::wstring(1, c);
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

static LARGE_INTEGER Counter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Set as the driver loads, before any thread of its own.
static const LARGE_INTEGER started = Counter();

double Seconds()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(Counter().QuadPart - started.QuadPart) / (double)frequency.QuadPart;
}

// ---------------------------------------------------------------- places

std::wstring Directory(UINT(WINAPI *get)(LPWSTR, UINT))
{
    wchar_t buffer[MAX_PATH];
    get(buffer, MAX_PATH);
    return buffer;
}

bool Wow64()
{
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

std::wstring DriverFolder()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::wstring(self, wcsrchr(self, L'\\'));
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

// ---------------------------------------------------------------- registry and files

void Check(LONG result, const std::string &what)
{
    if (result != ERROR_SUCCESS)
        Fail("setting up: " + what + " gave " + std::to_string(result));
}

HKEY CreateKey(HKEY root, const std::wstring &path, REGSAM view)
{
    HKEY key = nullptr;
    Check(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
          "create " + Utf8(path));
    return key;
}

void SetString(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value,
               REGSAM view)
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

// Deletes the key of an open handle, whatever its name; a link as a link.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle);
extern "C" NTSTATUS NTAPI NtOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes);
extern "C" NTSTATUS NTAPI NtCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes,
                                      ULONG TitleIndex, PUNICODE_STRING Class, ULONG CreateOptions, PULONG Disposition);
LONG OpenCounted(HKEY parent, const std::wstring &name, REGSAM access, HKEY &key, bool asLink, bool create)
{
    const USHORT bytes = (USHORT)(name.size() * sizeof(wchar_t));
    UNICODE_STRING counted{bytes, bytes, const_cast<PWSTR>(name.data())};
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &counted, OBJ_CASE_INSENSITIVE | (asLink ? OBJ_OPENLINK : 0), parent, nullptr);
    HANDLE handle = nullptr;
    NTSTATUS status = create ? NtCreateKey(&handle, access, &object, 0, nullptr, 0, nullptr)
                             : NtOpenKey(&handle, access, &object);
    key = (HKEY)handle;
    return (LONG)RtlNtStatusToDosError(status);
}

std::vector<std::wstring> SubkeyNames(HKEY key)
{
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; i++) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        names.emplace_back(name, length);
    }
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    std::vector<std::wstring> names;
    for (const std::wstring &name : SubkeyNames(key))
        if (name.find(L'\0') == std::wstring::npos)
            names.push_back(name);
    RegCloseKey(key);
    return names;
}

std::vector<Value> Values(HKEY key)
{
    std::vector<Value> values;
    // On the heap: the callers recurse through trees hundreds of levels deep.
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; i++) {
        DWORD length = (DWORD)name.size(), size = (DWORD)data.size(), type;
        if (RegEnumValueW(key, i, name.data(), &length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            return values;
        values.push_back({{name.data(), length}, type, {data.begin(), data.begin() + size}});
    }
}

bool KeyExists(HKEY root, const std::wstring &path, REGSAM access)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

static size_t Tree(HKEY key, int depth, const std::vector<std::wstring> &names, bool values)
{
    size_t made = 0;
    for (DWORD i = 0; i < names.size() && depth > 0; i++) {
        HKEY child = nullptr;
        Check(OpenCounted(key, names[i], KEY_ALL_ACCESS, child, false, true), "create a key of a counted name");
        if (!child)
            return made;
        if (values)
            RegSetValueExW(child, L"V", 0, REG_DWORD, (const BYTE *)&i, sizeof i);
        made += 1 + Tree(child, depth - 1, names, values);
        RegCloseKey(child);
    }
    return made;
}

size_t Tree(HKEY root, const std::wstring &path, int depth, const std::vector<std::wstring> &names, bool values)
{
    HKEY key = CreateKey(root, path);
    const size_t made = key ? Tree(key, depth, names, values) : 0;
    RegCloseKey(key);
    return made;
}

std::vector<std::wstring> Numbered(const wchar_t *prefix, int count, int digits)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < count; i++) {
        wchar_t name[64];
        swprintf(name, 64, L"%ls%0*d", prefix, digits, i);
        names.push_back(name);
    }
    return names;
}

// Deletes an open key and everything below it through handles, deepest
// first: each subkey opened by its counted name as it is (a link as a link,
// never its target).
static LONG DeleteOpenKey(HKEY key)
{
    for (const std::wstring &name : SubkeyNames(key)) {
        HKEY child;
        LONG result = OpenCounted(key, name, KEY_ALL_ACCESS, child, true);
        if (result == ERROR_SUCCESS) {
            result = DeleteOpenKey(child);
            RegCloseKey(child);
        }
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
            return result;
    }
    return (LONG)RtlNtStatusToDosError(NtDeleteKey(key));
}

LONG TryDeleteTree(HKEY root, const std::wstring &path)
{
    HKEY key;
    LONG result = RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key);
    if (result == ERROR_SUCCESS) {
        result = DeleteOpenKey(key);
        RegCloseKey(key);
    }
    return result;
}

void DeleteTree(HKEY root, const std::wstring &path)
{
    LONG r = TryDeleteTree(root, path);
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
        Fail("cleaning up: deleting " + Utf8(path) + " gave " + std::to_string(r));
}

std::vector<std::wstring> FolderEntries(const std::wstring &folder)
{
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return paths;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            paths.push_back(folder + L"\\" + name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return paths;
}

void RemovePath(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::wstring &entry : FolderEntries(path))
            RemovePath(entry);
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

// A loadable library, so that a target can be held as a mapped image.
void PutLibrary(const std::wstring &path)
{
    if (!CopyFileW((DriverFolder() + L"\\payload.dll").c_str(), path.c_str(), FALSE))
        Fail("setting up: cannot copy the payload library to " + Utf8(path));
}

void PutBytes(const std::wstring &path, const void *bytes, size_t size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes, (DWORD)size, &written, nullptr);
        CloseHandle(file);
    }
    if (written != size)
        Fail("cannot write " + Utf8(path));
}

std::string ReadBytes(const std::wstring &path)
{
    std::string bytes;
    if (FILE *file = _wfopen(path.c_str(), L"rb")) {
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;)
            bytes.append(chunk, n);
        fclose(file);
    }
    return bytes;
}

void PutText(const std::wstring &path, const char *text, bool readOnly)
{
    PutBytes(path, text, strlen(text));
    if (readOnly)
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

}  // namespace e2e
