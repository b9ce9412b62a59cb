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

// How the walk through the removal plan ended.
enum WalkEnding {
    Walked,         // every step was taken
    Stopped,        // the user declined a question, or the shell left the
                    // folder: the steps after it were not taken
    RefusedRights,  // the system would not open a class key for its
                    // removal: nothing after that key was touched
};

// How a run ends.
enum RemovalOutcome {
    AllRemoved,     // the last look finds no target of the plan
    NotAllRemoved,  // the walk stopped, or the last look finds a target or
                    // cannot tell
    RightsRefused,  // the walk was refused for rights
};

// How a run ends, by the outcome of the removal: the boxes shown, in order,
// and the exit code.
struct Ending {
    const char *boxes[2];
    int exitCode;
};
extern const Ending Endings[];

// Walks the removal plan once, in its order.  Shows only the boxes of the
// single steps.
WalkEnding RemoveComponents();

// Whether a look at every target of the plan finds each of them gone.
bool PlanIsGone();

// The run's outcome: from how the walk ended, and for a walk taken to its
// end, from the last look.
RemovalOutcome OutcomeOf(WalkEnding walk);

// Keeps the DLLs this process loads on demand (those the message boxes bring
// in, uxtheme.dll among them) to the system directory, so that none planted
// beside the program runs with its rights.  Where the system lacks the
// function (Vista, 7 without its loader update) the standard search stays.
void RestrictDllSearch();

// One run at a time on the machine, whichever session starts it: waits
// until no other copy is at work, a minute at most, and returns what holds
// the turn (null when the run goes on without it).  EndOurTurn gives it
// back; so does the end of the process.
HANDLE WaitForOurTurn();
void EndOurTurn(HANDLE turn);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

#endif
