// docs/check.cmd, the read-only look at a PC that support staff send with
// the program: cmd.exe runs it on a machine the driver installed and staged,
// and each line it writes is judged against what the driver itself sees
// there; the machine must be the same after it.  A case is a scenario of its
// own (check_cmd_<case>), run by every cmd.exe of the machine: the 32-bit
// one, and under WoW64 the 64-bit one, which a double-click starts.
#include "driver.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace e2e {

// Where the suite puts docs/check.cmd: a folder with a blank in its name.
static const wchar_t *const Script = L"C:\\support tools\\check.cmd";

// A target as check.cmd names it: keys in the view the program uses, files
// in the system folder the program sees.
static std::wstring Named(const Target &target)
{
    if (target.root)
        return (target.root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") + target.path +
               (Wow64() ? L" (32-bit view)" : L"");
    const std::wstring system = SystemDir() + L"\\";
    if (target.path.compare(0, system.size(), system) != 0)
        return target.path;
    return (Wow64() ? L"C:\\windows\\SysWOW64\\" : L"C:\\windows\\System32\\") + target.path.substr(system.size());
}

// The line check.cmd must write for a target: LEFT where the driver finds
// it, absent where not (a folder in a file's place is not the file), and for
// a key UNSURE when no reg.exe can look.
static std::wstring LineFor(const Target &target, bool keysUnsure)
{
    if (target.root)
        return (keysUnsure ? L"UNSURE  " : KeyExists(target.root, target.path) ? L"LEFT    " : L"absent  ") +
               Named(target);
    const DWORD attributes = GetFileAttributesW(target.path.c_str());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && attributes != INVALID_FILE_ATTRIBUTES && target.path != Folder())
        return L"absent  " + Named(target) + L" (a folder of this name, not the file)";
    return (attributes == INVALID_FILE_ATTRIBUTES ? L"absent  " : L"LEFT    ") + Named(target);
}

// ---------------------------------------------------------------- staging

// The standard installation with the user's classes too, then only the
// targets named by index (in plan order) kept, the zone value (a DWORD, -1
// none, -2 not even the key), and then what `then` stages.
static std::function<void()> Only(std::vector<int> kept, int zone, void (*then)() = nullptr)
{
    return [kept, zone, then] {
        Install();
        InstallUserClasses();
        const std::vector<Target> targets = PlanTargets();
        for (size_t i = 0; i < targets.size(); i++)
            if (std::find(kept.begin(), kept.end(), (int)i) == kept.end())
                RemoveTarget(targets[i]);
        const std::wstring key = W(plan::ZoneKey);
        if (zone == -2)
            DeleteTree(HKEY_CURRENT_USER, key);
        else if (zone == -1)
            RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), W(plan::ZoneValue).c_str());
        else
            SetDword(HKEY_CURRENT_USER, key, W(plan::ZoneValue).c_str(), (DWORD)zone);
        if (then)
            then();
    };
}
static const std::vector<int> All = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
enum { LarMosk = 5, Pendrow = 8, TobrinInf = 10 };

// reg.exe as some PCs have it: one that refuses the registry views, as
// older ones do, in place of the system's own in both system folders (Wine
// runs it only when told to, reg.exe=n), until the run has ended.
static void RegRefusingViews()
{
    for (const std::wstring &dir : {SystemDir(), NativeSystemDir()}) {
        const std::wstring reg = dir + L"\\reg.exe", own = dir + L"\\reg.exe.own";
        if (!CopyFileW(reg.c_str(), own.c_str(), FALSE) ||
            !CopyFileW((DriverFolder() + L"\\reg_standin.exe").c_str(), reg.c_str(), FALSE))
            Fail("setting up: cannot put the stand-in reg.exe in " + Utf8(dir));
        AtEnd([reg, own] { MoveFileExW(own.c_str(), reg.c_str(), MOVEFILE_REPLACE_EXISTING); });
    }
}

// How Wine loads reg.exe for the programs started after this, until the
// run has ended: "native" the file in the system folder, "" not at all.
static void LoadRegAs(const wchar_t *how)
{
    const wchar_t *const key = L"Software\\Wine\\DllOverrides";
    RegSetKeyValueW(HKEY_CURRENT_USER, key, L"reg.exe", REG_SZ, how, (DWORD)(wcslen(how) + 1) * sizeof(wchar_t));
    AtEnd([key] { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"reg.exe"); });
}

// ---------------------------------------------------------------- the cases

