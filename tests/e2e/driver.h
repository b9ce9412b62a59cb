// The end-to-end driver's shared declarations: what its files use of each other.
//
// The driver is one 32-bit Windows program (e2e_driver.exe, wmain in
// main.cpp) built from the files beside this one; each holds one part of
// it and keeps whatever only it uses to itself.
#pragma once

#include <windows.h>

#include <string.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../plan.h"

namespace e2e {

// ---------------------------------------------------------------- output (basics.cpp)

std::string Utf8(const std::wstring &w);
std::string Show(const std::wstring &w);
extern int failures;  // each Fail counts one
void Fail(const std::string &what);
DWORD Scaled(DWORD milliseconds);
// Seconds since the driver started, on one clock for all its threads.
double Seconds();

// ---------------------------------------------------------------- places (basics.cpp)

// The names of tests/plan.h, widened here and nowhere else.
inline std::wstring W(const char *ascii) { return std::wstring(ascii, ascii + strlen(ascii)); }
// A class key below a class store's root (HKEY_CURRENT_USER for the user's
// registrations, HKEY_LOCAL_MACHINE for the machine's); "" gives CLSID itself.
inline std::wstring ClassPath(const char *id) { return L"Software\\Classes\\CLSID" + (*id ? L"\\" + W(id) : L""); }
// A folder of Windows, as `get` (GetSystemDirectoryW, GetWindowsDirectoryW) names it.
std::wstring Directory(UINT(WINAPI *get)(LPWSTR, UINT));
inline std::wstring SystemDir() { return Directory(GetSystemDirectoryW); }
inline std::wstring WindowsDir() { return Directory(GetWindowsDirectoryW); }
// A 32-bit process on 64-bit Windows.
bool Wow64();
// The real system32 as a 32-bit process names it under WoW64.
inline std::wstring NativeSystemDir() { return WindowsDir() + L"\\Sysnative"; }
inline std::wstring Dpf() { return WindowsDir() + L"\\" + W(plan::DpfFolder); }
inline std::wstring Folder() { return SystemDir() + L"\\" + W(plan::Folder); }
// The plan's system file and Downloaded Program Files entry of index i.
inline std::wstring SysPath(int i) { return SystemDir() + L"\\" + W(plan::SystemFiles[i]); }
inline std::wstring DpfPath(int i) { return Dpf() + L"\\" + W(plan::DpfFiles[i]); }
// The folder of the driver, where payload.dll and planted.dll lie.
std::wstring DriverFolder();
std::wstring SystemText(DWORD code);

// ---------------------------------------------------------------- registry and files (basics.cpp)

void Check(LONG result, const std::string &what);
// `view` is 0 or KEY_WOW64_64KEY.
HKEY CreateKey(HKEY root, const std::wstring &path, REGSAM view = 0);
void SetString(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value,
               REGSAM view = 0);
void SetDword(HKEY root, const std::wstring &path, const wchar_t *name, DWORD value);
// The key is there and the account may open it with `access`.
bool KeyExists(HKEY root, const std::wstring &path, REGSAM access = KEY_READ);
// Key names are counted strings, in which a NUL anywhere is part of the
// name: a key below an open one by such a name (made, with `create`, where
// it is missing), `asLink` opening a link as itself rather than its target,
// and the subkeys' names as counted.
LONG OpenCounted(HKEY parent, const std::wstring &name, REGSAM access, HKEY &key, bool asLink = false,
                 bool create = false);
std::vector<std::wstring> SubkeyNames(HKEY key);
// Those a path can reach: a name with a NUL cannot be part of one.
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring &path);
struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};
std::vector<Value> Values(HKEY key);
// The one key tree builder: below root\path, on each of `depth` levels, a
// key of each of `names` (counted: a NUL may be in one), with a DWORD
// value V of its index when `values`.  The number of keys made below path.
size_t Tree(HKEY root, const std::wstring &path, int depth, const std::vector<std::wstring> &names,
            bool values = false);
