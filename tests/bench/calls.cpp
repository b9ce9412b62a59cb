// Counts the registry calls key tree removal makes per key removed, on the
// simulated registry, for trees of growing size: the count must stay flat.
// Every key is deleted through its own handle (NtDeleteKey).
#include <cstdio>
#include <map>
#include <string>

#include "registry/registry.h"
#include "tests/plan.h"
#include "tests/sim/simulation.h"

namespace {

int Build(const std::string &path, int fanout, int depth)
{
    int made = 0;
    for (int i = 0; i < fanout && depth > 0; i++) {
        std::string child = path + "\\K" + std::to_string(i);
        sim::SetValue(HKEY_CLASSES_ROOT, child, "V", REG_DWORD, std::string("\1\0\0\0", 4));
        made += 1 + Build(child, fanout, depth - 1);
    }
    return made;
}

void Measure(const char *shape, int fanout, int depth, bool chain)
{
    sim::Reset();
    const std::string root = std::string("CLSID\\") + plan::ClassKeys[0];
    sim::SetValue(HKEY_CLASSES_ROOT, root, "V", REG_DWORD, std::string("\1\0\0\0", 4));
    int keys = 1;
    if (chain) {
        std::string path = root;
        for (int i = 1; i < depth; i++, keys++)
            path += "\\L";
        sim::CreateKey(HKEY_CLASSES_ROOT, path);
    } else {
        keys += Build(root, fanout, depth);
    }
    HKEY classes;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", 0, KEY_QUERY_VALUE, &classes);
    sim::machine().calls.clear();
    DeleteKeyTree(classes, plan::ClassKeys[0]);
    // All registry calls: RtlNtStatusToDosError, which only translates a result, is not recorded.
    const int total = (int)sim::machine().calls.size();
    std::map<std::string, int> byOp;
    for (const std::string &call : sim::machine().calls)
        byOp[call.substr(0, call.find(' '))]++;
    RegCloseKey(classes);
    std::printf("%-28s %7d %8d %9.2f", shape, keys, total, (double)total / keys);
    for (const char *op : {"NtOpenKey", "RegQueryInfoKeyW", "RegEnumKeyExW", "RegCloseKey", "NtDeleteKey"})
        std::printf(" %7.2f", (double)byOp[op] / keys);
    std::printf("\n");
    if (sim::FindKey(HKEY_CLASSES_ROOT, root))
        std::printf("  the tree was not removed\n");
}

}  // namespace

int main()
{
    std::printf("%-28s %7s %8s %9s %7s %7s %7s %7s %7s\n", "shape", "keys", "calls", "per key", "open", "count",
                "enum", "close", "delete");
    Measure("fan-out 10, depth 1", 10, 1, false);
    Measure("fan-out 10, depth 2", 10, 2, false);
    Measure("fan-out 10, depth 3", 10, 3, false);
    Measure("fan-out 10, depth 4", 10, 4, false);
    Measure("chain of 512 levels", 0, 512, true);
    Measure("one level of 2000 subkeys", 2000, 1, false);
    return 0;
}
