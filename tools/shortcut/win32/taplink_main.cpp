// Taplink.exe: no window, no message, exit code 0. The shell's link object
// behind ShellLinkPort; the interface pointers travel as ComObject values.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "shortcut.h"
#include "win32_ports.h"

namespace tp::shortcut {
namespace {

IShellLinkW* asLink(ComObject o) { return reinterpret_cast<IShellLinkW*>(o); }

class Win32ShellLink : public ShellLinkPort {
public:
    HResult coInitialize() override { return CoInitialize(nullptr); }
    void coUninitialize() override { CoUninitialize(); }
    HResult createShellLink(ComObject* link) override {
        void* object = nullptr;
        const HRESULT r = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, &object);
        *link = SUCCEEDED(r) ? reinterpret_cast<ComObject>(object) : 0;
        return r;
    }
    HResult queryPersistFile(ComObject link, ComObject* file) override {
        void* object = nullptr;
        const HRESULT r = asLink(link)->QueryInterface(IID_IPersistFile, &object);
        *file = SUCCEEDED(r) ? reinterpret_cast<ComObject>(object) : 0;
        return r;
    }
    HResult setPath(ComObject link, const wchar_t* path) override { return asLink(link)->SetPath(path); }
    HResult setDescription(ComObject link, const wchar_t* text) override { return asLink(link)->SetDescription(text); }
    HResult setArguments(ComObject link, const wchar_t* arguments) override {
        return asLink(link)->SetArguments(arguments);
    }
    HResult setWorkingDirectory(ComObject link, const wchar_t* folder) override {
        return asLink(link)->SetWorkingDirectory(folder);
    }
    HResult setIconLocation(ComObject link, const wchar_t* path, int index) override {
        return asLink(link)->SetIconLocation(path, index);
    }
    HResult setShowCmd(ComObject link, int show) override { return asLink(link)->SetShowCmd(show); }
    HResult save(ComObject file, const wchar_t* fileName, bool remember) override {
        return reinterpret_cast<IPersistFile*>(file)->Save(fileName, remember ? TRUE : FALSE);
    }
    uint32_t release(ComObject object) override { return reinterpret_cast<IUnknown*>(object)->Release(); }
};

class Win32Folders : public FolderPort {
public:
    bool createDirectory(const wchar_t* path) override { return CreateDirectoryW(path, nullptr) != FALSE; }
};

}  // namespace
}  // namespace tp::shortcut

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tp::shortcut::Win32ShellLink shell;
    tp::shortcut::Win32Folders folders;
    tp::Win32Sleep sleeper;
    wchar_t programs[MAX_PATH] = {}, programFiles[MAX_PATH] = {};
    const bool known = SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE) &&
                       SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE);
    if (known) tp::shortcut::runShortcutMaker(shell, folders, sleeper, programs, programFiles);
    return 0;
}
