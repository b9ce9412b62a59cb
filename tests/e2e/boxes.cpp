// Message boxes: the program's texts, reading a box, and the one loop that runs the program and answers its boxes.
#include "driver.h"

#include <stdio.h>

namespace e2e {

// The texts as a Chinese user reads them: the driver's own copy, never the
// program's, so a wrong text in the program fails.
const Message Messages[] = {
    {"MsgZonePolicyFailed", L"\u4fee\u6539IE\u5b89\u5168\u9009\u9879\u5931\u8d25\uff01",  // 修改IE安全选项失败！
     "changing the IE security option failed"},
    {"MsgUninstallSucceeded", L"\u5378\u8f7d\u6210\u529f\uff01", "uninstall succeeded"},  // 卸载成功！
    {"MsgUninstallFailed", L"\u5378\u8f7d\u5931\u8d25\uff01", "uninstall failed"},        // 卸载失败！
    {"MsgNoRegistryRights",  // 您没有操作注册表的权限，请切换用户！
     L"\u60a8\u6ca1\u6709\u64cd\u4f5c\u6ce8\u518c\u8868\u7684\u6743\u9650\uff0c\u8bf7\u5207\u6362\u7528\u6237\uff01",
     "you have no right to work on the registry, please switch user"},
    {"MsgFileInUse",  // 文件正在被使用，请关闭浏览器后点击“是” 。是否重试？
     L"\u6587\u4ef6\u6b63\u5728\u88ab\u4f7f\u7528\uff0c\u8bf7\u5173\u95ed\u6d4f\u89c8\u5668\u540e"
     L"\u70b9\u51fb\u201c\u662f\u201d \u3002\u662f\u5426\u91cd\u8bd5\uff1f",
     "the file is in use; close the browser, then click Yes; retry?"},
};
const wchar_t *const Caption = L"\u7cfb\u7edf\u63d0\u793a ";  // 系统提示 + blank

// One of the texts in English, or "".
static std::string Gloss(const std::wstring &text)
{
    for (const Message &message : Messages)
        if (text == message.text)
            return message.gloss;
    return text == SystemText(3) ? "the system cannot find the path specified" : "";
}

// The first visible dialog box of the process, in the order of the windows on the screen.
HWND BoxOf(DWORD pid)
{
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

static bool HasButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

// The box process pid shows now, read once it has laid itself out.
static bool ShownBox(DWORD pid, Box &box)
{
    const double looked = Seconds();
    HWND window = BoxOf(pid);
    if (!window)
        return false;
    Sleep(Scaled(50));
    wchar_t caption[4096], text[4096] = L"";
    GetWindowTextW(window, caption, 4096);
    GetDlgItemTextW(window, 0xFFFF, text, 4096);
    box = {window, caption, text, HasButton(window, IDOK), HasButton(window, IDCANCEL), HasButton(window, IDYES),
           HasButton(window, IDNO), GetWindow(window, GW_OWNER), looked, 0};
    return true;
}

std::string Buttons(const Box &box)
{
    return std::string(box.ok ? "[OK]" : "") + (box.cancel ? "[Cancel]" : "") + (box.yes ? "[Yes]" : "") +
           (box.no ? "[No]" : "");
}

static const char *ButtonName(int id)
{
    return id == IDOK ? "OK" : id == IDCANCEL ? "Cancel" : id == IDYES ? "Yes" : id == IDNO ? "No" : "?";
}

// Starts `program` with `arguments` after its quoted name, its standard
// output and error into `output` when one is given (inherited).
static bool StartProgram(const std::wstring &program, const std::wstring &arguments, PROCESS_INFORMATION &process,
                         HANDLE output = nullptr)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
        startup.hStdInput = CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    }
    std::wstring commandLine = L"\"" + program + L"\"" + arguments;
    const bool started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, output != nullptr, 0,
                                        nullptr, nullptr, &startup, &process);
    if (!started)
        Fail("cannot start " + Utf8(program) + ", error " + std::to_string(GetLastError()));
    if (output)
        CloseHandle(startup.hStdInput);
    return started;
}

bool Capture(const std::wstring &program, const std::wstring &arguments, DWORD limit, std::string &output,
             DWORD &exitCode)
{
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"e2e", 0, file);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY,
                             nullptr);
    PROCESS_INFORMATION process;
    bool ended = false;
    exitCode = 99;
    if (out != INVALID_HANDLE_VALUE && StartProgram(program, arguments, process, out)) {
        ended = WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0;
        if (!ended)
            TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    output = ReadBytes(file);
    DeleteFileW(file);
    return ended;
}

Program underTest{"", 0, {}, 0};
std::wstring programPath;

bool Run(Program &program, const std::wstring &path, DWORD limit, const std::function<int(const Box &)> &answer,
         const std::function<void(HANDLE)> &started)
{
    program.boxes.clear();
    program.exitCode = 0;
    PROCESS_INFORMATION process;
    if (!StartProgram(path, L" /ignored-argument", process))
        return false;
    program.pid = process.dwProcessId;
    const std::string label = program.label ? program.label : "";
    // The transcript's lines, unless the run is timed.
    auto say = [&program](const char *format, auto... arguments) {
        if (program.label) {
            printf(format, program.label, arguments...);
            fflush(stdout);
        }
    };
    say("  %sstarted at %.3f s\n", Seconds());
    if (started)
        started(process.hProcess);
    const DWORD start = GetTickCount();
    bool timedOut = false;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        Box box;
        if ((timedOut = GetTickCount() - start > limit))
            break;
        if (!ShownBox(process.dwProcessId, box))
            continue;
        const std::string gloss = Gloss(box.text);
        say("  %sbox %s %s%s %s%s at %.3f s\n", Show(box.caption).c_str(), Show(box.text).c_str(),
               gloss.empty() ? "" : (" (" + gloss + ")").c_str(), Buttons(box).c_str(), box.owner ? " (owned)" : "",
               box.appeared);
        const int button = answer(box);
        box.answered = Seconds();
        program.boxes.push_back(box);
        if (!button) {
            say("    %swaiting for you to answer it on the screen\n");
            while (IsWindow(box.window) && WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT)
                ;
            continue;
        }
        say("    %sanswered %s at %.3f s\n", ButtonName(button), box.answered);
        PostMessageW(box.window, WM_COMMAND, button, 0);
        for (DWORD waited = GetTickCount(); IsWindow(box.window) && GetTickCount() - waited < Scaled(10000);)
            Sleep(10);
        if (IsWindow(box.window)) {
            Fail(label + "the box did not close when answered");
            break;
        }
    }
    if (timedOut || WaitForSingleObject(process.hProcess, Scaled(10000)) == WAIT_TIMEOUT) {
        Fail(label + "the program did not end within its time");
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    program.pid = 0;
    GetExitCodeProcess(process.hProcess, &program.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    say("  %sexit code %lu\n", program.exitCode);
    return true;
}

}  // namespace e2e
