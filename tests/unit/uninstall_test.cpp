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
        if (call == "NtDeleteKey " + MachineClasses + ClassKey1 || call == "NtDeleteKey " + MachineClasses + ClassKey2)
            steps.push_back(call);
        else if (call.rfind("DeleteFileA", 0) == 0 || call.rfind("SHFileOperationA", 0) == 0 ||
                 call.rfind("Get", 0) == 0 || call.rfind("MessageBoxA", 0) == 0 ||
                 call.rfind("RegSetValueExA", 0) == 0 || call.rfind("SetDefaultDllDirectories", 0) == 0)
            steps.push_back(call);
    EXPECT_THAT(steps,
                ElementsAre("GetModuleHandleA kernel32.dll", "GetProcAddress SetDefaultDllDirectories",
                            "SetDefaultDllDirectories 0x00000800", "RegSetValueExA HKCU\\" + ZoneKey + " 1004",
                            "NtDeleteKey " + MachineClasses + ClassKey1, "NtDeleteKey " + MachineClasses + ClassKey2,
                            "GetSystemDirectoryA", "DeleteFileA " + SystemFiles[0],
                            "DeleteFileA " + SystemFiles[1], "DeleteFileA " + SystemFiles[2],
                            "DeleteFileA " + SystemFiles[3], "SHFileOperationA " + Folder,
                            "GetWindowsDirectoryA", "DeleteFileA " + DpfFiles[0],
                            "DeleteFileA " + DpfFiles[1], "DeleteFileA " + DpfFiles[2],
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

TEST_F(Uninstall, ReadOnlyFileIsTreatedAsInUse)
{
    InstallComponents();
    sim::FindFile(SystemFiles[0])->readOnly = true;
    sim::machine().answers = {No()};
    RunProgram();
    EXPECT_THAT(Texts(), ElementsAre(MsgFileInUse, MsgUninstallFailed));
    EXPECT_TRUE(sim::Exists(SystemFiles[0]));
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

TEST_F(Uninstall, MissingFolderIsNotHandedToTheShell)
{
    InstallComponents();
    sim::Remove(Folder);
    RunProgram();
    EXPECT_THAT(sim::machine().shellRequests, IsEmpty());
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
}

// A shell that fails, or whose progress window is cancelled, stops the
// removal while the folder is still there.  The shell also fails on files
// that another program (the component's own uninstaller, a second copy of
// this one) removed first: when the folder is gone all the same, that is
// what counts.
TEST_F(Uninstall, FolderTheShellFailsOnStopsTheRemovalOnlyWhileItStays)
{
    for (bool gone : {false, true}) {
        for (bool cancelled : {false, true}) {
            SCOPED_TRACE(std::string(cancelled ? "progress window cancelled" : "shell reports failure") +
                         (gone ? ", folder gone" : ", folder stays"));
            sim::Reset();
            InstallComponents();
            sim::machine().shell = cancelled ? sim::Shell{0, true, gone} : sim::Shell{gone ? 2 : 0x78, false, gone};
            EXPECT_EQ(RunProgram(), 0);
            EXPECT_THAT(Texts(), ElementsAre(gone ? MsgUninstallSucceeded : MsgUninstallFailed));
            EXPECT_EQ(sim::Exists(Folder), !gone);
            for (const std::string &file : DpfFiles)
                EXPECT_EQ(sim::Exists(file), !gone) << file;
            EXPECT_THAT(CallsOf("FormatMessageA"), IsEmpty()) << "shell codes are not system errors";
        }
    }
}

// After the shell failed, the folder counts as gone only when the system
// says so (no such file or path); a look that fails for another reason
// proves nothing.
TEST_F(Uninstall, FolderLookThatFailsAfterTheShellIsNotGone)
{
    for (DWORD why : {(DWORD)ERROR_ACCESS_DENIED, (DWORD)1117 /* ERROR_IO_DEVICE */}) {
        SCOPED_TRACE(why);
        sim::Reset();
        InstallComponents();
        sim::machine().shell = sim::Shell{0x78, false, false};
        sim::machine().fault = [why](const std::string &op, const std::string &) -> DWORD {
            bool shellRan = !CallsOf("SHFileOperationA").empty();
            return shellRan && (op == "GetFileAttributesA" || op == "PathFileExistsA") ? why : 0;
        };
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        EXPECT_TRUE(sim::Exists(Folder));
        EXPECT_TRUE(sim::Exists(DpfFiles[0]));
    }
}

TEST_F(Uninstall, UnusableSystemDirectorySkipsItsTargets)
{
    for (UINT result : {0u, 260u, 300u}) {
        SCOPED_TRACE(result);
        sim::Reset();
        InstallComponents();
        sim::machine().systemDirectoryResult = result;
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        for (const std::string &file : SystemFiles)
            EXPECT_TRUE(sim::Exists(file));
        EXPECT_THAT(sim::machine().shellRequests, IsEmpty());
        EXPECT_THAT(CallsOf("PathFileExistsA"), IsEmpty());
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
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        EXPECT_FALSE(sim::Exists(Folder));
        for (const std::string &file : DpfFiles)
            EXPECT_TRUE(sim::Exists(file));
        EXPECT_EQ(CallsOf("DeleteFileA").size(), 4u);
    }
}

TEST_F(Uninstall, TooLongPathsAreReportedNeverCut)
{
    // A system directory of 252 bytes: no file name fits after it, and
    // "\pendrow" (8) reaches 260, beyond the 258 a shell source list may take.
    std::string dir = "C:\\" + std::string(249, 'd');
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
