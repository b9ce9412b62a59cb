// File and folder removal: single files with the in-use retry question and
// the system-error report, folders through the shell.
#include "files/files.h"

#include <string.h>

#include "app/messages.h"

bool AppendPath(char *buffer, size_t capacity, const char *name)
{
    size_t used = strlen(buffer);
    size_t extra = strlen(name);
    if (used + extra >= capacity)
        return false;
    memcpy(buffer + used, name, extra + 1);
    return true;
}

void ReportSystemError(DWORD code)
{
    char *text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  (LPSTR)&text, 0, nullptr);
    if (length != 0 && text != nullptr) {
        ShowMessage(text);
        LocalFree(text);
        return;
    }
    // No text for this code: name the code itself.
    char fallback[] = "Error code 0000000000";
    char *digits = fallback + sizeof "Error code " - 1;
    char reversed[10];
    int count = 0;
    do {
        reversed[count++] = (char)('0' + code % 10);
        code /= 10;
    } while (code != 0);
    while (count > 0)
        *digits++ = reversed[--count];
    *digits = '\0';
    ShowMessage(fallback);
}

Look LookAt(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? FolderThere : FileThere;
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Absent : Unsure;
}

// A call's report on a removal is a report, not the state.  It stands unless
// a look overturns it: a success when the target is still there (the
// shell's "Skip" returns 0 and leaves the folder), a failure when the system
// no longer finds the target (another program removed it first).
static bool Removed(bool reported, const char *path)
{
    Look look = LookAt(path);
    return reported ? look == Absent || look == Unsure : look == Absent;
}

// Takes the read-only mark off a file, which makes the system refuse its
// deletion as it refuses a file in use.  False when the file has no such
// mark or keeps it.
static bool ClearReadOnly(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY) ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    attributes &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool RemoveFileWithRetry(const char *directory, const char *name)
{
    char path[MAX_PATH] = "";
    if (!AppendPath(path, sizeof path, directory) || !AppendPath(path, sizeof path, name)) {
        // Never cut the path short: a shorter path names some other file.
        ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
        return true;
    }
    // A file of ours marked read-only is not in use: the mark comes off
    // once, before the user is asked anything.
    bool markCleared = false;
    for (;;) {
        if (DeleteFileA(path))
            return true;
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true;
        if (code == ERROR_ACCESS_DENIED) {
            // The system refuses a folder as it refuses a file in use.  A
            // folder is not the file, and closing the browser would never
            // free it: nothing is done to it, nobody is asked.
            if (LookAt(path) == FolderThere)
                return true;
            if (!markCleared && ClearReadOnly(path)) {
                markCleared = true;
                continue;
            }
            // Usually a library the browser still has loaded.
            if (ShowMessage(MsgFileInUse) == IDYES)
                continue;
            return false;
        }
        // Another program holds it open, its folder is missing, ...: said
        // once, and the removal goes on.  The last look tells whether the
        // file stayed.
        ReportSystemError(code);
        return true;
    }
}

bool RemoveFolderTree(const char *path)
{
    if (LookAt(path) == Absent)
        return true;
    // There, or a look that could not tell: the shell will say what is wrong.
    SHFILEOPSTRUCTA operation;
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = path;
    operation.pTo = nullptr;
    operation.fFlags = FOF_NOCONFIRMATION;
    operation.fAnyOperationsAborted = FALSE;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;
    // The user may have cancelled the shell's progress window, or chosen
    // "Skip" in its window for a file in use: part of the folder then stays
    // although the shell reports 0.  The shell also fails on files that
    // another program (the component's own uninstaller, a cleanup tool)
    // removed first.  What counts is whether the folder is gone.
    bool reported = SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
    return Removed(reported, path);
}
