// The current user's Internet zone setting for unsigned ActiveX controls.
#include "registry/registry.h"

// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\3,
// zone 3 being the Internet zone; opened one level at a time.
static const char *const ZonePath[] = {
    "Software", "Microsoft", "Windows", "CurrentVersion", "Internet Settings", "Zones", "3",
};
static const int ZonePathLevels = sizeof ZonePath / sizeof ZonePath[0];

bool SetZonePolicy()
{
    HKEY keys[ZonePathLevels];
    int opened = 0;
    HKEY parent = HKEY_CURRENT_USER;
    // Each level is asked for no more than it is used for: the levels on the
    // way are only parents, read by everyone; the last one takes a value.
    // A key whose owner granted reading and setting values still takes it.
    while (opened < ZonePathLevels &&
           RegOpenKeyExA(parent, ZonePath[opened], 0,
                         opened == ZonePathLevels - 1 ? KEY_SET_VALUE : KEY_QUERY_VALUE,
                         &keys[opened]) == ERROR_SUCCESS)
        parent = keys[opened++];

    bool written = false;
    if (opened == ZonePathLevels) {
        // "1004": download of unsigned ActiveX controls; 1: ask the user.
        static const BYTE Prompt[4] = {1, 0, 0, 0};
        written = RegSetValueExA(keys[opened - 1], "1004", 0, REG_DWORD, Prompt, sizeof Prompt) ==
                  ERROR_SUCCESS;
    }
    while (opened > 0)
        RegCloseKey(keys[--opened]);
    return written;
}
