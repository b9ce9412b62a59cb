// Simulated file tree and shell: the system folders, DeleteFileA, Get/SetFileAttributesA and SHFileOperationA.
#include "tests/sim/simulation_internal.h"

#include <cstring>

namespace sim {

using namespace detail;

namespace {

std::string ParentOf(const std::string &path)
{
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

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
using namespace sim::detail;

extern "C" {

static UINT DirectoryRequest(const char *op, const std::string &directory, LPSTR lpBuffer, UINT uSize)
{
    Record(op, "");
    const Failure failure = Fault(op, "");
    if (failure.needed)
        return failure.needed;
    if (failure.code) {
        state.lastError = failure.code;
        return 0;
    }
    if (directory.size() + 1 > uSize)
        return (UINT)directory.size() + 1;
    std::memcpy(lpBuffer, directory.c_str(), directory.size() + 1);
    return (UINT)directory.size();
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return DirectoryRequest("GetSystemDirectoryA", state.systemDirectory, lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return DirectoryRequest("GetWindowsDirectoryA", state.windowsDirectory, lpBuffer, uSize);
}

UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize)
{
    if (!state.wow64) {
        Record("GetSystemWow64DirectoryA", "");
        state.lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return 0;
    }
    return DirectoryRequest("GetSystemWow64DirectoryA", "C:\\windows\\SysWOW64", lpBuffer, uSize);
}

bool ProgramIs32Bit()
{
    return state.program32Bit;
}

static BOOL Fail(DWORD code)
{
    state.lastError = code;
    return FALSE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    std::string path = lpFileName;
    Record("DeleteFileA", path);
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
    if (DWORD code = Fault("DeleteFileA", path).code)
        return Fail(code);
    state.files.erase(Upper(path));
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    std::string path = lpFileName;
    Record("GetFileAttributesA", path);
    const DWORD code = Fault("GetFileAttributesA", path).code;
    const File *file = FindFile(path);
    if (file && !code)
        return (file->directory ? FILE_ATTRIBUTE_DIRECTORY : 0) | (file->readOnly ? FILE_ATTRIBUTE_READONLY : 0) |
               (file->directory || file->readOnly ? 0 : FILE_ATTRIBUTE_NORMAL);
    state.lastError = code ? code : Exists(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    std::string path = lpFileName;
    Record("SetFileAttributesA", path);
    File *file = FindFile(path);
    if (!file)
        return Fail(Exists(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (DWORD code = Fault("SetFileAttributesA", path).code)
        return Fail(code);
    file->readOnly = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return TRUE;
}

int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA op)
{
    std::string from = op->pFrom;
    Record("SHFileOperationA", from);
    // The source is a list of paths ended by an empty one.
    if (op->pFrom[from.size() + 1] != '\0')
        Violation("SHFileOperationA source list is not double-NUL-terminated");
    if (op->hwnd || op->wFunc != FO_DELETE || op->pTo || op->fFlags != FOF_NOCONFIRMATION ||
        op->fAnyOperationsAborted || op->hNameMappings || op->lpszProgressTitle)
        Violation("SHFileOperationA record other than: no owner, FO_DELETE, FOF_NOCONFIRMATION");
    state.shellRequests.push_back(from);
    // A failure, a Skip or a cancelled progress window leaves the folder.
    const Failure failure = Fault("SHFileOperationA", from);
    if (!failure.Any())
        Remove(from);
    op->fAnyOperationsAborted = failure.aborted ? TRUE : FALSE;
    return (int)failure.code;
}

}  // extern "C"
