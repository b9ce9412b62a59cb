// Copies of the program started while one is already at work: one at a
// time on the machine, each with its own pass and its own true verdict.
#include "machine.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace t;

namespace {

class Copies : public Machine {
public:
    // The name every copy, in any session, waits on.
    static std::string TurnName()
    {
        for (const auto &mutex : sim::machine().mutexes)
            return mutex.first;
        return "";
    }
    // Index of the first call that starts with prefix.  A call that never
    // came fails the test: an order is only shown between calls that happen.
    static size_t First(const std::string &prefix)
    {
        const std::vector<std::string> &calls = sim::machine().calls;
        for (size_t i = 0; i < calls.size(); i++)
            if (calls[i].rfind(prefix, 0) == 0)
                return i;
        ADD_FAILURE() << prefix << " was never called";
        return calls.size();
    }
    void TearDown() override
    {
        EXPECT_THAT(sim::machine().mutexHandles, IsEmpty());
        // A run that ends normally gives its turn back itself; the system's
        // clean-up at the end of the process is for a run cut short.
        for (const auto &mutex : sim::machine().mutexes)
            EXPECT_FALSE(mutex.second.abandonedByProgram) << mutex.first << " left for the system to give back";
        Machine::TearDown();
    }
};

}  // namespace

TEST_F(Copies, AloneTheProgramTakesItsTurnAndGivesItBack)
{
    InstallComponents();
    EXPECT_EQ(RunProgram(), 0);
    ExpectWholeRemoval();
    // Global: a copy in another session (a second administrator on a
    // terminal server) waits too.
    EXPECT_EQ(TurnName().rfind("Global\\", 0), 0u) << TurnName();
    EXPECT_EQ(sim::machine().waited, 0u);
    // Given back only after the final box.
    EXPECT_LT(First("MessageBoxA"), First("ReleaseMutex"));
}

TEST_F(Copies, SecondCopyWaitsForTheFirstThenMakesItsOwnPass)
{
    InstallComponents();
    sim::Run();  // takes the name, so that the test knows it
    const std::string name = TurnName();
    ASSERT_FALSE(name.empty());
    for (bool abandoned : {false, true}) {
        SCOPED_TRACE(abandoned ? "the first copy was killed" : "the first copy ended");
        Fresh();
        InstallComponents();
        sim::Mutex &first = sim::machine().mutexes[name];
        first.heldByOther = true;
        first.releasedAfter = 7000;
        first.abandoned = abandoned;
        EXPECT_EQ(RunProgram(), 0);
        ExpectWholeRemoval();
        EXPECT_EQ(sim::machine().waited, 7000u);
        // Nothing touched before the turn came: not even the zone value.
        EXPECT_LT(First("WaitForSingleObject"), First("RegOpenKeyExA"));
        EXPECT_LT(First("WaitForSingleObject"), First("MessageBoxA"));
    }
}

// Another program may hold the name on purpose, or a first copy may wait on
// a user who went for lunch: after a minute the program runs all the same,
// silently, as the removal copes with others at work.
TEST_F(Copies, HolderThatNeverLetsGoDelaysTheRunByAMinuteOnly)
{
    InstallComponents();
    sim::Run();
    const std::string name = TurnName();
    Fresh();
    InstallComponents();
    sim::machine().mutexes[name].heldByOther = true;
    EXPECT_EQ(RunProgram(), 0);
    ExpectWholeRemoval();
    EXPECT_EQ(sim::machine().waited, 60000u);
    EXPECT_THAT(CallsOf("ReleaseMutex"), IsEmpty()) << "released a mutex it never owned";
}

// A copy run by another user made the name with security that lets this one
// neither open it nor wait on it: look again until it is gone, within the
// same minute.
TEST_F(Copies, NameThatCannotBeOpenedIsTriedAgainWithinTheMinute)
{
    for (int refusals : {3, Always}) {
        SCOPED_TRACE(refusals);
        Fresh();
        InstallComponents();
        FailCall("CreateMutexA", AnySubject, ERROR_ACCESS_DENIED, refusals);
        EXPECT_EQ(RunProgram(), 0);
        ExpectWholeRemoval();
        EXPECT_LE(sim::machine().waited, 60000u);
        if (refusals != Always) {
            EXPECT_EQ(CallsOf("CreateMutexA").size(), (size_t)refusals + 1);
            EXPECT_THAT(CallsOf("ReleaseMutex"), ElementsAre("ReleaseMutex " + TurnName()));
        } else {
            EXPECT_GE(sim::machine().waited, 59000u);
        }
    }
}

TEST_F(Copies, NameTheSystemWillNotCreateLeavesTheRunAsItWas)
{
    InstallComponents();
    FailCall("CreateMutexA", AnySubject, 1450 /* ERROR_NO_SYSTEM_RESOURCES */);
    EXPECT_EQ(RunProgram(), 0);
    ExpectWholeRemoval();
    EXPECT_EQ(CallsOf("CreateMutexA").size(), 1u);
    EXPECT_EQ(sim::machine().waited, 0u);
}
