// Tapcon's frame under Wine: caption and tabs in the language of the code
// page, one console at a time, the panel picture on the first page and the
// driver information page with its button.
//   wine_console_frame.exe en|ja [--shots DIR]
// "en" runs without the multi-monitor driver and with the usual buttons,
// "ja" (under LANG ja) with the driver key, the buttons swapped and a driver
// version in code page 932. With
// --shots the sheet's first and last pages are saved as DIR\tapcon_<lang>_first.bmp
// and _last.bmp.
#include <cstdio>
#include <cstring>

#include "console_ids.h"
#include "settings.h"
#include "sheet.h"

namespace {

using namespace consolewine;

constexpr char kVersion[] = "5.0.2 (build 17)";
// A Japanese installer writes the version in code page 932: 版4.21.7（2013）.
constexpr char kVersionJa[] =
    "\x94\xC5"
    "4.21.7\x81\x69"
    "2013\x81\x6A";
const std::wstring kVersionJaShown =
    L"\x7248"
    L"4.21.7\xFF08"
    L"2013\xFF09";

struct Expected {
    bool japanese;
    std::wstring caption;
    std::vector<std::wstring> tabs;
    POINT picture;  // where the page draws panel.bmp
};

const Expected kEnglish{false,
                        L"Touch Panel Settings",
                        {L"Touch Panel", L"Audible feedback set-up", L"Touch sensitivity set-up",
                         L"Right button simulation", L"Calibration", L"Driver Information"},
                        {5, 5}};
const Expected kJapanese{
    true,
    L"タッチパネルの設定",
    {L"タッチパネル", L"サウンド設定", L"クリック設定", L"左クリック設定", L"位置補正", L"マルチモニタ", L"デバイス"},
    {5, 50}};

std::string show(const std::vector<std::wstring>& v) {
    std::string s;
    for (const auto& t : v) s += (s.empty() ? "" : " | ") + narrow(t);
    return s;
}

// The installed panel.bmp (8 bits, bottom-up, as make_panel.py writes it) as 0x00RRGGBB.
bool loadPicture(Capture& out) {
    FILE* f = std::fopen(tpt::installPath("panel.bmp").c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> b(1 << 20);
    b.resize(std::fread(b.data(), 1, b.size(), f));
    std::fclose(f);
    auto u32 = [&](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    };
    if (b.size() < 1078 || b[28] != 8) return false;
    out.width = static_cast<int>(u32(18));
    out.height = static_cast<int>(u32(22));
    const size_t stride = (out.width + 3) & ~3, offBits = u32(10);
    if (offBits + stride * out.height > b.size()) return false;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const size_t entry = 54 + 4 * b[offBits + (out.height - 1 - y) * stride + x];
            out.pixels[static_cast<size_t>(y) * out.width + x] = b[entry] | b[entry + 1] << 8 | b[entry + 2] << 16;
        }
    return true;
}

bool close(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 8 || d < -8) return false;
    }
    return true;
}

// Every 16th pixel of the picture, compared with the page on the screen.
int pictureMismatches(HWND page, const Capture& picture, POINT at) {
    const Capture screen = captureWindow(page, true);
    int bad = 0;
    for (int y = 0; y < picture.height; y += 16)
        for (int x = 0; x < picture.width; x += 16) {
            const int sx = at.x + x, sy = at.y + y;
            if (sx >= screen.width || sy >= screen.height || !close(screen.at(sx, sy), picture.at(x, y))) ++bad;
        }
    return bad;
}

struct NotepadSearch {
    const char* name;
    bool found;
};

