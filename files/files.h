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

// What a look at a path shows.  Only the system's "not found" (no such file,
// no such path) means that nothing is there; a look that fails for any other
// reason (no right to the folder above, a device error, a file whose
// deletion is still pending) shows nothing for sure.
enum Look { Absent, FileThere, FolderThere, Unsure };
Look LookAt(const char *path);

// Deletes directory + name (the name brings its leading backslash).  A file
// marked read-only loses the mark first; a file the browser still holds is
// retried for as long as the user answers Yes.  A folder of that name is
// not the file: it is left alone.  Returns false when the user declines,
// which stops the removal; otherwise true.
bool RemoveFileWithRetry(const char *directory, const char *name);

// Deletes a folder with everything in it through the shell.  The caller's
// buffer must hold at least two NULs after the path: the shell takes a
// double-NUL-terminated list.  Returns false, which stops the removal,
// when the folder is still there after the shell, whatever the shell
// reported; a failure the shell reports for a folder that is gone all the
// same (another program removed it first) goes on.
bool RemoveFolderTree(const char *path);

#endif
