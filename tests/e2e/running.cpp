// Running a scenario: install, stage, run the program, check, picture and answer its boxes, compare the state.
#include "driver.h"

#include <stdio.h>
#include <string.h>

namespace e2e {

// What the demo command asks for; the scenarios of the suite run with the defaults.
Options options;

// Saves a picture of a window as a 24-bit BMP.
static void SaveWindow(HWND window, const std::wstring &path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = ((DWORD)width * 3 + 3) & ~3u, offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER header = {0x4D42, offset + stride * height, 0, 0, offset};
    std::vector<BYTE> bytes(header.bfSize);
    GetDIBits(memory, bitmap, 0, height, &bytes[offset], (BITMAPINFO *)&info, DIB_RGB_COLORS);
    memcpy(&bytes[0], &header, sizeof header);
    memcpy(&bytes[sizeof header], &info, sizeof info);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    PutBytes(path, bytes.data(), bytes.size());
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

static bool Matches(const Expect &expect, const Box &box, std::string &why)
{
    const std::wstring caption = expect.kind == Kind::SystemError ? L"Error" : Caption;
    const std::wstring text =
        expect.kind == Kind::SystemError ? SystemText(expect.code) : Messages[expect.message].text;
    const bool question = expect.kind == Kind::Ours && expect.message == InUse;
    // The program's texts are GBK bytes: they read as written only where the
    // ANSI code page is 936.  Elsewhere they come out garbled, and only their
    // buttons and order can be checked: only the gallery's pictures of a
    // Windows in code page 1252 ask for that.
    const bool readable = GetACP() == 936 || expect.kind == Kind::SystemError;
    if (box.caption != caption && readable)
        why += " caption " + Show(box.caption) + ", expected " + Show(caption) + ";";
    if (box.text != text && readable)
        why += " text " + Show(box.text) + ", expected " + Show(text) + ";";
    if (question ? !(box.yes && box.no && !box.ok && !box.cancel) : !(box.ok && !box.yes && !box.no))
        why += std::string(" buttons ") + Buttons(box) + ", expected " + (question ? "[Yes][No]" : "[OK]") + ";";
    if (box.owner)
        why += " the box has an owner window;";
    return why.empty();
}

// What the state says about one target, in a few words.
static std::string Describe(const State &state, const std::wstring &entry)
{
    if (!state.count(entry) && !state.count(entry + L" (read-only)"))
        return "absent";
    size_t below = 0;
    for (const std::wstring &e : state)
        below += e.compare(0, entry.size() + 1, entry + L"\\") == 0 && e.find(L" = ") == std::wstring::npos;
    if (entry == File(Folder()))
        return "present, " + std::to_string(below) + " entries inside";
    return entry.compare(0, 4, L"reg ") == 0 ? "present, " + std::to_string(below) + " subkeys" : "present";
}

static std::string ZoneValue(const State &state)
{
    const std::wstring key = ZoneKeyEntry(), value = key + L" = " + W(plan::ZoneValue) + L":";
    for (const std::wstring &e : state)
        if (e.compare(0, value.size(), value) == 0) {
            std::wstring data = e.substr(e.rfind(L':') + 1);
            if (data.size() == 8 && e.compare(value.size(), 2, L"4:") == 0)
                return "DWORD " + std::to_string(std::stoul(data.substr(0, 2), nullptr, 16));
            return "not a DWORD";
        }
    return state.count(key) ? "absent" : "zone key absent";
}

// The plan's targets, where they are, and what `before` and `after` say of each.
static void PrintTable(const State &before, const State *after)
{
    const char *const row = "  %-48s %-38s %-28s%s\n";
    printf(row, "target", "where", after ? "before" : "state", after ? "after" : "");
    for (const std::wstring &entry : Targets()) {
        const size_t slash = entry.rfind(L'\\'), space = entry.find(L' ');
        const std::string what = (entry.compare(0, 4, L"reg ") == 0 ? "class " : "") + Utf8(entry.substr(slash + 1)) +
                                 (entry == File(Folder()) ? "\\" : "");
        printf(row, what.c_str(), Utf8(entry.substr(space + 1, slash - space - 1)).c_str(),
               Describe(before, entry).c_str(), after ? Describe(*after, entry).c_str() : "");
    }
    printf(row, "zone 3 value 1004 (unsigned ActiveX)", "HKCU\\...\\Internet Settings\\Zones\\3",
           ZoneValue(before).c_str(), after ? ZoneValue(*after).c_str() : "");
    fflush(stdout);
}

// The answer to a box the scenario expects next, its check and its picture.
static int Answer(const Scenario &scenario, size_t &next, const Box &box)
{
    const std::vector<Expect> &boxes = scenario.boxes;
    // The shell's boxes, any number of them, before the box after them.
    const bool shells = next < boxes.size() && boxes[next].kind == Kind::Shell;
    const bool shellsOwn = shells && box.caption != Caption && box.caption != L"Error";
    if (shellsOwn)
        printf("    the shell's own box: dismissed\n");
    else if (shells)
        next++;
    if (!options.shots.empty()) {
        static int count;
        std::wstring picture = options.shots + L"\\box" + std::to_wstring(++count) + L".bmp";
        if (options.named) {
            // Named after the message the scenario expects here; the first
            // picture of each message only.
            const bool expected = next < boxes.size() && !shellsOwn;
            const std::string name = !expected                               ? "Other"
                                     : boxes[next].kind == Kind::SystemError ? "SystemError"
                                                                             : Messages[boxes[next].message].name;
            picture = options.shots + L"\\" + std::wstring(name.begin(), name.end()) + L".bmp";
            if (GetFileAttributesW(picture.c_str()) != INVALID_FILE_ATTRIBUTES)
                picture.clear();
        }
        Sleep(200);  // fully drawn
        if (!picture.empty())
            SaveWindow(box.window, picture);
    }
    if (options.manual) {
        next++;
        return 0;  // a person answers
    }
    int answer = box.yes ? IDNO : box.ok ? IDOK : IDCANCEL;
    if (shellsOwn)
        return answer;
    if (next >= boxes.size()) {
        Fail("a box more than expected");
        return answer;
    }
    const Expect &expect = boxes[next++];
    std::string why;
    if (!Matches(expect, box, why))
        Fail("box " + std::to_string(next) + ":" + why);
    if (expect.before)
        expect.before();
    // An answer the box has no button for: the box is answered as one more
    // than expected (No to a question), so that the run ends.
    return (expect.answer == IDYES || expect.answer == IDNO) == box.yes ? expect.answer : answer;
}

int RunScenario(const Scenario &scenario, const std::wstring &program)
{
    printf("scenario %s: %s\n", scenario.name, scenario.summary);
    if (!RightCodePage())
        return 1;
    programPath = program;
    Install();
    if (scenario.stage)
        scenario.stage();
    if (failures) {
        Release();
        return 1;
    }
    const State before = Snapshot();
    if (options.tables) {
        printf("\ninstalled:\n");
        PrintTable(before, nullptr);
        printf("\nrunning %s\n", Utf8(program).c_str());
    }
    size_t next = 0;
    const bool ran = Run(underTest, program, options.manual ? 3600000 : Scaled(60000),
                         [&](const Box &box) { return Answer(scenario, next, box); });
    Release();
    if (!ran)
        return 1;
    if (next < scenario.boxes.size() && scenario.boxes[next].kind == Kind::Shell)
        next++;
    if (next < scenario.boxes.size() && !options.manual)
        Fail("expected " + std::to_string(scenario.boxes.size()) + " boxes, saw " + std::to_string(next));
    if (underTest.exitCode != scenario.exitCode)
        Fail("exit code " + std::to_string(underTest.exitCode) + ", expected " + std::to_string(scenario.exitCode));

    State expected = Expected(before, scenario.left);
    if (scenario.adjust)
        scenario.adjust(expected);
    const State after = Snapshot();
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
