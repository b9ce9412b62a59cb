// The platform operations the uninstaller uses, under their Windows names.
//
// On Windows these are the system's own functions from KERNEL32, ADVAPI32,
// USER32, SHELL32 and NTDLL, declared by the SDK headers (all but
// NtOpenKey and NtDeleteKey, declared below).  Elsewhere the native build
// finds a stand-in <windows.h> on its include path that declares the same
// names, and a simulated Windows machine provides them for the unit tests.
// The code in app/, files/ and registry/ includes only this header and is
// the same in both builds.
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

#include <windows.h>  // the simulation's stand-in

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

// Keeps a function out of its callers, so that its locals are not part of
// every caller's stack frame.
#ifdef _MSC_VER
#define OUT_OF_LINE __declspec(noinline)
#else
#define OUT_OF_LINE __attribute__((noinline))
#endif

#endif
