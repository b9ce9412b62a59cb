// The program's entry: one copy at a time, the zone setting, the removal,
// one final message.
#include "app/messages.h"
#include "app/uninstall.h"
#include "registry/registry.h"

// Keeps the DLLs this process loads on demand (those the message boxes bring
// in, uxtheme.dll among them) to the system directory, so that none planted
// beside the program runs with its rights.  Where the system lacks the
// function (Vista, 7 without its loader update) the standard search stays.
static void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel32 ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
    if (found)
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)(void)>(found))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    HANDLE turn = WaitForOurTurn();
    if (!SetZonePolicy())
        ShowMessage(MsgZonePolicyFailed);
    const Ending &ending = Endings[OutcomeOf(RemoveComponents())];
    for (const char *text : ending.boxes)
        if (text)
            ShowMessage(text);
    EndOurTurn(turn);
    return ending.exitCode;
}
