// Tapcfg.exe: the Win32 side of the ports and the entry point. Texts come
// from the string table of the system code page's language; what goes to a
// console window is written as wide characters, what is redirected in the
// ANSI code page, so a saved report opens right in Notepad on that system.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "tapcfg.h"
#include "text.h"
#include "win32_ports.h"

using namespace tp;
using namespace tp::cfg;

namespace {

class Win32Host : public HostPort {
public:
    Win32Host()
        : lang_(GetACP() == 932 ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {}

    // Looked up in the chosen language, never by the loader's locale order.
    std::wstring text(int id) override {
        HMODULE module = GetModuleHandleW(nullptr);
        HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                      MAKEINTRESOURCEW((static_cast<unsigned>(id) >> 4) + 1), lang_);
        if (!found) return L"";
        const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
        if (!p) return L"";
        const WCHAR* end = p + SizeofResource(module, found) / sizeof(WCHAR);
        for (int i = 0; i < (id & 15) && p < end; ++i) p += 1 + *p;
        if (p >= end) return L"";
        size_t n = *p++;
        if (p + n > end) n = static_cast<size_t>(end - p);
        return std::wstring(p, n);
    }

    void write(Stream stream, const std::wstring& text) override {
        HANDLE h = GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
        if (!h || h == INVALID_HANDLE_VALUE) return;
        std::wstring crlf;
        for (wchar_t c : text) {
            if (c == L'\n') crlf += L'\r';
            crlf += c;
        }
        DWORD mode = 0, done = 0;
        if (GetConsoleMode(h, &mode)) {
            WriteConsoleW(h, crlf.data(), static_cast<DWORD>(crlf.size()), &done, nullptr);
            return;
        }
        const int size =
            WideCharToMultiByte(CP_ACP, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, nullptr, nullptr);
        if (size <= 0) return;
        std::string bytes(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_ACP, 0, crlf.data(), static_cast<int>(crlf.size()), bytes.data(), size, nullptr,
                            nullptr);
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    }

    bool readFile(const std::wstring& path, size_t maxBytes, std::string* bytes) override {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return false;
        DWORD high = 0;
        const DWORD size = GetFileSize(f, &high);
        bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= maxBytes;
        if (ok) {
            bytes->assign(size, '\0');
            DWORD read = 0;
            ok = size == 0 || (ReadFile(f, bytes->data(), size, &read, nullptr) && read == size);
        }
        CloseHandle(f);
        return ok;
    }

    bool writeFile(const std::wstring& path, const std::string& bytes) override {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return false;
        DWORD done = 0;
        const bool ok =
            WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
        return CloseHandle(f) && ok;
    }

    uint32_t codePage() override { return GetACP(); }

    std::wstring ansiToWide(const std::string& text) override {
        const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (n <= 0) return L"";
        std::wstring wide(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
        return wide;
    }

    std::wstring windowsVersion() override {
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
        if (!GetVersionExW(&v)) return L"?";
        std::wstring text = decimalText(v.dwMajorVersion) + L"." + decimalText(v.dwMinorVersion) + L"." +
                            decimalText(v.dwBuildNumber);
        if (v.szCSDVersion[0]) text += std::wstring(L" ") + v.szCSDVersion;
        return text;
    }

    std::wstring installFolder() override {
        wchar_t folder[MAX_PATH] = {};
        if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) return L"";
        return std::wstring(folder) + L"\\QTX\\PNL\\USBPNL";
    }

    FileFacts fileFacts(const std::wstring& path) override {
        FileFacts facts;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return facts;
        facts.present = true;
        facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        if (!size) return facts;
        std::vector<uint8_t> info(size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        wchar_t root[] = L"\\";
        if (GetFileVersionInfoW(path.c_str(), 0, size, info.data()) &&
            VerQueryValueW(info.data(), root, reinterpret_cast<void**>(&fixed), &fixedSize) && fixed &&
            fixedSize >= sizeof *fixed)
            facts.version = decimalText(HIWORD(fixed->dwFileVersionMS)) + L"." +
                            decimalText(LOWORD(fixed->dwFileVersionMS)) + L"." +
                            decimalText(HIWORD(fixed->dwFileVersionLS)) + L"." +
                            decimalText(LOWORD(fixed->dwFileVersionLS));
        return facts;
    }

private:
    LANGID lang_;
};

}  // namespace

int main() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i) args.emplace_back(argv[i]);
    if (argv) LocalFree(argv);

    Win32Registry registry;
    Win32Driver driver;
    Win32Sleep sleeper;
    Win32AgentLink agent;
    Win32Host host;
    return run(CfgPorts{registry, driver, sleeper, agent, host}, args);
}
