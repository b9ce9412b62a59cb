// Registry cleanup on the simulated registry: key tree removal and the
// Internet zone setting.
#include <pthread.h>

#include <algorithm>
#include <set>

#include "machine.h"
#include "registry/registry.h"

using namespace t;

namespace {

class KeyTree : public Machine {
public:
    // Removes CLSID\name from the machine's class store as the program
    // does: below a CLSID handle opened for reading.
    void Remove(const std::string &name)
    {
        HKEY classes;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", 0, KEY_QUERY_VALUE, &classes),
                  ERROR_SUCCESS);
        sim::machine().calls.clear();
        DeleteKeyTree(classes, name.c_str());
        RegCloseKey(classes);
    }
    // How often the removal opened the key at path: as a link, for listing,
    // counting and deleting its subkeys (0x10009) and no more.
    size_t Opens(const std::string &path) { return CallsOf("NtOpenKey " + path + " (link) (0x10009)").size(); }
};

std::string Child(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "child%03d", i);
    return name;
}

}  // namespace

TEST_F(KeyTree, AbsentClassKeysChangeNothing)
{
    sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
    sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "x");
    sim::AddFile(SystemFiles[0]);
    size_t keys = sim::CountKeys(HKEY_CLASSES_ROOT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(sim::CountKeys(HKEY_CLASSES_ROOT), keys);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::Exists(SystemFiles[0]));
}

// A store whose CLSID the system will not open (for anything but "not
// found") is unseen: its class keys may be there, so the run cannot say
// they are gone.  The rest of the removal goes on.
TEST_F(KeyTree, UnseenClassStoreFailsTheRun)
{
    for (LSTATUS why : {(LSTATUS)ERROR_ACCESS_DENIED, (LSTATUS)ERROR_NO_SYSTEM_RESOURCES}) {
        SCOPED_TRACE(why);
        FreshInstalled();
        FailCall("RegOpenKeyExA", MachineClasses + "CLSID", why);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallFailed));
        EXPECT_THAT(Left(), ElementsAre(MachineClasses + ClassKey1, MachineClasses + ClassKey2));
    }
}

// Children that stay after their removal for a reason other than rights
// (the system fails on them, or no longer finds a key it still lists): each
// gets exactly one attempt, none is collected again, the parent then stays
// too, and the run says so.  A refusal for rights is not what happened: no
// no-rights box, and the removal goes on to the files.
TEST_F(KeyTree, ChildThatStaysIsNeverCollectedAgainAndTheRunFails)
{
    std::vector<std::set<int>> cases = {{0}, {19}, {20}, {44}, {3, 21, 40}, {}};
    for (int i = 0; i < 25; i++)
        cases.back().insert(i * 2);  // more stay than one batch holds
    for (const std::set<int> &stuck : cases) {
        SCOPED_TRACE(::testing::PrintToString(stuck));
        Fresh();
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
        sim::AddFile(SystemFiles[0]);
        for (int i = 0; i < 50; i++) {
            sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i));
            if (stuck.count(i))
                FailCall("NtOpenKey", MachineClasses + ClassKey1 + "\\" + Child(i), i % 4 ? ERROR_FILE_NOT_FOUND : ERROR_NO_SYSTEM_RESOURCES);
        }
        EXPECT_EQ(RunProgram(), 0);
        for (int i = 0; i < 50; i++) {
            const std::string path = MachineClasses + ClassKey1 + "\\" + Child(i);
            ASSERT_EQ(Opens(path), 1u) << path;
            ASSERT_EQ(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i)) != nullptr,
                      stuck.count(i) == 1)
                << path;
        }
        EXPECT_EQ(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1) != nullptr, !stuck.empty());
        EXPECT_THAT(Texts(), ElementsAre(stuck.empty() ? MsgUninstallSucceeded : MsgUninstallFailed));
        EXPECT_FALSE(sim::Exists(SystemFiles[0]));
    }
}

