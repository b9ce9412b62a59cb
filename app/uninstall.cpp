// The uninstall sequence: the removal plan and the walk through it.
#include "app/uninstall.h"

#include <string.h>

#include "app/messages.h"
#include "files/files.h"
#include "registry/registry.h"

// In order of execution.  Every file or folder name begins with a backslash
// and is appended as it stands to its directory.
const PlanStep RemovalPlan[] = {
    {ClassKey, "{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}"},
    {ClassKey, "{B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}"},
    {SystemFile, "\\brevandel.dll"},
    {SystemFile, "\\larMosk.dll"},
    {SystemFile, "\\tivMosk.exe"},
    {SystemFile, "\\soltane.dll"},
    {SystemFolder, "\\pendrow"},
    {DownloadedProgramFile, "\\marvisk.ocx"},
    {DownloadedProgramFile, "\\tobrin.inf"},
    {DownloadedProgramFile, "\\tobrin.ocx"},
};
const int RemovalPlanSize = sizeof RemovalPlan / sizeof RemovalPlan[0];

const char DownloadedProgramFiles[] = "\\Downloaded Program Files";

// By RemovalOutcome.  A refusal for rights is the one run that ends with 1:
// an administrator has to run the program again.
const Ending Endings[] = {
    {{MsgUninstallSucceeded, nullptr}, 0},
    {{MsgUninstallFailed, nullptr}, 0},
    {{MsgNoRegistryRights, MsgUninstallFailed}, 1},
};
static_assert(sizeof Endings / sizeof Endings[0] == RightsRefused + 1, "an ending for every outcome");

// Where the class keys are registered: for the current user and for the
// machine.  HKEY_CLASSES_ROOT shows the user's registration of a class in
// front of the machine's, so a removal through it would leave the machine's
// behind; each store is emptied on its own.  A 32-bit program on 64-bit
// Windows is shown the 32-bit view of both, where 32-bit classes live.
const ClassStore ClassStores[] = {
    {HKEY_CURRENT_USER, "Software\\Classes\\CLSID"},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID"},
};
const int ClassStoreCount = sizeof ClassStores / sizeof ClassStores[0];

// Named after the first class key, in the namespace that every session
// shares.
static const char TurnName[] = "Global\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}.uninstall";
// Users double-click again when nothing seems to happen; the first copy may
// also sit on a question for a while.  Another program may hold the name on
// purpose: after this long the run goes on all the same, which is safe, as
// the removal copes with others removing the same targets.
static const DWORD LongestWait = 60000;
static const DWORD LookAgainAfter = 250;

void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel32 ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)(void)>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HANDLE WaitForOurTurn()
{
    HANDLE turn = nullptr;
    DWORD waited = 0;
    for (;;) {
        turn = CreateMutexA(nullptr, FALSE, TurnName);
        // A copy run by another user (an elevated one, say) made it with
        // security that lets this one neither open nor wait on it: look
        // again until it is gone.
        if (turn || GetLastError() != ERROR_ACCESS_DENIED || waited >= LongestWait)
            break;
        Sleep(LookAgainAfter);
        waited += LookAgainAfter;
    }
    if (!turn)
        return nullptr;
    DWORD result = WaitForSingleObject(turn, waited < LongestWait ? LongestWait - waited : 0);
    // Ours also when abandoned: the other copy was ended without giving it back.
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        return turn;
    CloseHandle(turn);
    return nullptr;
}

void EndOurTurn(HANDLE turn)
{
    if (!turn)
        return;
    ReleaseMutex(turn);
    CloseHandle(turn);
}

// A directory request gives the length written, or 0 on failure, or the size
// it would need (260 or more) when the path does not fit: then the buffer
// holds no usable path.
static bool GotDirectory(UINT length)
{
    return length != 0 && length < MAX_PATH;
}

