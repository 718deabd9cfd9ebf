#include "shortcut.h"

#include <cstddef>

namespace tp::shortcut {

namespace {

std::size_t length(const wchar_t* s) {
    std::size_t n = 0;
    while (s[n]) ++n;
    return n;
}

// head + tail into out; false (out empty) when it does not fit.
bool join(const wchar_t* head, const wchar_t* tail, wchar_t (&out)[kPathChars]) {
    const std::size_t a = length(head), b = length(tail);
    out[0] = L'\0';
    if (a + b + 1 > static_cast<std::size_t>(kPathChars)) return false;
    for (std::size_t i = 0; i < a; ++i) out[i] = head[i];
    for (std::size_t i = 0; i <= b; ++i) out[a + i] = tail[i];
    return true;
}

}  // namespace

bool CreateShortcut(ShellLinkPort& shell, const wchar_t* link, const wchar_t* target) {
    if (!succeeded(shell.coInitialize())) return false;
    ComObject shellLink = 0, file = 0;
    HResult r = shell.createShellLink(&shellLink);
    if (succeeded(r)) r = shell.queryPersistFile(shellLink, &file);
    if (succeeded(r)) r = shell.setPath(shellLink, target);
    if (succeeded(r)) {
        // Cosmetic: a link that lacks them still opens its target.
        shell.setDescription(shellLink, L"");
        shell.setArguments(shellLink, L"");
        shell.setWorkingDirectory(shellLink, L"");
        shell.setIconLocation(shellLink, target, 0);
        shell.setShowCmd(shellLink, kSwShowNormal);
        r = shell.save(file, link, true);
    }
    if (shellLink) shell.release(shellLink);
    if (file) shell.release(file);
    shell.coUninitialize();
    return succeeded(r);
}

void runShortcutMaker(ShellLinkPort& shell, FolderPort& folders, SleepPort& sleeper, const wchar_t* commonPrograms,
                      const wchar_t* programFiles) {
    if (!commonPrograms || !*commonPrograms || !programFiles || !*programFiles) return;
    wchar_t folder[kPathChars] = {}, target[kPathChars] = {}, link[kPathChars] = {};
    if (!join(commonPrograms, kFolderTail, folder) || !join(programFiles, kTargetTail, target) ||
        !join(commonPrograms, kLinkTail, link))
        return;
    folders.createDirectory(folder);  // an existing folder is fine
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (CreateShortcut(shell, link, target)) return;
        sleeper.sleep(kRetryPauseMs);
    }
}

}  // namespace tp::shortcut