// Names as long as the registry allows, 255 UTF-16 units, whatever their
// characters: ASCII, Chinese (three bytes each in UTF-8), and characters
// beyond the basic plane, two units each.
std::string LongName(int i)
{
    const char *const fills[] = {"x", "\xe4\xb8\x80", "\xf0\x9f\x98\x80"};  // U+4E00, U+1F600
    const size_t units = i % 3 == 2 ? 2 : 1;
    std::string name = Child(i) + (i % 3 == 2 ? "y" : "");  // an odd start for the pairs
    for (size_t length = name.size(); length + units <= 255; length += units)
        name += fills[i % 3];
    return name;
}

// Every child of a wide level is removed, each opened once: levels about
// one batch wide and many batches wide; names as long as the registry
// allows, which fill the child list after a few (many short batches), beside
// short ones; each with a subkey of its own name.  Whatever a key's delete
// says while subkeys are left (Windows' STATUS_CANNOT_DELETE, Wine's
// STATUS_ACCESS_DENIED), the key goes whole, and its neighbour with a longer
// name stays.
TEST_F(KeyTree, EveryChildOfAWideLevelIsRemovedOnce)
{
    const std::pair<int, bool> cases[] = {{19, false}, {20, false}, {21, false}, {40, false},
                                          {45, false}, {300, false}, {45, true}};
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{W0}\\InprocServer32");
    for (const auto &[width, longNames] : cases) for (bool wine : {false, true}) {
        SCOPED_TRACE(std::to_string(width) + (longNames ? " long names" : "") + (wine ? ", Wine" : ", Windows"));
        sim::machine().wine = wine;
        std::vector<std::string> names = {std::string(254, 'b'), "short"};
        for (int i = 0; i < width; i++)
            names.push_back(longNames ? LongName(i) : Child(i));
        for (const std::string &name : names)
            sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{W}\\" + name + "\\" + name);
        Remove("{W}");
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{W}"));
        for (const std::string &name : names)
            ASSERT_EQ(Opens(MachineClasses + "CLSID\\{W}\\" + name), 1u);
        EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{W0}\\InprocServer32"));
        EXPECT_THAT(Texts(), IsEmpty());
    }
}

TEST_F(KeyTree, ChainOfFiveHundredTwelveLevels)
{
    std::string path = "CLSID\\{D}";
    for (int i = 1; i < 512; i++)
        path += "\\L" + std::to_string(i);
    sim::CreateKey(HKEY_CLASSES_ROOT, path);
    // Each level keeps its child names on the stack: run where the stack is
    // as large as the shipped program's, and more for the sanitizers.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256u << 20);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, [](void *self) -> void * {
                  static_cast<KeyTree *>(self)->Remove("{D}");
                  return nullptr;
              }, this), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{D}"));
}

