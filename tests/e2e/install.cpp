// Installation: the product's components as its installer leaves them, and their 64-bit twins.
#include "driver.h"

namespace e2e {

// The class registration of an ActiveX control, as its installer leaves it,
// at `key` below `root` in the registry view `view`.
static void InstallClass(HKEY root, const std::wstring &key, const wchar_t *library, REGSAM view = 0)
{
    SetString(root, key, nullptr, L"Demo Control", view);
    SetString(root, key + L"\\InprocServer32", nullptr, SystemDir() + L"\\" + library, view);
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

// In the machine's store, where an installer run as an administrator puts
// it: through HKEY_CLASSES_ROOT a new key may land in the user's store on
// Windows, once the user's store has a CLSID key.
void InstallClass(const std::wstring &id, const wchar_t *library)
{
    InstallClass(HKEY_LOCAL_MACHINE, ClassStore + id, library);
}

// The same classes registered for the current user as well, as an
// installer run without administrator rights leaves them, a level deeper
// than the machine's, and beside them a near-identical neighbour that is
// not ours.
void InstallUserClasses()
{
    const std::wstring store = ClassStore;
    InstallClass(HKEY_CURRENT_USER, store + ClassKey1, L"brevandel.dll");
    InstallClass(HKEY_CURRENT_USER, store + ClassKey2, L"soltane.dll");
    SetString(HKEY_CURRENT_USER, store + ClassKey1 + L"\\InprocServer32\\Per User\\Deeper", L"Installed",
              L"for this user only");
    SetDword(HKEY_CURRENT_USER, store + ClassKey2 + L"\\Per User", L"Level", 1);
    InstallClass(HKEY_CURRENT_USER, store + SiblingKey1, L"kept.dll");
}

// Under WoW64: the 64-bit components of the same names, which are not ours
// to remove.  Class keys with the same identifiers and subtrees (and a
// marker) in the 64-bit view; the four files and a folder with a read-only
// file in the real system32.
void InstallTwins()
{
    for (const wchar_t *id : {ClassKey1, ClassKey2}) {
        const std::wstring key = ClassStore + std::wstring(id);
        InstallClass(HKEY_LOCAL_MACHINE, key, L"twin64.dll", KEY_WOW64_64KEY);
        SetString(HKEY_LOCAL_MACHINE, key + L"\\Twin", L"Bits", L"64", KEY_WOW64_64KEY);
    }
    const std::wstring native = NativeSystemDir();
    for (const wchar_t *name : SystemFiles)
        PutText(native + L"\\" + name, (std::string("64-bit twin of ") + Utf8(name)).c_str());
    MakeFolder(native + L"\\pendrow");
    PutText(native + L"\\pendrow\\twin.txt", "64-bit twin", true);
    MakeFolder(native + L"\\pendrow\\sub");
    PutText(native + L"\\pendrow\\sub\\deep.txt", "64-bit twin, deeper");
}

static void RemoveTwins()
{
    HKEY classes;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                      &classes) == ERROR_SUCCESS) {
        for (const wchar_t *id : {ClassKey1, ClassKey2}) {
            RegDeleteTreeW(classes, id);
            RegDeleteKeyExW(classes, id, KEY_WOW64_64KEY, 0);
        }
        RegCloseKey(classes);
    }
    const std::wstring native = NativeSystemDir();
    for (const wchar_t *name : SystemFiles)
        RemovePath(native + L"\\" + name);
    RemovePath(native + L"\\pendrow");
}

// Removes whatever an earlier scenario left, then installs everything.
void Install()
{
    // A link left by an earlier scenario first: deleting the tree around it
    // would follow it.
    RemoveLink();
    // A scenario cut short may have left keys read-only: the CLSID keys
    // must take new classes, and the class keys must go.
    const std::wstring store = ClassStore;
    OpenToAll(HKEY_LOCAL_MACHINE, store.substr(0, store.size() - 1), false);
    OpenToAll(HKEY_CURRENT_USER, store.substr(0, store.size() - 1), false);
    for (const wchar_t *id : {ClassKey1, ClassKey2, SiblingKey1, SiblingKey2}) {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            if (TryDeleteTree(root, store + id) == ERROR_ACCESS_DENIED)
                OpenToAll(root, store + id, true);
            DeleteTree(root, store + id);
        }
    }
    if (Wow64())
        RemoveTwins();
    InstallClass(ClassKey1, L"brevandel.dll");
    InstallClass(ClassKey2, L"soltane.dll");
    InstallClass(SiblingKey1, L"kept.dll");
    SetString(HKEY_LOCAL_MACHINE, ClassStore + std::wstring(SiblingKey2), nullptr, L"Not ours");

    const std::wstring zone = std::wstring(ZonesPath) + L"\\3";
    SetString(HKEY_CURRENT_USER, zone, L"DisplayName", L"Internet");
    SetDword(HKEY_CURRENT_USER, zone, L"1001", 1);
    SetDword(HKEY_CURRENT_USER, zone, L"1004", 3);
    SetDword(HKEY_CURRENT_USER, zone, L"1200", 0);

    const std::wstring sys = SystemDir();
    for (const wchar_t *name : SystemFiles) {
        RemovePath(sys + L"\\" + name);
        PutLibrary(sys + L"\\" + name);
    }
    RemovePath(sys + L"\\brevandel.dll.old");
    PutText(sys + L"\\brevandel.dll.old", "neighbour");
    RemovePath(sys + L"\\pendrow2");
    MakeFolder(sys + L"\\pendrow2");
    PutText(sys + L"\\pendrow2\\keep.txt", "neighbour");

    RemovePath(Folder());
    MakeFolder(Folder());
    PutText(Folder() + L"\\pendrow.ini", "[pendrow]\r\n");
    MakeFolder(Folder() + L"\\cache");
    PutText(Folder() + L"\\cache\\a.dat", "a", true);
    MakeFolder(Folder() + L"\\cache\\deeper");
    PutText(Folder() + L"\\cache\\deeper\\b.dat", "b", true);
    MakeFolder(Folder() + L"\\empty");

    RemovePath(Dpf());
    MakeFolder(Dpf());
    for (const wchar_t *name : DpfFiles)
        PutLibrary(Dpf() + L"\\" + name);
    PutText(Dpf() + L"\\other.ocx", "another control");
    PutText(Dpf() + L"\\desktop.ini", "[.ShellClassInfo]\r\n");
}

}  // namespace e2e
