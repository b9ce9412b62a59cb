// Whole runs of the program on the simulated machine: the removal plan, the
// final outcome, the retry question and the system-error box.
#include "machine.h"

using namespace t;

using Uninstall = Machine;

// The folder goes through the shell, asked no question (see the
// simulation's SHFileOperationA).  The program's arguments are ignored, and
// it creates nothing.
TEST_F(Uninstall, EverythingInstalledIsRemovedWithOneBox)
{
    InstallComponents();
    const size_t userKeys = sim::CountKeys(HKEY_CURRENT_USER);
    EXPECT_EQ(RunProgram(), 0);

    ExpectWholeRemoval();
    EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue)->data, ZoneData);
    EXPECT_THAT(sim::machine().shellRequests, ElementsAre(Folder));
    EXPECT_EQ(sim::CountKeys(HKEY_CURRENT_USER), userKeys);

    // Neighbours stay.
    for (const char *sibling : plan::SiblingKeys)
        EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, std::string("CLSID\\") + sibling)) << sibling;
    EXPECT_TRUE(sim::Exists(SystemDir + "\\kernel32.dll"));
    EXPECT_TRUE(sim::Exists(Dpf + "\\other.ocx"));
    EXPECT_TRUE(sim::Exists(Dpf));
    EXPECT_TRUE(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, "1001"));
}

// The message boxes load uxtheme.dll on demand, and a program saved to a
// downloads folder must not pick up a copy planted there: the search is kept
// to the system directory before any other call.  A system without
// SetDefaultDllDirectories (Vista, 7 without its loader update) runs as usual.
TEST_F(Uninstall, DllSearchIsRestrictedToTheSystemDirectoryFirst)
{
    for (bool restrictable : {true, false}) {
        SCOPED_TRACE(restrictable);
        FreshInstalled();
        sim::machine().hasDefaultDllDirectories = restrictable;
        EXPECT_EQ(RunProgram(), 0);
        std::vector<std::string> first = {"GetModuleHandleA kernel32.dll", "GetProcAddress SetDefaultDllDirectories",
                                          "SetDefaultDllDirectories 0x00000800"};
        first.resize(restrictable ? 3 : 2);
        const std::vector<std::string> &calls = sim::machine().calls;
        ASSERT_GT(calls.size(), first.size());
        EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + first.size()), first);
        EXPECT_EQ(sim::machine().defaultDllDirectories, restrictable ? (DWORD)LOAD_LIBRARY_SEARCH_SYSTEM32 : 0u);
        ExpectWholeRemoval();
    }
}

// What the machine shows as the run goes: the zone value set first, then
// the targets gone one by one in the plan's order, then the one box.
TEST_F(Uninstall, TargetsGoInThePlansOrder)
{
    InstallComponents();
    const std::vector<std::string> installed = Left();
    const std::string zone = "the zone value", box = std::string("MessageBoxA ") + MsgUninstallSucceeded;
    std::vector<std::string> seen;
    sim::machine().between = [&](const std::string &call) {
        const std::vector<std::string> left = Left();
        if (sim::GetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue)->data == ZoneData &&
            std::count(seen.begin(), seen.end(), zone) == 0)
            seen.push_back(zone);
        for (const std::string &target : installed)
            if (std::count(left.begin(), left.end(), target) == 0 && std::count(seen.begin(), seen.end(), target) == 0)
                seen.push_back(target);
        if (call.rfind("MessageBoxA", 0) == 0)
            seen.push_back(call);
    };
    EXPECT_EQ(RunProgram(), 0);
    std::vector<std::string> expected = {zone};
    expected.insert(expected.end(), installed.begin(), installed.end());
    expected.push_back(box);
    EXPECT_EQ(seen, expected);
}

