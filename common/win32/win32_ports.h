// The Win32 implementations of the ports: each call is the platform call the
// port is shaped after.
#pragma once

#include "agent_link.h"
#include "ports.h"

namespace tp {

class Win32Registry : public RegistryPort {
public:
    long open(RegRoot root, const char* path, uint32_t access, RegKey* key) override;
    long create(RegRoot root, const char* path, uint32_t access, RegKey* key) override;
    long query(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) override;
    long set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) override;
    void close(RegKey key) override;
};

class Win32Driver : public DriverPort {
public:
    DeviceHandle open(const char* path) override;
    bool control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                 uint32_t outSize) override;
    void close(DeviceHandle device) override;
};

class Win32Sleep : public SleepPort {
public:
    void sleep(uint32_t ms) override;
};

class Win32AgentLink : public AgentLinkPort {
public:
    WindowHandle findAgentWindow() override;
    bool sendCopyData(WindowHandle window, uint32_t tag, const uint8_t* data, uint32_t size,
                      uint32_t timeoutMs) override;
};

// The Program Files folder followed by tail, in a 260-byte buffer.
// Returns false (and an empty buffer) when the folder is unknown or too long.
bool installPath(const char* tail, char (&out)[260]);

// Broadcasts WM_SETTINGCHANGE with wParam action through the program's one
// announcer (announcer.h) and returns at once. SendNotifyMessage and
// PostMessage refuse the message (it may carry a string:
// ERROR_MESSAGE_SYNC_ONLY), and a broadcast that waits would hold the caller
// on any program that has stopped answering.
void announceSettingChange(uint32_t action);
// Before the program exits: waits, answering messages, for what is still to
// be announced, at most timeoutMs; true when nothing was left.
bool finishAnnouncements(uint32_t timeoutMs);

}  // namespace tp
