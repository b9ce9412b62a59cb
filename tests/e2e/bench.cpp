// The benchmark: key tree removal by the program timed against SHDeleteKeyA.
#include "driver.h"

#include <shlwapi.h>
#include <stdio.h>
#include <wchar.h>

#include <algorithm>

namespace e2e {

static double Milliseconds()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

// Runs the program and returns the milliseconds from its start to its final
// box.  The box is the program's first wait for input, so WaitForInputIdle
// marks it without the driver polling the window list, which would compete
// with the program for the wineserver.  The box is then answered.
static double TimeProgram(const std::wstring &program)
{
    PROCESS_INFORMATION process;
    double start = Milliseconds();
    if (!StartProgram(program, L"", process))
        return 0;
    if (WaitForInputIdle(process.hProcess, 600000) != 0)
        Fail("the program did not come to its box within 10 minutes");
    double elapsed = Milliseconds() - start;
    while (WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT) {
        if (Milliseconds() - start > 660000) {
            Fail("the program did not end");
            TerminateProcess(process.hProcess, 99);
            break;
        }
        Finder finder{process.dwProcessId, nullptr};
        EnumWindows(FindBox, (LPARAM)&finder);
        if (finder.found) {
            Box box = ReadBox(finder.found);
            if (box.text != Succeeded)
                Fail("unexpected box " + Show(box.text));
            PostMessageW(finder.found, WM_COMMAND, box.yes ? IDNO : IDOK, 0);
            while (IsWindow(finder.found) && WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT)
                ;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

// Below `key`: `fanout` children per level for `depth` levels, each with one value.
static int BuildLevel(HKEY key, int fanout, int depth)
{
    int made = 0;
    for (int i = 0; i < fanout && depth > 0; i++) {
        HKEY child;
        wchar_t name[16];
        swprintf(name, 16, L"K%04d", i);
        if (RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) != ERROR_SUCCESS) {
            Fail("cannot create a tree key");
            return made;
        }
        DWORD value = (DWORD)i;
        RegSetValueExW(child, L"V", 0, REG_DWORD, (const BYTE *)&value, sizeof value);
        made += 1 + BuildLevel(child, fanout, depth - 1);
        RegCloseKey(child);
    }
    return made;
}

namespace {

struct Shape {
    const char *name;
    std::function<int(HKEY)> build;  // returns the number of keys below the class key
};

}  // namespace

static int BuildShape(const Shape &shape)
{
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
    HKEY key = CreateKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey1);
    DWORD value = 1;
    RegSetValueExW(key, L"V", 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    int keys = 1 + shape.build(key);
    RegCloseKey(key);
    return keys;
}

static bool ClassKeyGone()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + ClassKey1).c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    return true;
}

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int Bench(const std::wstring &program, int runs, const std::string &only)
{
    // Nothing else of the plan is present, so a run's time is its start,
    // the key tree and the one box.
    Install();
    RemoveAllComponents();
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + ClassKey2);

    std::vector<double> baseline;
    for (int i = 0; i < runs; i++)
        baseline.push_back(TimeProgram(program));
    double base = Median(baseline);
    printf("baseline (no tree: process start to the final box): median %.1f ms over %d runs (%.0f-%.0f)\n", base,
           runs, *std::min_element(baseline.begin(), baseline.end()),
           *std::max_element(baseline.begin(), baseline.end()));

    const Shape shapes[] = {
        {"tree, fan-out 10, depth 4", [](HKEY key) { return BuildLevel(key, 10, 4); }},
        {"chain of 512 levels",
         [](HKEY key) {
             HKEY level = key;
             int made = 0;
             for (int i = 1; i < 512; i++) {
                 HKEY child;
                 if (RegCreateKeyExW(level, L"L", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) !=
                     ERROR_SUCCESS)
                     break;
                 if (level != key)
                     RegCloseKey(level);
                 level = child;
                 made++;
             }
             if (level != key)
                 RegCloseKey(level);
             return made;
         }},
        {"one level of 2000 subkeys", [](HKEY key) { return BuildLevel(key, 2000, 1); }},
    };
    printf("%-28s %7s %12s %12s %12s %7s\n", "shape", "keys", "to box ms", "minus base", "SHDeleteKeyA", "ratio");
    for (const Shape &shape : shapes) {
        if (!only.empty() && std::string(shape.name).find(only) == std::string::npos)
            continue;
        std::vector<double> ours, shell;
        int keys = 0;
        for (int i = 0; i < runs; i++) {
            keys = BuildShape(shape);
            ours.push_back(TimeProgram(program));
            if (!ClassKeyGone())
                Fail(std::string(shape.name) + ": the program left the key");
            BuildShape(shape);
            double start = Milliseconds();
            LSTATUS result = SHDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}");
            shell.push_back(Milliseconds() - start);
            if (result != ERROR_SUCCESS || !ClassKeyGone())
                Fail(std::string(shape.name) + ": SHDeleteKeyA gave " + std::to_string(result));
        }
        double mine = Median(ours) - base, theirs = Median(shell);
        printf("%-28s %7d %12.1f %12.1f %12.1f %7.2f   (program %.0f-%.0f, SHDeleteKeyA %.0f-%.0f)\n", shape.name,
               keys, Median(ours), mine, theirs, theirs > 0 ? mine / theirs : 0.0,
               *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()),
               *std::min_element(shell.begin(), shell.end()), *std::max_element(shell.begin(), shell.end()));
        fflush(stdout);
    }
    return failures ? 1 : 0;
}

}  // namespace e2e