// What becomes of a class key's subkey, by what the system answers when it
// is opened for its removal and when it is deleted.  Rights are checked at
// the open: only a refused open is a refusal for rights (the two boxes,
// exit code 1), and nothing after that key is touched: what went before it
// stays gone.  A key held with DELETE that does not go has stayed, whatever
// code the delete gives (Windows' STATUS_CANNOT_DELETE, Wine's access
// denied): the run fails, with exit code 0, and goes on to the files.  An
// account that may only read the machine's classes (a standard user) still
// reaches the class keys, and a refusal to delete them is told before any
// file is touched, so the user is not asked to close the browser for files
// he may not delete either; only CLSID being read-only changes nothing.
TEST_F(KeyTree, KeyOutcomes)
{
    enum Verdict { Gone, Stayed, Refused };
    struct Case {
        const char *what;
        REGSAM granted;            // on InprocServer32
        DWORD openFault;           // of the first open of InprocServer32
        sim::Failure deleteFault;  // of its deletes
        bool subkeys;
        Verdict verdict;
        bool standardUser = false;  // granted on both class keys instead, below a CLSID that may only be read
    };
    const Case cases[] = {
        {"granted, deleted", KEY_ALL_ACCESS, 0, 0, true, Gone},
        {"granted, delete says subkeys left", KEY_ALL_ACCESS, 0, sim::SubkeysLeft(), true, Stayed},
        {"granted, delete says access denied (Wine)", KEY_ALL_ACCESS, 0, ERROR_ACCESS_DENIED, false, Stayed},
        {"granted, delete fails otherwise", KEY_ALL_ACCESS, 0, ERROR_NO_SYSTEM_RESOURCES, false, Stayed},
        {"granted, open fails otherwise", KEY_ALL_ACCESS, ERROR_NO_SYSTEM_RESOURCES, 0, true, Stayed},
        {"granted, open fails otherwise, no subkeys", KEY_ALL_ACCESS, ERROR_NO_SYSTEM_RESOURCES, 0, false, Stayed},
        {"DELETE only, no subkeys", DELETE, 0, 0, false, Gone},
        {"DELETE only, subkeys", DELETE, 0, 0, true, Refused},
        {"read only", KEY_READ, 0, 0, false, Refused},
        {"open refused", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED, 0, true, Refused},
        {"standard user, class keys read-only", KEY_READ, 0, 0, true, Refused, true},
        {"standard user, only CLSID read-only", KEY_ALL_ACCESS, 0, 0, true, Gone, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreshInstalled();
        const std::string key = ClassKey1 + "\\InprocServer32";
        if (c.subkeys)
            sim::CreateKey(HKEY_CLASSES_ROOT, key + "\\Sub");
        if (c.standardUser) {
            sim::FindKey(HKEY_CLASSES_ROOT, "CLSID")->granted = KEY_READ;
            sim::Restrict(HKEY_CLASSES_ROOT, ClassKey1, c.granted);
            sim::Restrict(HKEY_CLASSES_ROOT, ClassKey2, c.granted);
        } else {
            sim::FindKey(HKEY_CLASSES_ROOT, key)->granted = c.granted;
        }
        FailCall("NtOpenKey", MachineClasses + key, c.openFault, 1);
        FailCall("NtDeleteKey", MachineClasses + key, c.deleteFault);
        const std::vector<std::string> installed = Left();
        const size_t keys = sim::CountKeys(HKEY_CLASSES_ROOT);
        EXPECT_EQ(RunProgram(), c.verdict == Refused ? 1 : 0);
        EXPECT_EQ(sim::FindKey(HKEY_CLASSES_ROOT, key) != nullptr, c.verdict != Gone);
        if (c.verdict == Refused) {
            EXPECT_THAT(Texts(), ElementsAre(MsgNoRegistryRights, MsgUninstallFailed));
            if (c.standardUser) {
                EXPECT_EQ(sim::CountKeys(HKEY_CLASSES_ROOT), keys);
            } else {
                EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\Implemented Categories"));
                EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\ProgID"));
                EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2 + "\\ProgID"));
            }
            EXPECT_EQ(Left(), installed);
        } else {
            EXPECT_THAT(Texts(), ElementsAre(c.verdict == Gone ? MsgUninstallSucceeded : MsgUninstallFailed));
            EXPECT_EQ(Left(), c.verdict == Gone ? std::vector<std::string>() : std::vector<std::string>{MachineClasses + ClassKey1});
        }
    }
}

