// Shared set-up for the unit tests: a simulated machine with the components
// installed, the way to fail a call, and short ways to read what a run did.
#ifndef UNINSTALL_TESTS_MACHINE_H
#define UNINSTALL_TESTS_MACHINE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/messages.h"
#include "tests/plan.h"
#include "tests/sim/simulation.h"

namespace t {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

template <size_t N>
std::vector<std::string> In(const std::string &directory, const char *const (&names)[N])
{
    std::vector<std::string> paths;
    for (const char *name : names)
        paths.push_back(directory + "\\" + name);
    return paths;
}

const std::string SystemDir = "C:\\windows\\system32";
const std::string Folder = SystemDir + "\\" + plan::Folder;
const std::string Dpf = std::string("C:\\windows\\") + plan::DpfFolder;
const std::string ClassKey1 = std::string("CLSID\\") + plan::ClassKeys[0];
const std::string ClassKey2 = std::string("CLSID\\") + plan::ClassKeys[1];
const std::string Sibling = std::string("CLSID\\") + plan::SiblingKeys[0];
const std::string ZoneKey = plan::ZoneKey;
const std::vector<std::string> SystemFiles = In(SystemDir, plan::SystemFiles);
const std::vector<std::string> DpfFiles = In(Dpf, plan::DpfFiles);

// A REG_DWORD's data.
inline std::string Dword(DWORD value)
{
    return {(char)value, (char)(value >> 8), (char)(value >> 16), (char)(value >> 24)};
}
const std::string ZoneData = Dword(plan::ZoneData);

// Everything the program removes, plus neighbours it must leave alone.
inline void InstallComponents()
{
    for (const std::string &key : {ClassKey1, ClassKey2}) {
        sim::SetValue(HKEY_CLASSES_ROOT, key, "", 1, "Control");
        sim::SetValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel", 1, "Apartment");
        sim::CreateKey(HKEY_CLASSES_ROOT, key + "\\ProgID");
        sim::CreateKey(HKEY_CLASSES_ROOT, key + "\\Implemented Categories\\{0DE86A52-2BAA-11CF-A229-00AA003D7352}");
    }
    for (const char *sibling : plan::SiblingKeys)
        sim::CreateKey(HKEY_CLASSES_ROOT, std::string("CLSID\\") + sibling + "\\InprocServer32");
    sim::SetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue, REG_DWORD, Dword(3));
    sim::SetValue(HKEY_CURRENT_USER, ZoneKey, "1001", REG_DWORD, Dword(1));
    for (const std::string &file : SystemFiles)
        sim::AddFile(file);
    sim::AddFile(SystemDir + "\\kernel32.dll");
    sim::AddFile(Folder + "\\data\\cache\\a.bin", sim::Hold::None, true);
    sim::AddFile(Folder + "\\readme.txt");
    for (const std::string &file : DpfFiles)
        sim::AddFile(file);
    sim::AddFile(Dpf + "\\other.ocx");
}

// The class keys registered for the current user as well, beside a class
// of the user's that must stay.
inline void InstallPerUser()
{
    for (const std::string &key : {ClassKey1, ClassKey2}) {
        sim::SetValue(HKEY_CURRENT_USER, "Software\\Classes\\" + key + "\\InprocServer32", "", 1, "x.dll");
        sim::CreateKey(HKEY_CURRENT_USER, "Software\\Classes\\" + key + "\\ProgID");
    }
    sim::CreateKey(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}");
}

inline std::vector<std::string> Texts()
{
    std::vector<std::string> texts;
    for (const sim::Box &box : sim::machine().boxes)
        texts.push_back(box.text);
    return texts;
}

