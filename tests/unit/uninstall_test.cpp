// Whole runs of the program on the simulated machine: the removal plan, the
// final outcome, the retry question and the system-error box.
#include <cstring>

#include "machine.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace t;

using Uninstall = Machine;

static std::string SystemText(DWORD code)
{
    return sim::machine().errorTexts.at(code);
}

TEST_F(Uninstall, EverythingInstalledIsRemovedWithOneBox)
{
    InstallComponents();
    EXPECT_EQ(RunProgram(), 0);

    ExpectWholeRemoval();
    EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue)->data, ZoneData);

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
// to the system directory before any other call.
TEST_F(Uninstall, DllSearchIsRestrictedToTheSystemDirectoryFirst)
{
    InstallComponents();
    EXPECT_EQ(RunProgram(), 0);
    const std::vector<std::string> &calls = sim::machine().calls;
    ASSERT_GE(calls.size(), 4u);
    EXPECT_THAT(std::vector<std::string>(calls.begin(), calls.begin() + 3),
                ElementsAre("GetModuleHandleA kernel32.dll", "GetProcAddress SetDefaultDllDirectories",
                            "SetDefaultDllDirectories 0x00000800"));
    EXPECT_EQ(sim::machine().defaultDllDirectories, (DWORD)LOAD_LIBRARY_SEARCH_SYSTEM32);
    ExpectWholeRemoval();
}

TEST_F(Uninstall, SystemWithoutDefaultDllDirectoriesRunsAsUsual)
{
    sim::machine().hasDefaultDllDirectories = false;
    InstallComponents();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(CallsOf("GetProcAddress"), ElementsAre("GetProcAddress SetDefaultDllDirectories"));
    EXPECT_THAT(CallsOf("SetDefaultDllDirectories"), IsEmpty());
    ExpectWholeRemoval();
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

TEST_F(Uninstall, NothingInstalledShowsOnlySuccess)
{
    sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID");
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_THAT(sim::machine().shellRequests, IsEmpty());
}

TEST_F(Uninstall, MissingDownloadedProgramFilesGivesThreeSystemErrorsThenSuccess)
{
    InstallComponents();
    sim::Remove(Dpf);
    EXPECT_EQ(RunProgram(), 0);
    const std::string text = SystemText(ERROR_PATH_NOT_FOUND);
    EXPECT_THAT(Texts(), ElementsAre(text, text, text, MsgUninstallSucceeded));
}

TEST_F(Uninstall, FileInUseAnsweredNoStopsTheRemoval)
{
    InstallComponents();
    sim::FindFile(SystemFiles[1])->hold = sim::Hold::LoadedImage;
    sim::machine().answers = {No()};
    const std::vector<std::string> kept = From(SystemFiles[1]);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgUninstallFailed));
    EXPECT_EQ(Left(), kept);
}

TEST_F(Uninstall, FileInUseRetriedUntilReleased)
{
    InstallComponents();
    sim::FindFile(SystemFiles[2])->hold = sim::Hold::LoadedImage;
    sim::machine().answers = {Yes(), Yes([] { sim::FindFile(SystemFiles[2])->hold = sim::Hold::None; })};
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgFileInUse, MsgUninstallSucceeded));
    EXPECT_THAT(Left(), IsEmpty());
}

TEST_F(Uninstall, FileVanishingBeforeTheRetryCountsAsDone)
{
    InstallComponents();
    sim::FindFile(DpfFiles[0])->hold = sim::Hold::LoadedImage;
    sim::machine().answers = {Yes([] { sim::Remove(DpfFiles[0]); })};
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgUninstallSucceeded));
    EXPECT_THAT(Left(), IsEmpty());
}