// Trees that go whole, whatever the system or another program does:
// - the removal asks for what it needs and no more: a tree whose owner
//   granted reading and deleting, but not writing;
// - where the system cannot count a key's subkeys, the enumeration tells;
// - a link below a class key, deeper down, or a class key that is itself a
//   link points somewhere outside the plan: whoever can write below the
//   class key must not be able to steer the removal at other keys, so the
//   link goes and its target stays as it was;
// - a link to a missing key goes, and nothing is created in its place;
// - every name the registry can hold goes by its real name: names the ANSI
//   functions cannot spell (emoji; Thai and Chinese where the code page lacks
//   them) at several depths, the first of them ahead of more than a batch of
//   siblings; names are counted strings: a NUL at the end, at the start,
//   inside, names of NULs alone, such names below one another, beside a
//   sibling that is the name up to its NUL;
// - another program (a second copy, the component's own uninstaller)
//   deletes siblings while a batch of names is being collected: the indexes
//   shift, the enumeration runs out before the level is empty, and only an
//   enumeration after the batch tells whether anything is left;
// - it deletes a child of the class key while the program is busy with an
//   earlier sibling's subtree: inside the batch already collected, at its
//   last slot, at the first slot of the next batch, and the child being
//   removed itself;
// - it deletes a key's parent while the key is being emptied: the system
//   answers ERROR_KEY_DELETED, gone like a key not found, not a child that
//   stayed, which would make the next batch start past a real sibling (the
//   next in the enumeration has a name that begins with its name);
// - it empties a key between the program's delete, which found subkeys
//   left, and its count of them: nothing is left to list.
// No key is opened twice for its removal, and nothing outside is created.
TEST_F(KeyTree, TreesThatGoWhole)
{
    struct Case {
        const char *what;
        int children;                // child000... below the first class key, each with a subkey
        std::function<void()> arrange;
        std::string before;          // the call before which another program acts, if one does
        std::function<void()> act;
    };
    const std::string busy = ClassKey1 + "\\AAA", categories = ClassKey1 + "\\Implemented Categories";
    const std::string outside = "Software\\SomeOtherKey";
    auto link = [=](const std::string &at) {
        return [=] {
            sim::DeleteKey(HKEY_CLASSES_ROOT, at);
            sim::CreateLink(HKEY_CLASSES_ROOT, at, HKEY_CURRENT_USER, outside);
        };
    };
    auto deleteSix = [] {
        for (int i = 0; i < 6; i++)
            sim::DeleteKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i));
    };
    auto whileBelow = [](int busy) { return "NtDeleteKey " + MachineClasses + ClassKey1 + "\\" + Child(busy) + "\\sub"; };
    auto remove = [](int victim) { return [=] { sim::DeleteKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(victim)); }; };
    const Case cases[] = {
        {"reading and deleting granted", 0, [] {
             sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32\\Sub\\Leaf");
             sim::Restrict(HKEY_CLASSES_ROOT, ClassKey1, KEY_READ | DELETE);
         }, "", {}},
        {"subkeys that cannot be counted", 45, [] { FailCall("RegQueryInfoKeyW", AnySubject, ERROR_NO_SYSTEM_RESOURCES); }, "", {}},
        {"a link below a class key", 0, link(ClassKey1 + "\\Link"), "", {}},
        {"a link deeper down", 0, link(ClassKey1 + "\\InprocServer32\\Deeper\\Link"), "", {}},
        {"a class key that is itself a link", 0, link(ClassKey2), "", {}},
        {"a link to a missing key", 0, [] {
             sim::CreateLink(HKEY_CLASSES_ROOT, ClassKey1 + "\\Dangling", HKEY_CURRENT_USER, "Software\\Nowhere");
         }, "", {}},
        {"every name the registry can hold", 0, [] {
             const std::string emoji = "\xf0\x9f\x98\x80", thai = "\xe0\xb8\x81\xe0\xb8\x82", chinese = "\xe6\xb3\xa8";
             const std::string nul(1, '\0');
             sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + "0" + thai);  // ahead of the children below
             for (int i = 0; i < 25; i++)
                 sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i) + "\\" + (i % 2 ? emoji : chinese));
             const std::string deep = emoji + thai + "\\" + chinese + "\\x";
             sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32\\" + deep);
             sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey2 + "\\" + emoji);
             sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey2 + "\\A\\B");
             for (const std::string &name : {"A" + nul, nul + "B", "A" + nul + "B", nul, nul + nul})
                 sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey2 + "\\" + name + "\\" + name + "\\" + nul);
         }, "", {}},
        {"siblings deleted during a batch", 12, [] {}, "RegEnumKeyExW " + MachineClasses + ClassKey1 + " #8", deleteSix},
        {"siblings deleted during the first of two batches", 30, [] {}, "RegEnumKeyExW " + MachineClasses + ClassKey1 + " #8",
         deleteSix},
        {"child005 deleted below child000", 25, [] {}, whileBelow(0), remove(5)},
        {"child019 deleted below child000", 25, [] {}, whileBelow(0), remove(19)},
        {"child020 deleted below child003", 25, [] {}, whileBelow(3), remove(20)},
        {"child024 deleted below child000", 25, [] {}, whileBelow(0), remove(24)},
        {"child007 deleted below itself", 25, [] {}, whileBelow(7), remove(7)},
        {"child022 deleted below child020", 25, [] {}, whileBelow(20), remove(22)},
        {"a parent deleted while its key is emptied", 25, [=] {
             sim::CreateKey(HKEY_CLASSES_ROOT, busy + "\\Busy\\leaf1");
             sim::CreateKey(HKEY_CLASSES_ROOT, busy + "\\Busy\\leaf2");
             sim::CreateKey(HKEY_CLASSES_ROOT, busy + "A\\sub");
         }, "RegCloseKey " + MachineClasses + busy + "\\Busy\\leaf1", [=] { sim::DeleteKey(HKEY_CLASSES_ROOT, busy); }},
        {"a key emptied before it is listed", 0, [] {}, "RegQueryInfoKeyW " + MachineClasses + categories,
         [=] { sim::DeleteKey(HKEY_CLASSES_ROOT, categories + "\\{0DE86A52-2BAA-11CF-A229-00AA003D7352}"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreshInstalled();
        for (int i = 0; i < c.children; i++)
            sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i) + "\\sub");
        sim::SetValue(HKEY_CURRENT_USER, outside, "kept", 1, "yes");
        sim::CreateKey(HKEY_CURRENT_USER, outside + "\\Child\\Grandchild");
        sim::CreateKey(HKEY_CURRENT_USER, outside + "\\Leaf");
        c.arrange();
        auto done = c.before.empty() ? std::make_shared<bool>(true) : OnceBefore(c.before, c.act);
        const size_t userKeys = sim::CountKeys(HKEY_CURRENT_USER);
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_TRUE(*done);
        ExpectWholeRemoval();
        EXPECT_EQ(sim::CountKeys(HKEY_CURRENT_USER), userKeys);
        EXPECT_TRUE(sim::FindKey(HKEY_CURRENT_USER, outside + "\\Child\\Grandchild"));
        EXPECT_TRUE(sim::GetValue(HKEY_CURRENT_USER, outside, "kept"));
        std::vector<std::string> opens = CallsOf("NtOpenKey");
        std::sort(opens.begin(), opens.end());
        EXPECT_EQ(std::adjacent_find(opens.begin(), opens.end()), opens.end()) << "a key opened twice";
    }
}

