// Simulated registry: keys, links, handles and the registry operations of platform/platform.h.
#include "tests/sim/simulation_internal.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

using namespace detail;

namespace {

// Where each root keeps its class store.
const char ClassStore[] = "Software\\Classes";

const NTSTATUS StatusAccessDenied = (NTSTATUS)0xC0000022;
const NTSTATUS StatusObjectNameNotFound = (NTSTATUS)0xC0000034;
const NTSTATUS StatusInvalidHandle = (NTSTATUS)0xC0000008;
const NTSTATUS StatusKeyDeleted = (NTSTATUS)0xC000017C;
const NTSTATUS StatusCannotDelete = (NTSTATUS)0xC0000121;  // a key that still has subkeys

// The rights that name what may be done with a key, without the flags that
// choose a registry view.
REGSAM Rights(REGSAM access)
{
    return access & ~(REGSAM)(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
}

// The statuses with a Win32 code of their own, both ways.  Other codes
// travel in the Win32 facility, which RtlNtStatusToDosError undoes.
const struct {
    NTSTATUS status;
    DWORD code;
} Statuses[] = {{0, ERROR_SUCCESS},
                {StatusAccessDenied, ERROR_ACCESS_DENIED},
                {StatusCannotDelete, ERROR_ACCESS_DENIED},
                {StatusObjectNameNotFound, ERROR_FILE_NOT_FOUND},
                {StatusInvalidHandle, ERROR_INVALID_HANDLE},
                {StatusKeyDeleted, ERROR_KEY_DELETED}};

NTSTATUS StatusOf(DWORD code)
{
    for (const auto &known : Statuses)
        if (known.code == code)
            return known.status;
    return (NTSTATUS)(0xC0070000u | (code & 0xFFFF));
}

std::vector<std::string> Split(const std::string &path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::string &path, bool openLink = false,
                          int links = 0);

// A real root; HKEY_CLASSES_ROOT is a view over two of its keys (Classes).
std::shared_ptr<Key> Root(HKEY root)
{
    return root == HKEY_CURRENT_USER ? state.currentUser : root == HKEY_LOCAL_MACHINE ? state.localMachine : nullptr;
}

bool IsRoot(HKEY handle)
{
    return handle == HKEY_CLASSES_ROOT || Root(handle) != nullptr;
}

// HKEY_CLASSES_ROOT: the user's class store in front of the machine's.  Path
// "" is the root itself, which stands for the machine's store.
std::shared_ptr<Key> Classes(const std::string &path, bool openLink = false, int links = 0)
{
    if (!path.empty())
        if (std::shared_ptr<Key> user = Walk(Walk(state.currentUser, ClassStore), path, openLink, links))
            return user;
    return Walk(Walk(state.localMachine, ClassStore), path, openLink, links);
}

// The key at path below a root or an open handle.
std::shared_ptr<Key> Below(HKEY handle, const std::string &path, bool openLink = false, int links = 0)
{
    if (handle == HKEY_CLASSES_ROOT)
        return Classes(path, openLink, links);
    if (std::shared_ptr<Key> root = Root(handle))
        return Walk(root, path, openLink, links);
    auto it = state.handles.find((uintptr_t)handle);
    return it == state.handles.end() ? nullptr : Walk(it->second.first, path, openLink, links);
}

// The key behind an open handle or a predefined root; null when the handle
// was never opened or is closed.
std::shared_ptr<Key> Resolve(HKEY handle)
{
    return Below(handle, "");
}

// The key a link leads to, through any chain of links; null when the target
// is missing or the chain does not end.
std::shared_ptr<Key> Follow(std::shared_ptr<Key> key, int links)
{
    while (key && key->link) {
        if (++links > 16)
            return nullptr;
        key = Below(key->link->root, key->link->path, false, links);
    }
    return key;
}

// The key at path below key.  Links on the way are followed; the last part
// is taken as it is when openLink is set, as REG_OPTION_OPEN_LINK does.
std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::string &path, bool openLink, int links)
{
    if (path.empty() || !key)
        return key;
    const std::vector<std::string> parts = Split(path);
    for (size_t i = 0; i < parts.size() && key; i++) {
        auto it = key->children.find(Upper(parts[i]));
        if (parts[i].empty() || it == key->children.end())
            return nullptr;
        key = it->second;
        if (key->link && !(openLink && i + 1 == parts.size()))
            key = Follow(key, links);
    }
    return key;
}

void MarkDeleted(Key &key)
{
    for (auto &child : key.children)
        MarkDeleted(*child.second);
    key.children.clear();
    key.deleted = true;
}

// A name the ...A functions were given.  The program gives them only ASCII
// paths; the names it removes go through the wide functions and NtOpenKey,
// which see every name, also one with no form in the ANSI code page or with
// a NUL in it.
std::string FromAnsi(const char *ansi)
{
    return ansi ? ansi : "";
}

// Whether an open handle carries a right; the predefined roots carry all.
bool Holds(HKEY handle, REGSAM right)
{
    if (IsRoot(handle))
        return true;
    auto it = state.handles.find((uintptr_t)handle);
    return it != state.handles.end() && (Rights(it->second.second) & right) == right;
}

// Why a call on the key behind an open handle that needs a right fails, or
// what the fault hook says; ERROR_SUCCESS when it may go on.
LSTATUS Refusal(const char *op, HKEY handle, const std::shared_ptr<Key> &key, REGSAM right)
{
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (key->deleted)
        return ERROR_KEY_DELETED;
    if (!Holds(handle, right))
        return ERROR_ACCESS_DENIED;
    return (LSTATUS)Fault(op, key->path).code;
}

std::string PathOf(HKEY handle)
{
    if (handle == HKEY_CLASSES_ROOT)
        return "HKCR";
    std::shared_ptr<Key> key = Resolve(handle);
    return key ? key->path : std::string("?");
}

LSTATUS Open(const char *op, HKEY hKey, const std::string &sub, DWORD ulOptions, REGSAM samDesired,
             PHKEY phkResult)
{
    std::shared_ptr<Key> parent = Resolve(hKey);
    char access[16];
    std::snprintf(access, sizeof access, "0x%X", (unsigned)samDesired);
    Record(op, PathOf(hKey) + "\\" + sub + (ulOptions & REG_OPTION_OPEN_LINK ? " (link)" : "") +
                 (samDesired == KEY_ALL_ACCESS ? "" : samDesired == DELETE ? " (DELETE)" : std::string(" (") + access + ")"));
    if ((ulOptions & ~REG_OPTION_OPEN_LINK) != 0)
        Violation(std::string(op) + " with options other than REG_OPTION_OPEN_LINK");
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (parent->deleted)
        return ERROR_KEY_DELETED;
    // Opening a key below a handle needs no right on that handle.
    std::shared_ptr<Key> key = Below(hKey, sub, (ulOptions & REG_OPTION_OPEN_LINK) != 0);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if (Rights(samDesired) & ~key->granted)
        return ERROR_ACCESS_DENIED;
    if (DWORD code = Fault(op, key->path).code)
        return (LSTATUS)code;
    const uintptr_t handle = NewHandle();
    state.handles[handle] = {key, samDesired};
    *phkResult = (HKEY)handle;
    return ERROR_SUCCESS;
}

}  // namespace

