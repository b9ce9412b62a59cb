// Simulated implementation of the platform operations in platform/platform.h,
// for the native unit tests: an in-memory Windows machine (see simulation.h).
#include "platform/simulation.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

namespace sim {

namespace {

Machine state;

struct ProcessExit {
    UINT code;
};

const uintptr_t ClassesRootHandle = 0x80000000u;
const uintptr_t CurrentUserHandle = 0x80000001u;
uintptr_t nextHandle = 0x1000;
std::map<uintptr_t, REGSAM> handleAccess;  // what each open registry handle may do

const NTSTATUS StatusAccessDenied = (NTSTATUS)0xC0000022;
const NTSTATUS StatusObjectNameNotFound = (NTSTATUS)0xC0000034;
const NTSTATUS StatusInvalidHandle = (NTSTATUS)0xC0000008;
const NTSTATUS StatusKeyDeleted = (NTSTATUS)0xC000017C;
const NTSTATUS StatusCannotDelete = (NTSTATUS)0xC0000121;  // a key that still has subkeys
const DWORD ErrorAlreadyExists = 183;
const DWORD ErrorNotOwner = 288;

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

void Violation(const std::string &what)
{
    state.violations.push_back(what);
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

std::string ParentOf(const std::string &path)
{
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

DWORD Fault(const std::string &op, const std::string &subject)
{
    return state.fault ? state.fault(op, subject) : 0;
}

void Call(const std::string &op, const std::string &subject)
{
    state.calls.push_back(subject.empty() ? op : op + " " + subject);
    if (state.between) {
        // A copy: the hook may replace itself.
        std::function<void(const std::string &)> between = state.between;
        between(state.calls.back());
    }
}

void MarkDeleted(Key &key)
{
    for (auto &child : key.children)
        MarkDeleted(*child.second);
    key.children.clear();
    key.deleted = true;
}

}  // namespace

std::string Upper(const std::string &s)
{
    std::string out = s;
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return out;
}

Machine &machine()
{
    return state;
}

void Reset()
{
    for (void *p : state.allocations)
        std::free(p);
    state = Machine();
    handleAccess.clear();
    state.classesRoot = std::make_shared<Key>();
    state.classesRoot->path = "HKCR";
    state.currentUser = std::make_shared<Key>();
    state.currentUser->path = "HKCU";
    state.errorTexts = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_SHARING_VIOLATION,
         "The process cannot access the file because it is being used by another process.\r\n"},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
    };
    AddFolder(state.systemDirectory);
    AddFolder(state.windowsDirectory + "\\Downloaded Program Files");
}

// What the system does when the process ends: a mutex it still owns is
// abandoned, free for the next owner.
static void ProcessEnded()
{
    for (auto &mutex : state.mutexes)
        mutex.second.ownedByProgram = false;
}

int Run()
{
    try {
        char commandLine[] = "/ignored arguments";
        int code = WinMain(nullptr, nullptr, commandLine, 1);
        ProcessEnded();
        return code;
    } catch (const ProcessExit &exit) {
        ProcessEnded();
        return (int)exit.code;
    }
}

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

void AddFolder(const std::string &path)
{
    std::string parent = ParentOf(path);
    if (!parent.empty() && parent.find('\\') != std::string::npos && !Exists(parent))
        AddFolder(parent);
    File &folder = state.files[Upper(path)];
    folder.path = path;
    folder.directory = true;
}

void AddFile(const std::string &path, Hold hold, bool readOnly)
{
    AddFolder(ParentOf(path));
    state.files[Upper(path)] = File{path, false, readOnly, hold};
}

bool Exists(const std::string &path)
{
    return state.files.count(Upper(path)) != 0;
}

File *FindFile(const std::string &path)
{
    auto it = state.files.find(Upper(path));
    return it == state.files.end() ? nullptr : &it->second;
}

void Remove(const std::string &path)
{
    std::string prefix = Upper(path) + "\\";
    for (auto it = state.files.begin(); it != state.files.end();)
        if (it->first == Upper(path) || it->first.compare(0, prefix.size(), prefix) == 0)
            it = state.files.erase(it);
        else
            ++it;
}

}  // namespace sim

using namespace sim;