// A class registered for the user as well as for the machine: the merged
// view shows the user's and hides the machine's until the user's is gone.
// Both stores end without either class key, and only then is it a success.
TEST_F(KeyTree, ClassesRegisteredPerUserAndPerMachineAreBothRemoved)
{
    for (bool machineToo : {true, false}) {
        SCOPED_TRACE(machineToo ? "per user and per machine" : "per user only");
        FreshInstalled();
        if (!machineToo) {
            sim::DeleteKey(HKEY_CLASSES_ROOT, ClassKey1);
            sim::DeleteKey(HKEY_CLASSES_ROOT, ClassKey2);
        }
        InstallPerUser();
        EXPECT_EQ(RunProgram(), 0);
        ExpectWholeRemoval();
        EXPECT_TRUE(sim::FindKey(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}"));
        EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, Sibling));
    }
}

// Another program adds subkeys below the class key while it is being
// emptied, each as one is deleted: a few such come in later passes and go;
// a component that registers itself again as fast as it is removed must not
// keep the run busy for ever: within a bounded number of passes the run
// ends and says that the key stayed.
TEST_F(KeyTree, LevelRefilledWhileItIsEmptied)
{
    for (int limit : {3, 20000}) {
        SCOPED_TRACE(limit);
        FreshInstalled();
        const std::string prefix = "NtDeleteKey " + MachineClasses + ClassKey1 + "\\";
        int refills = 0;
        sim::machine().between = [&](const std::string &call) {
            if (refills < limit && call.compare(0, prefix.size(), prefix) == 0 &&
                call.find('\\', prefix.size()) == std::string::npos) {
                char name[32];
                std::snprintf(name, sizeof name, "again%05d", refills++);
                sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + name);
            }
        };
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_LT(refills, 200) << "kept removing what came back";
        const bool endless = limit > 200;
        EXPECT_THAT(Texts(), ElementsAre(endless ? MsgUninstallFailed : MsgUninstallSucceeded));
        EXPECT_EQ(Left(), endless ? std::vector<std::string>{MachineClasses + ClassKey1} : std::vector<std::string>());
    }
}

