// Test control of the simulated Windows machine behind platform/platform.h.
//
// The simulation keeps an in-memory registry and file tree with Windows'
// result and last-error codes, answers message boxes from a script and
// records every platform call.
#ifndef UNINSTALL_SIMULATION_H
#define UNINSTALL_SIMULATION_H

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

struct Value {
    DWORD type;
    std::string data;
};

// Where a registry link points: a key below one of the roots.
struct Link {
    HKEY root;
    std::string path;
};

struct Key {
    std::string name;  // as created, UTF-8
    std::string path;  // "HKLM\Software\Classes\CLSID\..." for records
    std::weak_ptr<Key> parent;
    std::map<std::string, std::shared_ptr<Key>> children;  // by upper-case name: enumeration order
    std::map<std::string, std::pair<std::string, Value>> values;  // upper-case name -> (name, value)
    std::optional<Link> link;  // a registry link: opened and deleted by name, it is its target
    bool deleted = false;
    // The rights the account has on this key (its DACL, in short): an open
    // asking for any other right is refused with ERROR_ACCESS_DENIED.
    REGSAM granted = KEY_ALL_ACCESS;
};

enum class Hold {
    None,
    LoadedImage,       // mapped as an image by another process: ERROR_ACCESS_DENIED
    OpenNoShareDelete, // open in another process without share-delete: ERROR_SHARING_VIOLATION
};

struct File {
    std::string path;  // as created
    bool directory = false;
    bool readOnly = false;
    Hold hold = Hold::None;
};

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    int answer;
};

struct Answer {
    int button;
    std::function<void()> before;  // runs while the box is up, before it is answered
};

// One call of the program, as the fault hook sees it.
struct Call {
    std::string op;       // the function: "NtOpenKey", "DeleteFileA", ...
    std::string subject;  // its key path or file path; "" for a directory request
    int occurrence;       // how many calls of op on subject came before it
};

// What the fault hook makes a call answer; all empty: the call goes through.
struct Failure {
    Failure(DWORD failWith = 0) : code(failWith) {}
    DWORD code;  // fails with this Win32 code (NT functions: its status; SHFileOperationA returns it)
    // The answers some calls give besides an error code:
    bool subkeysLeft = false;  // NtDeleteKey: STATUS_CANNOT_DELETE, as for a key with subkeys
    bool skipped = false;      // SHFileOperationA: 0, the folder left (Skip in the shell's File In Use window)
    bool aborted = false;      // SHFileOperationA: fAnyOperationsAborted, the folder left (progress window cancelled)
    UINT needed = 0;           // a directory request: this size returned, no path (a path too long for the buffer)
    bool Any() const { return code || subkeysLeft || skipped || aborted || needed; }
};
inline Failure SubkeysLeft() { Failure f; f.subkeysLeft = true; return f; }
inline Failure ShellSkip() { Failure f; f.skipped = true; return f; }
inline Failure ShellAborted() { Failure f; f.aborted = true; return f; }
inline Failure Needed(UINT size) { Failure f; f.needed = size; return f; }

// A named mutex as another process holds it.
struct Mutex {
    bool heldByOther = false;
    DWORD releasedAfter = INFINITE;  // milliseconds of waiting until the holder lets go; INFINITE: never
    bool abandoned = false;          // the holder ends without releasing it
    bool ownedByProgram = false;
    bool abandonedByProgram = false;  // the program's process ended while it owned it
};

struct Machine {
    std::shared_ptr<Key> currentUser, localMachine;
    std::map<std::string, File> files;  // by upper-case path
    std::string systemDirectory = "C:\\windows\\system32";
    std::string windowsDirectory = "C:\\windows";
    // 64-bit Windows, seen by a 32-bit process: GetSystemWow64DirectoryA
    // names the 32-bit system folder.  On 32-bit Windows it fails with
    // ERROR_CALL_NOT_IMPLEMENTED.
    bool wow64 = false;
    bool program32Bit = true;  // the shipped build; false: the x86-64 build
    // Wine: NtDeleteKey says STATUS_ACCESS_DENIED for a key with subkeys
    // left, where Windows says STATUS_CANNOT_DELETE.
    bool wine = false;
    std::map<DWORD, std::string> errorTexts;     // what FormatMessageA knows
    std::vector<Answer> answers;                 // for message boxes, in order
    // Answers a question past the script; unset, such a question is a misuse.
    std::function<int()> unscripted;
    std::map<std::string, Mutex> mutexes;  // by name
    DWORD waited = 0;                      // milliseconds the program spent in waits and sleeps

    // Fault injection: consulted by every call that can fail, once the
    // machine itself would let it through; its answer is the call's.
    std::function<Failure(const Call &)> fault;
    // Another program at work: called with each platform call as it is
    // recorded, before the call does anything, so a test can change the
    // machine between two calls of the program.
    std::function<void(const std::string &call)> between;
    // Whether the system has SetDefaultDllDirectories (not on Vista, nor on
    // 7 without its loader update).
    bool hasDefaultDllDirectories = true;
    DWORD defaultDllDirectories = 0;  // what SetDefaultDllDirectories was given

    // Records.
    std::vector<std::string> calls;  // "DeleteFileA C:\windows\system32\x.dll", ...
    std::vector<Box> boxes;
    std::vector<std::string> shellRequests;     // pFrom of each SHFileOperationA
    std::vector<std::string> violations;        // misuse of an operation
    std::map<uintptr_t, std::pair<std::shared_ptr<Key>, REGSAM>> handles;  // open handle -> its key and access
    std::map<uintptr_t, std::string> mutexHandles;  // open handle -> mutex name
    std::set<void *> allocations;
    size_t answered = 0;
    DWORD lastError = 0;
};

// A fresh machine: empty registry roots, the system and Windows directories
// and "Downloaded Program Files" exist, the usual system error texts.
void Reset();
Machine &machine();

// Runs the program as a process: calls WinMain and returns the exit code,
// whether WinMain returned or the process was ended early.
int Run();

// Registry set-up and inspection; paths are relative to the root, names are
// UTF-8.  HKEY_CLASSES_ROOT is the merged view: a key is found in the
// user's classes (HKCU\Software\Classes) first, then in the machine's
// (HKLM\Software\Classes); a key created through it goes to the machine's.
std::shared_ptr<Key> CreateKey(HKEY root, const std::string &path);
std::shared_ptr<Key> FindKey(HKEY root, const std::string &path);
void SetValue(HKEY root, const std::string &path, const std::string &name, DWORD type,
              const std::string &data);
std::optional<Value> GetValue(HKEY root, const std::string &path, const std::string &name);
size_t CountKeys(HKEY root);  // HKEY_CLASSES_ROOT: both class stores
// The account may do only what granted says with the key and everything below it.
void Restrict(HKEY root, const std::string &path, REGSAM granted);
// Deletes a key and everything below it as another program would: handles
// open on them stay valid but see the keys as deleted.  A link on the path
// is followed, the last part included.
void DeleteKey(HKEY root, const std::string &path);
// A registry link at path (created with its parents) that points to target.
std::shared_ptr<Key> CreateLink(HKEY root, const std::string &path, HKEY targetRoot, const std::string &target);

// File tree set-up and inspection; full paths.
void AddFolder(const std::string &path);  // with missing parents
void AddFile(const std::string &path, Hold hold = Hold::None, bool readOnly = false);
bool Exists(const std::string &path);
void Remove(const std::string &path);  // and everything below it
File *FindFile(const std::string &path);

}  // namespace sim

#endif
