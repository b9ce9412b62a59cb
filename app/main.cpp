// The program's entry: the zone setting, the removal, one final message.
#include "app/messages.h"
#include "app/uninstall.h"
#include "registry/registry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    if (!SetZonePolicy())
        ShowMessage(MsgZonePolicyFailed);
    ShowMessage(RemoveComponents() ? MsgUninstallSucceeded : MsgUninstallFailed);
    return 0;
}
