// Other programs beside the one under test: another program deleting a
// key meanwhile, a first run killed midway, a second copy of the program.
#include "driver.h"

#include <stdio.h>

namespace e2e {

// A large subtree that sorts first below the first class key, and the key
// whose disappearance shows that the program has begun removing it.
static const std::wstring DeepSubtree = ClassPath(plan::ClassKeys[0]) + L"\\AAA Deep";
static const std::wstring FirstLeaf = DeepSubtree + L"\\K00\\K00\\K00";
// Until the program has begun removing the deep subtree; false when
// `program` ended first or after a minute.
static bool RemovalBegun(HANDLE program)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < Scaled(60000);) {
        if (!KeyExists(HKEY_LOCAL_MACHINE, FirstLeaf))
            return true;
        if (WaitForSingleObject(program, 1) != WAIT_TIMEOUT)
            return false;
    }
    return false;
}

// ---------------------------------------------------------------- another program meanwhile

// 1 deleted in time, 2 too late, 0 never saw the removal start.
static volatile LONG otherResult;

// Another program: deletes a sibling below the first class key while the
// program is busy removing the deep subtree before it.
static DWORD WINAPI DeleteSiblingMeanwhile(LPVOID)
{
    const std::wstring victim = ClassPath(plan::ClassKeys[0]) + L"\\Sibling 05";
    if (!RemovalBegun(GetCurrentProcess()))
        return 0;
    bool inTime = KeyExists(HKEY_LOCAL_MACHINE, DeepSubtree) && KeyExists(HKEY_LOCAL_MACHINE, victim);
    // With a subkey named, RegDeleteTreeW deletes that key too.
    LONG result = RegDeleteTreeW(HKEY_LOCAL_MACHINE, victim.c_str());
    otherResult = inTime && result == ERROR_SUCCESS && !KeyExists(HKEY_LOCAL_MACHINE, victim) ? 1 : 2;
    return 0;
}

void StartOtherProgram()
{
    Tree(HKEY_LOCAL_MACHINE, DeepSubtree, 3, Numbered(L"K", 12, 2));
    for (const std::wstring &name : Numbered(L"Sibling ", 25, 2))
        SetString(HKEY_LOCAL_MACHINE, ClassPath(plan::ClassKeys[0]) + L"\\" + name + L"\\Sub", L"v", L"x");
    otherResult = 0;
    HANDLE thread = CreateThread(nullptr, 0, DeleteSiblingMeanwhile, nullptr, 0, nullptr);
    if (!thread)
        return Fail("setting up: cannot start the thread that deletes a sibling");
    AtEnd([thread] {
        WaitForSingleObject(thread, Scaled(10000));
        CloseHandle(thread);
        if (otherResult != 1)
            Fail(otherResult ? "the sibling was deleted only after the program had passed it"
                             : "the removal of the deep subtree was never seen to begin");
    });
}

// ---------------------------------------------------------------- a first run killed

static State beforeFirstRun;

void RunAndKill()
{
    Tree(HKEY_LOCAL_MACHINE, DeepSubtree, 3, Numbered(L"K", 12, 2));
    beforeFirstRun = Snapshot();
    Program first{"first run: ", 0, {}, 0};
    Run(first, programPath, Scaled(60000), [](const Box &) { return IDOK; }, [](HANDLE process) {
        RemovalBegun(process);
        TerminateProcess(process, 99);
    });
    if (first.exitCode != 99 || !KeyExists(HKEY_LOCAL_MACHINE, DeepSubtree))
        Fail("the first run was not cut short in the middle of the removal (exit code " +
             std::to_string(first.exitCode) + ")");
    size_t left = 0;
    for (const std::wstring &entry : Snapshot())
        left += Under(entry, MachineKey(plan::ClassKeys[0])) || Under(entry, MachineKey(plan::ClassKeys[1]));
    printf("  first run killed with %zu registry entries left\n", left);
}

void AsAfterOneRun(State &expected)
{
    expected = Expected(beforeFirstRun, {});
}

// ---------------------------------------------------------------- a second copy

void InstallLargeComponents()
{
    Tree(HKEY_LOCAL_MACHINE, ClassPath(plan::ClassKeys[0]), 1, Numbered(L"Sub", 1500, 4), true);
    for (const std::wstring &name : Numbered(L"\\f", 300, 3))
        PutText(Folder() + name + L".dat", "data");
}

static Program second{"second copy: ", 0, {}, 0};
static DWORD secondDelay;
// When the first copy showed a box while one of the second copy's was up; 0: never.
static double firstCopysBoxAt;

// Each of its boxes held up for a second while the first copy may still
// run: if this copy got the first turn, the first copy must show nothing.
static DWORD WINAPI RunSecondCopy(LPVOID)
{
    for (DWORD start = GetTickCount(); !underTest.pid && GetTickCount() - start < Scaled(60000);)
        Sleep(1);
    Sleep(Scaled(secondDelay));
    Run(second, programPath, Scaled(120000), [](const Box &box) {
        for (DWORD held = GetTickCount(); GetTickCount() - held < Scaled(1000) && !firstCopysBoxAt; Sleep(10))
            if (BoxOf(underTest.pid))
                firstCopysBoxAt = Seconds();
        return box.yes ? IDNO : IDOK;
    });
    return 0;
}

void HoldForSecondCopy()
{
    for (DWORD start = GetTickCount(); second.pid && GetTickCount() - start < Scaled(1000); Sleep(10))
        if (BoxOf(second.pid))
            return Fail("the second copy shows a box while the first copy's final box is up");
}

static void FinishSecondCopy(HANDLE thread)
{
    if (WaitForSingleObject(thread, Scaled(150000)) == WAIT_TIMEOUT)
        Fail("the second copy did not end");
    CloseHandle(thread);
    if (second.boxes.size() != 1 || second.boxes[0].text != Messages[Succeeded].text ||
        second.boxes[0].caption != Caption)
        Fail("the second copy did not show the success box alone");
    if (second.exitCode != 0)
        Fail("the second copy ended with " + std::to_string(second.exitCode));
    char what[200];
    snprintf(what, sizeof what, "the first copy showed a box at %.3f s while the second copy's box was up",
             firstCopysBoxAt);
    if (firstCopysBoxAt)
        Fail(what);
    // One copy at a time: whichever copy showed a box first, the other
    // speaks only once that one's final box was answered.
    const std::vector<Box> &a = underTest.boxes, &b = second.boxes;
    if (a.empty() || b.empty())
        return;
    const bool secondFirst = b.front().appeared < a.front().appeared;
    const Box &earlierDone = secondFirst ? b.back() : a.back(), &laterStart = secondFirst ? a.front() : b.front();
    if (laterStart.appeared <= earlierDone.answered) {
        snprintf(what, sizeof what, "the %s copy showed its first box at %.3f s, before the %s copy's final box "
                 "was answered at %.3f s", secondFirst ? "first" : "second", laterStart.appeared,
                 secondFirst ? "second" : "first", earlierDone.answered);
        Fail(what);
    }
}

void SecondCopy(DWORD delay)
{
    secondDelay = delay;
    firstCopysBoxAt = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunSecondCopy, nullptr, 0, nullptr);
    if (!thread)
        return Fail("cannot start the thread that runs the second copy");
    AtEnd([thread] { FinishSecondCopy(thread); });
}

}  // namespace e2e
