// Running a scenario: install, prepare, start the program, answer its boxes, compare the state.
#include "driver.h"

#include <stdio.h>

namespace e2e {

// What the demo command asks for; the scenarios of the suite run with the defaults.
Options options;

std::string MessageName(const Expect &expect)
{
    if (expect.kind == Kind::SystemError)
        return "SystemError";
    const std::pair<const std::wstring *, const char *> names[] = {
        {&Succeeded, "MsgUninstallSucceeded"}, {&Failed, "MsgUninstallFailed"},
        {&NoRights, "MsgNoRegistryRights"},    {&InUse, "MsgFileInUse"},
        {&ZoneFailed, "MsgZonePolicyFailed"},
    };
    for (const auto &name : names)
        if (*name.first == expect.text)
            return name.second;
    return "Other";
}

std::vector<Moment> boxTimes;
volatile DWORD programProcess;

// The program's texts are GBK bytes: they read as written only where the
// ANSI code page is 936.  Elsewhere they come out garbled, and only their
// buttons and order can be checked: only the gallery's pictures of a
// Windows in code page 1252 ask for that.
static bool TextsReadable()
{
    return GetACP() == 936;
}

// Every run has code page 936, unless it asks for another (the gallery).
static bool RightCodePage()
{
    if (GetACP() == options.codePage)
        return true;
    std::string why = "the ANSI code page is " + std::to_string(GetACP()) + ", not " + std::to_string(options.codePage);
    if (options.codePage == 936)
        why += ": the program's texts cannot be checked. Wine takes the code page from the locale: LC_ALL=zh_CN.UTF-8 "
               "gives 936 where that locale is installed (locale -a lists it as zh_CN.utf8)";
    else
        why += " as asked for: Wine takes the code page from the locale (LC_ALL)";
    Fail(why);
    return false;
}

static bool Expected(const Expect &expect, const Box &box, std::string &why)
{
    std::wstring caption = expect.kind == Kind::SystemError ? L"Error" : Caption;
    std::wstring text = expect.kind == Kind::SystemError ? SystemText(expect.code) : expect.text;
    bool question = expect.kind == Kind::Ours && expect.text == InUse;
    if (box.caption != caption && (TextsReadable() || expect.kind == Kind::SystemError))
        why += " caption " + Show(box.caption) + ", expected " + Show(caption) + ";";
    if (box.text != text && (TextsReadable() || expect.kind == Kind::SystemError))
        why += " text " + Show(box.text) + ", expected " + Show(text) + ";";
    if (question ? !(box.yes && box.no && !box.ok && !box.cancel) : !(box.ok && !box.yes && !box.no))
        why += std::string(" buttons ") + Buttons(box) + ", expected " + (question ? "[Yes][No]" : "[OK]") + ";";
    if (box.owner)
        why += " the box has an owner window;";
    return why.empty();
}

static bool Ours(const Box &box)
{
    return box.caption == Caption || box.caption == L"Error";
}

// What the state says about one target, in a few words.
static std::string Describe(const State &state, const std::wstring &entry, bool folder)
{
    size_t below = 0;
    bool present = false;
    for (const std::wstring &e : state) {
        if (e == entry || e == entry + L" (read-only)")
            present = true;
        else if (Under(e, entry) && e.compare(entry.size(), 1, L"\\") == 0 && e.find(L" = ") == std::wstring::npos)
            below++;
    }
    if (!present)
        return "absent";
    if (folder)
        return "present, " + std::to_string(below) + " entries inside";
    if (entry.compare(0, 4, L"reg ") == 0)
        return "present, " + std::to_string(below) + " subkeys";
    return "present";
}

static std::string ZoneValue(const State &state)
{
    bool key = false;
    for (const std::wstring &e : state) {
        if (e == ZoneKeyEntry)
            key = true;
        if (e.compare(0, ZoneKeyEntry.size() + 8, ZoneKeyEntry + L" = 1004:") == 0) {
            std::wstring data = e.substr(e.rfind(L':') + 1);
            if (data.size() == 8 && e.find(L":4:") != std::wstring::npos)
                return "DWORD " + std::to_string(std::stoul(data.substr(0, 2), nullptr, 16));
            return "not a DWORD";
        }
    }
    return key ? "absent" : "zone key absent";
}

static void PrintTable(const State &before, const State *after)
{
    struct Row {
        std::string what, where;
        std::wstring entry;
        bool folder;
    };
    std::vector<Row> rows;
    for (const wchar_t *id : {ClassKey1, ClassKey2}) {
        rows.push_back({"class " + Utf8(id), "HKLM\\Software\\Classes\\CLSID", KeyEntry(id), false});
        rows.push_back({"class " + Utf8(id), "HKCU\\Software\\Classes\\CLSID", UserKeyEntry(id), false});
    }
    for (const wchar_t *name : SystemFiles)
        rows.push_back({Utf8(name), Utf8(SystemDir()), SystemFileEntry(name), false});
    rows.push_back({"pendrow\\", Utf8(SystemDir()), L"file " + Folder(), true});
    for (const wchar_t *name : DpfFiles)
        rows.push_back({Utf8(name), Utf8(Dpf()), DpfEntry(name), false});
    printf("  %-48s %-38s %-28s%s\n", "target", "where", after ? "before" : "state", after ? "after" : "");
    for (const Row &row : rows)
        printf("  %-48s %-38s %-28s%s\n", row.what.c_str(), row.where.c_str(),
               Describe(before, row.entry, row.folder).c_str(),
               after ? Describe(*after, row.entry, row.folder).c_str() : "");
    printf("  %-48s %-38s %-28s%s\n", "zone 3 value 1004 (unsigned ActiveX)", "HKCU\\...\\Internet Settings\\Zones\\3",
           ZoneValue(before).c_str(), after ? ZoneValue(*after).c_str() : "");
    fflush(stdout);
}

int RunScenario(const Scenario &scenario, const std::wstring &program)
{
    printf("scenario %s: %s\n", scenario.name, scenario.summary);
    if (!RightCodePage())
        return 1;
    Install();
    scenario.prepare();
    if (failures) {
        if (scenario.finish)
            scenario.finish();
        return 1;
    }
    State before = Snapshot();
    State expected = before;
    if (options.tables) {
        printf("\ninstalled:\n");
        PrintTable(before, nullptr);
        printf("\nrunning %s\n", Utf8(program).c_str());
        fflush(stdout);
    }

    PROCESS_INFORMATION process;
    if (!StartProgram(program, L" /ignored-argument", process)) {
        if (scenario.finish)
            scenario.finish();
        return 1;
    }
    boxTimes.clear();
    programProcess = process.dwProcessId;
    printf("  started at %.3f s\n", Seconds());
    if (scenario.started)
        scenario.started();

    size_t next = 0;
    int boxCount = 0;
    const DWORD start = GetTickCount();
    const DWORD limit = options.manual ? 3600000 : Scaled(60000);
    bool timedOut = false;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > limit) {
            timedOut = true;
            break;
        }
        Box box;
        const double looked = Seconds();
        if (!ShownBox(process.dwProcessId, box))
            continue;
        boxTimes.push_back({looked, 0});
        std::string gloss = Gloss(box.text);
        printf("  box %s %s%s %s%s at %.3f s\n", Show(box.caption).c_str(), Show(box.text).c_str(),
               gloss.empty() ? "" : (" (" + gloss + ")").c_str(), Buttons(box).c_str(),
               box.owner ? " (owned)" : "", looked);
        if (!options.shots.empty()) {
            std::wstring picture = options.shots + L"\\box" + std::to_wstring(++boxCount) + L".bmp";
            if (options.named) {
                // Named after the message the scenario expects here; the
                // first picture of each message only.
                size_t at = next;
                if (at < scenario.boxes.size() && scenario.boxes[at].kind == Kind::Shell && !Ours(box))
                    at = scenario.boxes.size();
                else if (at < scenario.boxes.size() && scenario.boxes[at].kind == Kind::Shell)
                    at++;
                std::string name = at < scenario.boxes.size() ? MessageName(scenario.boxes[at]) : "Other";
                picture = options.shots + L"\\" + std::wstring(name.begin(), name.end()) + L".bmp";
                if (GetFileAttributesW(picture.c_str()) != INVALID_FILE_ATTRIBUTES)
                    picture.clear();
            }
            Sleep(200);  // fully drawn
            if (!picture.empty())
                SaveWindow(box.window, picture);
        }
        if (options.manual) {
            // A person answers: wait for the box to go.
            printf("    waiting for you to answer it on the screen\n");
            fflush(stdout);
            while (IsWindow(box.window) && WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT)
                ;
            next++;
            continue;
        }

