// Registry cleanup on the simulated registry: key tree removal and the
// Internet zone setting.
#include <pthread.h>

#include <algorithm>
#include <set>

#include "machine.h"
#include "registry/registry.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace t;

namespace {

class KeyTree : public Machine {
public:
    void SetUp() override
    {
        Machine::SetUp();
        sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID");
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
    }
    // Removes CLSID\name as the program does: below an open CLSID handle.
    void Remove(const std::string &name)
    {
        HKEY classes;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &classes), ERROR_SUCCESS);
        sim::machine().calls.clear();
        DeleteKeyTree(classes, name.c_str());
        RegCloseKey(classes);
        EXPECT_THAT(sim::machine().handles, IsEmpty());
    }
    size_t Count(const std::string &call)
    {
        return std::count(sim::machine().calls.begin(), sim::machine().calls.end(), call);
    }
};

std::string Child(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "child%03d", i);
    return name;
}

}  // namespace

TEST_F(KeyTree, KeyWithoutSubkeysTakesOneEnumeration)
{
    sim::SetValue(HKEY_CLASSES_ROOT, "CLSID\\{A}", "", 1, "x");
    Remove("{A}");
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"));
    EXPECT_THAT(CallsOf("RegEnumKeyExA"), ElementsAre("RegEnumKeyExA HKCR\\CLSID\\{A} #0"));
    EXPECT_THAT(Texts(), IsEmpty());
}

TEST_F(KeyTree, DeepestKeysGoFirstAndTheNamedKeyLast)
{
    for (const char *path : {"{A}\\InprocServer32", "{A}\\Control", "{A}\\Implemented Categories\\{X}",
                             "{A}\\Implemented Categories\\{Y}", "{A}\\TypeLib"})
        sim::CreateKey(HKEY_CLASSES_ROOT, std::string("CLSID\\") + path);
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{A0}\\InprocServer32");
    Remove("{A}");
    EXPECT_THAT(sim::machine().deletedKeys,
                ElementsAre("HKCR\\CLSID\\{A}\\Control", "HKCR\\CLSID\\{A}\\Implemented Categories\\{X}",
                            "HKCR\\CLSID\\{A}\\Implemented Categories\\{Y}",
                            "HKCR\\CLSID\\{A}\\Implemented Categories", "HKCR\\CLSID\\{A}\\InprocServer32",
                            "HKCR\\CLSID\\{A}\\TypeLib", "HKCR\\CLSID\\{A}"));
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{A0}\\InprocServer32"));
}

TEST_F(KeyTree, AbsentClassKeysChangeNothing)
{
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{6A0E41C7-2B93-4F58-9D16-C3E87A05B4D2}x");
    sim::AddFile(SystemFiles[0]);
    size_t keys = sim::CountKeys(HKEY_CLASSES_ROOT);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(sim::CountKeys(HKEY_CLASSES_ROOT), keys);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::Exists(SystemFiles[0]));
}

TEST_F(KeyTree, UnopenableClassesKeyIsSkippedSilently)
{
    InstallComponents();
    sim::FindKey(HKEY_CLASSES_ROOT, "CLSID")->openResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::Exists(SystemFiles[0]));
}

TEST_F(KeyTree, NoRightsAtDepthEndsTheProcessBeforeAnyFile)
{
    InstallComponents();
    sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32")->deleteResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunProgram(), 1);

    EXPECT_THAT(Texts(), ElementsAre(MsgNoRegistryRights, MsgUninstallFailed));
    for (const sim::Box &box : sim::machine().boxes) {
        EXPECT_EQ(box.caption, MsgCaption);
        EXPECT_EQ(box.style, (UINT)MB_OK);
        EXPECT_EQ(box.owner, nullptr);
    }
    EXPECT_EQ(sim::machine().calls.back(), "ExitProcess 1");
    // Deleted before the refusal: stays deleted.  After it: stays in place.
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\Implemented Categories"));
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32"));
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\ProgID"));
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2 + "\\ProgID"));
    EXPECT_THAT(CallsOf("DeleteFileA"), IsEmpty());
    EXPECT_THAT(CallsOf("GetSystemDirectoryA"), IsEmpty());
    EXPECT_TRUE(sim::Exists(SystemFiles[0]));
}

