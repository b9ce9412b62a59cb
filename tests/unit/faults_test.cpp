// Every single failure a whole run can meet, one at a time.  For every call
// of the program that can fail, and for each answer a real Windows can give,
// the program runs with that one call failing; the machine afterwards must
// bear out what the program said.
#include <algorithm>
#include <set>

#include "machine.h"

using namespace t;

namespace {

struct Answer {
    const char *what;
    sim::Failure failure;
    bool gone;           // another program removed the subject just before: only for targets of the plan
    const char *onlyBy;  // the one call that gives it, if only one does
};

const Answer Answers[] = {
    {"not found", ERROR_FILE_NOT_FOUND, true, nullptr},
    {"path not found", ERROR_PATH_NOT_FOUND, true, nullptr},
    {"access denied", ERROR_ACCESS_DENIED, false, nullptr},
    {"sharing violation", ERROR_SHARING_VIOLATION, false, nullptr},
    {"key deleted", ERROR_KEY_DELETED, true, nullptr},
    {"STATUS_CANNOT_DELETE", sim::SubkeysLeft(), false, "NtDeleteKey"},
    {"no system resources", ERROR_NO_SYSTEM_RESOURCES, false, nullptr},
    {"the shell's Skip", sim::ShellSkip(), false, "SHFileOperationA"},
    {"the shell's progress window cancelled", sim::ShellAborted(), false, "SHFileOperationA"},
};

// Whether a key path or a file path is a target of the plan or inside one.
bool InPlan(const std::string &subject)
{
    for (const std::string &target : Targets())
        if (subject.compare(0, target.size(), target) == 0 &&
            (subject.size() == target.size() || subject[target.size()] == '\\'))
            return true;
    return false;
}

void RemoveSubject(const std::string &subject)
{
    if (subject.rfind("HK", 0) != 0)
        return sim::Remove(subject);
    sim::DeleteKey(RootOf(subject), subject.substr(5));
}

// Another program puts a target of the plan back.
void PutBack(const std::string &target)
{
    if (target.rfind("HK", 0) == 0)
        sim::CreateKey(RootOf(target), target.substr(5) + "\\InprocServer32");
    else if (target == Folder)
        sim::AddFile(Folder + "\\readme.txt");
    else
        sim::AddFile(target);
}

// Everything on the machine outside the plan: keys with their values, files
// with their marks.  The zone value is the run's to set.
std::set<std::string> Outside()
{
    std::set<std::string> seen;
    std::function<void(const sim::Key &)> walk = [&](const sim::Key &key) {
        if (InPlan(key.path))
            return;
        seen.insert(key.path);
        for (const auto &value : key.values)
            if (key.path != "HKCU\\" + ZoneKey || value.second.first != plan::ZoneValue)
                seen.insert(key.path + " " + value.second.first + "=" + value.second.second.data);
        for (const auto &child : key.children)
            walk(*child.second);
    };
    walk(*sim::machine().currentUser);
    walk(*sim::machine().localMachine);
    for (const auto &file : sim::machine().files)
        if (!InPlan(file.second.path))
            seen.insert(file.second.path + (file.second.readOnly ? " (read-only)" : ""));
    return seen;
}

// Everything installed, in both class stores, one plan file read-only.  The
// user answers Yes to the first in-use question and No to any after it.
void Prepare()
{
    sim::Reset();
    InstallComponents();
    InstallPerUser();
    sim::FindFile(DpfFiles[1])->readOnly = true;
    sim::machine().unscripted = [asked = 0]() mutable { return asked++ ? IDNO : IDYES; };
}

}  // namespace

TEST(Faults, EverySingleFailureEndsWithTheTruth)
{
    // The calls that can fail, in order: a run is the same up to the one that fails.
    Prepare();
    std::vector<sim::Call> points;
    sim::machine().fault = [&](const sim::Call &call) { return points.push_back(call), sim::Failure(); };
    ASSERT_EQ(sim::Run(), 0);
    ASSERT_THAT(Left(), IsEmpty());
    ASSERT_GT(points.size(), 50u);

    size_t runs = 0;
    for (size_t point = 0; point < points.size(); point++) {
        const sim::Call &failed = points[point];
        for (const Answer &answer : Answers) {
            if ((answer.onlyBy && failed.op != answer.onlyBy) || (answer.gone && !InPlan(failed.subject)))
                continue;
            SCOPED_TRACE(std::string(answer.what) + " from " + failed.op + " " + failed.subject);
            Prepare();
            const std::set<std::string> before = Outside();
            size_t seen = 0;
            sim::machine().fault = [&](const sim::Call &call) {
                if (seen++ != point)
                    return sim::Failure();
                EXPECT_EQ(call.op + " " + call.subject, failed.op + " " + failed.subject);
                if (answer.gone)
                    RemoveSubject(call.subject);
                return answer.failure;
            };
            const int exitCode = sim::Run();
            runs++;
            const std::vector<std::string> texts = Texts();
            ASSERT_FALSE(texts.empty());
            const bool succeeded = texts.back() == MsgUninstallSucceeded;
            EXPECT_TRUE(succeeded || texts.back() == MsgUninstallFailed) << texts.back();
            if (succeeded) {
                EXPECT_THAT(Left(), IsEmpty()) << "said 卸载成功！";
            }
            const bool noRights = std::count(texts.begin(), texts.end(), std::string(MsgNoRegistryRights)) != 0;
            EXPECT_EQ(exitCode, noRights ? 1 : 0);
            if (noRights) {
                EXPECT_TRUE(failed.op == "NtOpenKey" && answer.failure.code == ERROR_ACCESS_DENIED)
                    << "no-rights boxes, but the system refused no open";
            }
            EXPECT_EQ(Outside(), before) << "changed something outside the plan";
            ExpectSoundRun();
        }
    }
    EXPECT_GT(runs, 4 * points.size());
    sim::Reset();
}

// A target removed early may come back while the run goes on: a component
// that repairs itself, a control the browser downloads again while a
// question waits.  For every target, another program puts it back right
// after the program removed it, or later, just before the run's last look
// (its first look at a class key): the run must not say 卸载成功！, and the
// target is still there at the end (the plan is walked once).
TEST(Faults, TargetThatComesBackIsSeen)
{
    Prepare();
    const std::vector<std::string> targets = Left();
    ASSERT_EQ(targets.size(), 12u);
    for (const std::string &target : targets) for (bool late : {false, true}) {
        SCOPED_TRACE(target + (late ? ", before the last look" : ", right after its removal"));
        Prepare();
        bool back = false;
        sim::machine().between = [&](const std::string &call) {
            const std::vector<std::string> left = Left();
            if (late && (call.rfind("RegOpenKeyExA", 0) != 0 || call.find("(link)") == std::string::npos))
                return;
            if (!back && std::count(left.begin(), left.end(), target) == 0) {
                back = true;
                PutBack(target);
            }
        };
        EXPECT_EQ(sim::Run(), 0);
        EXPECT_TRUE(back) << "never removed";
        EXPECT_EQ(Texts().back(), MsgUninstallFailed);
        EXPECT_THAT(Left(), ::testing::Contains(target));
        ExpectSoundRun();
    }
    sim::Reset();
}