// A plan file, by what the system and the user do.  Refused with
// ERROR_ACCESS_DENIED: a read-only one loses its mark and goes without a
// question; one still refused after that is in use, and the user is asked:
// No stops the removal there, Yes tries again.  A folder in the file's place
// is not the file: it stays as it is, nobody is asked, and it does not
// count.  Any other failure is said once, and the removal goes on: with
// Downloaded Program Files missing, once for each of its files.
TEST_F(Uninstall, FileOutcomes)
{
    enum Stays { Nothing, TheFile, FromTheFile };
    struct Case {
        const char *what;
        std::string file;
        std::function<void()> arrange;
        std::vector<sim::Answer> answers;
        std::vector<std::string> texts;
        Stays stays;
    };
    const std::string inUse = MsgFileInUse, succeeded = MsgUninstallSucceeded, failed = MsgUninstallFailed;
    const std::string noPath = sim::machine().errorTexts.at(ERROR_PATH_NOT_FOUND);
    auto mark = [](const std::string &file, bool readOnly, sim::Hold hold) {
        return [=] { sim::FindFile(file)->readOnly = readOnly, sim::FindFile(file)->hold = hold; };
    };
    const std::string &a = SystemFiles[0], &b = SystemFiles[1], &c = SystemFiles[2], &d = DpfFiles[0];
    const Case cases[] = {
        {"read-only", a, mark(a, true, sim::Hold::None), {}, {succeeded}, Nothing},
        {"read-only and loaded", a, mark(a, true, sim::Hold::LoadedImage), {No()}, {inUse, failed}, FromTheFile},
        {"read-only, mark refused", a, [=] { mark(a, true, sim::Hold::None)(), FailCall("SetFileAttributesA", a, ERROR_ACCESS_DENIED); },
         {No()}, {inUse, failed}, FromTheFile},
        {"loaded, No", b, mark(b, false, sim::Hold::LoadedImage), {No()}, {inUse, failed}, FromTheFile},
        {"loaded, Yes until released", c, mark(c, false, sim::Hold::LoadedImage),
         {Yes(), Yes(mark(c, false, sim::Hold::None))}, {inUse, inUse, succeeded}, Nothing},
        {"loaded, gone before the retry", d, mark(d, false, sim::Hold::LoadedImage),
         {Yes([=] { sim::Remove(d); })}, {inUse, succeeded}, Nothing},
        {"a folder in its place", a, [=] { sim::Remove(a), sim::AddFile(a + "\\inside.dll"); }, {}, {succeeded}, TheFile},
        {"held open without share-delete", SystemFiles[3], mark(SystemFiles[3], false, sim::Hold::OpenNoShareDelete),
         {}, {sim::machine().errorTexts.at(ERROR_SHARING_VIOLATION), failed}, TheFile},
        {"a failure without a text", DpfFiles[1], [] { FailCall("DeleteFileA", DpfFiles[1], 1234); },
         {}, {"Error code 1234", failed}, TheFile},
        {"Downloaded Program Files missing", d, [] { sim::Remove(Dpf); }, {}, {noPath, noPath, noPath, succeeded},
         Nothing},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.what);
        FreshInstalled();
        row.arrange();
        sim::machine().answers = row.answers;
        const std::vector<std::string> left =
            row.stays == Nothing ? std::vector<std::string>() : row.stays == TheFile ? std::vector<std::string>{row.file} : From(row.file);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(Texts(), row.texts);
        EXPECT_EQ(Left(), left);
        EXPECT_EQ(sim::Exists(row.file + "\\inside.dll"), sim::Exists(row.file) && sim::FindFile(row.file)->directory)
            << "a folder in its place kept as it was";
    }
}