// Between UTF-8 and UTF-16 (names as the wide functions carry them) as it lies in
// memory here, through the C library's converter; a NUL is a character like any other.
static std::string Convert(const char *to, const char *from, const char *data, size_t size)
{
    iconv_t converter = iconv_open(to, from);
    std::string out(size * 2, '\0');  // the most either way needs
    char *in = const_cast<char *>(data), *next = out.data();
    size_t inLeft = size, outLeft = out.size();
    if (iconv(converter, &in, &inLeft, &next, &outLeft) == (size_t)-1)
        Violation("a name that is not well-formed Unicode");
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

static std::u16string Utf16(const std::string &utf8)
{
    const std::string bytes = Convert("UTF-16LE", "UTF-8", utf8.data(), utf8.size());
    return std::u16string((const char16_t *)bytes.data(), bytes.size() / 2);
}

static std::string Utf8(const std::u16string &utf16)
{
    return Convert("UTF-8", "UTF-16LE", (const char *)utf16.data(), utf16.size() * 2);
}

std::shared_ptr<Key> CreateKey(HKEY root, const std::string &path)
{
    std::shared_ptr<Key> key =
        root == HKEY_CLASSES_ROOT ? CreateKey(HKEY_LOCAL_MACHINE, ClassStore) : Root(root);
    for (const std::string &part : Split(path)) {
        if (Utf16(part).size() > 255)
            Violation("a test made a key name longer than the registry allows: " + part);
        std::shared_ptr<Key> &child = key->children[Upper(part)];
        if (!child) {
            child = std::make_shared<Key>();
            child->name = part;
            child->path = key->path + "\\" + part;
            child->parent = key;
        }
        key = child;
    }
    return key;
}

std::shared_ptr<Key> FindKey(HKEY root, const std::string &path)
{
    return Below(root, path);
}

void SetValue(HKEY root, const std::string &path, const std::string &name, DWORD type,
              const std::string &data)
{
    CreateKey(root, path)->values[Upper(name)] = {name, Value{type, data}};
}

std::optional<Value> GetValue(HKEY root, const std::string &path, const std::string &name)
{
    std::shared_ptr<Key> key = FindKey(root, path);
    if (!key)
        return std::nullopt;
    auto it = key->values.find(Upper(name));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

size_t CountKeys(HKEY root)
{
    // The keys below key; none below a missing one.
    std::function<size_t(const std::shared_ptr<Key> &)> below = [&](const std::shared_ptr<Key> &key) {
        size_t n = 0;
        if (key)
            for (const auto &child : key->children)
                n += 1 + below(child.second);
        return n;
    };
    if (root == HKEY_CLASSES_ROOT)
        return below(Walk(state.localMachine, ClassStore)) + below(Walk(state.currentUser, ClassStore));
    return below(Root(root));
}

void Restrict(HKEY root, const std::string &path, REGSAM granted)
{
    std::function<void(Key &)> restrict = [&](Key &key) {
        key.granted = granted;
        for (auto &child : key.children)
            restrict(*child.second);
    };
    if (std::shared_ptr<Key> key = FindKey(root, path))
        restrict(*key);
}

void DeleteKey(HKEY root, const std::string &path)
{
    std::shared_ptr<Key> key = Below(root, path);
    std::shared_ptr<Key> parent = key ? key->parent.lock() : nullptr;
    if (!parent)
        return;
    parent->children.erase(Upper(key->name));
    MarkDeleted(*key);
}

std::shared_ptr<Key> CreateLink(HKEY root, const std::string &path, HKEY targetRoot, const std::string &target)
{
    std::shared_ptr<Key> link = CreateKey(root, path);
    link->link = Link{targetRoot, target};
    return link;
}

}  // namespace sim

using namespace sim;
using namespace sim::detail;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    return Open("RegOpenKeyExA", hKey, FromAnsi(lpSubKey), ulOptions, samDesired, phkResult);
}

