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

    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2));
    for (const std::string &file : SystemFiles)
        EXPECT_FALSE(sim::Exists(file)) << file;
    for (const std::string &file : DpfFiles)
        EXPECT_FALSE(sim::Exists(file)) << file;
    EXPECT_FALSE(sim::Exists(Folder));
    EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, "1004")->data, std::string("\1\0\0\0", 4));

    // Neighbours stay.
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D3}"));
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
    EXPECT_THAT(CallsOf("SetDefaultDllDirectories"), ElementsAre("SetDefaultDllDirectories 0x00000800"));
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
}

TEST_F(Uninstall, SystemWithoutDefaultDllDirectoriesRunsAsUsual)
{
    sim::machine().hasDefaultDllDirectories = false;
    InstallComponents();
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(CallsOf("GetProcAddress"), ElementsAre("GetProcAddress SetDefaultDllDirectories"));
    EXPECT_THAT(CallsOf("SetDefaultDllDirectories"), IsEmpty());
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
    for (const std::string &file : SystemFiles)
        EXPECT_FALSE(sim::Exists(file)) << file;
}

TEST_F(Uninstall, PlatformCallsFollowTheRemovalPlan)
{
    InstallComponents();
    RunProgram();
    std::vector<std::string> steps;
    for (const std::string &call : sim::machine().calls)
        if (call == "NtOpenKey " + MachineClasses + ClassKey1 + " (link) (0x10009)" ||
            call == "NtOpenKey " + MachineClasses + ClassKey2 + " (link) (0x10009)")
            steps.push_back(call);
        else if (call.rfind("DeleteFileA", 0) == 0 || call.rfind("SHFileOperationA", 0) == 0 ||
                 (call.rfind("Get", 0) == 0 && call.rfind("GetFileAttributesA", 0) != 0 && call != "GetLastError") ||
                 call.rfind("MessageBoxA", 0) == 0 ||
                 call.rfind("RegSetValueExA", 0) == 0 || call.rfind("SetDefaultDllDirectories", 0) == 0)
            steps.push_back(call);
    EXPECT_THAT(steps,
                ElementsAre("GetModuleHandleA kernel32.dll", "GetProcAddress SetDefaultDllDirectories",
                            "SetDefaultDllDirectories 0x00000800", "RegSetValueExA HKCU\\" + ZoneKey + " 1004",
                            "NtOpenKey " + MachineClasses + ClassKey1 + " (link) (0x10009)",
                            "NtOpenKey " + MachineClasses + ClassKey2 + " (link) (0x10009)",
                            "GetSystemWow64DirectoryA", "GetSystemDirectoryA", "DeleteFileA " + SystemFiles[0],
                            "DeleteFileA " + SystemFiles[1], "DeleteFileA " + SystemFiles[2],
                            "DeleteFileA " + SystemFiles[3], "SHFileOperationA " + Folder,
                            "GetWindowsDirectoryA", "DeleteFileA " + DpfFiles[0],
                            "DeleteFileA " + DpfFiles[1], "DeleteFileA " + DpfFiles[2],
                            // The last look, after the whole walk.
                            "GetSystemWow64DirectoryA", "GetSystemDirectoryA", "GetWindowsDirectoryA",
                            std::string("MessageBoxA ") + MsgUninstallSucceeded));
}

TEST_F(Uninstall, NothingInstalledShowsOnlySuccess)
{
    sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID");
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_THAT(sim::machine().shellRequests, IsEmpty());
    EXPECT_THAT(CallsOf("FormatMessageA"), IsEmpty());
}

TEST_F(Uninstall, MissingDownloadedProgramFilesGivesThreeSystemErrorsThenSuccess)
{
    InstallComponents();
    sim::Remove(Dpf);
    EXPECT_EQ(RunProgram(), 0);
    const std::string text = SystemText(ERROR_PATH_NOT_FOUND);
    EXPECT_THAT(Texts(), ElementsAre(text, text, text, MsgUninstallSucceeded));
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(sim::machine().boxes[i].caption, MsgErrorCaption);
        EXPECT_EQ(sim::machine().boxes[i].style, (UINT)MB_ICONINFORMATION);
        EXPECT_EQ(sim::machine().boxes[i].owner, nullptr);
    }
    EXPECT_EQ(CallsOf("LocalFree").size(), 3u);
}

