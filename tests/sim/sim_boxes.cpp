// Simulated message boxes, answered from the script, and the error texts they show.
#include "tests/sim/simulation_internal.h"

#include <cstdlib>
#include <cstring>

using namespace sim;
using namespace sim::detail;

extern "C" {

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    Record("MessageBoxA", lpText);
    Box box{hWnd, lpText, lpCaption, uType, IDOK};
    bool question = (uType & 0xF) == MB_YESNO;
    if (state.answered < state.answers.size()) {
        Answer &answer = state.answers[state.answered++];
        if (answer.before)
            answer.before();
        box.answer = answer.button;
        if ((answer.button == IDOK) == question)
            Violation("scripted answer does not match the box's buttons");
    } else if (question && state.unscripted) {
        box.answer = state.unscripted();
    } else if (question) {
        Violation("a question came that the script did not answer");
        box.answer = IDNO;
    }
    state.boxes.push_back(box);
    return box.answer;
}

DWORD WINAPI GetLastError(void)
{
    Record("GetLastError", "");
    return state.lastError;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, void *Arguments)
{
    Record("FormatMessageA", std::to_string(dwMessageId));
    if (dwFlags != 0x1300 || lpSource || dwLanguageId != 0x0400 || nSize != 0 || Arguments)
        Violation("FormatMessageA with other flags, source, language, size or arguments");
    auto it = state.errorTexts.find(dwMessageId);
    if (it == state.errorTexts.end() || Fault("FormatMessageA", std::to_string(dwMessageId)).code) {
        state.lastError = 317;  // ERROR_MR_MID_NOT_FOUND; the buffer is left alone
        return 0;
    }
    char *text = strdup(it->second.c_str());
    state.allocations.insert(text);
    *(char **)lpBuffer = text;
    return (DWORD)it->second.size();
}

HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    Record("LocalFree", "");
    if (state.allocations.erase(hMem) == 0) {
        Violation("LocalFree of memory that was never allocated");
        return hMem;
    }
    std::free(hMem);
    return nullptr;
}

}  // extern "C"