// The name is counted: a NUL in it is part of it.  An empty name opens the
// parent itself, as on Windows.
NTSTATUS NTAPI NtOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes)
{
    const UNICODE_STRING *name = ObjectAttributes->ObjectName;
    const std::u16string counted(name->Buffer, name->Length / sizeof(WCHAR));
    if (counted.empty())
        Violation("NtOpenKey by an empty name, which opens the parent itself");
    if ((ObjectAttributes->Attributes & ~(ULONG)(OBJ_OPENLINK | OBJ_CASE_INSENSITIVE)) != 0 ||
        ObjectAttributes->Length != sizeof(OBJECT_ATTRIBUTES))
        Violation("NtOpenKey with attributes other than OBJ_OPENLINK and OBJ_CASE_INSENSITIVE");
    return StatusOf((DWORD)Open("NtOpenKey", (HKEY)ObjectAttributes->RootDirectory, Utf8(counted),
                                ObjectAttributes->Attributes & OBJ_OPENLINK ? REG_OPTION_OPEN_LINK : 0,
                                DesiredAccess, (PHKEY)KeyHandle));
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    std::shared_ptr<Key> key = Resolve(hKey);
    Record("RegEnumKeyExW", PathOf(hKey) + " #" + std::to_string(dwIndex));
    if (lpReserved || lpClass || lpcchClass || lpftLastWriteTime)
        Violation("RegEnumKeyExW asked for class or time");
    if (LSTATUS refused = Refusal("RegEnumKeyExW", hKey, key, KEY_ENUMERATE_SUB_KEYS))
        return refused;
    if (dwIndex >= key->children.size())
        return ERROR_NO_MORE_ITEMS;
    const std::shared_ptr<Key> &child = std::next(key->children.begin(), dwIndex)->second;
    const std::u16string name = Utf16(child->name);
    if (name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), lpName);
    lpName[name.size()] = 0;
    *lpcchName = (DWORD)name.size();
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    std::shared_ptr<Key> key = Resolve(hKey);
    Record("RegQueryInfoKeyW", PathOf(hKey));
    if (lpClass || lpcchClass || lpReserved || lpcbSecurityDescriptor || lpftLastWriteTime)
        Violation("RegQueryInfoKeyW asked for class, security or time");
    if (LSTATUS refused = Refusal("RegQueryInfoKeyW", hKey, key, KEY_QUERY_VALUE))
        return refused;
    DWORD longestName = 0, longestValueName = 0, longestValue = 0;
    for (const auto &child : key->children)
        longestName = std::max(longestName, (DWORD)Utf16(child.second->name).size());
    for (const auto &value : key->values) {
        longestValueName = std::max(longestValueName, (DWORD)Utf16(value.second.first).size());
        longestValue = std::max(longestValue, (DWORD)value.second.second.data.size());
    }
    // Each figure only where the caller asks for it.
    for (const auto &[out, figure] : {std::pair<LPDWORD, DWORD>{lpcSubKeys, (DWORD)key->children.size()},
                                      {lpcbMaxSubKeyLen, longestName}, {lpcbMaxClassLen, 0},
                                      {lpcValues, (DWORD)key->values.size()}, {lpcbMaxValueNameLen, longestValueName},
                                      {lpcbMaxValueLen, longestValue}})
        if (out)
            *out = figure;
    return ERROR_SUCCESS;
}

NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle)
{
    // A predefined root is not a kernel handle.
    std::shared_ptr<Key> key = IsRoot((HKEY)KeyHandle) ? nullptr : Resolve((HKEY)KeyHandle);
    Record("NtDeleteKey", PathOf((HKEY)KeyHandle));
    if (!key)
        return StatusInvalidHandle;
    if (key->deleted)
        return StatusKeyDeleted;
    if (!Holds((HKEY)KeyHandle, DELETE))
        return StatusAccessDenied;
    if (!key->children.empty())
        return state.wine ? StatusAccessDenied : StatusCannotDelete;
    const Failure failure = Fault("NtDeleteKey", key->path);
    if (failure.subkeysLeft)
        return StatusCannotDelete;
    if (failure.code)
        return StatusOf(failure.code);
    // The key behind the handle itself, a link as a link.
    key->parent.lock()->children.erase(Upper(key->name));
    key->deleted = true;
    return 0;
}

ULONG NTAPI RtlNtStatusToDosError(NTSTATUS Status)
{
    for (const auto &known : Statuses)
        if (known.status == Status)
            return known.code;
    const uint32_t status = (uint32_t)Status;
    if ((status & 0xFFFF0000u) == 0xC0070000u)
        return status & 0xFFFF;
    return 317;  // ERROR_MR_MID_NOT_FOUND: no code for this status
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE *lpData, DWORD cbData)
{
    std::shared_ptr<Key> key = Resolve(hKey);
    std::string name = FromAnsi(lpValueName);
    Record("RegSetValueExA", PathOf(hKey) + " " + name);
    if (Reserved != 0)
        Violation("RegSetValueExA with a reserved argument");
    if (dwType == REG_DWORD && cbData != 4)
        return ERROR_INVALID_PARAMETER;
    if (LSTATUS refused = Refusal("RegSetValueExA", hKey, key, KEY_SET_VALUE))
        return refused;
    key->values[Upper(name)] = {name, Value{dwType, std::string((const char *)lpData, cbData)}};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    Record("RegCloseKey", PathOf(hKey));
    if (IsRoot(hKey))
        return ERROR_SUCCESS;
    if (state.handles.erase((uintptr_t)hKey) == 0) {
        Violation("RegCloseKey of a handle that is not open");
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

}  // extern "C"
