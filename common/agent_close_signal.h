// The machine-wide signal that ends every agent, in every session and on
// every desktop: the installer sets it before it replaces or removes the
// agent's files, which a window message cannot do across sessions.
// Header-only and free of the C++ runtime.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tp::agentwin {

// A manual-reset event: set, every agent sees it; the installer resets it
// once the agents are gone.
inline constexpr char kCloseEventName[] = "Global\\TapagentClose";

// Its access, the one fact every program that makes the event shares: SYSTEM
// and elevated administrators may do anything with it; everyone may wait on
// it and read its access (0x00120000, SYNCHRONIZE | READ_CONTROL), so that an
// agent can tell this event from one a user made first. Its owner is whoever
// made it (the first agent's user, or the installer); "OW" (owner rights,
// Vista and later) leaves that owner no more than everyone else, where it
// would otherwise keep the right to rewrite the DACL. Windows XP does not
// know "OW": there the owner keeps that right.
inline constexpr char kCloseEventSddl[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00120000;;;WD)(A;;0x00120000;;;OW)";
inline constexpr char kCloseEventSddlXp[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00120000;;;WD)";

// Who an access entry (or the owner) names, as far as the check cares.
enum class Trustee : uint8_t { System, Administrators, OwnerRights, Other };

struct AccessEntry {
    bool allow;  // an access-allowed entry; denials only take rights away
    uint32_t mask;
    Trustee who;
};

// What an agent reads of an existing event with GetSecurityInfo.
struct EventSecurity {
    static constexpr size_t kMaxEntries = 16;
    bool hasDacl;  // false: a NULL DACL, everyone may do everything
    Trustee owner;
    size_t count;  // entries beyond kMaxEntries make the event unusable
    AccessEntry entries[kMaxEntries];
};

// Rights that set the event, or let the holder give itself that right:
// EVENT_MODIFY_STATE, WRITE_DAC, WRITE_OWNER,
// MAXIMUM_ALLOWED, GENERIC_ALL, GENERIC_WRITE.
inline constexpr uint32_t kSettingRights = 0x00000002u | 0x00040000u | 0x00080000u | 0x02000000u | 0x10000000u |
                                           0x40000000u;

constexpr bool isAdministration(Trustee who) { return who == Trustee::System || who == Trustee::Administrators; }

// True when only SYSTEM and the administrators can set the event: no entry
// lets anyone else set it, and (where Windows has owner rights) an owner that
// is neither is held to the owner-rights entry, which itself grants no such
// right. An event that fails is one a user made to close agents at will, or
// to keep them from hearing the installer: the agent does not use it.
constexpr bool closeSignalIsGuarded(const EventSecurity& s, bool ownerRightsKnown) {
    if (!s.hasDacl || s.count > EventSecurity::kMaxEntries) return false;
    bool ownerRightsEntry = false;
    for (size_t i = 0; i < s.count; ++i) {
        const AccessEntry& e = s.entries[i];
        if (!e.allow) continue;
        if (e.who == Trustee::OwnerRights) ownerRightsEntry = true;
        if (!isAdministration(e.who) && (e.mask & kSettingRights)) return false;
    }
    return !ownerRightsKnown || isAdministration(s.owner) || ownerRightsEntry;
}

}  // namespace tp::agentwin
