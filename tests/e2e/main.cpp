// The driver's entry point, wmain: its commands and what each one runs.
//
// End-to-end driver: runs inside Wine (or Windows), prepares one scenario on
// the real registry and file system, starts uninstall.exe, reads and answers
// its message boxes, and checks the boxes, the exit code and the final state.
//
//   driver.exe list                      names of all scenarios
//   driver.exe run NAME UNINSTALL.EXE    one scenario; exit code 0 when it passed
//   driver.exe demo UNINSTALL.EXE [in-use] [manual] [shots=DIR]
//                                        the whole job on an installed machine,
//                                        shown as tables and a transcript
//   driver.exe gallery UNINSTALL.EXE shots=DIR [codepage=N]
//                                        a picture of every message, named after it,
//                                        from the scenarios that show them; with
//                                        codepage=1252 as such a Windows draws them,
//                                        texts garbled and unchecked (every other
//                                        run must have code page 936)
//   driver.exe bench UNINSTALL.EXE [RUNS [SHAPE]]
//                                        time key tree removal against SHDeleteKeyA
//   driver.exe kit UNINSTALL.EXE REPORT [NAME...]
//                                        the kit for a real Windows (run-tests.cmd)
//   driver.exe elevated                  exit code 0 for an elevated administrator
//   driver.exe state                     print the watched state
//   driver.exe install-twins             everything installed, and under WoW64
//                                        a 64-bit twin of every target
//
// Under WoW64 (the 32-bit build in a 64-bit prefix or on 64-bit Windows) the
// driver sees the 32-bit views as the program does: HKCR\CLSID below
// Wow6432Node, the system directory in SysWOW64.  The 64-bit side, where
// same-named twins of the targets must survive, is reached through
// KEY_WOW64_64KEY and C:\windows\Sysnative.
#include "driver.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

using namespace e2e;

const Scenario &e2e::FindScenario(const std::string &name)
{
    static const std::vector<Scenario> scenarios = Scenarios();
    static const Scenario none{};
    for (const Scenario &s : scenarios)
        if (name == s.name)
            return s;
    return none;
}

int wmain(int argc, wchar_t **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"list") {
        for (const Scenario &s : Scenarios())
            printf("%s\n", s.name);
        for (const std::string &name : CheckCmdCases())
            printf("%s\n", name.c_str());
        return 0;
    }
    if (command == L"demo" && argc >= 3) {
        bool inUse = false;
        for (int i = 3; i < argc; i++) {
            std::wstring arg = argv[i];
            if (arg == L"in-use")
                inUse = true;
            else if (arg == L"manual")
                options.manual = true;
            else if (arg.compare(0, 6, L"shots=") == 0)
                options.shots = arg.substr(6);
        }
        options.tables = true;
        Scenario demo{"demo", "the whole job on a machine with everything installed", {}, {Says(Succeeded)}, 0};
        if (inUse)
            demo = {"demo", "the whole job, with larMosk.dll held as a loaded library until the question is answered",
                    [] { Hold(SysPath(1)); }, {Says(InUse, IDYES, ReleaseLibrary), Says(Succeeded)}, 0};
        return RunScenario(demo, argv[2]);
    }
    if (command == L"gallery" && (argc == 4 || argc == 5) && std::wstring(argv[3]).compare(0, 6, L"shots=") == 0 &&
        (argc == 4 || std::wstring(argv[4]).compare(0, 9, L"codepage=") == 0)) {
        // Every box the program can show: success, the zone failure, the
        // in-use question and the failure after No, no rights, the system's
        // error box.
        options.shots = std::wstring(argv[3]).substr(6);
        options.named = true;
        if (argc == 5)
            options.codePage = (UINT)_wtoi(argv[4] + 9);
        int failed = 0;
        for (const char *name : {"installed", "zone_key_missing", "in_use_no", "no_rights", "dpf_missing"}) {
            failed += RunScenario(FindScenario(name), argv[2]);
            failures = 0;
        }
        return failed ? 1 : 0;
    }
    if (command == L"install-twins") {
        if (!Wow64()) {
            printf("install-twins: not a 32-bit process under WoW64\n");
            return 2;
        }
        Install();
        InstallTwins();
        printf("installed everything, with the 64-bit twins%s\n", failures ? ", with failures" : "");
        return failures ? 1 : 0;
    }
    if (command == L"kit" && argc >= 4) {
        std::vector<std::string> only;
        for (int i = 4; i < argc; i++)
            only.push_back(Utf8(argv[i]));
        return Kit(argv[2], argv[3], only);
    }
    if (command == L"elevated")
        return Elevated() ? 0 : 1;
    if (command == L"state") {
        for (const std::wstring &entry : Snapshot())
            printf("%s\n", Utf8(entry).c_str());
        return 0;
    }
    if (command == L"bench" && argc >= 3)
        return Bench(argv[2], argc > 3 ? _wtoi(argv[3]) : 5, argc > 4 ? Utf8(argv[4]) : "");
    if (command == L"run" && argc == 4) {
        const Scenario &s = FindScenario(Utf8(argv[2]));
        if (!s.name)  // a case of check.cmd, or none
            return RunCheckCmd(Utf8(argv[2]), argv[3]);
        if (strncmp(s.name, "wow64_", 6) == 0 && !Wow64()) {
            printf("scenario %s runs only in a 32-bit process under WoW64\n", s.name);
            return 2;
        }
        return RunScenario(s, argv[3]);
    }
    printf("usage: driver.exe list | run NAME UNINSTALL.EXE | demo | gallery | bench | kit | elevated | state | "
           "install-twins\n");
    return 2;
}
