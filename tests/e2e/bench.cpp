// The benchmark: key tree removal by the program timed against SHDeleteKeyA.
#include "driver.h"

#include <shlwapi.h>
#include <stdio.h>

#include <algorithm>

namespace e2e {

// Runs the program and returns the milliseconds from its start to its final
// box.  The box is the program's first wait for input, so WaitForInputIdle
// marks it without the driver polling the window list, which would compete
// with the program for the wineserver.  The box is then answered.
static double TimeProgram(const std::wstring &program)
{
    Program timed{nullptr, 0, {}, 0};
    const double start = Seconds() * 1000;
    double elapsed = 0;
    Run(timed, program, 660000, [](const Box &box) {
        if (box.text != Messages[Succeeded].text)
            Fail("unexpected box " + Show(box.text));
        return box.yes ? IDNO : IDOK;
    }, [&](HANDLE process) {
        if (WaitForInputIdle(process, 600000) != 0)
            Fail("the program did not come to its box within 10 minutes");
        elapsed = Seconds() * 1000 - start;
    });
    return elapsed;
}

// The first class key with a value and, below it, the keys of a shape; the number of keys.
static int BuildShape(int depth, const std::vector<std::wstring> &names, bool values)
{
    const std::wstring key = ClassPath(plan::ClassKeys[0]);
    DeleteTree(HKEY_LOCAL_MACHINE, key);
    SetDword(HKEY_LOCAL_MACHINE, key, L"V", 1);
    return 1 + (int)Tree(HKEY_LOCAL_MACHINE, key, depth, names, values);
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
    RemoveTargets();

    std::vector<double> baseline;
    for (int i = 0; i < runs; i++)
        baseline.push_back(TimeProgram(program));
    double base = Median(baseline);
    printf("baseline (no tree: process start to the final box): median %.1f ms over %d runs (%.0f-%.0f)\n", base,
           runs, *std::min_element(baseline.begin(), baseline.end()),
           *std::max_element(baseline.begin(), baseline.end()));

    struct Shape {
        const char *name;
        int depth;
        std::vector<std::wstring> names;
        bool values;  // a DWORD on each key
    };
    const Shape shapes[] = {
        {"tree, fan-out 10, depth 4", 4, Numbered(L"K", 10, 4), true},
        {"chain of 512 levels", 511, {L"L"}, false},
        {"one level of 2000 subkeys", 1, Numbered(L"K", 2000, 4), true},
    };
    // The shell's removal, of the same key as the program names it.
    const std::string shellPath = std::string("CLSID\\") + plan::ClassKeys[0];
    printf("%-28s %7s %12s %12s %12s %7s\n", "shape", "keys", "to box ms", "minus base", "SHDeleteKeyA", "ratio");
    for (const Shape &shape : shapes) {
        if (!only.empty() && std::string(shape.name).find(only) == std::string::npos)
            continue;
        std::vector<double> ours, shell;
        int keys = 0;
        for (int i = 0; i < runs; i++) {
            keys = BuildShape(shape.depth, shape.names, shape.values);
            ours.push_back(TimeProgram(program));
            if (KeyExists(HKEY_LOCAL_MACHINE, ClassPath(plan::ClassKeys[0])))
                Fail(std::string(shape.name) + ": the program left the key");
            BuildShape(shape.depth, shape.names, shape.values);
            double start = Seconds() * 1000;
            LSTATUS result = SHDeleteKeyA(HKEY_CLASSES_ROOT, shellPath.c_str());
            shell.push_back(Seconds() * 1000 - start);
            if (result != ERROR_SUCCESS || KeyExists(HKEY_LOCAL_MACHINE, ClassPath(plan::ClassKeys[0])))
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
