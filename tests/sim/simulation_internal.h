// What the parts of the simulated machine share: its state, the handle counter and the call records.
#ifndef UNINSTALL_SIMULATION_INTERNAL_H
#define UNINSTALL_SIMULATION_INTERNAL_H

#include <string>

#include "tests/sim/simulation.h"

namespace sim {

// Names as the registry and the file system compare them.
std::string Upper(const std::string &s);

namespace detail {

extern Machine state;

// A handle the system has not given out yet, for a registry key or a mutex.
uintptr_t NewHandle();

// Records a misuse of an operation.
void Violation(const std::string &what);
// What the fault hook makes of this call; empty when it goes through.
Failure Fault(const std::string &op, const std::string &subject);
// Records a call, then lets another program act (Machine::between).
void Record(const std::string &op, const std::string &subject);

}  // namespace detail
}  // namespace sim

#endif
