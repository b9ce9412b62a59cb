// The scenario table: every scenario the suite runs, in its order.
//
// tests/e2e/run reads the scenario names from this file (the lines that
// open an entry, `        {"name",`), so each entry starts on a line of
// its own at that indentation.
#include "driver.h"

namespace e2e {

Expect Says(const std::wstring &text, int answer, std::function<void()> before)
{
    return {Kind::Ours, text, 0, answer, before};
}
Expect SystemError(DWORD code)
{
    return {Kind::SystemError, L"", code, IDOK, {}};
}
// Any number of the shell's own boxes, each dismissed.
Expect ShellBoxes()
{
    return {Kind::Shell, L"", 0, IDOK, {}};
}

std::vector<Scenario> Scenarios()
{
    const std::wstring sys = SystemDir();
    return {
        {"installed", "everything installed, nothing locked: one box, every target gone, zone value 1",
         [] {}, {Says(Succeeded)}, 0, Everything, {}},

        {"nothing_installed", "nothing installed, Downloaded Program Files present: only the success box",
         RemoveAllComponents, {Says(Succeeded)}, 0, ZoneSet, {}},

        {"dpf_missing", "Downloaded Program Files missing: three system-error boxes for code 3, then success",
         [] { RemovePath(Dpf()); }, {SystemError(3), SystemError(3), SystemError(3), Says(Succeeded)}, 0,
         Everything, {}},

        // On Windows too a library mapped by a process refuses deletion with 5 (the
        // in_use_* scenarios, put_back_during_question and wow64_in_use_no).
        {"in_use_no", "larMosk.dll loaded by another process, answer No: the targets after it stay",
         [sys] { Hold(sys + L"\\larMosk.dll"); }, {Says(InUse, IDNO), Says(Failed)}, 0,
         [](State &s) { StoppedAt(s, 1); },
         ReleaseLibrary},

        {"in_use_yes_until_released", "tivMosk.exe loaded; Yes, then Yes after it is released: two questions",
         [sys] { Hold(sys + L"\\tivMosk.exe"); },
         {Says(InUse, IDYES), Says(InUse, IDYES, ReleaseLibrary), Says(Succeeded)}, 0, Everything,
         ReleaseLibrary},

        {"in_use_vanishes", "soltane.dll loaded; it is deleted while the question is up, then Yes",
         [sys] { Hold(sys + L"\\soltane.dll"); },
         {Says(InUse, IDYES,
               [sys] {
                   ReleaseLibrary();
                   DeleteFileW((sys + L"\\soltane.dll").c_str());
               }),
          Says(Succeeded)},
         0, Everything, ReleaseLibrary},

        {"put_back_during_question",
         "larMosk.dll loaded; while the question is up, the first class key and brevandel.dll, removed before, "
         "come back, then Yes: final failure, both stay, the rest goes",
         [sys] { Hold(sys + L"\\larMosk.dll"); },
         {Says(InUse, IDYES,
               [sys] {
                   InstallClass(ClassKey1, L"brevandel.dll");
                   PutLibrary(sys + L"\\brevandel.dll");
                   ReleaseLibrary();
               }),
          Says(Failed)},
         0, [](State &s) { EverythingBut(s, {KeyEntry(ClassKey1), SystemFileEntry(L"brevandel.dll")}); },
         ReleaseLibrary},

        // On Windows too DeleteFile refuses a directory with 5, the code of a file in use.
        {"folder_in_place_of_file", "a folder with a file in it where tivMosk.exe would be: no question, the "
                                    "folder stays as it was, the rest goes, success",
         [sys] {
             RemovePath(sys + L"\\tivMosk.exe");
             MakeFolder(sys + L"\\tivMosk.exe");
             PutText(sys + L"\\tivMosk.exe\\inside.txt", "not a plan file");
         },
         {Says(Succeeded)}, 0, [](State &s) { EverythingBut(s, {SystemFileEntry(L"tivMosk.exe")}); }, {}},

        {"read_only", "marvisk.ocx read-only: removed without a question, success",
         [] { SetFileAttributesW((Dpf() + L"\\marvisk.ocx").c_str(), FILE_ATTRIBUTE_READONLY); },
         {Says(Succeeded)}, 0, Everything, {}},

        // On Windows too a file open without share-delete refuses deletion with 32
        // (this one and folder_refused).
        {"open_no_share_delete",
         "tobrin.inf held open without share-delete: one system-error box (code 32), it stays, the rest goes, "
         "final failure",
         [] { OpenWithoutShareDelete(Dpf() + L"\\tobrin.inf"); }, {SystemError(32), Says(Failed)}, 0,
         [](State &s) {
             Everything(s);
             s.insert(DpfEntry(L"tobrin.inf"));
         },
         CloseHeldFile},

        {"folder_nested", "the folder with nested subfolders and read-only files: gone without a question",
         [] {
             std::wstring path = Folder();
             for (int level = 0; level < 6; level++) {
                 path += L"\\level" + std::to_wstring(level);
                 MakeFolder(path);
                 PutText(path + L"\\locked.txt", "read-only", true);
                 PutText(path + L"\\plain.txt", "plain");
             }
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"folder_refused", "a file in the folder held open: the shell fails, its boxes are dismissed, final "
                           "failure, the entries after it stay",
         [] { OpenWithoutShareDelete(Folder() + L"\\pendrow.ini"); }, {ShellBoxes(), Says(Failed)}, 0,
         [](State &s) {
             StoppedAt(s, 4);
             // Whatever the shell managed to delete before it stopped is gone.
             State now = Snapshot();
             for (auto it = s.begin(); it != s.end();)
                 it = Under(*it, L"file " + Folder()) && !now.count(*it) ? s.erase(it) : std::next(it);
         },
         CloseHeldFile},

        {"zone_key_missing", "the zone key \"3\" missing: its box first, nothing created, the removal goes on",
         [] { DeleteTree(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3"); },
         {Says(ZoneFailed), Says(Succeeded)}, 0,
         [](State &s) {
             ClassKeysGone(s);
             Removed(s);
         },
         {}},

        // SYSTEM as a key's owner: Windows lets an administrator set it only with
        // SeRestorePrivilege enabled, which MakeReadOnly enables (this one,
        // no_rights and class_keys_read_only).
        {"zone_key_set_value_only", "the zone key \"3\" owned by SYSTEM, everyone may only read it and set "
                                    "values: the value is set, no zone box, success",
         [] { MakeReadOnly(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3", false, true); },
         {Says(Succeeded)}, 0, Everything, GiveBackKeys},

        {"zone_value_absent", "the value 1004 absent before the run: afterwards DWORD 1",
         [] {
             HKEY key = CreateKey(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3");
             RegDeleteValueW(key, L"1004");
             RegCloseKey(key);
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"zone_value_zero", "the value 1004 is 0 before the run: afterwards DWORD 1",
         [] { SetDword(HKEY_CURRENT_USER, std::wstring(ZonesPath) + L"\\3", L"1004", 0); }, {Says(Succeeded)},
         0, Everything, {}},

        {"class_keys_absent", "class keys absent: no box for them, the files are still removed",
         [] {
             DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
             DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2);
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"class_keys_deep_wide", "class keys three levels deeper with values, and a level of 45 subkeys",
         [] {
             const std::wstring base = std::wstring(L"CLSID\\") + ClassKey1 + L"\\Wide";
             for (int i = 0; i < 45; i++) {
                 std::wstring child = base + L"\\Child" + std::to_wstring(i);
                 SetString(HKEY_CLASSES_ROOT, child + L"\\Level2\\Level3", L"Value", L"deep");
                 SetDword(HKEY_CLASSES_ROOT, child, L"Index", (DWORD)i);
             }
             SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2 + L"\\A\\B\\C", L"Leaf", L"x");
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"class_key_deepest", "a class key with a chain of 500 levels below it: removed, no crash",
         [] {
             HKEY key = CreateKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1 + L"\\Chain");
             for (int level = 1; level < 500 && key; level++) {
                 HKEY child = nullptr;
                 Check(RegCreateKeyExW(key, (L"L" + std::to_wstring(level)).c_str(), 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, &child, nullptr),
                       "create chain level " + std::to_string(level));
                 RegCloseKey(key);
                 key = child;
             }
             if (key)
                 RegCloseKey(key);
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"long_names", "subkeys with names of 255 Chinese characters (510 bytes in code page 936): removed",
         [] {
             std::wstring name(255, L'\u6ce8');
             SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1 + L"\\" + name + L"\\" + name,
                       L"v", L"x");
             SetString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2 + L"\\" + std::wstring(100, L'a'),
                       L"v", L"x");
         },
         {Says(Succeeded)}, 0, Everything, {}},

        {"names_outside_code_page",
         "subkeys at several depths named in Thai, Hangul and an emoji, which code page 936 cannot spell, one the "
         "first of 25 siblings: removed, success",
         PlantForeignNames, {Says(Succeeded)}, 0, Everything, {}},

        // Windows keeps key names as counted strings too: NtCreateKey makes these
        // for any account that may write below the class key.
        {"key_names_with_nul", "keys named with NULs below the first class key (at the end, at the start, "
                               "inside, NULs alone), three levels below one another: removed, success",
         PlantNulNames, {Says(Succeeded)}, 0, Everything, {}},

        {"no_rights", "a subkey of a class key the account may not delete (read-only, owned by SYSTEM): two boxes, "
                      "exit code 1, no file touched",
         [] {
             const std::wstring locked = std::wstring(L"CLSID\\") + ClassKey1 + L"\\Write Protected";
             SetString(HKEY_CLASSES_ROOT, locked, L"Kept", L"refused");
             MakeReadOnly(HKEY_CLASSES_ROOT, locked, false);
         },
         {Says(NoRights), Says(Failed)}, 1,
         [](State &s) {
             // The subkeys of the first class key before the refused one
             // (which sorts last) are gone; the key itself with its value and
             // the refused subkey stay; the zone value is set; nothing else
             // changes.
             ZoneSet(s);
             const std::wstring key = KeyEntry(ClassKey1);
             for (auto it = s.begin(); it != s.end();) {
                 bool below = Under(*it, key) && it->compare(key.size(), 1, L"\\") == 0;
                 it = below && !Under(*it, key + L"\\Write Protected") ? s.erase(it) : std::next(it);
             }
         },
         GiveBackKeys},

        {"class_keys_read_only", "the machine's CLSID key and both class key trees read-only (owned by SYSTEM): "
                                 "two boxes, exit code 1, nothing removed, no file touched",
         [] {
             const std::wstring store = ClassStore;
             MakeReadOnly(HKEY_LOCAL_MACHINE, store.substr(0, store.size() - 1), false);
             MakeReadOnly(HKEY_LOCAL_MACHINE, store + ClassKey1, true);
             MakeReadOnly(HKEY_LOCAL_MACHINE, store + ClassKey2, true);
         },
         {Says(NoRights), Says(Failed)}, 1, ZoneSet, GiveBackKeys},

        {"user_and_machine_classes", "both classes registered for the user and for the machine: both stores' "
                                     "keys go, the user's neighbour stays, success",
         InstallUserClasses, {Says(Succeeded)}, 0, Everything, {}},

        // Windows takes a DLL beside the program before the system's without any
        // setting; Wine needs the override the fixture writes.  On Vista, and on 7
        // without KB2533623, the program cannot keep it out: a failure there is
        // a finding, not a fault of the kit.
        {"planted_dll", "a uxtheme.dll planted beside the program, native DLLs preferred: the program does not "
                        "load it",
         PlantDll, {Says(Succeeded)}, 0, Everything, RemovePlantedDll},

        {"sibling_deleted_meanwhile", "another program deletes a subkey of a class key while the program removes "
                                      "a deep sibling before it: success, everything removed",
         StartOtherProgram, {Says(Succeeded)}, 0, Everything, StopOtherProgram},

        {"killed_and_run_again", "killed while removing a large class key tree, then run again: success, the "
                                 "state as after one whole run",
         RunAndKill, {Says(Succeeded)}, 0,
         [](State &s) {
             s = beforeFirstRun;
             Everything(s);
         },
         {}},

        // Creating a registry link takes KEY_CREATE_LINK and REG_OPTION_CREATE_LINK;
        // Windows allows it an administrator, outside a sandbox.
        {"link_below_class_key", "a registry link below a class key points to a key tree outside the plan: the "
                                 "link goes with the class key, the tree it points to stays as it was",
         PlantLink, {Says(Succeeded)}, 0, Everything, {}},

        {"two_copies_together", "two copies started together on a large class key and folder: one at a time, "
                                "each shows only the success box and exits with 0, everything of the plan gone",
         InstallLargeComponents, {Says(Succeeded, IDOK, HoldForSecondCopy)}, 0, Everything, FinishSecondCopy,
         [] { StartSecondCopy(0); }},

        {"two_copies_150ms_apart", "a second copy started 150 ms after the first, during its removal: one at a "
                                   "time, each shows only the success box and exits with 0",
         InstallLargeComponents, {Says(Succeeded, IDOK, HoldForSecondCopy)}, 0, Everything, FinishSecondCopy,
         [] { StartSecondCopy(150); }},

        // Under WoW64 only: the same-named 64-bit components stay.
        {"wow64_twins", "everything installed in the 32-bit views and a twin of every target in the 64-bit "
                        "views: the 32-bit targets go, every twin stays exactly as it was",
         InstallTwins, {Says(Succeeded)}, 0, Everything, {}},

        {"wow64_only_twins", "only the 64-bit twins present: the success box, every twin stays",
         [] {
             RemoveAllComponents();
             InstallTwins();
         },
         {Says(Succeeded)}, 0, ZoneSet, {}},

        {"wow64_in_use_no", "with the twins, the 32-bit larMosk.dll loaded by another process, answer No: the "
                            "targets after it stay, the twins are unchanged",
         [sys] {
             InstallTwins();
             Hold(sys + L"\\larMosk.dll");
         },
         {Says(InUse, IDNO), Says(Failed)}, 0,
         [](State &s) { StoppedAt(s, 1); },
         ReleaseLibrary},
    };
}

}  // namespace e2e