TEST_F(KeyTree, EveryChildOfAWideLevelIsRemovedOnce)
{
    for (int width : {19, 20, 21, 40, 45, 300}) {
        SCOPED_TRACE(width);
        for (int i = 0; i < width; i++)
            sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{W}\\" + Child(i) + "\\InprocServer32");
        Remove("{W}");
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{W}"));
        for (int i = 0; i < width; i++) {
            const std::string path = "HKCR\\CLSID\\{W}\\" + Child(i);
            ASSERT_EQ(Count("RegOpenKeyExA " + path + " (link)"), 1u) << path;
            ASSERT_EQ(Count("NtDeleteKey " + path), 1u) << path;
        }
        EXPECT_THAT(Texts(), IsEmpty());
        // Enumeration stays linear: each child once, plus one closing call per batch.
        EXPECT_LE(CallsOf("RegEnumKeyExA HKCR\\CLSID\\{W} ").size(), 0u + width + width / 20 + 1);
    }
}

TEST_F(KeyTree, ChildThatStaysIsNeverCollectedAgain)
{
    // A child that cannot be removed (e.g. a name the ANSI functions cannot
    // spell): opening and deleting it fail, it stays, and the parent's
    // deletion is then refused like any key that still has subkeys.
    std::vector<std::set<int>> cases = {{0}, {19}, {20}, {44}, {3, 21, 40}, {}};
    for (int i = 0; i < 25; i++)
        cases.back().insert(i * 2);  // more stay than one batch holds
    for (const std::set<int> &stuck : cases) {
        SCOPED_TRACE(::testing::PrintToString(stuck));
        sim::Reset();
        sim::CreateKey(HKEY_CURRENT_USER, ZoneKey);
        for (int i = 0; i < 50; i++) {
            auto key = sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i));
            if (stuck.count(i)) {
                key->openResult = ERROR_FILE_NOT_FOUND;
                key->deleteResult = ERROR_FILE_NOT_FOUND;
            }
        }
        EXPECT_EQ(RunProgram(), 1);
        for (int i = 0; i < 50; i++) {
            const std::string path = "HKCR\\" + ClassKey1 + "\\" + Child(i);
            ASSERT_EQ(Count("RegOpenKeyExA " + path + " (link)"), 1u) << path;
            ASSERT_EQ(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i)) != nullptr,
                      stuck.count(i) == 1)
                << path;
        }
        EXPECT_THAT(Texts(), ElementsAre(MsgNoRegistryRights, MsgUninstallFailed));
    }
}

// Another program deletes a child of the class key while the program is
// busy with an earlier sibling's subtree: inside the batch already collected,
// at its last slot, at the first slot of the next batch, and the child being
// removed itself.  None of it may cost a real sibling or the verdict.
TEST_F(KeyTree, ChildDeletedByAnotherProgramMeanwhileCountsAsGone)
{
    struct Case {
        int busy;    // the child whose subtree is being removed
        int victim;  // the child the other program deletes then
    };
    for (const Case c : {Case{0, 5}, Case{0, 19}, Case{3, 20}, Case{0, 24}, Case{7, 7}, Case{20, 22}}) {
        SCOPED_TRACE("deleted " + Child(c.victim) + " while removing below " + Child(c.busy));
        sim::Reset();
        InstallComponents();
        for (int i = 0; i < 25; i++)
            sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i) + "\\sub\\leaf");
        const std::string trigger = "NtDeleteKey HKCR\\" + ClassKey1 + "\\" + Child(c.busy) + "\\sub\\leaf";
        const std::string victim = ClassKey1 + "\\" + Child(c.victim);
        bool done = false;
        sim::machine().between = [&](const std::string &call) {
            if (call == trigger && !done) {
                sim::DeleteKey(HKEY_CLASSES_ROOT, victim);
                done = true;
            }
        };
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_TRUE(done);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2));
        for (const std::string &file : SystemFiles)
            EXPECT_FALSE(sim::Exists(file)) << file;
        for (int i = 0; i < 25; i++) {
            const std::string path = "HKCR\\" + ClassKey1 + "\\" + Child(i);
            // Collected before it vanished: one attempt; vanished before its
            // batch was collected: none.
            const size_t attempts = c.victim == i && c.victim / 20 > c.busy / 20 ? 0 : 1;
            EXPECT_EQ(Count("RegOpenKeyExA " + path + " (link)"), attempts) << path;
        }
        EXPECT_THAT(sim::machine().handles, IsEmpty());
    }
}

