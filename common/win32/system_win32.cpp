#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "win32_ports.h"

namespace tp {

void Win32Sleep::sleep(uint32_t ms) { Sleep(ms); }

bool installPath(const char* tail, char (&out)[260]) {
    std::memset(out, 0, sizeof out);
    if (!SHGetSpecialFolderPathA(nullptr, out, CSIDL_PROGRAM_FILES, FALSE)) {
        out[0] = '\0';
        return false;
    }
    const size_t have = std::strlen(out);
    const size_t add = std::strlen(tail);
    if (have + add >= sizeof out) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out + have, tail, add + 1);
    return true;
}

}  // namespace tp
