// Copies of the program started while one is already at work: one at a
// time on the machine, each with its own pass and its own true verdict.
#include "machine.h"

using namespace t;

using Copies = Machine;

namespace {

// Index of the first call that starts with prefix.  A call that never came
// fails the test: an order is only shown between calls that happen.
size_t First(const std::string &prefix)
{
    const std::vector<std::string> &calls = sim::machine().calls;
    for (size_t i = 0; i < calls.size(); i++)
        if (calls[i].rfind(prefix, 0) == 0)
            return i;
    ADD_FAILURE() << prefix << " was never called";
    return calls.size();
}

}  // namespace

// No other copy: the turn is the program's at once.  A first copy holds the
// turn: it ends, or is killed, after 7 s; or another program holds the name
// on purpose, or a first copy waits on a user who went for lunch: after a
// minute the program runs all the same, silently, as the removal copes with
// others at work.
TEST_F(Copies, SecondCopyWaitsForTheFirstThenMakesItsOwnPass)
{
    InstallComponents();
    sim::Run();  // takes the name every copy waits on, so that the test knows it
    ASSERT_EQ(sim::machine().mutexes.size(), 1u);
    const std::string name = sim::machine().mutexes.begin()->first;
    // Global: a copy in another session (a second administrator on a
    // terminal server) waits too.
    ASSERT_EQ(name.rfind("Global\\", 0), 0u) << name;
    struct Case {
        const char *what;
        DWORD releasedAfter;
        bool abandoned;
        DWORD waited;
    };
    for (const Case &c : {Case{"no other copy", 0, false, 0}, Case{"the first copy ends", 7000, false, 7000},
                          Case{"the first copy is killed", 7000, true, 7000},
                          Case{"a holder that never lets go", INFINITE, false, 60000}}) {
        SCOPED_TRACE(c.what);
        FreshInstalled();
        if (c.releasedAfter)
            sim::machine().mutexes[name] = {true, c.releasedAfter, c.abandoned};
        EXPECT_EQ(RunProgram(), 0);
        ExpectWholeRemoval();
        EXPECT_EQ(sim::machine().waited, c.waited);
        // Nothing touched before the turn came: not even the zone value.
        EXPECT_LT(First("WaitForSingleObject"), First("RegOpenKeyExA"));
        EXPECT_LT(First("WaitForSingleObject"), First("MessageBoxA"));
        // A turn had is given back only after the final box.
        if (c.releasedAfter != INFINITE) {
            EXPECT_LT(First("MessageBoxA"), First("ReleaseMutex"));
        }
    }
}

// The name cannot be had.  A copy run by another user made it with security
// that lets this one neither open it nor wait on it: look again until it is
// gone, within the same minute.  The system will not make it at all: the run
// goes on at once.
TEST_F(Copies, NameThatCannotBeHad)
{
    struct Case {
        DWORD code;
        int times;
        size_t creates;  // tries; 0: more than one, as many as a minute allows
        DWORD minWait, maxWait;
    };
    const Case cases[] = {{ERROR_ACCESS_DENIED, 3, 4, 1, 60000},
                          {ERROR_ACCESS_DENIED, Always, 0, 59000, 60000},
                          {ERROR_NO_SYSTEM_RESOURCES, Always, 1, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + std::to_string(c.times));
        FreshInstalled();
        FailCall("CreateMutexA", AnySubject, c.code, c.times);
        EXPECT_EQ(RunProgram(), 0);
        ExpectWholeRemoval();
        EXPECT_GE(sim::machine().waited, c.minWait);
        EXPECT_LE(sim::machine().waited, c.maxWait);
        const size_t creates = CallsOf("CreateMutexA").size();
        EXPECT_TRUE(c.creates ? creates == c.creates : creates > 1) << creates << " tries";
        EXPECT_EQ(CallsOf("ReleaseMutex").size(), c.times == Always ? 0u : 1u) << "the turn had and given back";
    }
}