TEST_F(KeyTree, LongestNamesAreCollectedAndRemoved)
{
    std::string gbk255;  // 255 two-byte characters: 510 bytes in code page 936
    for (int i = 0; i < 255; i++)
        gbk255 += "\xb0\xa1";
    std::string utf8_255;  // 255 three-byte characters, as with UTF-8 for the ANSI code page
    for (int i = 0; i < 255; i++)
        utf8_255 += "\xe4\xb8\x80";
    const std::vector<std::string> names = {std::string(99, 'a'), std::string(100, 'b'),
                                            std::string(255, 'c'), gbk255, utf8_255};
    for (const std::string &name : names)
        sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{L}\\" + name + "\\" + name);
    sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{L}\\short");
    Remove("{L}");
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{L}"));
    EXPECT_EQ(sim::machine().deletedKeys.size(), 2 * names.size() + 2);
    EXPECT_THAT(Texts(), IsEmpty());
}

TEST_F(KeyTree, WideLevelOfLongestNamesIsRemovedOnce)
{
    // Long names fill the child list after a few: many short batches.
    std::vector<std::string> names;
    for (int i = 0; i < 45; i++) {
        std::string name = Child(i);
        name += std::string(765 - name.size(), i % 2 ? 'x' : '\xe4');
        names.push_back(name);
        sim::CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{L}\\" + name + "\\leaf");
    }
    Remove("{L}");
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, "CLSID\\{L}"));
    for (const std::string &name : names)
        ASSERT_EQ(Count("NtDeleteKey HKCR\\CLSID\\{L}\\" + name), 1u);
    EXPECT_THAT(Texts(), IsEmpty());
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
    ASSERT_EQ(sim::machine().deletedKeys.size(), 512u);
    EXPECT_EQ(sim::machine().deletedKeys.front(), "HKCR\\" + path);
    EXPECT_EQ(sim::machine().deletedKeys.back(), "HKCR\\CLSID\\{D}");
}

// Full access refused while the right to delete is granted: a key without
// subkeys goes as a delete by name would take it; one that keeps subkeys is
// refused, and that is a refusal for lack of rights.
TEST_F(KeyTree, KeyThatOpensOnlyForDeletion)
{
    InstallComponents();
    sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\ProgID")->deleteOnly = true;
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));

    sim::Reset();
    InstallComponents();
    sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32")->deleteOnly = true;
    sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32\\Sub");
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_THAT(Texts(), ElementsAre(MsgNoRegistryRights, MsgUninstallFailed));
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\InprocServer32\\Sub"));
    EXPECT_TRUE(sim::Exists(SystemFiles[0]));
}

