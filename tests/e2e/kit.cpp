// The test kit for a real Windows: every scenario that applies there (or
// those named), each in a copy of the driver of its own, one line each, a
// report beside the kit, and the machine left as it was found; 0 when
// everything passed.
#include "driver.h"

#include <stdio.h>

#include <algorithm>

extern "C" NTSTATUS NTAPI RtlGetVersion(OSVERSIONINFOW *version);

namespace e2e {

// An administrator whose rights are in force (elevated): the kit installs into the system folders and
// the machine's registry, and makes keys owned by SYSTEM.
bool Elevated()
{
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}

static std::string RegistryText(const wchar_t *name)
{
    wchar_t value[256] = L"";  // a DWORD read into it fills its first two units
    DWORD size = sizeof value - sizeof(wchar_t), type;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return "";
    std::string text;
    if (RegQueryValueExW(key, name, nullptr, &type, (BYTE *)value, &size) == ERROR_SUCCESS)
        text = type == REG_DWORD ? std::to_string(value[0] | (DWORD)value[1] << 16) : Utf8(value);
    RegCloseKey(key);
    return text;
}

// The Windows, as a support engineer names it.
static std::string WindowsDescription()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    RtlGetVersion(&version);  // GetVersionEx gives what the program's manifest asks for
    std::string text = RegistryText(L"ProductName") + " " + RegistryText(L"DisplayVersion") + ", version " +
                       std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) +
                       ", build " + std::to_string(version.dwBuildNumber);
    const std::string update = RegistryText(L"UBR");
    if (!update.empty())
        text += "." + update;
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    const bool bits64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                        system.wProcessorArchitecture == 12;  // PROCESSOR_ARCHITECTURE_ARM64
    text += std::string(bits64 ? (Wow64() ? ", 64-bit, the 32-bit program under WoW64" : ", 64-bit") : ", 32-bit") +
            ", ANSI code page " + std::to_string(GetACP());
    typedef const char *(CDECL * WineVersion)();
    auto wine = reinterpret_cast<WineVersion>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    if (wine)
        text += std::string(", Wine ") + wine();
    return text;
}

// ---------------------------------------------------------------- what the kit saves and gives back

// Windows' own Downloaded Program Files, set aside while the scenarios
// make their own; the zone key "3", whose values the scenarios set.
static const std::wstring DpfAside = Dpf() + L".kit-aside";

struct Saved {
    bool dpf = false, zones = false, zone3 = false, userClasses = false;
    std::vector<Value> zoneValues;
};

static Saved SaveMachine()
{
    Saved saved;
    saved.zones = KeyExists(HKEY_CURRENT_USER, Zones());
    saved.zone3 = KeyExists(HKEY_CURRENT_USER, W(plan::ZoneKey));
    saved.userClasses = KeyExists(HKEY_CURRENT_USER, ClassPath(""));
    HKEY key;
    if (saved.zone3 && RegOpenKeyExW(HKEY_CURRENT_USER, W(plan::ZoneKey).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        saved.zoneValues = Values(key);
        RegCloseKey(key);
    }
    if (GetFileAttributesW(Dpf().c_str()) != INVALID_FILE_ATTRIBUTES) {
        RemovePath(DpfAside);
        saved.dpf = MoveFileW(Dpf().c_str(), DpfAside.c_str()) != 0;
        if (!saved.dpf)
            Fail("cannot set Windows' own Downloaded Program Files aside, error " + std::to_string(GetLastError()));
    }
    return saved;
}

// Removes everything the scenarios put on the machine and gives back what
// the kit set aside.
static void GiveBackMachine(const Saved &saved)
{
    Clean();
    if (!saved.userClasses)
        RegDeleteKeyW(HKEY_CURRENT_USER, ClassPath("").c_str());  // only while empty
    if (saved.dpf && !MoveFileW(DpfAside.c_str(), Dpf().c_str()))
        Fail("cannot put Windows' own Downloaded Program Files back from " + Utf8(DpfAside) + ", error " +
             std::to_string(GetLastError()));
    DeleteTree(HKEY_CURRENT_USER, saved.zones ? W(plan::ZoneKey) : Zones());
    if (saved.zone3) {
        HKEY key = CreateKey(HKEY_CURRENT_USER, W(plan::ZoneKey));
        for (const Value &value : saved.zoneValues)
            RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(), (DWORD)value.data.size());
        RegCloseKey(key);
    }
}

// ---------------------------------------------------------------- the run

