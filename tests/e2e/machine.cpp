// The machine: the product's components as their installer leaves them,
// their 64-bit twins, and the one clean-up that takes all of it away again.
#include "driver.h"

namespace e2e {

// The class registration of an ActiveX control, as its installer leaves it,
// at `key` below `root` in the registry view `view`.
static void InstallClass(HKEY root, const std::wstring &key, const std::wstring &library, REGSAM view = 0)
{
    SetString(root, key, nullptr, L"Demo Control", view);
    SetString(root, key + L"\\InprocServer32", nullptr, library, view);
    SetString(root, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment", view);
    SetString(root, key + L"\\ProgID", nullptr, L"Demo.Control.1", view);
    SetString(root, key + L"\\Version", nullptr, L"1.0", view);
    SetString(root, key + L"\\TypeLib", nullptr, L"{0F6B4A28-52A4-4C5B-9F6D-1E2D3C4B5A69}", view);
    SetString(root, key + L"\\Control", nullptr, L"", view);
    SetString(root, key + L"\\MiscStatus", nullptr, L"0", view);
    SetString(root, key + L"\\MiscStatus\\1", nullptr, L"131473", view);
    RegCloseKey(CreateKey(root, key + L"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", view));
    RegCloseKey(CreateKey(root, key + L"\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}", view));
}

// The first class is served by the first system file, the second by the last.
static std::wstring Library(int i)
{
    return i == 0 ? SysPath(0) : SysPath(3);
}

// In the machine's store, where an installer run as an administrator puts
// it: through HKEY_CLASSES_ROOT a new key may land in the user's store on
// Windows, once the user's store has a CLSID key.
void InstallClass(int i)
{
    InstallClass(HKEY_LOCAL_MACHINE, ClassPath(plan::ClassKeys[i]), Library(i));
}

// The same classes registered for the current user as well, as an
// installer run without administrator rights leaves them, a level deeper
// than the machine's, and beside them a near-identical neighbour that is
// not ours.
void InstallUserClasses()
{
    for (int i : {0, 1})
        InstallClass(HKEY_CURRENT_USER, ClassPath(plan::ClassKeys[i]), Library(i));
    SetString(HKEY_CURRENT_USER, ClassPath(plan::ClassKeys[0]) + L"\\InprocServer32\\Per User\\Deeper",
              L"Installed", L"for this user only");
    SetDword(HKEY_CURRENT_USER, ClassPath(plan::ClassKeys[1]) + L"\\Per User", L"Level", 1);
    InstallClass(HKEY_CURRENT_USER, ClassPath(plan::SiblingKeys[0]), SystemDir() + L"\\kept.dll");
}

// Under WoW64: class keys with the same identifiers and subtrees (and a
// marker) in the 64-bit view; the four files and a folder with a read-only
// file in the real system32.
void InstallTwins()
{
    for (const char *id : plan::ClassKeys) {
        InstallClass(HKEY_LOCAL_MACHINE, ClassPath(id), SystemDir() + L"\\twin64.dll", KEY_WOW64_64KEY);
        SetString(HKEY_LOCAL_MACHINE, ClassPath(id) + L"\\Twin", L"Bits", L"64", KEY_WOW64_64KEY);
    }
    const std::wstring native = NativeSystemDir() + L"\\";
    for (const char *name : plan::SystemFiles)
        PutText(native + W(name), (std::string("64-bit twin of ") + name).c_str());
    MakeFolder(native + W(plan::Folder));
    PutText(native + W(plan::Folder) + L"\\twin.txt", "64-bit twin", true);
    MakeFolder(native + W(plan::Folder) + L"\\sub");
    PutText(native + W(plan::Folder) + L"\\sub\\deep.txt", "64-bit twin, deeper");
}

void Clean()
{
    // A link first: deleting the tree around it would follow it.
    RemoveLink();
    DeleteTree(HKEY_LOCAL_MACHINE, LinkTarget);
    // Keys a run cut short left read-only: the CLSID keys must take new
    // classes, the class keys must go, the zone key must take values.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        OpenToAll(root, ClassPath(""), false);
    OpenToAll(HKEY_CURRENT_USER, W(plan::ZoneKey), false);
    for (const auto *ids : {plan::ClassKeys, plan::SiblingKeys})
        for (int i : {0, 1})
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                if (TryDeleteTree(root, ClassPath(ids[i])) == ERROR_ACCESS_DENIED)
                    OpenToAll(root, ClassPath(ids[i]), true);
                DeleteTree(root, ClassPath(ids[i]));
            }
    if (Wow64()) {
        HKEY classes;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ClassPath("").c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                          &classes) == ERROR_SUCCESS) {
            for (const char *id : plan::ClassKeys) {
                RegDeleteTreeW(classes, W(id).c_str());
                RegDeleteKeyExW(classes, W(id).c_str(), KEY_WOW64_64KEY, 0);
            }
            RegCloseKey(classes);
        }
    }
    for (const std::wstring &path : WatchedPaths())
        RemovePath(path);
}

void Install()
{
    Clean();
    InstallClass(0);
    InstallClass(1);
    InstallClass(HKEY_LOCAL_MACHINE, ClassPath(plan::SiblingKeys[0]), SystemDir() + L"\\kept.dll");
    SetString(HKEY_LOCAL_MACHINE, ClassPath(plan::SiblingKeys[1]), nullptr, L"Not ours");

    const std::wstring zone = W(plan::ZoneKey);
    SetString(HKEY_CURRENT_USER, zone, L"DisplayName", L"Internet");
    SetDword(HKEY_CURRENT_USER, zone, L"1001", 1);
    SetDword(HKEY_CURRENT_USER, zone, W(plan::ZoneValue).c_str(), 3);
    SetDword(HKEY_CURRENT_USER, zone, L"1200", 0);

    for (int i = 0; i < 4; i++)
        PutLibrary(SysPath(i));
    PutText(SysPath(0) + L".old", "neighbour");
    MakeFolder(Folder() + L"2");
    PutText(Folder() + L"2\\keep.txt", "neighbour");

    MakeFolder(Folder());
    PutText(Folder() + L"\\pendrow.ini", "[pendrow]\r\n");
    MakeFolder(Folder() + L"\\cache");
    PutText(Folder() + L"\\cache\\a.dat", "a", true);
    MakeFolder(Folder() + L"\\cache\\deeper");
    PutText(Folder() + L"\\cache\\deeper\\b.dat", "b", true);
    MakeFolder(Folder() + L"\\empty");

    MakeFolder(Dpf());
    for (int i = 0; i < 3; i++)
        PutLibrary(DpfPath(i));
    PutText(Dpf() + L"\\other.ocx", "another control");
    PutText(Dpf() + L"\\desktop.ini", "[.ShellClassInfo]\r\n");
}

}  // namespace e2e