// A link below a class key points somewhere outside the plan.  Whoever can
// write below the class key must not be able to steer the removal at other
// keys: the link goes, its target stays as it was.
TEST_F(KeyTree, LinksAreRemovedAsLinksAndTheirTargetsStay)
{
    struct Case {
        const char *what;
        std::string link;  // below HKCR
    };
    for (const Case &c : {Case{"link below a class key", ClassKey1 + "\\Link"},
                          Case{"link deeper down", ClassKey1 + "\\InprocServer32\\Deeper\\Link"},
                          Case{"class key that is itself a link", ClassKey2}}) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        InstallComponents();
        if (c.link == ClassKey2)
            sim::DeleteKey(HKEY_CLASSES_ROOT, ClassKey2);
        const std::string target = "Software\\SomeOtherKey";
        sim::SetValue(HKEY_CURRENT_USER, target, "kept", 1, "yes");
        sim::CreateKey(HKEY_CURRENT_USER, target + "\\Child\\Grandchild");
        sim::CreateKey(HKEY_CURRENT_USER, target + "\\Leaf");
        sim::CreateLink(HKEY_CLASSES_ROOT, c.link, HKEY_CURRENT_USER, target);
        const size_t userKeys = sim::CountKeys(HKEY_CURRENT_USER);

        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2));
        EXPECT_EQ(sim::CountKeys(HKEY_CURRENT_USER), userKeys);
        EXPECT_TRUE(sim::FindKey(HKEY_CURRENT_USER, target + "\\Child\\Grandchild"));
        EXPECT_TRUE(sim::GetValue(HKEY_CURRENT_USER, target, "kept"));
        for (const std::string &deleted : sim::machine().deletedKeys)
            EXPECT_EQ(deleted.compare(0, 5, "HKCR\\"), 0) << deleted;
        for (const std::string &file : SystemFiles)
            EXPECT_FALSE(sim::Exists(file)) << file;
    }
}

TEST_F(KeyTree, LinkToAMissingKeyIsRemoved)
{
    InstallComponents();
    sim::CreateLink(HKEY_CLASSES_ROOT, ClassKey1 + "\\Dangling", HKEY_CURRENT_USER, "Software\\Nowhere");
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
    EXPECT_FALSE(sim::FindKey(HKEY_CURRENT_USER, "Software\\Nowhere"));
}

// Another program (a second copy, the component's own uninstaller) deletes
// siblings while a batch of names is being collected: the indexes shift, the
// enumeration runs out before the level is empty.  Only an enumeration after
// the batch tells whether anything is left.
TEST_F(KeyTree, SiblingsDeletedWhileABatchIsCollectedDoNotEndTheLevel)
{
    for (int width : {12, 30}) {
        SCOPED_TRACE(width);
        sim::Reset();
        InstallComponents();
        for (int i = 0; i < width; i++)
            sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i) + "\\sub");
        const std::string trigger = "RegEnumKeyExA HKCR\\" + ClassKey1 + " #8";
        bool done = false;
        sim::machine().between = [&](const std::string &call) {
            if (call == trigger && !done) {
                done = true;
                for (int i = 0; i < 6; i++)
                    sim::DeleteKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i));
            }
        };
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_TRUE(done);
        EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
        for (const std::string &file : DpfFiles)
            EXPECT_FALSE(sim::Exists(file)) << file;
        // Never collected twice.
        for (int i = 6; i < width; i++) {
            const std::string path = "HKCR\\" + ClassKey1 + "\\" + Child(i);
            EXPECT_EQ(Count("RegOpenKeyExA " + path + " (link)"), 1u) << path;
        }
    }
}

// A key whose parent another program deletes while it is being emptied: the
// system answers ERROR_KEY_DELETED, and the key is gone like one not found.
// It must not count as a child that stayed, which would make the next batch
// start past a real sibling.
TEST_F(KeyTree, KeyDeletedByAnotherProgramWhileBeingEmptiedCountsAsGone)
{
    InstallComponents();
    const std::string parent = ClassKey1 + "\\AAA";
    sim::CreateKey(HKEY_CLASSES_ROOT, parent + "\\Busy\\leaf1");
    sim::CreateKey(HKEY_CLASSES_ROOT, parent + "\\Busy\\leaf2");
    // More siblings than one batch holds: the next batch must start right.
    for (int i = 0; i < 25; i++)
        sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1 + "\\" + Child(i) + "\\sub");
    bool done = false;
    sim::machine().between = [&](const std::string &call) {
        if (!done && call.find("HKCR\\" + parent + "\\Busy\\leaf1") != std::string::npos &&
            call.rfind("RegCloseKey", 0) == 0) {
            done = true;
            sim::DeleteKey(HKEY_CLASSES_ROOT, parent);
        }
    };
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(done);
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2));
}

