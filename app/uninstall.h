// The uninstall sequence and its removal plan.
#ifndef UNINSTALL_UNINSTALL_H
#define UNINSTALL_UNINSTALL_H

#include "platform/platform.h"

enum TargetKind {
    ClassKey,               // key below CLSID in every class store, with all its subkeys
    SystemFile,             // file in the system directory
    SystemFolder,           // folder in the system directory, with all its contents
    DownloadedProgramFile,  // file in the Windows directory's Downloaded Program Files
};

struct PlanStep {
    TargetKind kind;
    const char *target;
};

// A store of COM class registrations: root and the path of its CLSID key.
struct ClassStore {
    HKEY root;
    const char *path;
};

extern const PlanStep RemovalPlan[];
extern const int RemovalPlanSize;
extern const char DownloadedProgramFiles[];
extern const ClassStore ClassStores[];
extern const int ClassStoreCount;

// Walks the removal plan.  Returns false when a step stopped the removal or
// left a target in place, true otherwise.
bool RemoveComponents();

// One run at a time on the machine, whichever session starts it: waits
// until no other copy is at work, a minute at most, and returns what holds
// the turn (null when the run goes on without it).  EndOurTurn gives it
// back; so does the end of the process.
HANDLE WaitForOurTurn();
void EndOurTurn(HANDLE turn);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

#endif
