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

bool RemoveFileWithRetry(const char *directory, const char *name, bool *leftInPlace)
{
    char path[MAX_PATH] = "";
    if (!AppendPath(path, sizeof path, directory) || !AppendPath(path, sizeof path, name)) {
        // Never cut the path short: a shorter path names some other file.
        ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
        *leftInPlace = true;
        return true;
    }
    for (;;) {
        if (DeleteFileA(path))
            return true;
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true;
        if (code == ERROR_ACCESS_DENIED) {
            // Usually a library the browser still has loaded.
            if (ShowMessage(MsgFileInUse) == IDYES)
                continue;
            return false;
        }
        ReportSystemError(code);
        // A missing folder means the file is not there either; anything else
        // (another program holds it open, ...) leaves the file where it is.
        if (code != ERROR_PATH_NOT_FOUND)
            *leftInPlace = true;
        return true;
    }
}

bool RemoveFolderTree(const char *path)
{
    if (!PathFileExistsA(path))
        return true;
    SHFILEOPSTRUCTA operation;
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = path;
    operation.pTo = nullptr;
    operation.fFlags = FOF_NOCONFIRMATION;
    operation.fAnyOperationsAborted = FALSE;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;
    // The user may have cancelled the shell's progress window: part of the
    // folder then stays although the shell reports 0.
    if (SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted)
        return true;
    // The shell also fails on files that another program (the component's
    // own uninstaller, a cleanup tool) removed first.  What counts is whether
    // the folder is gone, whoever removed it, as the system says: no such
    // file or path.  A look that fails for any other reason (no right to
    // the parent, a device error) proves nothing.
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}