// A plan file the system refuses with ERROR_ACCESS_DENIED: a read-only one
// loses its mark and goes without a question; one still refused after that
// is in use, and the user is asked.  A folder in the file's place is not the
// file: it stays as it is, nobody is asked, and it does not count.
TEST_F(Uninstall, FileOutcomes)
{
    struct Case {
        const char *what;
        bool readOnly;
        sim::Hold hold;
        DWORD markFault;  // of SetFileAttributesA
        bool folder;      // a folder of that name instead of the file
        std::vector<std::string> texts;
    };
    const std::string inUse = MsgFileInUse;
    const Case cases[] = {
        {"read-only", true, sim::Hold::None, 0, false, {MsgUninstallSucceeded}},
        {"read-only and loaded", true, sim::Hold::LoadedImage, 0, false, {inUse, MsgUninstallFailed}},
        {"read-only, mark refused", true, sim::Hold::None, ERROR_ACCESS_DENIED, false, {inUse, MsgUninstallFailed}},
        {"loaded", false, sim::Hold::LoadedImage, 0, false, {inUse, MsgUninstallFailed}},
        {"a folder in its place", false, sim::Hold::None, 0, true, {MsgUninstallSucceeded}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        InstallComponents();
        const std::string file = SystemFiles[0];
        sim::FindFile(file)->readOnly = c.readOnly;
        sim::FindFile(file)->hold = c.hold;
        if (c.folder) {
            sim::Remove(file);
            sim::AddFile(file + "\\inside.dll");
        }
        if (c.texts.front() == inUse)
            sim::machine().answers = {No()};
        FailCall("SetFileAttributesA", file, c.markFault);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_EQ(Texts(), c.texts);
        EXPECT_EQ(sim::Exists(file), c.folder || c.texts.back() == MsgUninstallFailed);
        EXPECT_EQ(sim::Exists(file + "\\inside.dll"), c.folder);
        EXPECT_EQ(sim::Exists(SystemFiles[1]), c.texts.front() == inUse) << "the removal went on";
    }
}

TEST_F(Uninstall, SharingViolationIsReportedOnceAndTheRunEndsFailed)
{
    InstallComponents();
    sim::FindFile(SystemFiles[3])->hold = sim::Hold::OpenNoShareDelete;
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_THAT(Texts(), ElementsAre(SystemText(ERROR_SHARING_VIOLATION), MsgUninstallFailed));
    // The removal went on past it.
    EXPECT_THAT(Left(), ElementsAre(SystemFiles[3]));
}

TEST_F(Uninstall, SystemErrorWithoutTextNamesTheCode)
{
    InstallComponents();
    FailCall("DeleteFileA", DpfFiles[1], 1234);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre("Error code 1234", MsgUninstallFailed));
}

TEST_F(Uninstall, FolderIsRemovedByTheShellWithoutQuestion)
{
    InstallComponents();
    RunProgram();
    ASSERT_THAT(sim::machine().shellRequests, ElementsAre(Folder));
    EXPECT_FALSE(sim::Exists(Folder + "\\data\\cache\\a.bin"));
    EXPECT_TRUE(sim::Exists(SystemDir));
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
        Fresh();
        InstallComponents();
        const bool there = c.lookBefore != ERROR_FILE_NOT_FOUND, gone = !c.shell.Any() || c.goneMeanwhile;
        if (!there)
            sim::Remove(Folder);
        const std::vector<std::string> stays = gone ? std::vector<std::string>() : From(Folder);
        sim::machine().fault = [&](const sim::Call &call) {
            if (call.op == "SHFileOperationA" && c.goneMeanwhile)
                sim::Remove(Folder);
            if (call.op == "SHFileOperationA")
                return c.shell;
            if (call.op == "GetFileAttributesA" && call.subject == Folder)
                return sim::Failure(call.occurrence == 0 ? c.lookBefore : c.lookAfter);
            return sim::Failure();
        };
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
        Fresh();
        InstallComponents();
        const bool key = subject.rfind("HK", 0) == 0;
        if (key)
            sim::machine().between = [&](const std::string &call) {
                if (call.rfind("RegOpenKeyExA " + subject + " (link)", 0) == 0)
                    sim::CreateKey(RootOf(subject), subject.substr(5))->granted = 0;
            };
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
    struct Case {
        const char *op;
        sim::Failure failure;
    };
    const Case cases[] = {{"GetSystemDirectoryA", 1450}, {"GetSystemDirectoryA", sim::Needed(260)},
                          {"GetSystemDirectoryA", sim::Needed(300)}, {"GetWindowsDirectoryA", 1450},
                          {"GetWindowsDirectoryA", sim::Needed(260)}, {"GetWindowsDirectoryA", sim::Needed(4096)}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.failure.code) + " " + std::to_string(c.failure.needed));
        Fresh();
        InstallComponents();
        const bool system = c.op == std::string("GetSystemDirectoryA");
        std::vector<std::string> stays = system ? SystemFiles : DpfFiles;
        if (system)
            stays.push_back(Folder);
        FailCall(c.op, "", c.failure);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        EXPECT_EQ(Left(), stays);
    }
}

