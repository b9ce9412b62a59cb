// Registry cleanup: key tree removal and the Internet zone policy.
#ifndef UNINSTALL_REGISTRY_H
#define UNINSTALL_REGISTRY_H

#include "platform/platform.h"

// What became of a key and everything below it.
enum KeyOutcome {
    KeyGone,     // removed, whoever removed it, or never there
    KeyStayed,   // it, or a key below it, is still there for a reason other than rights
    KeyRefused,  // the system would not open a key of the tree for its removal
};

// Removes the key name below parent and every key below it, deepest first.
// Shows nothing.  On a refusal it stops at once: nothing after the refused
// key is touched.
KeyOutcome DeleteKeyTree(HKEY parent, const char *name);

// Sets the current user's Internet zone value "1004" (unsigned ActiveX
// controls) to 1, ask the user.  Returns false when the zone key cannot be
// opened for setting a value or the value cannot be written; no key is ever
// created.
bool SetZonePolicy();

#endif