struct Case {
    std::string name;
    std::function<void()> stage;
    size_t left;                            // targets left as staged
    std::string zone;                       // the zone line, after "zone    "
    const wchar_t *reg = nullptr;           // how Wine loads reg.exe: "" none runs, "native" the stand-in
    std::wstring commandLine = L"";         // Explorer's, in cmdcmdline: then it waits for a key
};

static const char *const IsOne = "1004 = 1 (Prompt, the value the program sets)";
static const char *const Unknown = "1004 could not be checked";

static std::vector<Case> Cases()
{
    std::vector<Case> cases = {
        {"everything", Only(All, 3), 12, "1004 = 3 (Disable, the Windows default; the program sets 1, Prompt)"},
        {"nothing_left", Only({}, 1), 0, IsOne},
        {"zone_0", Only({}, 0), 0, "1004 = 0 (Enable; the program sets 1, Prompt)"},
        {"zone_value_absent", Only({}, -1), 0, "1004 not set"},
        {"zone_key_absent", Only({}, -2), 0, "no key Zones\\3 for this account, so no value 1004"},
        {"folders_in_file_places", Only({LarMosk}, 1, [] { FolderInPlace(SysPath(2)); FolderInPlace(DpfPath(2)); }), 1,
         IsOne},
        {"reg_does_not_run", Only({Pendrow}, 1), 1, Unknown, L""},
        {"double_click", Only({Pendrow}, 1), 1, IsOne, nullptr,
         L"C:\\windows\\system32\\cmd.exe /c \"\"C:\\support tools\\check.cmd\" \""},
        {"run_as_administrator", Only({Pendrow}, 1), 1, IsOne, nullptr,
         L"C:\\windows\\System32\\cmd.exe /C \"C:\\support tools\\check.cmd\" "},
        // After the program itself: a whole removal, and one stopped at
        // larMosk.dll (in use, No), which leaves it and what comes after it.
        {"after_success",
         [] { RunScenario(FindScenario(Wow64() ? "wow64_twins" : "user_and_machine_classes"), programPath); }, 0,
         IsOne},
        {"after_in_use_no", [] { RunScenario(FindScenario("in_use_no"), programPath); }, 7, IsOne},
    };
    const char *const only[] = {"user_class_1", "machine_class_1", "user_class_2", "machine_class_2"};
    for (int i = 0; i < 12; i++) {
        std::string name = i < 4 ? only[i] : Utf8(PlanTargets()[i].path);
        name = name.substr(name.rfind('\\') + 1);
        for (char &c : name)
            c = c == '.' ? '_' : (char)tolower(c);
        cases.push_back({"only_" + name, Only({i}, 1), 1, IsOne});
    }
    if (Wow64()) {
        cases.push_back({"only_64-bit_twins", Only({}, 1, InstallTwins), 0, IsOne});
        cases.push_back({"reg_refuses_view", Only({TobrinInf}, 1, RegRefusingViews), 1, Unknown, L"native"});
    }
    return cases;
}

// ---------------------------------------------------------------- a run

// cmd.exe (`bits` 32 or 64) runs the script, its standard input empty; its
// output, and its exit code.
static void RunScript(int bits, const Case &c, std::vector<std::wstring> &lines, DWORD &exitCode)
{
    const std::wstring cmd = (bits == 64 && Wow64() ? NativeSystemDir() : SystemDir()) + L"\\cmd.exe";
    SetEnvironmentVariableW(L"cmdcmdline", c.commandLine.empty() ? nullptr : c.commandLine.c_str());

    std::string output;
    const bool ended = Capture(cmd, L" /c \"" + std::wstring(Script) + L"\"", Scaled(60000), output, exitCode);
    SetEnvironmentVariableW(L"cmdcmdline", nullptr);
    if (!ended)
        Fail("cmd.exe did not end within a minute");
    // Split by hand: with <sstream> the C++ streams come in, and with them
    // the driver died at its start in the emulated machine.
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = output.substr(start, end - start);
        lines.push_back(std::wstring(line.begin(), line.end() - (!line.empty() && line.back() == '\r')));
    }
}

// A line check.cmd must have written, in any case.
static void Need(const std::vector<std::wstring> &lines, const std::wstring &wanted)
{
    for (const std::wstring &line : lines)
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, line.c_str(), -1, wanted.c_str(), -1) == CSTR_EQUAL)
            return;
    Fail("no line \"" + Utf8(wanted) + "\"");
}

