// The simulated machine itself: its state, a fresh start and the records every operation keeps.
#include "tests/sim/simulation_internal.h"

#include <cstdlib>

namespace sim {

namespace detail {

Machine state;
static uintptr_t nextHandle = 0x1000;
// How many calls of each operation on each subject have consulted the hook.
static std::map<std::string, int> occurrences;

uintptr_t NewHandle()
{
    nextHandle += 4;
    return nextHandle - 4;
}

void Violation(const std::string &what)
{
    state.violations.push_back(what);
}

Failure Fault(const std::string &op, const std::string &subject)
{
    const int occurrence = occurrences[op + " " + subject]++;
    return state.fault ? state.fault(Call{op, subject, occurrence}) : Failure();
}

void Record(const std::string &op, const std::string &subject)
{
    state.calls.push_back(subject.empty() ? op : op + " " + subject);
    if (state.between) {
        // A copy: the hook may replace itself.
        std::function<void(const std::string &)> between = state.between;
        between(state.calls.back());
    }
}

}  // namespace detail

using namespace detail;

std::string Upper(const std::string &s)
{
    std::string out = s;
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return out;
}

Machine &machine()
{
    return state;
}

void Reset()
{
    for (void *p : state.allocations)
        std::free(p);
    state = Machine();
    occurrences.clear();
    state.currentUser = std::make_shared<Key>();
    state.currentUser->path = "HKCU";
    state.localMachine = std::make_shared<Key>();
    state.localMachine->path = "HKLM";
    // What every Windows has: the machine's class store with its CLSID.
    CreateKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID");
    state.errorTexts = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_SHARING_VIOLATION,
         "The process cannot access the file because it is being used by another process.\r\n"},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
    };
    AddFolder(state.systemDirectory);
    AddFolder(state.windowsDirectory + "\\Downloaded Program Files");
}

}  // namespace sim