TEST_F(KeyTree, FailedDeletionOtherThanRightsIsSilent)
{
    sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey1)->deleteResult = ERROR_KEY_DELETED;
    sim::CreateKey(HKEY_CLASSES_ROOT, ClassKey2);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
    EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey2));
    EXPECT_THAT(Texts(), ElementsAre(MsgUninstallSucceeded));
}

// The zone setting.

using Zone = Machine;

static const std::vector<std::string> ZoneLevels = {
    "Software", "Microsoft", "Windows", "CurrentVersion", "Internet Settings", "Zones", "3"};

TEST_F(Zone, MissingLevelFailsWithoutCreatingAnything)
{
    for (size_t missing = 0; missing < ZoneLevels.size(); missing++) {
        SCOPED_TRACE(ZoneLevels[missing]);
        sim::Reset();
        std::string existing;
        for (size_t i = 0; i < missing; i++)
            existing += (i ? "\\" : "") + ZoneLevels[i];
        if (!existing.empty())
            sim::CreateKey(HKEY_CURRENT_USER, existing + "\\Other");
        size_t keys = sim::CountKeys(HKEY_CURRENT_USER);

        EXPECT_FALSE(SetZonePolicy());
        EXPECT_EQ(sim::CountKeys(HKEY_CURRENT_USER), keys);
        EXPECT_THAT(CallsOf("RegSetValueExA"), IsEmpty());
        EXPECT_THAT(sim::machine().handles, IsEmpty());
        // Closed innermost first.
        std::vector<std::string> closes, expected;
        for (const std::string &call : CallsOf("RegCloseKey"))
            closes.push_back(call.substr(sizeof "RegCloseKey HKCU"));
        std::string path;
        for (size_t i = 0; i < missing; i++) {
            path += (i ? "\\" : "") + ZoneLevels[i];
            expected.insert(expected.begin(), path);
        }
        EXPECT_EQ(closes, expected);
    }
}

TEST_F(Zone, ValueBecomesDwordOneWhateverItWas)
{
    const std::vector<std::optional<std::string>> before = {
        std::nullopt, std::string("\0\0\0\0", 4), std::string("\3\0\0\0", 4), std::string("\1\0\0\0", 4),
        std::string("3")};
    for (const auto &value : before) {
        sim::Reset();
        sim::SetValue(HKEY_CURRENT_USER, ZoneKey, "1001", REG_DWORD, std::string("\0\0\0\0", 4));
        if (value)
            sim::SetValue(HKEY_CURRENT_USER, ZoneKey, "1004", value->size() == 4 ? REG_DWORD : 1, *value);
        EXPECT_TRUE(SetZonePolicy());
        std::optional<sim::Value> now = sim::GetValue(HKEY_CURRENT_USER, ZoneKey, "1004");
        ASSERT_TRUE(now);
        EXPECT_EQ(now->type, REG_DWORD);
        EXPECT_EQ(now->data, std::string("\1\0\0\0", 4));
        EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, "1001")->data, std::string("\0\0\0\0", 4));
        EXPECT_THAT(sim::machine().handles, IsEmpty());
        EXPECT_EQ(CallsOf("RegCloseKey").size(), 7u);
        EXPECT_EQ(CallsOf("RegCloseKey").front(), "RegCloseKey HKCU\\" + ZoneKey);
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
        {"zone key refused", [] { sim::FindKey(HKEY_CURRENT_USER, ZoneKey)->openResult = ERROR_ACCESS_DENIED; }},
        {"write refused", [] {
             sim::machine().fault = [](const std::string &op, const std::string &) -> DWORD {
                 return op == "RegSetValueExA" ? ERROR_ACCESS_DENIED : 0;
             };
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        InstallComponents();
        c.arrange();
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_THAT(Texts(), ElementsAre(MsgZonePolicyFailed, MsgUninstallSucceeded));
        EXPECT_FALSE(sim::FindKey(HKEY_CLASSES_ROOT, ClassKey1));
        EXPECT_FALSE(sim::Exists(DpfFiles[2]));
        EXPECT_NE(sim::GetValue(HKEY_CURRENT_USER, ZoneKey, "1004").value_or(sim::Value{}).data,
                  std::string("\1\0\0\0", 4));
    }
}
