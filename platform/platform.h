// The platform operations the uninstaller uses, under their Windows names.
//
// On Windows these are the system's own functions from KERNEL32, ADVAPI32,
// USER32, SHELL32 and NTDLL, declared by the SDK headers (all but
// NtDeleteKey, declared below).  The one
// function that not every supported system has, SetDefaultDllDirectories,
// is looked up in KERNEL32 at run time (see RestrictDllSearch).  Elsewhere the
// same names are declared by tests/sim/windows.h and provided by the
// simulated Windows machine beside it, which the unit tests drive.  The code
// in app/, files/ and registry/ includes only this header and is the same in
// both builds.
#ifndef UNINSTALL_PLATFORM_H
#define UNINSTALL_PLATFORM_H

#ifdef _WIN32

#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

// Deletes the key behind an open handle, also when that key is a registry
// link: a delete by name would delete the link's target instead.  NTDLL's;
// no SDK header for user mode declares it.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle);

// Whether this is the 32-bit build, the one that ships.
inline bool ProgramIs32Bit()
{
    return sizeof(void *) == 4;
}

#else

#include "tests/sim/windows.h"

#endif

// Keeps the DLLs this process loads on demand (those the message boxes bring
// in, uxtheme.dll among them) to the system directory, so that none planted
// beside the program runs with its rights.  Where the system lacks the
// function (Vista, 7 without its loader update) the standard search stays.
inline void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel32 ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)(void)>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}

#endif
