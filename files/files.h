// File and folder removal.
#ifndef UNINSTALL_FILES_H
#define UNINSTALL_FILES_H

#include <stddef.h>

#include "platform/platform.h"

// Appends name to the NUL-terminated path in buffer when the result and its
// NUL fit in capacity bytes; otherwise leaves the buffer as it was.
bool AppendPath(char *buffer, size_t capacity, const char *name);

// Shows the system's own text for an error code under the "Error" caption.
void ReportSystemError(DWORD code);

// Deletes directory + name (the name brings its leading backslash).  A file
// marked read-only loses the mark first; a file the browser still holds is
// retried for as long as the user answers Yes.  Returns false when the user
// declines, which stops the removal; otherwise true, and sets *leftInPlace
// when the file is still there.
bool RemoveFileWithRetry(const char *directory, const char *name, bool *leftInPlace);

// Deletes a folder with everything in it through the shell.  The caller's
// buffer must hold at least two NULs after the path: the shell takes a
// double-NUL-terminated list.  Returns false when the folder is still
// there afterwards, whatever the shell reported.
bool RemoveFolderTree(const char *path);

#endif