// A named CALLBACK, not a lambda: on x86 EnumWindows calls it stdcall.
BOOL CALLBACK findNotepad(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<NotepadSearch*>(p);
    char cls[64] = {}, title[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    if (_stricmp(cls, "Notepad") == 0 && IsWindowVisible(w) && std::strstr(title, s->name)) s->found = true;
    return TRUE;
}

bool notepadShows(const char* fileName) {
    NotepadSearch s{fileName, false};
    EnumWindows(findNotepad, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

void shoot(const Sheet& sheet, const std::string& dir, const char* lang, const char* which) {
    if (dir.empty()) return;
    const std::string path = dir + "\\tapcon_" + lang + "_" + which + ".bmp";
    // Wine paints a newly selected page a moment later: wait for two equal captures.
    Capture image = captureWindow(sheet.window, false);
    tpt::waitUntil(
        [&] {
            Sleep(300);
            Capture again = captureWindow(sheet.window, false);
            const bool still = again.pixels == image.pixels;
            image = std::move(again);
            return still;
        },
        5000, 0);
    TPT_CHECK_MSG(saveBmp(image, path), "screenshot " + path);
}

// The manifest as Tapcon.exe carries it.
std::string manifestOf(const std::string& program) {
    HMODULE file = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!file) return "";
    std::string text;
    if (HRSRC found = FindResourceW(file, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_MANIFEST)))
        if (const void* bytes = LockResource(LoadResource(file, found)))
            text.assign(static_cast<const char*>(bytes), SizeofResource(file, found));
    FreeLibrary(file);
    return text;
}

void checkManifest() {
    tpt::group("the manifest: system DPI aware, as invoker, common controls 6");
    const std::string manifest = manifestOf(tpt::installPath("Tapcon.exe"));
    TPT_CHECK_MSG(!manifest.empty(), "Tapcon.exe carries a manifest");
    const char* parts[] = {
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
        "<requestedExecutionLevel level=\"asInvoker\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
    };
    for (const char* part : parts) TPT_CHECK_MSG(manifest.find(part) != std::string::npos, part);
}

void run(const Expected& want, const std::string& shots) {
    const char* lang = want.japanese ? "ja" : "en";
    Sheet sheet;
    startConsole(sheet);

    tpt::group(std::string("caption and tabs (") + lang + ")");
    TPT_CHECK_MSG(sheet.window != nullptr, "the sheet appears");
    if (!sheet.window) return;
    TPT_CHECK_MSG(sheet.caption() == want.caption, "caption " + narrow(sheet.caption()));
    const auto tabs = sheet.tabTitles();
    TPT_CHECK_EQ(tabs.size(), want.tabs.size());
    TPT_CHECK_MSG(tabs == want.tabs, "tabs " + show(tabs));

    tpt::group("a second console exits at once without a window");
    const double started = tpt::nowMs();
    const tpt::RunResult second = tpt::runProgram("\"" + tpt::installPath("Tapcon.exe") + "\"", 10000);
    TPT_CHECK(second.started && second.finished);
    TPT_CHECK_EQ(second.exitCode, 0ul);
    TPT_CHECK_MSG(tpt::nowMs() - started < 5000.0 * tpt::slowFactor(), "ended within 5 s");
    TPT_CHECK_EQ(dialogsOf(GetProcessId(sheet.process)).size(), 1u);
    TPT_CHECK(IsWindowVisible(sheet.window));

    tpt::group("the panel picture is on the first page");
    HWND page = sheet.selectPage(0);
    TPT_CHECK(page != nullptr);
    Capture picture;
    TPT_CHECK_MSG(loadPicture(picture), "panel.bmp installed and readable");
    int mismatches = -1;
    if (page && picture.width > 0) {
        tpt::waitUntil([&] { return (mismatches = pictureMismatches(page, picture, want.picture)) == 0; }, 5000, 100);
        TPT_CHECK_MSG(mismatches == 0, std::to_string(mismatches) + " sampled pixels differ");
    }
    shoot(sheet, shots, lang, "first");

    tpt::group("the driver information page");
    page = sheet.selectPage(static_cast<int>(want.tabs.size()) - 1);
    TPT_CHECK(page != nullptr);
    if (!page) return;
    const std::wstring version =
        want.japanese ? kVersionJaShown : std::wstring(kVersion, kVersion + sizeof kVersion - 1);
    const std::wstring upper = windowText(GetDlgItem(page, IDC_INFO_UPPER));
    const std::wstring lower = windowText(GetDlgItem(page, IDC_INFO_LOWER));
    TPT_CHECK_MSG(upper == (want.japanese ? L"Windows 8" : version), "upper line " + narrow(upper));
    TPT_CHECK_MSG(lower == (want.japanese ? version : L"Windows 8"), "lower line " + narrow(lower));
    shoot(sheet, shots, lang, "last");

    tpt::group("the file version button: the list read-only and in Notepad");
    const std::string notes = tpt::installPath("Drvnotes.txt");
    SetFileAttributesA(notes.c_str(), FILE_ATTRIBUTE_NORMAL);
    TPT_CHECK_EQ(GetFileAttributesA(notes.c_str()) & FILE_ATTRIBUTE_READONLY, 0ul);
    SendMessageW(GetDlgItem(page, IDC_INFO_FILES), BM_CLICK, 0, 0);
    TPT_CHECK_MSG(tpt::waitUntil([&] { return notepadShows("Drvnotes"); }, 15000, 50),
                  "a Notepad window shows Drvnotes.txt");
    TPT_CHECK(tpt::isRunning("notepad.exe"));
    const DWORD attributes = GetFileAttributesA(notes.c_str());
    TPT_CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
    TPT_CHECK(tpt::killPrograms({"notepad.exe"}, 5000));
    SetFileAttributesA(notes.c_str(), FILE_ATTRIBUTE_NORMAL);

    tpt::group("Cancel ends the console");
    TPT_CHECK(sheet.close());
}

}  // namespace

int main(int argc, char** argv) {
    const bool japanese = argc > 1 && std::strcmp(argv[1], "ja") == 0;
    std::string shots;
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--shots") == 0) shots = argv[i + 1];

    tpt::group("set-up");
    TPT_CHECK_EQ(GetACP(), japanese ? 932u : 1252u);
    TPT_CHECK(
        tpt::reg::setString(HKEY_LOCAL_MACHINE, tp::key::kPanelParams, "Version", japanese ? kVersionJa : kVersion));
    checkManifest();
    if (japanese) {
        TPT_CHECK(tpt::reg::createKey(HKEY_LOCAL_MACHINE, tp::key::kMultiParams));
        TPT_CHECK(SystemParametersInfoW(SPI_SETMOUSEBUTTONSWAP, TRUE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE));
    }
    run(japanese ? kJapanese : kEnglish, shots);
    // Other scenarios expect the usual buttons.
    if (japanese) SystemParametersInfoW(SPI_SETMOUSEBUTTONSWAP, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    tpt::killPrograms({"notepad.exe"}, 5000);
    return tpt::finish();
}
