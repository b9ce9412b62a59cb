// The end-to-end driver's shared declarations: what its files use of each other.
//
// The driver is one 32-bit Windows program (e2e_driver.exe, wmain in
// main.cpp) built from the files beside this one; each holds one part of
// it and keeps whatever only it uses to itself.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

// Deletes the key of an open handle, whatever its name; a link as a link.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle);

namespace e2e {

// ---------------------------------------------------------------- output (basics.cpp)

std::string Utf8(const std::wstring &w);
// Text with line ends and other controls made visible, for the transcript.
std::string Show(const std::wstring &w);
// Failures so far in this process: each Fail counts one.
extern int failures;
// Every wait is multiplied by E2E_SCALE.
DWORD Scaled(DWORD milliseconds);
void Fail(const std::string &what);
// Seconds since the driver started, on one clock for all its threads.
double Seconds();

// ---------------------------------------------------------------- the product's constants (basics.cpp)

extern const wchar_t *const ClassKey1;
extern const wchar_t *const ClassKey2;
// Near-identical neighbours that must survive.
extern const wchar_t *const SiblingKey1;
extern const wchar_t *const SiblingKey2;
extern const wchar_t *const SystemFiles[4];
extern const wchar_t *const DpfFiles[3];
extern const wchar_t *const ZonesPath;
// A class store's CLSID key, with its closing backslash, below the store's
// root: HKEY_CURRENT_USER for the user's registrations, HKEY_LOCAL_MACHINE
// for the machine's (in the 64-bit view: where the 64-bit twins live).
extern const wchar_t *const ClassStore;

// The texts as a Chinese user reads them.
extern const std::wstring Caption;
extern const std::wstring ZoneFailed;
extern const std::wstring Succeeded;
extern const std::wstring Failed;
extern const std::wstring NoRights;
extern const std::wstring InUse;

std::wstring SystemDir();
// A 32-bit process on 64-bit Windows.
bool Wow64();
// The real system32 as a 32-bit process names it under WoW64.
std::wstring NativeSystemDir();
std::wstring Dpf();
std::wstring Folder();
std::wstring SystemText(DWORD code);
// Starts `program` with `arguments` after its quoted name.
bool StartProgram(const std::wstring &program, const std::wstring &arguments, PROCESS_INFORMATION &process);

// ---------------------------------------------------------------- registry and files (basics.cpp)

void Check(LONG result, const std::string &what);
// `view` is 0 or KEY_WOW64_64KEY.
HKEY CreateKey(HKEY root, const std::wstring &path, REGSAM view = 0);
void SetString(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value,
               REGSAM view = 0);
void SetDword(HKEY root, const std::wstring &path, const wchar_t *name, DWORD value);
// Key names are counted strings, in which a NUL anywhere is part of the
// name: keys below an open one by such names, `asLink` opening a link as
// itself rather than its target, and the subkeys' names as counted.
HKEY CreateCounted(HKEY parent, const std::wstring &name);
LONG OpenCounted(HKEY parent, const std::wstring &name, REGSAM access, HKEY &key, bool asLink = false);
std::vector<std::wstring> SubkeyNames(HKEY key);
// A key with everything below it, each key by its counted name, links as
// links; TryDeleteTree gives the system's answer, DeleteTree fails on any
// but "not found".
LONG TryDeleteTree(HKEY root, const std::wstring &path);
void DeleteTree(HKEY root, const std::wstring &path);
void RemovePath(const std::wstring &path);
void MakeFolder(const std::wstring &path);
// A loadable library, so that a target can be held as a mapped image.
void PutLibrary(const std::wstring &path);
void PutText(const std::wstring &path, const char *text, bool readOnly = false);

// ---------------------------------------------------------------- installation (install.cpp)

// A class registration in the machine's store, as its installer leaves it.
void InstallClass(const std::wstring &id, const wchar_t *library);

// Under WoW64: the 64-bit components of the same names, which are not ours to remove.
void InstallTwins();
// The same classes registered for the current user as well.
void InstallUserClasses();
// Removes whatever an earlier scenario left, then installs everything.
void Install();

// ---------------------------------------------------------------- watched state (state.cpp)

using State = std::set<std::wstring>;

State Snapshot();
// Everything at or below a key or file entry.
bool Under(const std::wstring &entry, const std::wstring &prefix);
void Drop(State &state, const std::wstring &prefix);
// A class key in the machine's store and in the user's.
std::wstring KeyEntry(const wchar_t *id);
std::wstring UserKeyEntry(const wchar_t *id);
// Both class keys gone from both stores.
void ClassKeysGone(State &state);
std::wstring SystemFileEntry(const wchar_t *name);
std::wstring DpfEntry(const wchar_t *name);
extern const std::wstring ZoneKeyEntry;
// The zone value after the program: DWORD 1.
void ZoneSet(State &state);
// Removes the plan's targets from `from` (0-based plan step after the class
// keys) up to, not including, `to`: 0-3 system files, 4 the folder, 5-7 the
// Downloaded Program Files entries.
void Removed(State &state, int from = 0, int to = 8);

// ---------------------------------------------------------------- message boxes (boxes.cpp)

struct Box {
    HWND window;
    std::wstring caption, text;
    bool ok, cancel, yes, no;
    HWND owner;
};

struct Finder {
    DWORD pid;
    HWND found;
};

// For EnumWindows: the first visible dialog box of the process finder->pid.
BOOL CALLBACK FindBox(HWND window, LPARAM param);
Box ReadBox(HWND window);
// The box the process pid shows now, read once it has laid itself out;
// false while it shows none.
bool ShownBox(DWORD pid, Box &box);
std::string Buttons(const Box &box);
const char *ButtonName(int id);
// One of the texts above in English, or "".
std::string Gloss(const std::wstring &text);
// Saves a picture of a window as a 24-bit BMP.
void SaveWindow(HWND window, const std::wstring &path);

// ---------------------------------------------------------------- scenarios (scenarios.cpp)

enum class Kind { Ours, SystemError, Shell };

struct Expect {
    Kind kind;
    std::wstring text;  // for Ours: the text; for SystemError: filled from the code
    DWORD code;
    int answer;
    std::function<void()> before;  // while the box is up, before answering
};

Expect Says(const std::wstring &text, int answer = IDOK, std::function<void()> before = {});
Expect SystemError(DWORD code);
// Any number of the shell's own boxes, each dismissed.
Expect ShellBoxes();

struct Scenario {
    const char *name;
    const char *summary;
    std::function<void()> prepare;        // after the standard installation
    std::vector<Expect> boxes;
    DWORD exitCode;
    std::function<void(State &)> after;   // turns the state before into the state expected after
    std::function<void()> finish;         // releases what prepare holds
    std::function<void()> started = {};   // right after the program has started
};

// Every scenario, in the order the suite runs them.
std::vector<Scenario> Scenarios();

// ---------------------------------------------------------------- fixtures (fixtures.cpp)

// A library or a file a scenario holds while the program runs.
void Hold(const std::wstring &path);
void ReleaseLibrary();
void OpenWithoutShareDelete(const std::wstring &path);
void CloseHeldFile();

// The state after a run that stopped at plan target `stop` (0-based, as
// for Removed): zone value set, class keys and the targets before it gone.
void StoppedAt(State &s, int stop);
void Everything(State &s);
// Everything gone but the entries at or below `kept`, which stay as they were.
void EverythingBut(State &s, std::initializer_list<std::wstring> kept);
void RemoveAllComponents();

// The program under test, for scenarios that work beside it or run it twice.
extern std::wstring programPath;
void PlantDll();
void RemovePlantedDll();
void StartOtherProgram();
void StopOtherProgram();
// The state before the first of two runs, the first one killed while it
// removes a large class key tree.
extern State beforeFirstRun;
void RunAndKill();

// Keys below both class keys, at several depths, named in characters code
// page 936 does not have; one of them the first of 25 siblings.
void PlantForeignNames();

// Below the first class key, keys named with NULs: at the end, at the
// start, inside, and of NULs alone; three levels of them below one another.
void PlantNulNames();

// Makes a key, and with withSubkeys every key below it, read-only for the
// account (whose rights under Wine are an administrator's): the system
// refuses to write or delete it with ERROR_ACCESS_DENIED.  With setValues,
// values may still be set in it.
void MakeReadOnly(HKEY root, const std::wstring &path, bool withSubkeys, bool setValues = false);
// Gives every key made read-only its own security back.
void GiveBackKeys();
// Full access for everyone on a key (and those below it) that refuses it:
// for keys a run cut short left read-only.
void OpenToAll(HKEY root, const std::wstring &path, bool withSubkeys);

// A key tree outside the plan (in HKLM\System, which WoW64 does not
// redirect), and a link to it below the first class key.
extern const std::wstring LinkTarget;
void PlantLink();
// Deletes the link itself, not its target; nothing when there is none.
void RemoveLink();

// A class key of 1,500 subkeys and a folder of 300 files: a removal that
// takes long enough for a second copy to start during it.
void InstallLargeComponents();
// Starts a second copy of the program `delay` milliseconds after the
// first, and answers its boxes; FinishSecondCopy waits for it to end and
// checks that it showed only the success box, exited with 0, and that the
// two copies took turns: whichever showed a box first, the other showed its
// first box only after that copy's final box was answered.  Copies started
// together may get their turns in either order.
void StartSecondCopy(DWORD delay);
// While the first copy's final box is up: keeps it up for a second (times
// E2E_SCALE), during which the second copy must show no box.  A second copy
// that does not wait for its turn has done its own run by then and shows
// its box; and one that comes up just before the answer, which the second
// copy's thread might see only after it, is caught here.  The second copy's
// boxes are held up the same way while the first copy runs, for when the
// second copy got the first turn.
void HoldForSecondCopy();
void FinishSecondCopy();

// ---------------------------------------------------------------- running (running.cpp)

struct Options {
    bool manual = false;     // a person answers the boxes
    std::wstring shots;      // folder for pictures of the boxes
    bool tables = false;     // print the state as tables
    bool named = false;      // pictures named after the message expected, one per message
    UINT codePage = 936;     // the ANSI code page the run must have
};
extern Options options;

// When each box of the program a scenario runs was first seen and when it
// was answered, in Seconds(), in the order they came.
struct Moment {
    double appeared, answered;
};
extern std::vector<Moment> boxTimes;
// The process id of the program the scenario runs, once started.
extern volatile DWORD programProcess;

int RunScenario(const Scenario &scenario, const std::wstring &program);
// The name of the message a box is expected to show: MsgFileInUse, ...,
// SystemError for the system's own text.
std::string MessageName(const Expect &expect);

// ---------------------------------------------------------------- the kit for a real Windows (kit.cpp)

// An administrator whose rights are in force (elevated).
bool Elevated();
// Runs every scenario that applies here (those named in `only`, if any),
// each in a copy of the driver, one line each, with the transcripts in the
// report, then gives back the machine as found and checks that it is.
// 0 when everything passed.
int Kit(const std::wstring &program, const std::wstring &report, const std::vector<std::string> &only);

// ---------------------------------------------------------------- benchmark (bench.cpp)

int Bench(const std::wstring &program, int runs, const std::string &only);

}  // namespace e2e