// `count` names: prefix and the index, zero-padded to `digits`.
std::vector<std::wstring> Numbered(const wchar_t *prefix, int count, int digits);
// A key with everything below it, each key by its counted name, links as
// links; TryDeleteTree gives the system's answer, DeleteTree fails on any
// but "not found".
LONG TryDeleteTree(HKEY root, const std::wstring &path);
void DeleteTree(HKEY root, const std::wstring &path);
std::vector<std::wstring> FolderEntries(const std::wstring &folder);
void RemovePath(const std::wstring &path);
void MakeFolder(const std::wstring &path);
void PutLibrary(const std::wstring &path);
void PutBytes(const std::wstring &path, const void *bytes, size_t size);
std::string ReadBytes(const std::wstring &path);  // "" when there is no such file
void PutText(const std::wstring &path, const char *text, bool readOnly = false);

// ---------------------------------------------------------------- the machine (machine.cpp)

void InstallClass(int i);
void InstallTwins();
void InstallUserClasses();
// The one clean-up: removes whatever the driver or an earlier scenario
// (even one cut short) put on the machine.
void Clean();
// Clean, then everything installed.
void Install();

// ---------------------------------------------------------------- watched state (state.cpp)

using State = std::set<std::wstring>;

// The files and folders the driver puts on the machine (watched, cleaned up).
std::vector<std::wstring> WatchedPaths();
State Snapshot();
// Everything at or below a key or file entry.
bool Under(const std::wstring &entry, const std::wstring &prefix);
// Entries of the state: a file or folder, a class key in the machine's store, the zone key.
inline std::wstring File(const std::wstring &path) { return L"file " + path; }
inline std::wstring MachineKey(const char *id) { return L"reg HKLM\\" + ClassPath(id); }
inline std::wstring ZoneKeyEntry() { return L"reg HKCU\\" + W(plan::ZoneKey); }
// The Internet zones, the parent of the plan's zone key.
std::wstring Zones();
// A target of the plan: a class key in the store `root`, or a file or folder (no root).
struct Target {
    HKEY root;
    std::wstring path;
};
// The plan's targets in plan order; as entries; those from `entry` on.
std::vector<Target> PlanTargets();
std::vector<std::wstring> Targets();
std::vector<std::wstring> From(const std::wstring &entry);
// The state expected after a run from `before`: the entries at or below
// those `left` stay as they were; the rest of the plan's targets are gone,
// and the zone value is set (unless the zone key is left).
State Expected(const State &before, const std::vector<std::wstring> &left);

// ---------------------------------------------------------------- boxes and runs (boxes.cpp)

enum Msg { ZoneFailed, Succeeded, Failed, NoRights, InUse };
struct Message {
    const char *name;  // as the guides name it
    const wchar_t *text;
    const char *gloss;
};
extern const Message Messages[];
extern const wchar_t *const Caption;

struct Box {
    HWND window;
    std::wstring caption, text;
    bool ok, cancel, yes, no;
    HWND owner;
    double appeared, answered;  // in Seconds()
};
std::string Buttons(const Box &box);
HWND BoxOf(DWORD pid);

// Runs `program` with `arguments`, its standard input empty, and gives its
// output and errors and its exit code; false when it did not end within
// `limit` ms (then it is ended with 99) or could not start.
bool Capture(const std::wstring &program, const std::wstring &arguments, DWORD limit, std::string &output,
             DWORD &exitCode);
// One run of the program, its boxes as they came.
struct Program {
    const char *label;  // before its lines in the transcript; none for a timed run
    volatile DWORD pid;  // while it runs
    std::vector<Box> boxes;
    DWORD exitCode;
};
// The program a scenario runs, and its path.
extern Program underTest;
extern std::wstring programPath;
// The one box loop: starts `path`, calls `started` with its process, then
// shows each box it puts up to `answer`, which gives the button to press
// (0: a person presses it), presses it and waits for the box to go.  After
// `limit` ms the program is ended (exit code 99).  False when it could not start.
bool Run(Program &program, const std::wstring &path, DWORD limit, const std::function<int(const Box &)> &answer,
         const std::function<void(HANDLE)> &started = {});

// ---------------------------------------------------------------- scenarios (scenarios.cpp)

