// Registry cleanup: key tree removal and the Internet zone policy.
#ifndef UNINSTALL_REGISTRY_H
#define UNINSTALL_REGISTRY_H

#include "platform/platform.h"

// Removes the key name below parent and every key below it, deepest first.
// When the system refuses a deletion for lack of rights, tells the user and
// ends the process with exit code 1.  Otherwise returns whether the key is
// gone: false when it stayed for some other reason.
bool DeleteKeyTree(HKEY parent, const char *name);

// Sets the current user's Internet zone value "1004" (unsigned ActiveX
// controls) to 1, ask the user.  Returns false when the zone key cannot be
// opened or the value cannot be written; no key is ever created.
bool SetZonePolicy();

#endif