// Runs one scenario in a copy of this driver, its output into `transcript`.
static bool RunCopy(const std::string &name, const std::wstring &program, std::string &transcript)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring arguments = L" run " + std::wstring(name.begin(), name.end()) + L" \"" + program + L"\"";
    DWORD code;
    if (!Capture(self, arguments, Scaled(300000), transcript, code))
        transcript += "the scenario did not end within five minutes\n";
    return code == 0 && transcript.find("PASSED: " + name) != std::string::npos;
}

int Kit(const std::wstring &program, const std::wstring &reportPath, const std::vector<std::string> &only)
{
    if (!Elevated()) {
        printf("The kit needs administrator rights: right-click run-tests.cmd and choose \"Run as administrator\".\n");
        return 2;
    }
    if (GetACP() != 936) {
        printf("The ANSI code page is %u, not 936: the program's Chinese texts cannot be checked.\n"
               "Set Control Panel > Region > Administrative > Language for non-Unicode programs to\n"
               "Chinese (Simplified, China), restart Windows, and run the kit again.\n",
               GetACP());
        return 2;
    }
    // What the kit installs must not be there yet: it would not be given
    // back as it was.
    const State found = Snapshot();
    std::string already;
    for (const std::wstring &entry : found) {
        bool dpf = Under(entry, File(Dpf()));
        for (int i = 0; i < 3; i++)
            dpf = dpf && !Under(entry, File(DpfPath(i)));
        if (!Under(entry, L"reg HKCU\\" + Zones()) && !dpf)
            already += "  " + Utf8(entry) + "\n";
    }
    if (!already.empty()) {
        printf("This machine already has what the kit installs; the kit is for a machine without the\n"
               "components (a fresh virtual machine):\n%s", already.c_str());
        return 2;
    }
    FILE *report = _wfopen(reportPath.c_str(), L"wb");
    if (!report) {
        printf("cannot write the report %s\n", Utf8(reportPath).c_str());
        return 2;
    }
    const std::string windows = WindowsDescription();
    fprintf(report, "uninstall.exe test kit\r\nWindows: %s\r\nprogram: %s\r\n\r\n", windows.c_str(),
            Utf8(program).c_str());
    printf("%s\n", windows.c_str());

    const Saved saved = SaveMachine();
    int passed = 0, failed = 0, skipped = 0;
    std::string lines;
    // A scenario's line: on the screen, in the summary, and with its transcript in the report.
    auto record = [&](const char *verdict, const std::string &name, const std::string &detail,
                      const std::string &transcript) {
        const std::string line = std::string(verdict) + " " + name + (detail.empty() ? "" : ": " + detail);
        (verdict[0] == 'P' ? passed : verdict[0] == 'F' ? failed : skipped)++;
        printf("%s\n", line.c_str());
        fflush(stdout);
        lines += line + "\r\n";
        fprintf(report, "==== %s\r\n%s\r\n", line.c_str(), transcript.c_str());
        fflush(report);
    };
    for (const Scenario &s : Scenarios()) {
        const std::string name = s.name;
        if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end())
            continue;
        if (name.compare(0, 6, "wow64_") == 0 && !Wow64()) {
            record("NOT RUN", name, "only for the 32-bit program on 64-bit Windows", "");
            continue;
        }
        const DWORD start = GetTickCount();
        std::string transcript;
        const bool ok = RunCopy(name, program, transcript);
        record(ok ? "PASSED" : "FAILED", name, std::to_string((GetTickCount() - start) / 1000) + " s", transcript);
    }

    // The machine as the kit found it.
    failures = 0;
    GiveBackMachine(saved);
    const State now = Snapshot();
    std::string left;
    for (const std::wstring &entry : now)
        if (!found.count(entry))
            left += "  left behind: " + Utf8(entry) + "\r\n";
    for (const std::wstring &entry : found)
        if (!now.count(entry))
            left += "  gone or changed: " + Utf8(entry) + "\r\n";
    const bool asFound = left.empty() && failures == 0;
    record(asFound ? "PASSED" : "FAILED", "machine_left_as_found", "", left);
    printf("%s", asFound ? "" : left.c_str());

    char summary[96];
    snprintf(summary, sizeof summary, "%d passed, %d failed, %d skipped", passed, failed, skipped);
    fprintf(report, "==== summary\r\n%s%s\r\n", lines.c_str(), summary);
    fclose(report);
    printf("%s\n", summary);
    return failed ? 1 : 0;
}

}  // namespace e2e