enum class Kind { Ours, SystemError, Shell };
struct Expect {
    Kind kind;
    Msg message;  // for Ours
    DWORD code;   // for SystemError
    int answer;
    std::function<void()> before;  // while the box is up, before answering
};
inline Expect Says(Msg message, int answer = IDOK, std::function<void()> before = {})
{
    return {Kind::Ours, message, 0, answer, before};
}
inline Expect SystemError(DWORD code) { return {Kind::SystemError, Succeeded, code, IDOK, {}}; }
// Any number of the shell's own boxes, each dismissed.
inline Expect ShellBoxes() { return {Kind::Shell, Succeeded, 0, IDOK, {}}; }

struct Scenario {
    const char *name;
    const char *summary;
    std::function<void()> stage;          // the machine, after the standard installation
    std::vector<Expect> boxes;            // the boxes, in order, with their answers
    DWORD exitCode;
    std::vector<std::wstring> left = {};  // the entries that stay as they were (see Expected)
    std::function<void(State &)> adjust = {};  // where the plan's targets do not tell the whole state
};
// Every scenario, in the order the suite runs them.
std::vector<Scenario> Scenarios();

// ---------------------------------------------------------------- staging (staging.cpp, rights.cpp, copies.cpp)

// Registers what gives back a staged thing (and checks what it saw) once
// the run has ended; Release does it, last registered first.
void AtEnd(std::function<void()> release);
void Release();
// A library or a file a scenario holds while the program runs.
void Hold(const std::wstring &path);
void ReleaseLibrary();
void OpenWithoutShareDelete(const std::wstring &path);
// The plan's targets removed (one, or all), their neighbours kept.
void RemoveTarget(const Target &target);
void RemoveTargets();
// A folder with a file in it where the plan's file `path` would be.
void FolderInPlace(const std::wstring &path);
void PlantDll();
void PlantForeignNames();
void PlantNulNames();
// A key tree outside the plan (in HKLM\System, which WoW64 does not
// redirect), a link to it below the first class key, and its removal.
extern const std::wstring LinkTarget;
void PlantLink();
void RemoveLink();

// Makes a key, and with withSubkeys every key below it, read-only for the
// account; with setValues, values may still be set in it.  Given back at the end.
void MakeReadOnly(HKEY root, const std::wstring &path, bool withSubkeys, bool setValues = false);
// Full access for everyone on a key (and those below it) that refuses it.
void OpenToAll(HKEY root, const std::wstring &path, bool withSubkeys);

void StartOtherProgram();
// A first run killed while it removes a large class key tree; the state
// expected is that after one whole run from before the first.
void RunAndKill();
void AsAfterOneRun(State &expected);
// A class key of 1,500 subkeys and a folder of 300 files.
void InstallLargeComponents();
// A second copy started `delay` ms after the program, its boxes answered;
// at the end: it showed only the success box, exited with 0, and the two
// copies took turns.
void SecondCopy(DWORD delay);
// While the first copy's final box is up: keeps it up for a second, during
// which the second copy must show no box.
void HoldForSecondCopy();

// ---------------------------------------------------------------- running (running.cpp)

struct Options {
    bool manual = false;     // a person answers the boxes
    std::wstring shots;      // folder for pictures of the boxes
    bool tables = false;     // print the state as tables
    bool named = false;      // pictures named after the message expected, one per message
    UINT codePage = 936;     // the ANSI code page the run must have
};
extern Options options;
int RunScenario(const Scenario &scenario, const std::wstring &program);
// A scenario of the table by name (one without a name when there is none).
const Scenario &FindScenario(const std::string &name);

// ---------------------------------------------------------------- check.cmd (checkcmd.cpp)

// The scenarios of docs/check.cmd, by name, and one of them run.
std::vector<std::string> CheckCmdCases();
int RunCheckCmd(const std::string &name, const std::wstring &program);

// ---------------------------------------------------------------- the kit, the benchmark (kit.cpp, bench.cpp)

bool Elevated();
int Kit(const std::wstring &program, const std::wstring &report, const std::vector<std::string> &only);
int Bench(const std::wstring &program, int runs, const std::string &only);

}  // namespace e2e