// The system directory of 32-bit programs, where the components live.  On
// 64-bit Windows a 32-bit process is told "system32" like any other, and
// only its own file-system redirection reads that as SysWOW64; the shell may
// hand the folder to a 64-bit helper (to elevate), for which the same path
// is the 64-bit folder.  So the 32-bit build names SysWOW64 itself, and so
// do its boxes.  32-bit Windows has no such folder: there, and for the
// x86-64 build, it is the system directory.
static UINT GetComponentDirectory(char *buffer, UINT size)
{
    if (!ProgramIs32Bit())
        return GetSystemDirectoryA(buffer, size);
    UINT length = GetSystemWow64DirectoryA(buffer, size);
    if (length == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        return GetSystemDirectoryA(buffer, size);
    return length;
}

// Where the files of the plan are: the directory of 32-bit components (its
// files and the folder) and Downloaded Program Files.  Each is asked for
// once, when first needed, by the walk and again by the last look.
struct Directories {
    bool asked[2];
    bool named[2];
    char path[2][MAX_PATH];
};

// The directory of a kind's targets; null when the system will not name it,
// or names one too long to hold a name after it.  Only the walk reports the
// latter (once): the look just cannot see into it.
static const char *DirectoryOf(TargetKind kind, Directories *directories, bool report)
{
    const int which = kind == DownloadedProgramFile ? 1 : 0;
    char *path = directories->path[which];
    if (!directories->asked[which]) {
        directories->asked[which] = true;
        if (which == 0) {
            directories->named[which] = GotDirectory(GetComponentDirectory(path, MAX_PATH));
        } else if (!GotDirectory(GetWindowsDirectoryA(path, MAX_PATH))) {
            directories->named[which] = false;
        } else {
            directories->named[which] = AppendPath(path, MAX_PATH, DownloadedProgramFiles);
            if (!directories->named[which] && report)
                ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
        }
    }
    return directories->named[which] ? path : nullptr;
}

// The folder's path, zero-filled whole: the shell takes a list of paths
// ended by an empty one, so the path leaves room for a second NUL (258
// bytes at most).  False when it does not fit.
static bool FolderPath(char *buffer, const char *directory, const char *name)
{
    memset(buffer, 0, MAX_PATH);
    return AppendPath(buffer, MAX_PATH - 1, directory) && AppendPath(buffer, MAX_PATH - 1, name);
}

// Removes one class key from every class store.  False when the system
// refused it for rights: the removal stops there.
static bool RemoveClassKey(const char *name)
{
    for (int store = 0; store < ClassStoreCount; store++) {
        // The store's CLSID is only the parent of the class keys: opening a
        // key below it needs no right on it, and an account that may only
        // read it (a standard user, for the machine's) must still reach the
        // class keys, to remove them or be told it may not.  A store whose
        // CLSID is missing has no class registered (most 64-bit Windows
        // have no 32-bit view of the user's classes); one the system will
        // not open is left to the last look.
        HKEY classes;
        if (RegOpenKeyExA(ClassStores[store].root, ClassStores[store].path, 0, KEY_QUERY_VALUE, &classes) !=
            ERROR_SUCCESS)
            continue;
        KeyOutcome outcome = DeleteKeyTree(classes, name);
        RegCloseKey(classes);
        if (outcome == KeyRefused)
            return false;
    }
    return true;
}

WalkEnding RemoveComponents()
{
    Directories directories = {};
    for (int i = 0; i < RemovalPlanSize; i++) {
        const PlanStep &step = RemovalPlan[i];
        if (step.kind == ClassKey) {
            if (!RemoveClassKey(step.target))
                return RefusedRights;
            continue;
        }
        // A directory the system will not name leaves its targets to the
        // last look.
        const char *directory = DirectoryOf(step.kind, &directories, true);
        if (!directory)
            continue;
        if (step.kind == SystemFolder) {
            char folder[MAX_PATH];
            if (!FolderPath(folder, directory, step.target))
                ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
            else if (!RemoveFolderTree(folder))
                return Stopped;
        } else if (!RemoveFileWithRetry(directory, step.target)) {
            return Stopped;
        }
    }
    return Walked;
}

// Whether the system has a class key in any class store, as the removal
// sees them: opened as it is (a link as the link), for querying only.
// "Not found" is gone; any other failure cannot tell.
static bool ClassKeyGone(const char *name)
{
    for (int store = 0; store < ClassStoreCount; store++) {
        char path[MAX_PATH] = "";
        if (!AppendPath(path, sizeof path, ClassStores[store].path) || !AppendPath(path, sizeof path, "\\") ||
            !AppendPath(path, sizeof path, name))
            return false;
        HKEY key;
        LSTATUS opened = RegOpenKeyExA(ClassStores[store].root, path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &key);
        if (opened == ERROR_SUCCESS)
            RegCloseKey(key);
        if (opened != ERROR_FILE_NOT_FOUND && opened != ERROR_PATH_NOT_FOUND)
            return false;
    }
    return true;
}

// Whether a file or folder target is gone.  A folder where a file of the
// plan should be is not that file; the folder of the plan is gone only when
// nothing of its name is there.
static bool FileTargetGone(const PlanStep &step, Directories *directories)
{
    const char *directory = DirectoryOf(step.kind, directories, false);
    char path[MAX_PATH] = "";
    if (!directory || !AppendPath(path, sizeof path, directory) || !AppendPath(path, sizeof path, step.target))
        return false;
    Look look = LookAt(path);
    return look == Absent || (look == FolderThere && step.kind != SystemFolder);
}

bool PlanIsGone()
{
    Directories directories = {};
    for (int i = 0; i < RemovalPlanSize; i++) {
        const PlanStep &step = RemovalPlan[i];
        if (!(step.kind == ClassKey ? ClassKeyGone(step.target) : FileTargetGone(step, &directories)))
            return false;
    }
    return true;
}

// The one rule for the final box.  The walk removes; a look decides: a
// target removed early may have come back meanwhile (a component that
// repairs itself, a control the browser downloads again while a question
// waits), and a call's report is not the state.  A walk that stopped left
// targets in place, and a refusal for rights has its own ending.
RemovalOutcome OutcomeOf(WalkEnding walk)
{
    switch (walk) {
    case Walked: return PlanIsGone() ? AllRemoved : NotAllRemoved;
    case Stopped: return NotAllRemoved;
    default: return RightsRefused;
    }
}
