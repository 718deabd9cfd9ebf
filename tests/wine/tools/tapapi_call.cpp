// Calls Tapapi.dll's functions named on the command line and prints what
// they returned: GetSpinTop, SetSpinTop=V, GetUSBTPEnable=T, SetUSBTPEnable=T,V.
// It finds the DLL as a client of the suite does, in the install folder under
// its own Program Files folder: a 32-bit client on 64-bit Windows gets
// Program Files (x86) there, where the x64 package puts the 32-bit DLL.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    char programFiles[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE)) {
        std::fprintf(stderr, "tapapi_call: no Program Files folder\n");
        return 1;
    }
    const std::string dll = std::string(programFiles) + "\\QTX\\PNL\\USBPNL\\Tapapi.dll";
    HMODULE lib = LoadLibraryA(dll.c_str());
    if (!lib) {
        std::fprintf(stderr, "tapapi_call: cannot load %s (error %lu)\n", dll.c_str(), GetLastError());
        return 1;
    }
    using GetSpinTopFn = int(__cdecl*)();
    using SetSpinTopFn = int(__cdecl*)(int);
    using EnableFn = int(WINAPI*)(int, int*);
    auto getSpinTop = reinterpret_cast<GetSpinTopFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetSpinTop")));
    auto setSpinTop = reinterpret_cast<SetSpinTopFn>(reinterpret_cast<void*>(GetProcAddress(lib, "SetSpinTop")));
    auto getEnable = reinterpret_cast<EnableFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetUSBTPEnable")));
    auto setEnable = reinterpret_cast<EnableFn>(reinterpret_cast<void*>(GetProcAddress(lib, "SetUSBTPEnable")));
    if (!getSpinTop || !setSpinTop || !getEnable || !setEnable) {
        std::fprintf(stderr, "tapapi_call: an export is missing\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* eq = std::strchr(arg, '=');
        const std::string name = eq ? std::string(arg, eq) : std::string(arg);
        int a = eq ? std::atoi(eq + 1) : 0;
        const char* comma = eq ? std::strchr(eq + 1, ',') : nullptr;
        int b = comma ? std::atoi(comma + 1) : 0;
        if (name == "GetSpinTop") {
            std::printf("GetSpinTop() = %d\n", getSpinTop());
        } else if (name == "SetSpinTop") {
            std::printf("SetSpinTop(%d) = %d\n", a, setSpinTop(a));
        } else if (name == "GetUSBTPEnable") {
            int enabled = -1;
            const int r = getEnable(a, &enabled);
            std::printf("GetUSBTPEnable(%d) = %d, enabled %d\n", a, r, enabled);
        } else if (name == "SetUSBTPEnable") {
            std::printf("SetUSBTPEnable(%d, %d) = %d\n", a, b, setEnable(a, &b));
        } else {
            std::fprintf(stderr, "tapapi_call: unknown call %s\n", arg);
            return 2;
        }
    }
    return 0;
}
