// Simulated process: WinMain run to its end, named mutexes, waits and the KERNEL32 look-up.
#include "tests/sim/simulation_internal.h"

#include <cstdio>

extern int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

namespace sim {

using namespace detail;

int Run()
{
    char commandLine[] = "/ignored arguments";
    int code = WinMain(nullptr, nullptr, commandLine, 1);
    // What the system does when the process ends: a mutex it still owns is
    // abandoned, free for the next owner.
    for (auto &mutex : state.mutexes) {
        mutex.second.abandonedByProgram = mutex.second.ownedByProgram;
        mutex.second.ownedByProgram = false;
    }
    return code;
}

}  // namespace sim

using namespace sim;
using namespace sim::detail;

namespace {

const uintptr_t Kernel32Handle = 0x75000000u;

BOOL WINAPI SimSetDefaultDllDirectories(DWORD DirectoryFlags)
{
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08X", (unsigned)DirectoryFlags);
    Record("SetDefaultDllDirectories", flags);
    state.defaultDllDirectories = DirectoryFlags;
    return TRUE;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    std::string name = lpName ? lpName : "";
    Record("CreateMutexA", name);
    if (lpMutexAttributes || bInitialOwner || name.empty())
        Violation("CreateMutexA other than unnamed security, not owned, with a name");
    if (DWORD code = Fault("CreateMutexA", name).code) {
        state.lastError = code;
        return nullptr;
    }
    const bool existed = !state.mutexes.emplace(name, Mutex()).second;
    const uintptr_t handle = NewHandle();
    state.mutexHandles[handle] = name;
    state.lastError = existed ? 183 : 0;  // ERROR_ALREADY_EXISTS
    return (HANDLE)handle;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    auto it = state.mutexHandles.find((uintptr_t)hHandle);
    Record("WaitForSingleObject", (it == state.mutexHandles.end() ? std::string("?") : it->second) + " " +
                                    std::to_string(dwMilliseconds));
    if (it == state.mutexHandles.end()) {
        Violation("WaitForSingleObject on a handle that is not an open mutex");
        state.lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    Mutex &mutex = state.mutexes[it->second];
    if (mutex.heldByOther && mutex.releasedAfter > dwMilliseconds) {
        if (dwMilliseconds == INFINITE) {
            Violation("waits for ever for a mutex that is never released");
            return WAIT_FAILED;
        }
        state.waited += dwMilliseconds;
        if (mutex.releasedAfter != INFINITE)
            mutex.releasedAfter -= dwMilliseconds;
        return WAIT_TIMEOUT;
    }
    bool abandoned = false;
    if (mutex.heldByOther) {
        state.waited += mutex.releasedAfter;
        mutex.heldByOther = false;
        abandoned = mutex.abandoned;
    }
    mutex.ownedByProgram = true;
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    auto it = state.mutexHandles.find((uintptr_t)hMutex);
    Record("ReleaseMutex", it == state.mutexHandles.end() ? std::string("?") : it->second);
    if (it == state.mutexHandles.end() || !state.mutexes[it->second].ownedByProgram) {
        Violation("ReleaseMutex of a mutex the program does not own");
        state.lastError = 288;  // ERROR_NOT_OWNER
        return FALSE;
    }
    state.mutexes[it->second].ownedByProgram = false;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    auto it = state.mutexHandles.find((uintptr_t)hObject);
    Record("CloseHandle", it == state.mutexHandles.end() ? std::string("?") : it->second);
    if (it == state.mutexHandles.end()) {
        Violation("CloseHandle of a handle that is not open");
        state.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    state.mutexHandles.erase(it);
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    Record("Sleep", std::to_string(dwMilliseconds));
    state.waited += dwMilliseconds;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    std::string name = lpModuleName ? lpModuleName : "";
    Record("GetModuleHandleA", name);
    if (Upper(name) == "KERNEL32.DLL" || Upper(name) == "KERNEL32")
        return (HMODULE)Kernel32Handle;
    state.lastError = 126;  // ERROR_MOD_NOT_FOUND
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    std::string name = lpProcName ? lpProcName : "";
    Record("GetProcAddress", name);
    if ((uintptr_t)hModule != Kernel32Handle)
        Violation("GetProcAddress on a module other than KERNEL32");
    if (name == "SetDefaultDllDirectories" && state.hasDefaultDllDirectories)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&SimSetDefaultDllDirectories));
    state.lastError = 127;  // ERROR_PROC_NOT_FOUND
    return nullptr;
}

}  // extern "C"
