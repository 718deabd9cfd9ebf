// The prefix the harness made: what every other scenario relies on.
// Argument: the code page this run must see (932 under --lang ja).
#include <cstdlib>

#include "settings.h"
#include "tpt.h"

namespace {

int CALLBACK countFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    ++*reinterpret_cast<int*>(found);
    return 1;
}

bool fontInstalled(const wchar_t* face) {
    HDC dc = GetDC(nullptr);
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    int found = 0;
    EnumFontFamiliesExW(dc, &lf, countFont, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found > 0;
}

}  // namespace

int main(int argc, char** argv) {
    const UINT expectedAcp = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 1252;

    tpt::group("locale");
    TPT_CHECK_EQ(GetACP(), expectedAcp);

    tpt::group("installed programs");
    for (const char* file : {"Tapapi.dll", "Tapport.exe"})
        TPT_CHECK_MSG(GetFileAttributesA(tpt::installPath(file).c_str()) != INVALID_FILE_ATTRIBUTES, file);
    char programFiles[MAX_PATH] = {};
    TPT_CHECK(GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH) > 0);
    TPT_CHECK_EQ(std::string(programFiles), std::string("C:\\Program Files"));

    tpt::group("the simulated panel as an auto-start kernel service");
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\tpsim";
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_LOCAL_MACHINE, service, "Type"), std::optional<uint32_t>(1));
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_LOCAL_MACHINE, service, "Start"), std::optional<uint32_t>(2));
    tpt::Sim sim;
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, tp::req::kGetSpinTop, nullptr, 0, nullptr, 0).opened);

    tpt::group("start state after the reset");
    TPT_CHECK(tpt::reg::keyExists(HKEY_LOCAL_MACHINE, tp::key::kPanelParams));
    TPT_CHECK(!tpt::reg::keyExists(HKEY_LOCAL_MACHINE, tp::key::kMultiParams));
    TPT_CHECK(!tpt::reg::keyExists(HKEY_CURRENT_USER, tp::key::kUser));
    TPT_CHECK_EQ(sim.state()[tpsim::st::kPendingEventCount], 0u);

    tpt::group("one virtual desktop, fonts");
    TPT_CHECK_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    TPT_CHECK_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    TPT_CHECK(fontInstalled(L"Tahoma"));
    TPT_CHECK(fontInstalled(L"IPAPGothic"));
    // "ＭＳ Ｐゴシック", the face the Japanese dialogs ask for.
    const wchar_t msPGothic[] = {0xFF2D, 0xFF33, 0x20, 0xFF30, 0x30B4, 0x30B7, 0x30C3, 0x30AF, 0};
    wchar_t replacement[64] = {};
    DWORD size = sizeof replacement - sizeof(wchar_t);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, msPGothic, nullptr, nullptr, reinterpret_cast<BYTE*>(replacement), &size);
        RegCloseKey(key);
    }
    TPT_CHECK(lstrcmpW(replacement, L"IPAPGothic") == 0);
    return tpt::finish();
}
