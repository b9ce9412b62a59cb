// What the program must remove, and the neighbours it must leave, as the
// tests expect it: written once here for every test (the simulated machine,
// the end-to-end driver, the check of docs/check.cmd).  Kept apart from the
// program's own tables on purpose: a wrong plan in the program fails the
// tests instead of passing through them.
#pragma once

namespace plan {

// Below CLSID in each class store (the user's, then the machine's).
const char *const ClassKeys[] = {"{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}",
                                 "{B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}"};
// Near-identical neighbours that must survive.
const char *const SiblingKeys[] = {"{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D3}",
                                   "{B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}.old"};
// In the system directory (SysWOW64 for the 32-bit program on 64-bit Windows).
const char *const SystemFiles[] = {"brevandel.dll", "larMosk.dll", "tivMosk.exe", "soltane.dll"};
const char *const Folder = "pendrow";
// Below the Windows directory.
const char *const DpfFolder = "Downloaded Program Files";
const char *const DpfFiles[] = {"marvisk.ocx", "tobrin.inf", "tobrin.ocx"};
// The current user's Internet zone: the value set, and to what.
const char *const ZoneKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
const char *const ZoneValue = "1004";
const unsigned ZoneData = 1;

}  // namespace plan