TEST_F(Uninstall, FileInUseAnsweredNoStopsTheRemoval)
{
    InstallComponents();
    sim::FindFile(SystemFiles[1])->hold = sim::Hold::LoadedImage;
    sim::machine().answers = {No()};
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgUninstallFailed));
    EXPECT_EQ(sim::machine().boxes[0].style, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(sim::machine().boxes[0].caption, MsgCaption);
    EXPECT_FALSE(sim::Exists(SystemFiles[0]));
    for (size_t i = 1; i < SystemFiles.size(); i++)
        EXPECT_TRUE(sim::Exists(SystemFiles[i])) << SystemFiles[i];
    EXPECT_TRUE(sim::Exists(Folder));
    for (const std::string &file : DpfFiles)
        EXPECT_TRUE(sim::Exists(file)) << file;
    EXPECT_THAT(CallsOf("GetWindowsDirectoryA"), IsEmpty());
}

TEST_F(Uninstall, FileInUseRetriedUntilReleased)
{
    InstallComponents();
    sim::FindFile(SystemFiles[2])->hold = sim::Hold::LoadedImage;
    sim::machine().answers = {Yes(), Yes([] { sim::FindFile(SystemFiles[2])->hold = sim::Hold::None; })};
    EXPECT_EQ(RunProgram(), 0);

    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgFileInUse, MsgUninstallSucceeded));
    EXPECT_EQ(CallsOf("DeleteFileA " + SystemFiles[2]).size(), 3u);
    for (const std::string &file : SystemFiles)
        EXPECT_FALSE(sim::Exists(file)) << file;
    for (const std::string &file : DpfFiles)
        EXPECT_FALSE(sim::Exists(file)) << file;
}

TEST_F(Uninstall, FileVanishingBeforeTheRetryCountsAsDone)
{
    InstallComponents();
    sim::FindFile(DpfFiles[0])->hold = sim::Hold::LoadedImage;
    sim::machine().answers = {Yes([] { sim::Remove(DpfFiles[0]); })};
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgUninstallSucceeded));
    EXPECT_FALSE(sim::Exists(DpfFiles[2]));
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
        sim::Reset();
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
        sim::machine().fault = [&](const std::string &op, const std::string &) -> DWORD {
            return op == "SetFileAttributesA" ? c.markFault : 0;
        };
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
    EXPECT_EQ(sim::machine().boxes[0].caption, MsgErrorCaption);
    EXPECT_TRUE(sim::Exists(SystemFiles[3]));
    // The removal went on past it.
    EXPECT_FALSE(sim::Exists(Folder));
    for (const std::string &file : DpfFiles)
        EXPECT_FALSE(sim::Exists(file)) << file;
}

TEST_F(Uninstall, SystemErrorWithoutTextNamesTheCode)
{
    InstallComponents();
    sim::machine().fault = [](const std::string &op, const std::string &subject) -> DWORD {
        return op == "DeleteFileA" && subject == DpfFiles[1] ? 1234 : 0;
    };
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(sim::machine().boxes.size(), 2u);
    EXPECT_EQ(sim::machine().boxes[0].caption, MsgErrorCaption);
    EXPECT_EQ(sim::machine().boxes[0].text, "Error code 1234");
    EXPECT_EQ(sim::machine().boxes[1].text, MsgUninstallFailed);
    EXPECT_THAT(CallsOf("LocalFree"), IsEmpty());
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
        sim::Shell shell;
        DWORD lookBefore, lookAfter;  // failure of the look before and after the shell
        bool shellRuns, gone;
    };
    const DWORD denied = ERROR_ACCESS_DENIED, device = 1117 /* ERROR_IO_DEVICE */;
    const Case cases[] = {
        {"removed", {0, false, true}, 0, 0, true, true},
        {"Skip", sim::ShellSkip, 0, 0, true, false},
        {"progress window cancelled", {0, true, false}, 0, 0, true, false},
        {"cancelled, look after denied", {0, true, false}, 0, denied, true, false},
        {"cancelled, but gone", {0, true, true}, 0, 0, true, true},
        {"failed", {0x78, false, false}, 0, 0, true, false},
        {"failed, but gone", {2, false, true}, 0, 0, true, true},
        {"failed, look after denied", {0x78, false, false}, 0, denied, true, false},
        {"failed, look after a device error", {0x78, false, false}, 0, device, true, false},
        {"removed, look after denied", {0, false, true}, 0, denied, true, true},
        {"look before denied", {0, false, true}, denied, 0, true, true},
        {"look before a device error, Skip", sim::ShellSkip, device, 0, true, false},
        {"not there", {0, false, true}, ERROR_FILE_NOT_FOUND, 0, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        InstallComponents();
        if (c.lookBefore == ERROR_FILE_NOT_FOUND)
            sim::Remove(Folder);
        sim::machine().shell = c.shell;
        sim::machine().fault = [&](const std::string &op, const std::string &subject) -> DWORD {
            if (op != "GetFileAttributesA" || subject != Folder)
                return 0;
            return CallsOf("SHFileOperationA").empty() ? c.lookBefore : c.lookAfter;
        };
        EXPECT_EQ(RunProgram(), 0);
        // The last look sees what the look after the shell saw: one that
        // cannot tell fails the run.
        const bool succeeded = c.gone && c.lookAfter == 0;
        EXPECT_THAT(Texts(), ElementsAre(succeeded ? MsgUninstallSucceeded : MsgUninstallFailed));
        EXPECT_EQ(sim::machine().shellRequests.size(), c.shellRuns ? 1u : 0u);
        EXPECT_EQ(sim::Exists(Folder), !c.gone);
        for (const std::string &file : DpfFiles)
            EXPECT_EQ(sim::Exists(file), !c.gone) << file;
        EXPECT_THAT(CallsOf("FormatMessageA"), IsEmpty()) << "shell codes are not system errors";
    }
}