        int answer = box.yes ? IDNO : box.ok ? IDOK : IDCANCEL;
        if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell && !Ours(box)) {
            printf("    the shell's own box: dismissed\n");
        } else {
            if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell)
                next++;
            if (next >= scenario.boxes.size()) {
                Fail("a box more than expected");
            } else {
                const Expect &expect = scenario.boxes[next++];
                std::string why;
                if (!Expected(expect, box, why))
                    Fail("box " + std::to_string(next) + ":" + why);
                if (expect.before)
                    expect.before();
                // An answer the box has no button for: the box is answered as
                // one more than expected (No to a question), so that the run ends.
                if ((expect.answer == IDYES || expect.answer == IDNO) == box.yes)
                    answer = expect.answer;
            }
        }
        boxTimes.back().answered = Seconds();
        printf("    answered %s at %.3f s\n", ButtonName(answer), boxTimes.back().answered);
        fflush(stdout);
        PostMessageW(box.window, WM_COMMAND, answer, 0);
        for (DWORD waited = GetTickCount(); IsWindow(box.window) && GetTickCount() - waited < Scaled(10000);)
            Sleep(10);
        if (IsWindow(box.window)) {
            Fail("the box did not close when answered");
            break;
        }
    }
    if (timedOut || WaitForSingleObject(process.hProcess, Scaled(10000)) == WAIT_TIMEOUT) {
        Fail("the program did not end within its time");
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("  exit code %lu\n", exitCode);

    if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell)
        next++;
    if (next < scenario.boxes.size() && !options.manual)
        Fail("expected " + std::to_string(scenario.boxes.size()) + " boxes, saw " + std::to_string(next));
    if (exitCode != scenario.exitCode)
        Fail("exit code " + std::to_string(exitCode) + ", expected " + std::to_string(scenario.exitCode));

    if (scenario.finish)
        scenario.finish();
    scenario.after(expected);
    State after = Snapshot();
    for (const std::wstring &entry : after)
        if (!expected.count(entry))
            Fail((before.count(entry) ? "unexpectedly still there: " : "unexpectedly appeared: ") + Utf8(entry));
    for (const std::wstring &entry : expected)
        if (!after.count(entry))
            Fail("unexpectedly gone or changed: " + Utf8(entry));
    if (options.tables) {
        printf("\nbefore and after:\n");
        PrintTable(before, &after);
        printf("\n");
    }
    size_t gone = 0;
    for (const std::wstring &entry : before)
        gone += !after.count(entry);
    printf("  state: %zu watched entries before, %zu after, %zu removed or changed\n", before.size(), after.size(),
           gone);
    printf("%s: %s\n", failures ? "FAILED" : "PASSED", scenario.name);
    return failures ? 1 : 0;
}

}  // namespace e2e
