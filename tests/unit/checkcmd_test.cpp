// docs/check.cmd, the support staff's look at a PC, looks for exactly what
// the program removes: the targets it names against the removal plan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "app/uninstall.h"

namespace {

// The targets a line of check.cmd looks at, as "key HKCU {id}",
// "file %sys%\name", "folder %sys%\name" or "file %dpf%\name".
std::multiset<std::string> CheckedTargets()
{
    std::string path = __FILE__;
    std::ifstream file(path.substr(0, path.rfind("/tests/")) + "/docs/check.cmd");
    EXPECT_TRUE(file.good()) << "docs/check.cmd cannot be read";
    const std::regex call(R"(^call :(key|file|folder) "?([^"\r]*)"?\r?$)");
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

}  // namespace
