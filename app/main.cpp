// The program's entry: one copy at a time, the zone setting, the removal,
// one final message.
#include "app/messages.h"
#include "app/uninstall.h"
#include "registry/registry.h"

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