// check.cmd by one cmd.exe, judged against the machine as the driver sees it.
static void Judge(int bits, const Case &c, const std::wstring &version)
{
    printf("  cmd.exe (%d-bit) /c \"%s\"%s\n", bits, Utf8(Script).c_str(),
           c.commandLine.empty() ? "" : ", started as Explorer starts it");
    std::vector<std::wstring> lines;
    DWORD exitCode = 0;
    const State before = Snapshot();
    RunScript(bits, c, lines, exitCode);
    for (const std::wstring &line : lines)
        printf("    | %s\n", Utf8(line).c_str());
    const bool keysUnsure = c.reg != nullptr;
    size_t left = 0, unsure = 0;
    for (const Target &target : PlanTargets()) {
        const std::wstring wanted = LineFor(target, keysUnsure);
        left += wanted.compare(0, 4, L"LEFT") == 0;
        unsure += wanted.compare(0, 6, L"UNSURE") == 0;
        Need(lines, wanted);
    }
    if (left != c.left)
        Fail("the machine holds " + std::to_string(left) + " targets, the case stages " + std::to_string(c.left));
    size_t listed = 0;
    for (const std::wstring &line : lines)
        listed += line.compare(0, 8, L"LEFT    ") == 0;
    if (listed != left)
        Fail(std::to_string(listed) + " lines LEFT, not " + std::to_string(left));
    const std::wstring result = left + unsure == 0 ? std::wstring(L"RESULT  no target left")
                                                   : L"RESULT  " + std::to_wstring(left) + L" left, " +
                                                         std::to_wstring(unsure) + L" could not be checked";
    Need(lines, result);
    Need(lines, L"zone    " + W(c.zone.c_str()));
    if (exitCode != (left + unsure ? 1u : 0u))
        Fail("exit code " + std::to_string(exitCode) + ", not " + (left + unsure ? "1" : "0"));
    // The header: the release, the computer and the time of the check.
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &size);
    bool release = false, machine = false, waits = false;
    for (const std::wstring &line : lines) {
        release |= line.find(L"(check.cmd " + version + L"; ") != std::wstring::npos && line.find(L"Which targets") == 0;
        machine |= line.find(L"Computer: " + std::wstring(computer) + L", ") == 0 && line.find(L':', 10) != line.npos;
        waits |= line == L"Press any key to close this window.";
    }
    if (!release)
        Fail("no header naming check.cmd " + Utf8(version));
    if (!machine)
        Fail("no line naming the computer and the time");
    if (waits != !c.commandLine.empty())
        Fail(waits ? "waits for a key" : "does not wait for a key");
    if (Snapshot() != before)
        Fail("the check changed the machine");
}

// The release check.cmd says it is of: its line set "version=...".
static std::wstring ScriptVersion()
{
    const std::string text = ReadBytes(Script);
    const char *at = strstr(text.c_str(), "set \"version=");
    if (!at) {
        Fail("cannot read the version in " + Utf8(Script));
        return L"?";
    }
    at += 13;
    return std::wstring(at, strchr(at, '"') ? strchr(at, '"') : at);
}

std::vector<std::string> CheckCmdCases()
{
    std::vector<std::string> names;
    for (const Case &c : Cases())
        names.push_back("check_cmd_" + c.name);
    return names;
}

int RunCheckCmd(const std::string &name, const std::wstring &program)
{
    programPath = program;
    const std::vector<Case> cases = Cases();
    for (size_t i = 0; i < cases.size(); i++) {
        const Case &c = cases[i];
        if ("check_cmd_" + c.name != name)
            continue;
        printf("scenario %s: check.cmd on a machine staged for it\n", name.c_str());
        const std::wstring version = ScriptVersion();
        c.stage();
        if (c.reg)
            LoadRegAs(c.reg);
        // Under WoW64 both cmd.exe run each case; where waits are stretched
        // (an emulated machine), they take turns down the table instead.
        std::vector<int> cmds = Wow64() ? std::vector<int>{64, 32} : std::vector<int>{32};
        if (cmds.size() > 1 && Scaled(1) > 1)
            cmds = {cmds[i % 2]};
        for (int bits : cmds)
            Judge(bits, c, version);
        Release();
        printf("%s: %s\n", failures ? "FAILED" : "PASSED", name.c_str());
        return failures ? 1 : 0;
    }
    printf("no scenario %s\n", name.c_str());
    return 2;
}

}  // namespace e2e