// Where the records place the class stores.
const std::string MachineClasses = "HKLM\\Software\\Classes\\";
const std::string UserClasses = "HKCU\\Software\\Classes\\";
// The root of a key path as the records write it ("HKCU\\...", "HKLM\\...").
inline HKEY RootOf(const std::string &key)
{
    return key[2] == 'C' ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The targets of the plan in its order, as the records name them: each
// class key in both class stores, the files and the folder.
inline const std::vector<std::string> &Targets()
{
    static const std::vector<std::string> targets = [] {
        std::vector<std::string> all;
        for (const std::string &key : {ClassKey1, ClassKey2})
            for (const std::string &store : {UserClasses, MachineClasses})
                all.push_back(store + key);
        all.insert(all.end(), SystemFiles.begin(), SystemFiles.end());
        all.push_back(Folder);
        all.insert(all.end(), DpfFiles.begin(), DpfFiles.end());
        return all;
    }();
    return targets;
}

// The targets of the plan that are still there, in the plan's order.
inline std::vector<std::string> Left()
{
    std::vector<std::string> left;
    for (const std::string &target : Targets())
        if (target.rfind("HK", 0) == 0 ? sim::FindKey(RootOf(target), target.substr(5)) != nullptr
                                       : sim::Exists(target))
            left.push_back(target);
    return left;
}

// The targets from the given one to the end of the plan, as far as they are
// there now: what a walk that stops at that target leaves.
inline std::vector<std::string> From(const std::string &target)
{
    std::vector<std::string> left = Left();
    return std::vector<std::string>(std::find(left.begin(), left.end(), target), left.end());
}

// What a whole removal ends with: the one box, no target left.
inline void ExpectWholeRemoval()
{
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_THAT(Left(), IsEmpty());
}

// Another program at work: does what once, just before the first call that
// begins with prefix.  The flag tells whether it came to it.
inline std::shared_ptr<bool> OnceBefore(const std::string &prefix, std::function<void()> what)
{
    std::shared_ptr<bool> done = std::make_shared<bool>(false);
    sim::machine().between = [=](const std::string &call) {
        if (!*done && call.compare(0, prefix.size(), prefix) == 0) {
            *done = true;
            what();
        }
    };
    return done;
}

// The platform calls that begin with prefix, in order: an operation
// ("RegEnumKeyExW"), or an operation and the first words of its subject
// ("RegEnumKeyExW HKLM\\...\\{W}").  The prefix ends at a word: the
// calls on a key's subkeys do not count as calls on the key.
inline std::vector<std::string> CallsOf(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &call : sim::machine().calls)
        if (call.compare(0, prefix.size(), prefix) == 0 && (call.size() == prefix.size() || call[prefix.size()] == ' '))
            out.push_back(call);
    return out;
}

// Failing a call: FailCall("NtOpenKey", MachineClasses + ClassKey1, ERROR_ACCESS_DENIED)
// makes the calls of that operation on that key path or file path ("" for a
// directory request; AnySubject: on any) answer the failure: every one, or
// the first `times` on each subject.  A later FailCall comes first.
const std::string AnySubject = "*";
const int Always = -1;
inline void FailCall(const std::string &op, const std::string &subject, sim::Failure failure, int times = Always)
{
    std::function<sim::Failure(const sim::Call &)> earlier = sim::machine().fault;
    sim::machine().fault = [=](const sim::Call &call) {
        if (call.op == op && (subject == AnySubject || call.subject == subject) &&
            (times == Always || call.occurrence < times))
            return failure;
        return earlier ? earlier(call) : sim::Failure();
    };
}

inline sim::Answer Yes(std::function<void()> before = {}) { return {IDYES, before}; }
inline sim::Answer No() { return {IDNO, {}}; }

// How every box looks: no owner; the program's texts under its caption,
// the in-use question with Yes and No and a question mark; a text of the
// system's under "Error" with the information icon.
inline void ExpectBoxLooks(const sim::Box &box)
{
    UINT style = MB_ICONINFORMATION;
    const char *caption = MsgErrorCaption;
    for (const char *own : {MsgZonePolicyFailed, MsgUninstallSucceeded, MsgUninstallFailed, MsgNoRegistryRights})
        if (box.text == own)
            style = MB_OK, caption = MsgCaption;
    if (box.text == MsgFileInUse)
        style = MB_YESNO | MB_ICONQUESTION, caption = MsgCaption;
    EXPECT_EQ(box.owner, nullptr) << box.text;
    EXPECT_EQ(box.caption, caption) << box.text;
    EXPECT_EQ(box.style, style) << box.text;
}

// What every run must end with: no handle left open, no misuse of a call,
// every system text freed, every scripted box shown, every box as above, the
// turn given back.
inline void ExpectSoundRun()
{
    EXPECT_THAT(sim::machine().handles, IsEmpty()) << "registry handle left open";
    EXPECT_THAT(sim::machine().violations, IsEmpty());
    EXPECT_TRUE(sim::machine().allocations.empty()) << "system error text not freed";
    EXPECT_EQ(sim::machine().answered, sim::machine().answers.size()) << "the script expected more boxes than came";
    for (const sim::Box &box : sim::machine().boxes)
        ExpectBoxLooks(box);
    // A run that ends normally gives its turn back itself; the system's
    // clean-up at the end of the process is for a run cut short.
    EXPECT_THAT(sim::machine().mutexHandles, IsEmpty());
    for (const auto &mutex : sim::machine().mutexes)
        EXPECT_FALSE(mutex.second.abandonedByProgram) << mutex.first << " left for the system to give back";
}

class Machine : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    int RunProgram() { return sim::Run(); }
    // A fresh machine for a table's next case, once the last run is checked.
    void Fresh()
    {
        ExpectSoundRun();
        sim::Reset();
    }
    void FreshInstalled()
    {
        Fresh();
        InstallComponents();
    }
    void TearDown() override { ExpectSoundRun(); }
};

}  // namespace t

#endif
