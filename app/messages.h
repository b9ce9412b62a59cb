// The message catalogue: every text, caption and box style the uninstaller
// shows.  Texts are GBK (code page 936) byte strings, passed unchanged to
// MessageBoxA.
#ifndef UNINSTALL_MESSAGES_H
#define UNINSTALL_MESSAGES_H

#include "platform/platform.h"

extern const char MsgCaption[];
extern const char MsgErrorCaption[];
extern const char MsgZonePolicyFailed[];
extern const char MsgUninstallSucceeded[];
extern const char MsgUninstallFailed[];
extern const char MsgNoRegistryRights[];
extern const char MsgFileInUse[];

struct CatalogueEntry {
    const char *text;  // nullptr: the system's own text for an error code
    const char *caption;
    UINT style;
};

extern const CatalogueEntry MessageCatalogue[];
extern const int MessageCatalogueSize;

// Shows a text as a modal box without owner, with the caption and style the
// catalogue gives it; any text not in the catalogue is a system error text.
// Returns the button pressed.
int ShowMessage(const char *text);

#endif