using Zone = Machine;

TEST_F(Zone, MissingLevelFailsWithoutCreatingAnything)
{
    // Each level of the key missing in turn: what is above it is there.
    for (size_t end = 0; end != std::string::npos; end = ZoneKey.find('\\', end + 1)) {
        const std::string existing = ZoneKey.substr(0, end);
        SCOPED_TRACE(existing);
        Fresh();
        if (!existing.empty())
            sim::CreateKey(HKEY_CURRENT_USER, existing + "\\Other");
        size_t keys = sim::CountKeys(HKEY_CURRENT_USER);

        EXPECT_FALSE(SetZonePolicy());
        EXPECT_EQ(sim::CountKeys(HKEY_CURRENT_USER), keys);
        EXPECT_THAT(CallsOf("RegSetValueExA"), IsEmpty());
    }
}

// Whatever the value was, and each level opened for no more than it is used
// for: a Zones\3 whose owner granted only reading and setting values, below
// levels that may only be read, takes the value.
TEST_F(Zone, ValueBecomesDwordOneWhateverItWas)
{
    // The value before, and whether the levels are restricted.
    const std::pair<std::optional<std::string>, bool> cases[] = {
        {std::nullopt, false}, {Dword(0), false}, {Dword(3), false}, {Dword(1), false}, {std::string("3"), false},
        {Dword(3), true}};
    for (const auto &[value, restricted] : cases) {
        Fresh();
        sim::SetValue(HKEY_CURRENT_USER, ZoneKey, "1001", REG_DWORD, Dword(0));
        if (value)
            sim::SetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue, value->size() == 4 ? REG_DWORD : 1, *value);
        if (restricted) {
            sim::Restrict(HKEY_CURRENT_USER, "Software", KEY_READ);
            sim::FindKey(HKEY_CURRENT_USER, ZoneKey)->granted = KEY_READ | KEY_SET_VALUE;
        }
        EXPECT_TRUE(SetZonePolicy());
        std::optional<sim::Value> now = sim::GetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue);
        ASSERT_TRUE(now);
        EXPECT_EQ(now->type, REG_DWORD);
        EXPECT_EQ(now->data, ZoneData);
        EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, "1001")->data, Dword(0));
    }
}

TEST_F(Zone, FailureIsReportedAndTheRemovalGoesOn)
{
    struct Case {
        const char *what;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"zone key missing", [] {
             sim::FindKey(HKEY_CURRENT_USER, ZoneKey.substr(0, ZoneKey.size() - 2))->children.clear();
         }},
        {"zone key refused", [] { FailCall("RegOpenKeyExA", "HKCU\\" + ZoneKey, ERROR_ACCESS_DENIED); }},
        {"write refused", [] { FailCall("RegSetValueExA", "HKCU\\" + ZoneKey, ERROR_ACCESS_DENIED); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreshInstalled();
        c.arrange();
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgZonePolicyFailed, MsgUninstallSucceeded));
        EXPECT_THAT(Left(), IsEmpty());
        EXPECT_NE(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, plan::ZoneValue).value_or(sim::Value{}).data, ZoneData);
    }
}