namespace {

const uintptr_t Kernel32Handle = 0x75000000u;

BOOL WINAPI SimSetDefaultDllDirectories(DWORD DirectoryFlags)
{
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08X", (unsigned)DirectoryFlags);
    Call("SetDefaultDllDirectories", flags);
    state.defaultDllDirectories = DirectoryFlags;
    return TRUE;
}

}  // namespace

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

static UINT DirectoryRequest(const char *op, const std::string &directory,
                             const std::optional<UINT> &forced, LPSTR lpBuffer, UINT uSize)
{
    Call(op, "");
    if (forced)
        return *forced;
    if (directory.size() + 1 > uSize)
        return (UINT)directory.size() + 1;
    std::memcpy(lpBuffer, directory.c_str(), directory.size() + 1);
    return (UINT)directory.size();
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return DirectoryRequest("GetSystemDirectoryA", state.systemDirectory,
                            state.systemDirectoryResult, lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return DirectoryRequest("GetWindowsDirectoryA", state.windowsDirectory,
                            state.windowsDirectoryResult, lpBuffer, uSize);
}

static BOOL Fail(DWORD code)
{
    state.lastError = code;
    return FALSE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    std::string path = lpFileName;
    Call("DeleteFileA", path);
    if (path.size() >= MAX_PATH)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    File *folder = FindFile(ParentOf(path));
    if (!folder || !folder->directory)
        return Fail(ERROR_PATH_NOT_FOUND);
    File *file = FindFile(path);
    if (!file)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (file->directory || file->readOnly || file->hold == Hold::LoadedImage)
        return Fail(ERROR_ACCESS_DENIED);
    if (file->hold == Hold::OpenNoShareDelete)
        return Fail(ERROR_SHARING_VIOLATION);
    if (DWORD code = Fault("DeleteFileA", path))
        return Fail(code);
    state.files.erase(Upper(path));
    return TRUE;
}

DWORD WINAPI GetLastError(void)
{
    Call("GetLastError", "");
    return state.lastError;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, void *Arguments)
{
    Call("FormatMessageA", std::to_string(dwMessageId));
    if (dwFlags != 0x1300 || lpSource || dwLanguageId != 0x0400 || nSize != 0 || Arguments)
        Violation("FormatMessageA with other flags, source, language, size or arguments");
    auto it = state.errorTexts.find(dwMessageId);
    if (it == state.errorTexts.end() || Fault("FormatMessageA", std::to_string(dwMessageId))) {
        state.lastError = 317;  // ERROR_MR_MID_NOT_FOUND; the buffer is left alone
        return 0;
    }
    char *text = (char *)std::malloc(it->second.size() + 1);
    std::memcpy(text, it->second.c_str(), it->second.size() + 1);
    state.allocations.insert(text);
    *(char **)lpBuffer = text;
    return (DWORD)it->second.size();
}

HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    Call("LocalFree", "");
    if (state.allocations.erase(hMem) == 0) {
        Violation("LocalFree of memory that was never allocated");
        return hMem;
    }
    std::free(hMem);
    return nullptr;
}

BOOL WINAPI PathFileExistsA(LPCSTR pszPath)
{
    Call("PathFileExistsA", pszPath);
    return Exists(pszPath) ? TRUE : FALSE;
}

int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA op)
{
    std::string from = op->pFrom;
    Call("SHFileOperationA", from);
    // The source is a list of paths ended by an empty one.
    if (op->pFrom[from.size() + 1] != '\0')
        Violation("SHFileOperationA source list is not double-NUL-terminated");
    if (op->hwnd || op->wFunc != FO_DELETE || op->pTo || op->fFlags != FOF_NOCONFIRMATION ||
        op->fAnyOperationsAborted || op->hNameMappings || op->lpszProgressTitle)
        Violation("SHFileOperationA record other than: no owner, FO_DELETE, FOF_NOCONFIRMATION");
    state.shellRequests.push_back(from);
    if (state.shell.removes)
        Remove(from);
    op->fAnyOperationsAborted = state.shell.aborted ? TRUE : FALSE;
    return state.shell.result;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    Call("MessageBoxA", lpText);
    Box box{hWnd, lpText, lpCaption, uType, IDOK};
    bool question = (uType & 0xF) == MB_YESNO;
    if (state.answered < state.answers.size()) {
        Answer &answer = state.answers[state.answered++];
        if (answer.before)
            answer.before();
        box.answer = answer.button;
        if ((answer.button == IDOK) == question)
            Violation("scripted answer does not match the box's buttons");
    } else if (question) {
        Violation("a question came that the script did not answer");
        box.answer = IDNO;
    }
    state.boxes.push_back(box);
    return box.answer;
}

