// The shortcut maker: "TouchPanel Setting.lnk" to the console in the
// all-users Start menu, made through the shell's link object.
#pragma once

#include <cstdint>

#include "ports.h"

namespace tp::shortcut {

// An interface pointer obtained from the shell; 0 is none.
using ComObject = uintptr_t;
// An HRESULT: negative is a failure.
using HResult = int32_t;

inline constexpr bool succeeded(HResult r) { return r >= 0; }

// The calls of CreateShortcut, in the shape of COM and IShellLinkW /
// IPersistFile. Every object handed out is released with release().
class ShellLinkPort {
public:
    virtual HResult coInitialize() = 0;  // CoInitialize(NULL)
    virtual void coUninitialize() = 0;
    // CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW).
    virtual HResult createShellLink(ComObject* link) = 0;
    // link->QueryInterface(IID_IPersistFile).
    virtual HResult queryPersistFile(ComObject link, ComObject* file) = 0;
    virtual HResult setPath(ComObject link, const wchar_t* path) = 0;
    virtual HResult setDescription(ComObject link, const wchar_t* text) = 0;
    virtual HResult setArguments(ComObject link, const wchar_t* arguments) = 0;
    virtual HResult setWorkingDirectory(ComObject link, const wchar_t* folder) = 0;
    virtual HResult setIconLocation(ComObject link, const wchar_t* path, int index) = 0;
    virtual HResult setShowCmd(ComObject link, int show) = 0;
    // file->Save(fileName, remember).
    virtual HResult save(ComObject file, const wchar_t* fileName, bool remember) = 0;
    virtual uint32_t release(ComObject object) = 0;

protected:
    ~ShellLinkPort() = default;
};

class FolderPort {
public:
    // CreateDirectoryW(path, NULL).
    virtual bool createDirectory(const wchar_t* path) = 0;

protected:
    ~FolderPort() = default;
};

inline constexpr int kPathChars = 260;
inline constexpr int kAttempts = 50;
inline constexpr uint32_t kRetryPauseMs = 20;
inline constexpr int kSwShowNormal = 1;
inline constexpr wchar_t kFolderTail[] = L"\\QTX USB TouchPanel";
inline constexpr wchar_t kLinkTail[] = L"\\QTX USB TouchPanel\\TouchPanel Setting.lnk";
inline constexpr wchar_t kTargetTail[] = L"\\QTX\\PNL\\USBPNL\\Tapcon.exe";

// One attempt: true when the link file was saved.
bool CreateShortcut(ShellLinkPort& shell, const wchar_t* link, const wchar_t* target);

// The whole program. commonPrograms and programFiles are the shell's folders,
// null when unknown: then nothing is made (never a folder off the drive root).
void runShortcutMaker(ShellLinkPort& shell, FolderPort& folders, SleepPort& sleeper, const wchar_t* commonPrograms,
                      const wchar_t* programFiles);

}  // namespace tp::shortcut
