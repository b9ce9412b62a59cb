// Shared set-up for the unit tests: a simulated machine with the components
// installed, and short ways to read what a run did.
#ifndef UNINSTALL_TESTS_MACHINE_H
#define UNINSTALL_TESTS_MACHINE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/messages.h"
#include "tests/sim/simulation.h"

namespace t {

const std::string SystemDir = "C:\\windows\\system32";
const std::string Folder = SystemDir + "\\pendrow";
const std::string Dpf = "C:\\windows\\Downloaded Program Files";
const std::string ClassKey1 = "CLSID\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}";
const std::string ClassKey2 = "CLSID\\{B2957D3E-8C41-4A6F-B0E9-5D1F2A68C973}";
const std::string ZoneKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
const std::vector<std::string> SystemFiles = {SystemDir + "\\brevandel.dll", SystemDir + "\\larMosk.dll",
                                              SystemDir + "\\tivMosk.exe", SystemDir + "\\soltane.dll"};
const std::vector<std::string> DpfFiles = {Dpf + "\\marvisk.ocx", Dpf + "\\tobrin.inf",
                                           Dpf + "\\tobrin.ocx"};

// Everything the program removes, plus neighbours it must leave alone.
inline void InstallComponents()
{
    for (const std::string &key : {ClassKey1, ClassKey2}) {
        sim::SetValue(HKEY_CLASSES_ROOT, key, "", 1, "Control");
        sim::SetValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel", 1, "Apartment");
        sim::CreateKey(HKEY_CLASSES_ROOT, key + "\\ProgID");
        sim::CreateKey(HKEY_CLASSES_ROOT, key + "\\Implemented Categories\\{0DE86A52-2BAA-11CF-A229-00AA003D7352}");
    }
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D3}\\InprocServer32");
    sim::SetValue(HKEY_CURRENT_USER, ZoneKey, "1004", REG_DWORD, std::string("\3\0\0\0", 4));
    sim::SetValue(HKEY_CURRENT_USER, ZoneKey, "1001", REG_DWORD, std::string("\1\0\0\0", 4));
    for (const std::string &file : SystemFiles)
        sim::AddFile(file);
    sim::AddFile(SystemDir + "\\kernel32.dll");
    sim::AddFile(Folder + "\\data\\cache\\a.bin", sim::Hold::None, true);
    sim::AddFile(Folder + "\\readme.txt");
    for (const std::string &file : DpfFiles)
        sim::AddFile(file);
    sim::AddFile(Dpf + "\\other.ocx");
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

inline sim::Answer Yes(std::function<void()> before = {}) { return {IDYES, before}; }
inline sim::Answer No() { return {IDNO, {}}; }

class Machine : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    // Runs the program; a run must close every handle it opened.
    int RunProgram()
    {
        return sim::Run();
    }
    void TearDown() override
    {
        EXPECT_THAT(sim::machine().handles, ::testing::IsEmpty()) << "registry handle left open";
        EXPECT_THAT(sim::machine().violations, ::testing::IsEmpty());
        EXPECT_TRUE(sim::machine().allocations.empty()) << "system error text not freed";
        EXPECT_EQ(sim::machine().answered, sim::machine().answers.size())
            << "the script expected more boxes than came";
    }
};

}  // namespace t

#endif
