// Message boxes: finding the program's boxes, reading and glossing them, and pictures of them.
#include "driver.h"

#include <wchar.h>

namespace e2e {

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    Finder *finder = (Finder *)param;
    wchar_t cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == finder->pid && GetClassNameW(window, cls, 64) && wcscmp(cls, L"#32770") == 0 &&
        IsWindowVisible(window)) {
        finder->found = window;
        return FALSE;
    }
    return TRUE;
}

bool ShownBox(DWORD pid, Box &box)
{
    Finder finder{pid, nullptr};
    EnumWindows(FindBox, (LPARAM)&finder);
    if (!finder.found)
        return false;
    Sleep(Scaled(50));  // let the box finish laying itself out
    box = ReadBox(finder.found);
    return true;
}

static bool HasButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

Box ReadBox(HWND window)
{
    Box box{window, L"", L"", false, false, false, false, nullptr};
    wchar_t text[4096];
    GetWindowTextW(window, text, 4096);
    box.caption = text;
    text[0] = 0;
    GetDlgItemTextW(window, 0xFFFF, text, 4096);
    box.text = text;
    box.ok = HasButton(window, IDOK);
    box.cancel = HasButton(window, IDCANCEL);
    box.yes = HasButton(window, IDYES);
    box.no = HasButton(window, IDNO);
    box.owner = GetWindow(window, GW_OWNER);
    return box;
}

std::string Buttons(const Box &box)
{
    std::string s;
    if (box.ok)
        s += "[OK]";
    if (box.cancel)
        s += "[Cancel]";
    if (box.yes)
        s += "[Yes]";
    if (box.no)
        s += "[No]";
    return s;
}

const char *ButtonName(int id)
{
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
    }
    return "?";
}

std::string Gloss(const std::wstring &text)
{
    if (text == ZoneFailed)
        return "changing the IE security option failed";
    if (text == Succeeded)
        return "uninstall succeeded";
    if (text == Failed)
        return "uninstall failed";
    if (text == NoRights)
        return "you have no right to work on the registry, please switch user";
    if (text == InUse)
        return "the file is in use; close the browser, then click Yes; retry?";
    if (text == SystemText(3))
        return "the system cannot find the path specified";
    return "";
}

// Saves a picture of a window as a 24-bit BMP.
void SaveWindow(HWND window, const std::wstring &path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), (BITMAPINFO *)&info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + (DWORD)pixels.size();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("cannot write the picture " + Utf8(path));
        return;
    }
    DWORD written;
    WriteFile(file, &header, sizeof header, &written, nullptr);
    WriteFile(file, &info, sizeof info, &written, nullptr);
    WriteFile(file, pixels.data(), (DWORD)pixels.size(), &written, nullptr);
    CloseHandle(file);
}

}  // namespace e2e
