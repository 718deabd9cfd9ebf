// The machine-wide signal that ends every agent, in every session and on
// every desktop: the installer sets it before it replaces or removes the
// agent's files, which a window message cannot do across sessions.
// Header-only and free of the C++ runtime.
#pragma once

namespace tp::agentwin {

// A manual-reset event: set, every agent sees it; the installer resets it
// once the agents are gone.
inline constexpr char kCloseEventName[] = "Global\\TapagentClose";

// Its access: SYSTEM and elevated administrators may set it, everyone may
// wait on it, so one object serves the agents of every user. Its owner is
// the first agent's user, who would otherwise keep the right to rewrite the
// DACL; "OW" (owner rights, Vista and later) leaves the owner no more than
// the others. Windows XP does not know "OW".
inline constexpr char kCloseEventSddl[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)(A;;0x00100000;;;OW)";
inline constexpr char kCloseEventSddlXp[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)";

}  // namespace tp::agentwin