// The last look, after a walk that removed everything, cannot tell for one
// target: a file it may not look at (no right to the folder, a device
// error), a class key that came back granting nothing.  The run cannot
// claim success.
TEST_F(Uninstall, LastLookThatCannotTellFailsTheRun)
{
    const std::string keys[] = {MachineClasses + ClassKey2, UserClasses + ClassKey1};
    const std::string files[] = {SystemFiles[3], DpfFiles[0]};
    for (const std::string &subject : {keys[0], keys[1], files[0], files[1]}) {
        SCOPED_TRACE(subject);
        sim::Reset();
        InstallComponents();
        const bool key = subject.rfind("HK", 0) == 0;
        sim::machine().between = [&](const std::string &call) {
            if (key && call.rfind("RegOpenKeyExA " + subject + " (link)", 0) == 0)
                sim::CreateKey(RootOf(subject), subject.substr(5))->granted = 0;
        };
        sim::machine().fault = [&](const std::string &op, const std::string &at) -> DWORD {
            return !key && op == "GetFileAttributesA" && at == subject ? ERROR_ACCESS_DENIED : 0;
        };
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        if (!key) {
            EXPECT_FALSE(sim::Exists(subject)) << "removed: only the look failed";
        }
    }
}

// A directory the system will not name, or names too long for the path
// buffer: its targets are passed over without a box, and since they may
// still be there, the run does not claim success.
TEST_F(Uninstall, UnusableSystemDirectorySkipsItsTargets)
{
    for (UINT result : {0u, 260u, 300u}) {
        SCOPED_TRACE(result);
        sim::Reset();
        InstallComponents();
        sim::machine().systemDirectoryResult = result;
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        for (const std::string &file : SystemFiles)
            EXPECT_TRUE(sim::Exists(file));
        EXPECT_THAT(sim::machine().shellRequests, IsEmpty());
        for (const std::string &file : DpfFiles)
            EXPECT_FALSE(sim::Exists(file));
    }
}

TEST_F(Uninstall, UnusableWindowsDirectorySkipsDownloadedProgramFiles)
{
    for (UINT result : {0u, 260u, 4096u}) {
        SCOPED_TRACE(result);
        sim::Reset();
        InstallComponents();
        sim::machine().windowsDirectoryResult = result;
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        EXPECT_FALSE(sim::Exists(Folder));
        for (const std::string &file : DpfFiles)
            EXPECT_TRUE(sim::Exists(file));
        EXPECT_EQ(CallsOf("DeleteFileA").size(), 4u);
    }
}

TEST_F(Uninstall, TooLongPathsAreReportedNeverCut)
{
    // System directories of 251 and 252 bytes: no file name fits after them,
    // and "\\pendrow" (8) makes 259 or 260, beyond the 258 a shell source
    // list may take.
    for (size_t length : {251u, 252u}) {
        SCOPED_TRACE(length);
        sim::Reset();
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
        sim::Reset();
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
