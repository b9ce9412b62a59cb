// The platform operations the uninstaller uses, under their Windows names.
//
// On Windows these are the system's own functions from KERNEL32, ADVAPI32,
// USER32, SHELL32 and NTDLL, declared by the SDK headers (all but
// NtOpenKey and NtDeleteKey, declared below).  The one
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

// NTDLL's; no SDK header for user mode declares them.  Key names are counted
// strings: only NtOpenKey takes a name by its length, one that holds a NUL
// included.  NtDeleteKey deletes the key behind an open handle, also when
// that key is a registry link: a delete by name would delete the link's
// target instead.
extern "C" NTSTATUS NTAPI NtOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                                    POBJECT_ATTRIBUTES ObjectAttributes);
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE KeyHandle);

// Whether this is the 32-bit build, the one that ships.
inline bool ProgramIs32Bit()
{
    return sizeof(void *) == 4;
}

#else

#include "tests/sim/windows.h"

#endif

// What NtDeleteKey says for a key that still has subkeys: Windows'
// STATUS_CANNOT_DELETE, Wine's STATUS_ACCESS_DENIED.  Neither is in the
// headers for user mode.
#ifndef STATUS_ACCESS_DENIED
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#endif
#ifndef STATUS_CANNOT_DELETE
#define STATUS_CANNOT_DELETE ((NTSTATUS)0xC0000121L)
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
