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
    ShowMessage(RemoveComponents() ? MsgUninstallSucceeded : MsgUninstallFailed);
    EndOurTurn(turn);
    return 0;
}