void WINAPI ExitProcess(UINT uExitCode)
{
    Call("ExitProcess", std::to_string(uExitCode));
    throw ProcessExit{uExitCode};
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    std::string name = lpName ? lpName : "";
    Call("CreateMutexA", name);
    if (lpMutexAttributes || bInitialOwner || name.empty())
        Violation("CreateMutexA other than unnamed security, not owned, with a name");
    bool existed = state.mutexes.count(name) != 0;
    Mutex &mutex = state.mutexes[name];
    if (mutex.refusedOpens > 0) {
        // Another user's copy made it, with security that lets us not in.
        mutex.refusedOpens--;
        state.lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (DWORD code = Fault("CreateMutexA", name)) {
        state.lastError = code;
        return nullptr;
    }
    uintptr_t handle = nextHandle;
    nextHandle += 4;
    state.mutexHandles[handle] = name;
    state.lastError = existed ? ErrorAlreadyExists : 0;
    return (HANDLE)handle;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    auto it = state.mutexHandles.find((uintptr_t)hHandle);
    Call("WaitForSingleObject", (it == state.mutexHandles.end() ? std::string("?") : it->second) + " " +
                                    std::to_string(dwMilliseconds));
    if (it == state.mutexHandles.end()) {
        Violation("WaitForSingleObject on a handle that is not an open mutex");
        state.lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    Mutex &mutex = state.mutexes[it->second];
    if (mutex.heldByOther && mutex.releasedAfter > dwMilliseconds) {
        if (dwMilliseconds == INFINITE) {
            Violation("waits for ever for a mutex that is never released");
            return WAIT_FAILED;
        }
        state.waited += dwMilliseconds;
        if (mutex.releasedAfter != INFINITE)
            mutex.releasedAfter -= dwMilliseconds;
        return WAIT_TIMEOUT;
    }
    bool abandoned = false;
    if (mutex.heldByOther) {
        state.waited += mutex.releasedAfter;
        mutex.heldByOther = false;
        abandoned = mutex.abandoned;
    }
    mutex.ownedByProgram = true;
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    auto it = state.mutexHandles.find((uintptr_t)hMutex);
    Call("ReleaseMutex", it == state.mutexHandles.end() ? std::string("?") : it->second);
    if (it == state.mutexHandles.end() || !state.mutexes[it->second].ownedByProgram) {
        Violation("ReleaseMutex of a mutex the program does not own");
        state.lastError = ErrorNotOwner;
        return FALSE;
    }
    state.mutexes[it->second].ownedByProgram = false;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    auto it = state.mutexHandles.find((uintptr_t)hObject);
    Call("CloseHandle", it == state.mutexHandles.end() ? std::string("?") : it->second);
    if (it == state.mutexHandles.end()) {
        Violation("CloseHandle of a handle that is not open");
        state.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    state.mutexHandles.erase(it);
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    Call("Sleep", std::to_string(dwMilliseconds));
    state.waited += dwMilliseconds;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    std::string name = lpModuleName ? lpModuleName : "";
    Call("GetModuleHandleA", name);
    if (Upper(name) == "KERNEL32.DLL" || Upper(name) == "KERNEL32")
        return (HMODULE)Kernel32Handle;
    state.lastError = 126;  // ERROR_MOD_NOT_FOUND
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    std::string name = lpProcName ? lpProcName : "";
    Call("GetProcAddress", name);
    if ((uintptr_t)hModule != Kernel32Handle)
        Violation("GetProcAddress on a module other than KERNEL32");
    if (name == "SetDefaultDllDirectories" && state.hasDefaultDllDirectories)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&SimSetDefaultDllDirectories));
    state.lastError = 127;  // ERROR_PROC_NOT_FOUND
    return nullptr;
}

}  // extern "C"