TEST_F(Uninstall, TooLongPathsAreReportedNeverCut)
{
    // System directories of 251 and 252 bytes: no file name fits after them,
    // and "\\pendrow" (8) makes 259 or 260, beyond the 258 a shell source
    // list may take.
    for (size_t length : {251u, 252u}) {
        SCOPED_TRACE(length);
        Fresh();
        const std::string dir = "C:\\" + std::string(length - 3, 'd');
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
        sim::machine().systemDirectory = dir;
        sim::AddFolder(dir);
        sim::AddFile(dir + "\\pendrow\\x.dll");
        sim::AddFile(DpfFiles[0]);
        EXPECT_EQ(RunProgram(), 0);

        const std::string tooLong = SystemText(ERROR_FILENAME_EXCED_RANGE);
        EXPECT_THAT(Texts(), ElementsAre(tooLong, tooLong, tooLong, tooLong, tooLong, MsgUninstallFailed));
        EXPECT_EQ(CallsOf("DeleteFileA").size(), 3u) << "only the Downloaded Program Files entries";
        EXPECT_THAT(sim::machine().shellRequests, IsEmpty());
        EXPECT_TRUE(sim::Exists(dir + "\\pendrow\\x.dll"));
        EXPECT_FALSE(sim::Exists(DpfFiles[0]));
    }
}

TEST_F(Uninstall, TooLongDownloadedProgramFilesFolderIsReportedOnce)
{
    InstallComponents();
    sim::machine().windowsDirectory = "C:\\" + std::string(240, 'w');
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(SystemText(ERROR_FILENAME_EXCED_RANGE), MsgUninstallFailed));
    EXPECT_EQ(CallsOf("DeleteFileA").size(), 4u) << "only the system directory's files";
    EXPECT_FALSE(sim::Exists(Folder));
}

TEST_F(Uninstall, LongestPathsThatFitAreUsedWhole)
{
    // 258 bytes of folder path is the most the shell's list may take; a file
    // path may use 259.
    std::string dir = "C:\\" + std::string(258 - 3 - 8, 'd');
    sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
    sim::machine().systemDirectory = dir;
    sim::AddFile(dir + "\\pendrow\\x.dll");
    std::string windows = "C:\\" + std::string(259 - 3 - 25 - 11, 'w');
    sim::machine().windowsDirectory = windows;
    sim::AddFile(windows + "\\Downloaded Program Files\\tobrin.ocx");
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(sim::machine().shellRequests, ElementsAre(dir + "\\pendrow"));
    EXPECT_FALSE(sim::Exists(dir + "\\pendrow"));
    EXPECT_FALSE(sim::Exists(windows + "\\Downloaded Program Files\\tobrin.ocx"));
    // The system files' names are longer than "\pendrow", and "\marvisk.ocx"
    // is one byte longer than "\tobrin.ocx".
    const std::string tooLong = SystemText(ERROR_FILENAME_EXCED_RANGE);
    EXPECT_THAT(Texts(), ElementsAre(tooLong, tooLong, tooLong, tooLong, tooLong, MsgUninstallFailed));
}

TEST_F(Uninstall, ArgumentsAreIgnoredAndNothingIsCreated)
{
    InstallComponents();
    size_t before = sim::CountKeys(HKEY_CURRENT_USER);
    RunProgram();
    EXPECT_EQ(sim::CountKeys(HKEY_CURRENT_USER), before);
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
    const std::string sysWow64 = "C:\\windows\\SysWOW64";
    for (const Case &c : {Case{"32-bit Windows", false, true, false}, Case{"64-bit Windows", true, true, true},
                          Case{"the x86-64 build", true, false, false}}) {
        SCOPED_TRACE(c.what);
        Fresh();
        sim::machine().wow64 = c.wow64;
        sim::machine().program32Bit = c.program32Bit;
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
        for (const std::string &dir : {SystemDir, sysWow64}) {
            sim::AddFile(dir + "\\brevandel.dll");
            sim::AddFile(dir + "\\pendrow\\x.dll");
        }
        const std::string ours = c.inSysWow64 ? sysWow64 : SystemDir, theirs = c.inSysWow64 ? SystemDir : sysWow64;
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        EXPECT_THAT(sim::machine().shellRequests, ElementsAre(ours + "\\pendrow"));
        EXPECT_FALSE(sim::Exists(ours + "\\brevandel.dll"));
        EXPECT_TRUE(sim::Exists(theirs + "\\brevandel.dll"));
        EXPECT_TRUE(sim::Exists(theirs + "\\pendrow\\x.dll"));
    }
}
