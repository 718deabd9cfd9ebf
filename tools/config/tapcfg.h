// Tapcfg's portable core: the ports it reaches the system through and the
// commands. Nothing here includes windows.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent_link.h"
#include "ports.h"
#include "settings.h"

namespace tp::cfg {

// The documented exit codes.
enum ExitCode : int {
    kExitDone = 0,
    kExitUsage = 1,
    kExitInvalid = 2,
    kExitAccessDenied = 3,
    kExitNoDriver = 4,
    kExitFailed = 5,
    // export or show wrote a stored value that import refuses, marked with a comment.
    kExitStoredInvalid = 6,
};

enum class Stream { Out, Err };

struct FileFacts {
    bool present = false;
    uint64_t size = 0;
    std::wstring version;  // the version resource's file version, empty when none
};

// What Tapcfg needs of the system beyond the registry, the driver and the agent.
class HostPort {
public:
    // The text of a string id in the language of the system code page.
    virtual std::wstring text(int id) = 0;
    // Writes to standard output or error; line ends are "\n".
    virtual void write(Stream stream, const std::wstring& text) = 0;
    // False when the file cannot be read or is larger than maxBytes.
    virtual bool readFile(const std::wstring& path, size_t maxBytes, std::string* bytes) = 0;
    // Replaces the file; false when it cannot be written whole.
    virtual bool writeFile(const std::wstring& path, const std::string& bytes) = 0;
    virtual uint32_t codePage() = 0;
    // Text the system stored in its ANSI code page.
    virtual std::wstring ansiToWide(const std::string& text) = 0;
    // "6.1.7601 Service Pack 1".
    virtual std::wstring windowsVersion() = 0;
    // The suite's folder: Program Files followed by \QTX\PNL\USBPNL; empty when unknown.
    virtual std::wstring installFolder() = 0;
    virtual FileFacts fileFacts(const std::wstring& path) = 0;

protected:
    ~HostPort() = default;
};

struct CfgPorts {
    RegistryPort& registry;
    DriverPort& driver;
    SleepPort& sleeper;
    AgentLinkPort& agent;
    HostPort& host;
};

// The suite's version, as the version resources carry it.
extern const char kSuiteVersion[];

// args: the command line without the program's name.
int run(const CfgPorts& ports, const std::vector<std::wstring>& args);

// The words of an option word, one line each; a per-monitor word has only
// its sound lines.
std::vector<std::wstring> describeOption(HostPort& host, uint32_t option, bool perMonitor);

// Replaces %1 … %9 with the arguments.
std::wstring fill(const std::wstring& pattern, const std::vector<std::wstring>& args);

}  // namespace tp::cfg