// The folder, by what the shell reports and what looks at the folder show,
// before and after the shell.  The report is believed unless a look
// overturns it: a success when the folder is still there (the shell's
// "Skip" in its window for a file in use returns 0 and leaves it), a
// failure when the system no longer finds the folder (another program
// removed it first).  Only "not found" means not there: a look that fails
// otherwise proves nothing, and before the shell the folder then goes to
// the shell, which will say what is wrong.
TEST_F(Uninstall, FolderOutcomes)
{
    struct Case {
        const char *what;
        sim::Failure shell;           // the shell's answer
        bool goneMeanwhile;           // another program removed the folder while the shell worked
        DWORD lookBefore, lookAfter;  // failure of the look before and after the shell
    };
    const DWORD denied = ERROR_ACCESS_DENIED, device = 1117 /* ERROR_IO_DEVICE */;
    const Case cases[] = {
        {"removed", 0, false, 0, 0},
        {"Skip", sim::ShellSkip(), false, 0, 0},
        {"progress window cancelled", sim::ShellAborted(), false, 0, 0},
        {"cancelled, look after denied", sim::ShellAborted(), false, 0, denied},
        {"cancelled, but gone", sim::ShellAborted(), true, 0, 0},
        {"failed", 0x78, false, 0, 0},
        {"failed, but gone", 2, true, 0, 0},
        {"failed, look after denied", 0x78, false, 0, denied},
        {"failed, look after a device error", 0x78, false, 0, device},
        {"removed, look after denied", 0, false, 0, denied},
        {"look before denied", 0, false, denied, 0},
        {"look before a device error, Skip", sim::ShellSkip(), false, device, 0},
        {"not there", 0, false, ERROR_FILE_NOT_FOUND, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreshInstalled();
        const bool there = c.lookBefore != ERROR_FILE_NOT_FOUND, gone = !c.shell.Any() || c.goneMeanwhile;
        if (!there)
            sim::Remove(Folder);
        const std::vector<std::string> stays = gone ? std::vector<std::string>() : From(Folder);
        FailCall("SHFileOperationA", AnySubject, c.shell);
        FailCall("GetFileAttributesA", Folder, c.lookAfter);
        FailCall("GetFileAttributesA", Folder, c.lookBefore, 1);
        if (c.goneMeanwhile)
            OnceBefore("SHFileOperationA", [] { sim::Remove(Folder); });
        EXPECT_EQ(RunProgram(), 0);
        // The last look sees what the look after the shell saw: one that
        // cannot tell fails the run.
        EXPECT_THAT(Texts(), ElementsAre(gone && c.lookAfter == 0 ? MsgUninstallSucceeded : MsgUninstallFailed));
        EXPECT_EQ(sim::machine().shellRequests.size(), there ? 1u : 0u);
        EXPECT_EQ(Left(), stays);
    }
}

// The last look, after a walk that removed everything, cannot tell for one
// target: a file it may not look at (no right to the folder, a device
// error), a class key that came back granting nothing.  The run cannot
// claim success.
TEST_F(Uninstall, LastLookThatCannotTellFailsTheRun)
{
    for (const std::string &subject : {MachineClasses + ClassKey2, UserClasses + ClassKey1, SystemFiles[3], DpfFiles[0]}) {
        SCOPED_TRACE(subject);
        FreshInstalled();
        const bool key = subject.rfind("HK", 0) == 0;
        if (key)
            OnceBefore("RegOpenKeyExA " + subject + " (link)",
                       [&] { sim::CreateKey(RootOf(subject), subject.substr(5))->granted = 0; });
        else
            FailCall("GetFileAttributesA", subject, ERROR_ACCESS_DENIED);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        // A file is removed: only the look failed.
        EXPECT_EQ(Left(), key ? std::vector<std::string>{subject} : std::vector<std::string>());
    }
}

// A directory the system will not name, or names too long for the path
// buffer: its targets are passed over without a box, and since they may
// still be there, the run does not claim success.
TEST_F(Uninstall, UnusableDirectorySkipsItsTargets)
{
    // The request, and how it fails.
    const std::pair<std::string, sim::Failure> cases[] = {
        {"GetSystemDirectoryA", ERROR_NO_SYSTEM_RESOURCES}, {"GetSystemDirectoryA", sim::Needed(260)},
        {"GetSystemDirectoryA", sim::Needed(300)},          {"GetWindowsDirectoryA", ERROR_NO_SYSTEM_RESOURCES},
        {"GetWindowsDirectoryA", sim::Needed(260)},         {"GetWindowsDirectoryA", sim::Needed(4096)}};
    for (const auto &[op, failure] : cases) {
        SCOPED_TRACE(op + " " + std::to_string(failure.code) + " " + std::to_string(failure.needed));
        FreshInstalled();
        const bool system = op == "GetSystemDirectoryA";
        std::vector<std::string> stays = system ? SystemFiles : DpfFiles;
        if (system)
            stays.push_back(Folder);
        FailCall(op, "", failure);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        EXPECT_EQ(Left(), stays);
    }
}

// Paths at the limit.  A file path may use 259 bytes, the folder's 258 (the
// shell's list of paths ends with a second NUL).  A longer path is reported
// as too long, once for each target or once for a Downloaded Program Files
// folder that is too long itself, never cut: a shorter path names something
// else.  Its target stays, and the run does not claim success.
TEST_F(Uninstall, PathsTooLongAreReportedNeverCut)
{
    struct Case {
        size_t system, windows;  // the directories' lengths
        int tooLong;             // boxes
    };
    // 250 + "\\pendrow" fills the folder's 258; 223 + "\\Downloaded Program
    // Files" + "\\tobrin.ocx" a file's 259, and "\\marvisk.ocx" is one more.
    for (const Case &c : {Case{251, 10, 5}, Case{252, 10, 5}, Case{19, 240, 1}, Case{250, 223, 5}}) {
        SCOPED_TRACE(std::to_string(c.system) + ", " + std::to_string(c.windows));
        Fresh();
        sim::machine().systemDirectory = "C:\\" + std::string(c.system - 3, 's');
        sim::machine().windowsDirectory = "C:\\" + std::string(c.windows - 3, 'w');
        const std::string folder = sim::machine().systemDirectory + "\\" + plan::Folder;
        const std::string dpf = sim::machine().windowsDirectory + "\\" + plan::DpfFolder;
        std::vector<std::string> files = In(sim::machine().systemDirectory, plan::SystemFiles);
        for (const std::string &file : In(dpf, plan::DpfFiles))
            files.push_back(file);
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
        sim::AddFile(folder + "\\x.dll");
        for (const std::string &file : files)
            sim::AddFile(file);
        EXPECT_EQ(RunProgram(), 0);
        std::vector<std::string> texts(c.tooLong, sim::machine().errorTexts.at(ERROR_FILENAME_EXCED_RANGE));
        texts.push_back(MsgUninstallFailed);
        EXPECT_EQ(Texts(), texts);
        EXPECT_EQ(sim::Exists(folder), folder.size() > MAX_PATH - 2);
        for (const std::string &file : files)
            EXPECT_EQ(sim::Exists(file), file.size() >= MAX_PATH || (file.rfind(dpf, 0) == 0 && dpf.size() >= MAX_PATH))
                << file;
    }
}

// The shipped 32-bit build works in the system directory of 32-bit programs
// by its own name: SysWOW64 on 64-bit Windows, so that the shell, or a
// 64-bit helper it hands the folder to, reads the same folder.  32-bit
// Windows has none, and the x86-64 build has its own: the system directory.
// The namesakes in the other folder stay.
TEST_F(Uninstall, ComponentsAreRemovedFromTheSystemDirectoryOf32BitPrograms)
{
    struct Case {
        const char *what;
        bool wow64, program32Bit, inSysWow64;
    };
    const std::string sysWow64 = "C:\\windows\\SysWOW64", file = std::string("\\") + plan::SystemFiles[0],
                      folder = std::string("\\") + plan::Folder;
    for (const Case &c : {Case{"32-bit Windows", false, true, false}, Case{"64-bit Windows", true, true, true},
                          Case{"the x86-64 build", true, false, false}}) {
        SCOPED_TRACE(c.what);
        Fresh();
        sim::machine().wow64 = c.wow64;
        sim::machine().program32Bit = c.program32Bit;
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
        for (const std::string &dir : {SystemDir, sysWow64}) {
            sim::AddFile(dir + file);
            sim::AddFile(dir + folder + "\\x.dll");
        }
        const std::string ours = c.inSysWow64 ? sysWow64 : SystemDir, theirs = c.inSysWow64 ? SystemDir : sysWow64;
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        EXPECT_THAT(sim::machine().shellRequests, ElementsAre(ours + folder));
        EXPECT_FALSE(sim::Exists(ours + file));
        EXPECT_TRUE(sim::Exists(theirs + file));
        EXPECT_TRUE(sim::Exists(theirs + folder + "\\x.dll"));
    }
}
