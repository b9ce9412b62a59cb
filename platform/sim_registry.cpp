// Simulated registry: keys, links, handles and the registry operations of platform/platform.h.
#include "platform/simulation_internal.h"

#include <cstring>

namespace sim {

std::map<uintptr_t, REGSAM> detail::handleAccess;

using namespace detail;

namespace {

const uintptr_t ClassesRootHandle = 0x80000000u;
const uintptr_t CurrentUserHandle = 0x80000001u;

const NTSTATUS StatusAccessDenied = (NTSTATUS)0xC0000022;
const NTSTATUS StatusObjectNameNotFound = (NTSTATUS)0xC0000034;
const NTSTATUS StatusInvalidHandle = (NTSTATUS)0xC0000008;
const NTSTATUS StatusKeyDeleted = (NTSTATUS)0xC000017C;
const NTSTATUS StatusCannotDelete = (NTSTATUS)0xC0000121;  // a key that still has subkeys

// The status the system gives for a Win32 code; codes without a status of
// their own travel in the Win32 facility, which RtlNtStatusToDosError undoes.
NTSTATUS StatusOf(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS: return 0;
    case ERROR_ACCESS_DENIED: return StatusAccessDenied;
    case ERROR_FILE_NOT_FOUND: return StatusObjectNameNotFound;
    case ERROR_INVALID_HANDLE: return StatusInvalidHandle;
    case ERROR_KEY_DELETED: return StatusKeyDeleted;
    default: return (NTSTATUS)(0xC0070000u | (code & 0xFFFF));
    }
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

std::shared_ptr<Key> Root(HKEY root)
{
    if ((uintptr_t)root == ClassesRootHandle)
        return state.classesRoot;
    if ((uintptr_t)root == CurrentUserHandle)
        return state.currentUser;
    return nullptr;
}

// The key behind an open handle or a predefined root; null when the handle
// was never opened or is closed.
std::shared_ptr<Key> Resolve(HKEY handle)
{
    if (std::shared_ptr<Key> root = Root(handle))
        return root;
    auto it = state.handles.find((uintptr_t)handle);
    return it == state.handles.end() ? nullptr : it->second;
}

std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::string &path, bool openLink = false,
                          int links = 0);

// The key a link leads to, through any chain of links; null when the target
// is missing or the chain does not end.
std::shared_ptr<Key> Follow(std::shared_ptr<Key> key, int links)
{
    while (key && key->link) {
        if (++links > 16)
            return nullptr;
        key = Walk(Root(key->link->root), key->link->path, false, links);
    }
    return key;
}

// The key at path below key.  Links on the way are followed; the last part
// is taken as it is when openLink is set, as REG_OPTION_OPEN_LINK does.
std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::string &path, bool openLink, int links)
{
    if (path.empty())
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

}  // namespace

