#include <windows.h>

#include "win32_ports.h"

namespace tp {

namespace {
HKEY rootKey(RegRoot root) { return root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
}  // namespace

long Win32Registry::open(RegRoot root, const char* path, uint32_t access, RegKey* key) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExA(rootKey(root), path, 0, access, &h);
    *key = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(h) : 0;
    return rc;
}

long Win32Registry::create(RegRoot root, const char* path, uint32_t access, RegKey* key) {
    HKEY h = nullptr;
    char emptyClass[] = "";
    LONG rc =
        RegCreateKeyExA(rootKey(root), path, 0, emptyClass, REG_OPTION_NON_VOLATILE, access, nullptr, &h, nullptr);
    *key = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(h) : 0;
    return rc;
}

long Win32Registry::query(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) {
    DWORD t = 0;
    DWORD n = *size;
    LONG rc = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &t, data, &n);
    if (type) *type = t;
    *size = n;
    return rc;
}

long Win32Registry::set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) {
    return RegSetValueExA(reinterpret_cast<HKEY>(key), name, 0, type, data, size);
}

void Win32Registry::close(RegKey key) { RegCloseKey(reinterpret_cast<HKEY>(key)); }

}  // namespace tp
