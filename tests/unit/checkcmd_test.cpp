// docs/check.cmd, the support staff's look at a PC: a file every Windows
// reads alike, of this release, looking for exactly what the program
// removes.  (What it says on a machine: the end-to-end check_cmd_* scenarios.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/uninstall.h"

namespace {

std::string Project(const std::string &file)
{
    const std::string here = __FILE__;
    std::ifstream in(here.substr(0, here.rfind("/tests/")) + "/" + file, std::ios::binary);
    EXPECT_TRUE(in.good()) << file << " cannot be read";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The targets a line of check.cmd looks at, as "key HKCU {id}",
// "file %sys%\name", "folder %sys%\name" or "file %dpf%\name".
std::multiset<std::string> CheckedTargets()
{
    std::istringstream file(Project("docs/check.cmd"));
    const std::regex call(R"re(^call :(key|file|folder) "?([^"\r]*)"?\r?$)re");
    std::multiset<std::string> targets;
    std::smatch match;
    for (std::string line; std::getline(file, line);)
        if (std::regex_match(line, match, call))
            targets.insert(match[1].str() + " " + match[2].str());
    return targets;
}

std::multiset<std::string> PlannedTargets()
{
    std::multiset<std::string> targets;
    for (int i = 0; i < RemovalPlanSize; i++) {
        const PlanStep &step = RemovalPlan[i];
        switch (step.kind) {
        case ClassKey:
            for (int s = 0; s < ClassStoreCount; s++)
                targets.insert(std::string("key ") + (ClassStores[s].root == HKEY_CURRENT_USER ? "HKCU " : "HKLM ") +
                               step.target);
            break;
        case SystemFile:
            targets.insert(std::string("file %sys%") + step.target);
            break;
        case SystemFolder:
            targets.insert(std::string("folder %sys%") + step.target);
            break;
        case DownloadedProgramFile:
            targets.insert(std::string("file %dpf%") + step.target);
            break;
        }
    }
    return targets;
}

TEST(CheckCmd, LooksForExactlyWhatTheProgramRemoves)
{
    EXPECT_EQ(CheckedTargets(), PlannedTargets());
}

// cmd.exe misreads labels in a file with bare LFs; only ASCII shows alike in
// every console code page; the header names the release in VERSION.
TEST(CheckCmd, ReadsAlikeEverywhereAndNamesThisRelease)
{
    const std::string text = Project("docs/check.cmd");
    std::string version = Project("VERSION");
    version.erase(version.find_last_not_of("\r\n") + 1);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "the last line has no line end";
    int line = 1;
    for (size_t i = 0; i < text.size(); i++) {
        const unsigned char c = (unsigned char)text[i];
        EXPECT_TRUE(c == '\t' || c == '\r' || c == '\n' || (c >= ' ' && c <= '~')) << "not ASCII at line " << line;
        if (c == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "line " << line << " does not end in CR LF";
            line++;
        }
    }
    EXPECT_NE(text.find("set \"version=" + version + "\"\r\n"), std::string::npos) << "not of version " << version;
}

}  // namespace
