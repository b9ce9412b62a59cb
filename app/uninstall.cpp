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

// Removes every file of one kind from directory, in plan order; false when
// the user stopped the removal.
static bool RemoveFiles(TargetKind kind, const char *directory, bool *leftInPlace)
{
    for (int i = 0; i < RemovalPlanSize; i++)
        if (RemovalPlan[i].kind == kind &&
            !RemoveFileWithRetry(directory, RemovalPlan[i].target, leftInPlace))
            return false;
    return true;
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

// Removes the class keys from every store; sets *leftInPlace when one
// stayed.  False when the system refused one: the removal stops there.
static bool RemoveClassKeys(bool *leftInPlace)
{
    for (int store = 0; store < ClassStoreCount; store++) {
        // The store's CLSID is only the parent of the class keys: opening a
        // key below it needs no right on it, and an account that may only
        // read it (a standard user, for the machine's) must still reach the
        // class keys, to remove them or be told it may not.
        HKEY classes;
        LSTATUS opened =
            RegOpenKeyExA(ClassStores[store].root, ClassStores[store].path, 0, KEY_QUERY_VALUE, &classes);
        if (opened != ERROR_SUCCESS) {
            // No CLSID, no class registered there (most 64-bit Windows have
            // no 32-bit view of the user's classes).  Any other failure
            // leaves the store unseen: its class keys may be there.
            if (opened != ERROR_FILE_NOT_FOUND)
                *leftInPlace = true;
            continue;
        }
        KeyOutcome outcome = KeyGone;
        for (int i = 0; i < RemovalPlanSize && outcome != KeyRefused; i++) {
            if (RemovalPlan[i].kind != ClassKey)
                continue;
            outcome = DeleteKeyTree(classes, RemovalPlan[i].target);
            if (outcome == KeyStayed)
                *leftInPlace = true;
        }
        RegCloseKey(classes);
        if (outcome == KeyRefused)
            return false;
    }
    return true;
}

RemovalOutcome RemoveComponents()
{
    bool leftInPlace = false;
    if (!RemoveClassKeys(&leftInPlace))
        return RightsRefused;

    // Zero-filled whole: the folder path written into it is then followed by
    // the second NUL the shell needs.  A directory the system will not name
    // leaves its targets unseen.
    char systemDirectory[MAX_PATH];
    memset(systemDirectory, 0, sizeof systemDirectory);
    if (GotDirectory(GetComponentDirectory(systemDirectory, MAX_PATH))) {
        if (!RemoveFiles(SystemFile, systemDirectory, &leftInPlace))
            return NotAllRemoved;
        for (int i = 0; i < RemovalPlanSize; i++) {
            if (RemovalPlan[i].kind != SystemFolder)
                continue;
            // One byte short of the buffer: the last one is the closing NUL.
            if (!AppendPath(systemDirectory, MAX_PATH - 1, RemovalPlan[i].target)) {
                ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
                leftInPlace = true;
            } else if (!RemoveFolderTree(systemDirectory)) {
                return NotAllRemoved;
            }
        }
    } else {
        leftInPlace = true;
    }

    char windowsDirectory[MAX_PATH];
    if (!GotDirectory(GetWindowsDirectoryA(windowsDirectory, MAX_PATH)))
        return NotAllRemoved;
    if (!AppendPath(windowsDirectory, MAX_PATH, DownloadedProgramFiles)) {
        ReportSystemError(ERROR_FILENAME_EXCED_RANGE);
        return NotAllRemoved;
    }
    if (!RemoveFiles(DownloadedProgramFile, windowsDirectory, &leftInPlace))
        return NotAllRemoved;
    return leftInPlace ? NotAllRemoved : AllRemoved;
}
