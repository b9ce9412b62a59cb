// The scenario table: every scenario the suite runs, in its order, one row
// each: its name and summary, its machine (what is staged after the
// standard installation), its boxes with their answers, its exit code, and
// what it leaves (the entries that stay as they were; the rest of the plan
// goes and the zone value becomes 1).  A new scenario is a row here, and a
// staging function in staging.cpp only where it stages something new.
#include "driver.h"

#include <iterator>

namespace e2e {

// The entries below `prefix` that `keep` does not want, taken out of a state.
static void Drop(State &state, const std::wstring &prefix, const std::function<bool(const std::wstring &)> &keep)
{
    for (auto it = state.begin(); it != state.end();)
        it = Under(*it, prefix) && !keep(*it) ? state.erase(it) : std::next(it);
}

std::vector<Scenario> Scenarios()
{
    const std::wstring zone = W(plan::ZoneKey), key1 = ClassPath(plan::ClassKeys[0]);
    const std::wstring key2 = ClassPath(plan::ClassKeys[1]);
    const HKEY machine = HKEY_LOCAL_MACHINE;
    return {
        {"installed", "everything installed, nothing locked: one box, every target gone, zone value 1",
         {}, {Says(Succeeded)}, 0},

        {"nothing_installed", "nothing installed, Downloaded Program Files present: only the success box",
         RemoveTargets, {Says(Succeeded)}, 0},

        {"dpf_missing", "Downloaded Program Files missing: three system-error boxes for code 3, then success",
         [] { RemovePath(Dpf()); }, {SystemError(3), SystemError(3), SystemError(3), Says(Succeeded)}, 0},

        // On Windows too a library mapped by a process refuses deletion with 5 (the
        // in_use_* scenarios, put_back_during_question and wow64_in_use_no).
        {"in_use_no", "larMosk.dll loaded by another process, answer No: the targets after it stay",
         [] { Hold(SysPath(1)); }, {Says(InUse, IDNO), Says(Failed)}, 0, From(File(SysPath(1)))},

        {"in_use_yes_until_released", "tivMosk.exe loaded; Yes, then Yes after it is released: two questions",
         [] { Hold(SysPath(2)); }, {Says(InUse, IDYES), Says(InUse, IDYES, ReleaseLibrary), Says(Succeeded)}, 0},

        {"in_use_vanishes", "soltane.dll loaded; it is deleted while the question is up, then Yes",
         [] { Hold(SysPath(3)); },
         {Says(InUse, IDYES, [] { ReleaseLibrary(); DeleteFileW(SysPath(3).c_str()); }), Says(Succeeded)}, 0},

        {"put_back_during_question",
         "larMosk.dll loaded; while the question is up, the first class key and brevandel.dll, removed before, "
         "come back, then Yes: final failure, both stay, the rest goes",
         [] { Hold(SysPath(1)); },
         {Says(InUse, IDYES, [] { InstallClass(0); PutLibrary(SysPath(0)); ReleaseLibrary(); }), Says(Failed)}, 0,
         {MachineKey(plan::ClassKeys[0]), File(SysPath(0))}},

        // On Windows too DeleteFile refuses a directory with 5, the code of a file in use.
        {"folder_in_place_of_file", "a folder with a file in it where tivMosk.exe would be: no question, the "
                                    "folder stays as it was, the rest goes, success",
         [] { FolderInPlace(SysPath(2)); }, {Says(Succeeded)}, 0, {File(SysPath(2))}},

        {"read_only", "marvisk.ocx read-only: removed without a question, success",
         [] { SetFileAttributesW(DpfPath(0).c_str(), FILE_ATTRIBUTE_READONLY); }, {Says(Succeeded)}, 0},

        // On Windows too a file open without share-delete refuses deletion with 32
        // (this one and folder_refused).
        {"open_no_share_delete",
         "tobrin.inf held open without share-delete: one system-error box (code 32), it stays, the rest goes, "
         "final failure",
         [] { OpenWithoutShareDelete(DpfPath(1)); }, {SystemError(32), Says(Failed)}, 0, {File(DpfPath(1))}},

        {"folder_nested", "the folder with nested subfolders and read-only files: gone without a question",
         [] {
             std::wstring path = Folder();
             for (int level = 0; level < 6; level++) {
                 MakeFolder(path += L"\\level" + std::to_wstring(level));
                 PutText(path + L"\\locked.txt", "read-only", true);
                 PutText(path + L"\\plain.txt", "plain");
             }
         },
         {Says(Succeeded)}, 0},

        {"folder_refused", "a file in the folder held open: the shell fails, its boxes are dismissed, final "
                           "failure, the entries after it stay",
         [] { OpenWithoutShareDelete(Folder() + L"\\pendrow.ini"); }, {ShellBoxes(), Says(Failed)}, 0,
         From(File(Folder())),
         [](State &s) {  // whatever the shell deleted before it stopped is gone
             const State now = Snapshot();
             Drop(s, File(Folder()), [&](const std::wstring &entry) { return now.count(entry) > 0; });
         }},

        {"zone_key_missing", "the zone key \"3\" missing: its box first, nothing created, the removal goes on",
         [zone] { DeleteTree(HKEY_CURRENT_USER, zone); }, {Says(ZoneFailed), Says(Succeeded)}, 0,
         {ZoneKeyEntry()}},

        // SYSTEM as a key's owner: Windows lets an administrator set it only with
        // SeRestorePrivilege enabled, which MakeReadOnly enables (this one,
        // no_rights and class_keys_read_only).
        {"zone_key_set_value_only", "the zone key \"3\" owned by SYSTEM, everyone may only read it and set "
                                    "values: the value is set, no zone box, success",
         [zone] { MakeReadOnly(HKEY_CURRENT_USER, zone, false, true); }, {Says(Succeeded)}, 0},

        {"zone_value_absent", "the value 1004 absent before the run: afterwards DWORD 1",
         [zone] { RegDeleteKeyValueW(HKEY_CURRENT_USER, zone.c_str(), W(plan::ZoneValue).c_str()); },
         {Says(Succeeded)}, 0},

        {"zone_value_zero", "the value 1004 is 0 before the run: afterwards DWORD 1",
         [zone] { SetDword(HKEY_CURRENT_USER, zone, W(plan::ZoneValue).c_str(), 0); }, {Says(Succeeded)}, 0},

        {"class_keys_absent", "class keys absent: no box for them, the files are still removed",
         [=] { DeleteTree(machine, key1); DeleteTree(machine, key2); }, {Says(Succeeded)}, 0},

        {"class_keys_deep_wide", "class keys three levels deeper with values, and a level of 45 subkeys",
         [=] {
             for (int i = 0; i < 45; i++) {
                 const std::wstring child = key1 + L"\\Wide\\Child" + std::to_wstring(i);
                 SetString(machine, child + L"\\Level2\\Level3", L"Value", L"deep");
                 SetDword(machine, child, L"Index", (DWORD)i);
             }
             SetString(machine, key2 + L"\\A\\B\\C", L"Leaf", L"x");
         },
         {Says(Succeeded)}, 0},

        {"class_key_deepest", "a class key with a chain of 500 levels below it: removed, no crash",
         [=] { Tree(machine, key1 + L"\\Chain", 499, {L"L"}); }, {Says(Succeeded)}, 0},

        {"long_names", "subkeys with names of 255 Chinese characters (510 bytes in code page 936): removed",
         [=] {
             const std::wstring name(255, L'\u6ce8');
             SetString(machine, key1 + L"\\" + name + L"\\" + name, L"v", L"x");
             SetString(machine, key2 + L"\\" + std::wstring(100, L'a'), L"v", L"x");
         },
         {Says(Succeeded)}, 0},

        {"names_outside_code_page",
         "subkeys at several depths named in Thai, Hangul and an emoji, which code page 936 cannot spell, one the "
         "first of 25 siblings: removed, success",
         PlantForeignNames, {Says(Succeeded)}, 0},

        // Windows keeps key names as counted strings too: NtCreateKey makes these
        // for any account that may write below the class key.
        {"key_names_with_nul", "keys named with NULs below the first class key (at the end, at the start, "
                               "inside, NULs alone), three levels below one another: removed, success",
         PlantNulNames, {Says(Succeeded)}, 0},

        {"no_rights", "a subkey of a class key the account may not delete (read-only, owned by SYSTEM): two boxes, "
                      "exit code 1, no file touched",
         [=] {
             SetString(machine, key1 + L"\\Write Protected", L"Kept", L"refused");
             MakeReadOnly(machine, key1 + L"\\Write Protected", false);
         },
         {Says(NoRights), Says(Failed)}, 1, Targets(),
         [](State &s) {  // the first class key's subkeys before the refused one, which sorts last, are gone
             const std::wstring key = MachineKey(plan::ClassKeys[0]);
             Drop(s, key, [&](const std::wstring &e) {
                 return e.compare(key.size(), 1, L"\\") != 0 || Under(e, key + L"\\Write Protected");
             });
         }},

        {"class_keys_read_only", "the machine's CLSID key and both class key trees read-only (owned by SYSTEM): "
                                 "two boxes, exit code 1, nothing removed, no file touched",
         [=] {
             MakeReadOnly(machine, ClassPath(""), false);
             MakeReadOnly(machine, key1, true);
             MakeReadOnly(machine, key2, true);
         },
         {Says(NoRights), Says(Failed)}, 1, Targets()},

        {"user_and_machine_classes", "both classes registered for the user and for the machine: both stores' "
                                     "keys go, the user's neighbour stays, success",
         InstallUserClasses, {Says(Succeeded)}, 0},

        // Windows takes a DLL beside the program before the system's without any
        // setting; Wine needs the override the fixture writes.  On Vista, and on 7
        // without KB2533623, the program cannot keep it out: a failure there is
        // a finding, not a fault of the kit.
        {"planted_dll", "a uxtheme.dll planted beside the program, native DLLs preferred: the program does not "
                        "load it",
         PlantDll, {Says(Succeeded)}, 0},

        {"sibling_deleted_meanwhile", "another program deletes a subkey of a class key while the program removes "
                                      "a deep sibling before it: success, everything removed",
         StartOtherProgram, {Says(Succeeded)}, 0},

        {"killed_and_run_again", "killed while removing a large class key tree, then run again: success, the "
                                 "state as after one whole run",
         RunAndKill, {Says(Succeeded)}, 0, {}, AsAfterOneRun},

        // Creating a registry link takes KEY_CREATE_LINK and REG_OPTION_CREATE_LINK;
        // Windows allows it an administrator, outside a sandbox.
        {"link_below_class_key", "a registry link below a class key points to a key tree outside the plan: the "
                                 "link goes with the class key, the tree it points to stays as it was",
         PlantLink, {Says(Succeeded)}, 0},

        {"two_copies_together", "two copies started together on a large class key and folder: one at a time, "
                                "each shows only the success box and exits with 0, everything of the plan gone",
         [] { InstallLargeComponents(); SecondCopy(0); }, {Says(Succeeded, IDOK, HoldForSecondCopy)}, 0},

        {"two_copies_150ms_apart", "a second copy started 150 ms after the first, during its removal: one at a "
                                   "time, each shows only the success box and exits with 0",
         [] { InstallLargeComponents(); SecondCopy(150); }, {Says(Succeeded, IDOK, HoldForSecondCopy)}, 0},

        // Under WoW64 only: the same-named 64-bit components stay.
        {"wow64_twins", "everything installed in the 32-bit views and a twin of every target in the 64-bit "
                        "views: the 32-bit targets go, every twin stays exactly as it was",
         InstallTwins, {Says(Succeeded)}, 0},

        {"wow64_only_twins", "only the 64-bit twins present: the success box, every twin stays",
         [] { RemoveTargets(); InstallTwins(); }, {Says(Succeeded)}, 0},

        {"wow64_in_use_no", "with the twins, the 32-bit larMosk.dll loaded by another process, answer No: the "
                            "targets after it stay, the twins are unchanged",
         [] { InstallTwins(); Hold(SysPath(1)); }, {Says(InUse, IDNO), Says(Failed)}, 0, From(File(SysPath(1)))},
    };
}

}  // namespace e2e