std::shared_ptr<Key> CreateKey(HKEY root, const std::string &path)
{
    std::shared_ptr<Key> key = Root(root);
    for (const std::string &part : Split(path)) {
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
    return Walk(Root(root), path);
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
    std::function<size_t(const Key &)> count = [&](const Key &key) {
        size_t n = 1;
        for (const auto &child : key.children)
            n += count(*child.second);
        return n;
    };
    return count(*Root(root)) - 1;
}

void DeleteKey(HKEY root, const std::string &path)
{
    std::shared_ptr<Key> key = Walk(Root(root), path);
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

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult)
{
    std::shared_ptr<Key> parent = Resolve(hKey);
    std::string sub = lpSubKey ? lpSubKey : "";
    Call("RegOpenKeyExA", (parent ? parent->path : std::string("?")) + "\\" + sub +
                              (ulOptions & REG_OPTION_OPEN_LINK ? " (link)" : "") +
                              (samDesired == DELETE ? " (DELETE)" : ""));
    if ((ulOptions & ~REG_OPTION_OPEN_LINK) != 0 || (samDesired != KEY_ALL_ACCESS && samDesired != DELETE))
        Violation("RegOpenKeyExA with options other than REG_OPTION_OPEN_LINK or access other than "
                  "KEY_ALL_ACCESS and DELETE");
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (parent->deleted)
        return ERROR_KEY_DELETED;
    std::shared_ptr<Key> key = Walk(parent, sub, (ulOptions & REG_OPTION_OPEN_LINK) != 0);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if (key->openResult != ERROR_SUCCESS)
        return key->openResult;
    if (key->deleteOnly && samDesired != DELETE)
        return ERROR_ACCESS_DENIED;
    if (DWORD code = Fault("RegOpenKeyExA", key->path))
        return (LSTATUS)code;
    uintptr_t handle = nextHandle;
    nextHandle += 4;
    state.handles[handle] = key;
    handleAccess[handle] = samDesired;
    *phkResult = (HKEY)handle;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime)
{
    std::shared_ptr<Key> key = Resolve(hKey);
    Call("RegEnumKeyExA", (key ? key->path : std::string("?")) + " #" + std::to_string(dwIndex));
    if (lpReserved || lpClass || lpcchClass || lpftLastWriteTime)
        Violation("RegEnumKeyExA asked for class or time");
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (key->deleted)
        return ERROR_KEY_DELETED;
    if (!Root(hKey) && handleAccess[(uintptr_t)hKey] == DELETE)
        return ERROR_ACCESS_DENIED;
    if (DWORD code = Fault("RegEnumKeyExA", key->path))
        return (LSTATUS)code;
    if (dwIndex >= key->children.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = key->children.begin();
    std::advance(it, dwIndex);
    const std::string &name = it->second->name;
    if (name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = (DWORD)name.size();
    return ERROR_SUCCESS;
}

NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle)
{
    auto it = state.handles.find((uintptr_t)KeyHandle);
    std::shared_ptr<Key> key = it == state.handles.end() ? nullptr : it->second;
    Call("NtDeleteKey", key ? key->path : std::string("?"));
    if (!key)
        return StatusInvalidHandle;
    if (key->deleted)
        return StatusKeyDeleted;
    if (key->deleteResult != ERROR_SUCCESS)
        return StatusOf(key->deleteResult);
    if (!key->children.empty())
        return StatusCannotDelete;
    if (DWORD code = Fault("NtDeleteKey", key->path))
        return StatusOf(code);
    // The key behind the handle itself, a link as a link.
    key->parent.lock()->children.erase(Upper(key->name));
    key->deleted = true;
    state.deletedKeys.push_back(key->path);
    return 0;
}

ULONG NTAPI RtlNtStatusToDosError(NTSTATUS Status)
{
    const uint32_t status = (uint32_t)Status;
    switch (status) {
    case 0: return ERROR_SUCCESS;
    case 0xC0000022u:
    case 0xC0000121u: return ERROR_ACCESS_DENIED;
    case 0xC0000034u: return ERROR_FILE_NOT_FOUND;
    case 0xC0000008u: return ERROR_INVALID_HANDLE;
    case 0xC000017Cu: return ERROR_KEY_DELETED;
    }
    if ((status & 0xFFFF0000u) == 0xC0070000u)
        return status & 0xFFFF;
    return 317;  // ERROR_MR_MID_NOT_FOUND: no code for this status
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE *lpData, DWORD cbData)
{
    std::shared_ptr<Key> key = Resolve(hKey);
    std::string name = lpValueName ? lpValueName : "";
    Call("RegSetValueExA", (key ? key->path : std::string("?")) + " " + name);
    if (Reserved != 0)
        Violation("RegSetValueExA with a reserved argument");
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (key->deleted)
        return ERROR_KEY_DELETED;
    if (dwType == REG_DWORD && cbData != 4)
        return ERROR_INVALID_PARAMETER;
    if (DWORD code = Fault("RegSetValueExA", key->path))
        return (LSTATUS)code;
    key->values[Upper(name)] = {name, Value{dwType, std::string((const char *)lpData, cbData)}};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    std::shared_ptr<Key> key = Resolve(hKey);
    Call("RegCloseKey", key ? key->path : std::string("?"));
    if (Root(hKey))
        return ERROR_SUCCESS;
    handleAccess.erase((uintptr_t)hKey);
    if (state.handles.erase((uintptr_t)hKey) == 0) {
        Violation("RegCloseKey of a handle that is not open");
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

}  // extern "C"
