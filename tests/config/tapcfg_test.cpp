#include <gtest/gtest.h>

#include "bytes.h"
#include "driver_protocol.h"
#include "settings_file.h"
#include "tapcfg_ids.h"
#include "tapcfg_rig.h"
#include "touch_check.h"

namespace tp::cfg::test {
namespace {

// ---------------------------------------------------------------- the option word in words

TEST(OptionWords, EveryBitIsSpelledOut) {
    struct Case {
        uint32_t option;
        bool perMonitor;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {0x1A0800A4,
         false,
         {"sound: off, at touch, Beep Sound (kind 0)", "standard preset: sound off, at touch, Beep Sound (kind 0)",
          "sound settings: the same on all screens",
          "right click by key: off, key Ctrl, the one touch after the key is pressed", "operate mode: stream",
          "operate-mode choice on the click page: shown", "mouse cursor: shown", "tray icon: off, floating icon: off",
          "calibration: 9 points", "bit for the driver: 0x02000000"}},
        {0x05E7535C,
         false,
         {"sound: on, at release, Default Beep (kind 5)", "standard preset: sound on, at release, Question (kind 3)",
          "sound settings: each screen its own", "right click by key: on, key Alt, every touch while the key is held",
          "operate mode: point", "operate-mode choice on the click page: hidden", "mouse cursor: hidden",
          "tray icon: on, floating icon: on", "calibration: 20 points"}},
        // No point count reads as 9; with two keys the page reads Shift over Ctrl.
        {0x00180000,
         false,
         {"sound: off, at release, Beep Sound (kind 0)", "standard preset: sound off, at release, Beep Sound (kind 0)",
          "sound settings: each screen its own",
          "right click by key: off, key Shift, the one touch after the key is pressed", "operate mode: stream",
          "operate-mode choice on the click page: hidden", "mouse cursor: shown", "tray icon: off, floating icon: off",
          "calibration: 9 points"}},
        {0x00000008, false, {}},  // only its calibration line is checked below
        {0x000112A0,
         true,
         {"sound: on, at touch, Asterisk (kind 1)", "standard preset: sound off, at touch, Exclamation (kind 2)"}},
        {0x0000E000,
         true,
         {"sound: off, at release, unknown (kind 14)", "standard preset: sound off, at release, Beep Sound (kind 0)"}},
    };
    FakeHost host;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        std::vector<std::string> lines;
        for (const std::wstring& w : describeOption(host, c.option, c.perMonitor)) lines.push_back(narrow(w));
        if (c.lines.empty())
            EXPECT_EQ(lines.back(), "calibration: 12 points");
        else
            EXPECT_EQ(lines, c.lines);
    }
}

// ---------------------------------------------------------------- import and set

std::vector<std::string> compact(const std::vector<std::string>& sequence) {
    std::vector<std::string> out;
    for (const std::string& s : sequence)
        if (s.rfind("reg ", 0) != 0 || s == "reg Option") out.push_back(s);  // the first write stands for all
    return out;
}

TEST(TapcfgSet, AppliesAsTheConsolesApplyDoes) {
    CfgRig rig;
    rig.registry.setDword(kUser, "Freq", 800);
    EXPECT_EQ(rig.run({L"set", L"Freq=1500", L"DHeight=20"}), kExitDone);
    EXPECT_EQ(compact(rig.sequence), (std::vector<std::string>{"reg Option", "ioctl 0x22200c", "copydata 236",
                                                               "sleep 1000", "ioctl 0x222070"}));
    EXPECT_EQ(rig.registry.writtenNames(kUser).size(), 52u);
    EXPECT_EQ(rig.registry.dword(kUser, "Freq"), 1500u);
    EXPECT_EQ(rig.registry.dword(kUser, "DHeight"), 20u);
    ASSERT_EQ(rig.agent.received.size(), 1u);
    EXPECT_EQ(get32(rig.agent.received[0].data() + 4), 1500u);  // Freq in the agent's block
    EXPECT_EQ(rig.driver.openHandles(), 0);
    EXPECT_EQ(rig.registry.openHandles(), 0);
    EXPECT_EQ(narrow(rig.host.out),
              "2 value(s) set in HKCU\\Software\\Korvane Component\\USB.\n"
              "The agent and the driver were told, as by the console's Apply.\n");
}

TEST(TapcfgSet, NoApplyWritesTheRegistryOnly) {
    CfgRig rig;
    EXPECT_EQ(rig.run({L"set", L"Option3=0x000100A0", L"/NOAPPLY"}), kExitDone);
    EXPECT_EQ(compact(rig.sequence), (std::vector<std::string>{"reg Option"}));
    EXPECT_EQ(rig.registry.dword(kUser, "Option3"), 0x000100A0u);
    EXPECT_EQ(rig.driver.requests().size(), 0u);
    EXPECT_TRUE(rig.sleeper.calls().empty());
}

TEST(TapcfgImport, ABadLineWritesNothingAndNamesTheLine) {
    CfgRig rig;
    rig.registry.setDword(kUser, "Freq", 800);
    rig.host.files[L"kiosk.txt"] = "Freq=1200\r\nDuration=0\r\n";
    rig.registry.clearLog();
    EXPECT_EQ(rig.run({L"import", L"kiosk.txt"}), kExitInvalid);
    EXPECT_TRUE(rig.registry.writtenNames().empty());
    EXPECT_TRUE(rig.driver.requests().empty());
    EXPECT_TRUE(rig.agent.received.empty());
    EXPECT_EQ(rig.registry.dword(kUser, "Freq"), 800u);
    EXPECT_EQ(narrow(rig.host.err), "kiosk.txt, line 2: Duration must be from 1 to 1000\nNothing was written.\n");
    EXPECT_TRUE(rig.host.out.empty());
}

TEST(TapcfgImport, AnExportCarriedToAnotherMachineGivesTheSameRegistryValues) {
    CfgRig source;
    ASSERT_EQ(source.run({L"set", L"Freq=1000", L"/noapply"}), kExitDone);  // a full user key, as after a save
    source.registry.setDword(kUser, "Option", 0x1E4F55E4);
    source.registry.setDword(kUser, "Freq7", 4321);
    source.registry.setDword(kUser, "DWidth", 12);
    source.host.out.clear();
    ASSERT_EQ(source.run({L"export", L"C:\\fleet\\kiosk.txt"}), kExitDone);
    EXPECT_EQ(narrow(source.host.out), "52 values written to C:\\fleet\\kiosk.txt.\n");

    CfgRig target;
    target.host.files = source.host.files;
    ASSERT_EQ(target.run({L"import", L"C:\\fleet\\kiosk.txt"}), kExitDone) << narrow(target.host.err);
    for (const ValueName& name : valueNames()) {
        SCOPED_TRACE(name.c_str());
        const auto want = source.registry.value(kUser, name.c_str());
        const auto got = target.registry.value(kUser, name.c_str());
        ASSERT_TRUE(want.has_value());
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->type, want->type);
        EXPECT_EQ(got->data, want->data);
    }
    EXPECT_EQ(target.registry.dword(kUser, "Freq7"), 4321u);
    EXPECT_EQ(target.registry.dword(kUser, "Option"), 0x1E4F55E4u);
}

TEST(TapcfgImport, FileProblemsEndWithTheirOwnCodes) {
    struct Case {
        const char* name;
        std::vector<std::wstring> args;
        bool userKeyWritable;
        int exit;
        const char* err;
        const char* refused = "";  // a value the registry refuses to store
    };
    const Case cases[] = {
        {"missing file",
         {L"import", L"none.txt"},
         true,
         kExitFailed,
         "Cannot read none.txt (missing, unreadable or larger than 64 KB).\n"},
        {"file too large, not read",
         {L"import", L"big.txt"},
         true,
         kExitFailed,
         "Cannot read big.txt (missing, unreadable or larger than 64 KB).\n"},
        {"user key not writable",
         {L"set", L"Freq=900"},
         false,
         kExitFailed,
         "Cannot write the user key HKCU\\Software\\Korvane Component\\USB (error 5).\n"},
        {"a value the registry refuses",
         {L"set", L"Freq=900"},
         true,
         kExitFailed,
         "Cannot write Duration in HKCU\\Software\\Korvane Component\\USB (error 1450): the settings were not all "
         "stored.\n",
         "Duration"},
        {"unknown name in set",
         {L"set", L"Freq=900", L"Beep=1"},
         true,
         kExitInvalid,
         "argument 2: unknown name \"Beep\"\nNothing was written.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CfgRig rig;
        rig.host.files[L"big.txt"] = std::string(64 * 1024 + 1, ';');
        if (!c.userKeyWritable) rig.registry.denyWrite(kUser);
        if (*c.refused) rig.registry.refuseValue(kUser, c.refused, 1450);
        EXPECT_EQ(rig.run(c.args), c.exit);
        EXPECT_EQ(narrow(rig.host.err), c.err);
        // Never a success line after a failure.
        if (c.exit != kExitDone) {
            EXPECT_TRUE(rig.host.out.empty()) << narrow(rig.host.out);
        }
    }
}

TEST(TapcfgImport, AFileOfCommentsOnlyChangesNothing) {
    for (const wchar_t* machine : {L"/noapply", L"/machine"}) {
        CfgRig rig;
        rig.host.files[L"empty.txt"] = "; nothing yet\r\n\r\n";
        EXPECT_EQ(rig.run({L"import", L"empty.txt", machine}), kExitDone);
        EXPECT_TRUE(rig.registry.writtenNames().empty());
        EXPECT_TRUE(rig.sequence.empty());
        EXPECT_EQ(narrow(rig.host.out), "empty.txt names no value: nothing was written.\n");
    }
}

// ---------------------------------------------------------------- machine defaults

TEST(TapcfgMachine, WritesTheSeedValuesTheAgentReadsInItsOrder) {
    CfgRig rig;
    rig.host.files[L"defaults.txt"] = "DWidth=40\nOption=0x1A4800A4\nFreq2=2000\n";
    EXPECT_EQ(rig.run({L"import", L"defaults.txt", L"/machine"}), kExitDone) << narrow(rig.host.err);
    EXPECT_EQ(rig.registry.writtenNames(kPanel), (std::vector<std::string>{"Option", "DWidth", "Freq2"}));
    EXPECT_EQ(rig.registry.dword(kPanel, "DWidth"), 40u);
    EXPECT_FALSE(rig.registry.hasKey(kUser));
    EXPECT_TRUE(rig.driver.requests().empty());
    EXPECT_TRUE(rig.agent.received.empty());
}

TEST(TapcfgMachine, AUserWithoutSettingsYetStartsFromTheMachineDefaults) {
    struct Case {
        const char* name;
        bool userKey;
        uint32_t duration, dWidth;
    };
    const Case cases[] = {
        {"no user key yet: the machine defaults the agent would seed", false, 77, 40},
        {"a user key: the user's own values", true, 60, 34},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CfgRig rig;
        rig.registry.setDword(kPanel, "Duration", 77);
        rig.registry.setDword(kPanel, "DWidth", 40);
        if (c.userKey) rig.registry.setDword(kUser, "Duration", 60);
        EXPECT_EQ(rig.run({L"show", L"Duration"}), kExitDone);
        EXPECT_NE(narrow(rig.host.out).find("Duration=" + std::to_string(c.duration) + " "), std::string::npos)
            << narrow(rig.host.out);
        EXPECT_EQ(rig.run({L"set", L"Freq=1500", L"/noapply"}), kExitDone);
        EXPECT_EQ(rig.registry.dword(kUser, "Freq"), 1500u);
        EXPECT_EQ(rig.registry.dword(kUser, "Duration"), c.duration);
        EXPECT_EQ(rig.registry.dword(kUser, "DWidth"), c.dWidth);
    }
}

TEST(TapcfgMachine, WithoutRightsOrDriverNothingIsWritten) {
    struct Case {
        const char* name;
        bool deny, driverKey, refuseOption;
        int exit;
        const char* err;
    };
    const Case cases[] = {
        {"no administrator rights", true, true, false, kExitAccessDenied,
         "Access denied: only an administrator can write the machine defaults. Nothing was written.\n"},
        {"no driver", false, false, false, kExitNoDriver,
         "The touch panel driver is not installed (HKLM\\SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Parameters is "
         "missing). Nothing was written.\n"},
        // Option comes first in the agent's order: Freq after it is not written either.
        {"the first value refused stops the import", false, true, true, kExitFailed,
         "Cannot write Option in HKLM\\SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Parameters (error 1450): the "
         "settings were not all stored.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CfgRig rig;
        if (c.deny) rig.registry.denyWrite(kPanel);
        if (!c.driverKey) rig.registry.removeKey(kPanel);
        if (c.refuseOption) rig.registry.refuseValue(kPanel, "Option", 1450);
        EXPECT_EQ(rig.run({L"set", L"Freq=1200", L"Option=0x1A0800A4", L"/machine"}), c.exit);
        EXPECT_EQ(narrow(rig.host.err), c.err);
        EXPECT_TRUE(rig.registry.writtenNames().empty());
        EXPECT_TRUE(rig.host.out.empty());
        // A file without values meets the same checks: a task sequence learns of them before it matters.
        if (c.refuseOption) continue;
        rig.host.err.clear();
        rig.host.files[L"empty.txt"] = "; nothing yet\r\n";
        EXPECT_EQ(rig.run({L"import", L"empty.txt", L"/machine"}), c.exit);
        EXPECT_EQ(narrow(rig.host.err), c.err);
        EXPECT_TRUE(rig.host.out.empty());
    }
}

// ---------------------------------------------------------------- command line

TEST(TapcfgCommandLine, UsageAndWrongUseHaveTheirExitCodes) {
    struct Case {
        std::vector<std::wstring> args;
        int exit;
        bool usageShown;
    };
    const Case cases[] = {
        {{}, kExitDone, true},
        {{L"/?"}, kExitDone, true},
        {{L"import", L"-?"}, kExitDone, true},
        {{L"bogus"}, kExitUsage, false},
        {{L"export"}, kExitUsage, false},
        {{L"export", L"a.txt", L"b.txt"}, kExitUsage, false},
        {{L"set"}, kExitUsage, false},
        {{L"show", L"/machine"}, kExitUsage, false},
        {{L"report", L"/noapply"}, kExitUsage, false},
        {{L"import", L"a.txt", L"/force"}, kExitUsage, false},
        {{L"show", L"Freq", L"Loudness"}, kExitInvalid, false},
    };
    for (const Case& c : cases) {
        CfgRig rig;
        EXPECT_EQ(rig.run(c.args), c.exit) << c.args.size();
        EXPECT_EQ(rig.host.out.find(L"Exit codes:") != std::wstring::npos, c.usageShown) << c.args.size();
        if (c.exit != kExitDone) {
            EXPECT_FALSE(rig.host.err.empty());
        }
        EXPECT_TRUE(rig.registry.writtenNames().empty());
    }
}

TEST(TapcfgCommandLine, MessagesQuotingTheCommandLineAreCutLikeThoseQuotingAFile) {
    const std::wstring huge(70000, L'x');
    struct Case {
        std::vector<std::wstring> args;
        int exit;
    };
    const Case cases[] = {
        {{huge}, kExitUsage},
        {{L"show", huge}, kExitInvalid},
        {{L"set", L"Freq=" + huge}, kExitInvalid},
        {{L"set", huge + L"=1"}, kExitInvalid},
        {{L"import", huge}, kExitFailed},
        {{L"export", L"C:\\" + huge}, kExitFailed},
    };
    for (const Case& c : cases) {
        CfgRig rig;
        rig.host.writable = false;
        EXPECT_EQ(rig.run(c.args), c.exit) << narrow(c.args[0]);
        EXPECT_FALSE(rig.host.err.empty());
        EXPECT_LT(rig.host.err.size(), 500u) << narrow(c.args[0]);
        EXPECT_NE(rig.host.err.find(L"xxx..."), std::wstring::npos) << narrow(c.args[0]);
    }
}

TEST(TapcfgExport, StoredValuesImportWouldRefuseAreMarkedAndEndWithTheirOwnCode) {
    struct Case {
        const char* name;
        std::vector<std::wstring> args;
        std::vector<std::string> marked;  // in the file written (export) or the output (show)
        const char* err;
    };
    const Case cases[] = {
        {"export",
         {L"export", L"out.txt"},
         {"Freq=20000 ; import refuses this stored value: Freq must be from 37 to 10000\r\n",
          "Duration3=0 ; import refuses this stored value: Duration3 must be from 1 to 1000\r\n"},
         "2 stored value(s) are outside what import accepts; they are marked in out.txt, and import refuses the file "
         "until they are corrected.\n"},
        {"show",
         {L"show"},
         {"Freq=20000 ; import refuses this stored value: Freq must be from 37 to 10000\n",
          "Duration3=0 ; import refuses this stored value: Duration3 must be from 1 to 1000\n"},
         "2 stored value(s) are outside what import accepts (marked above).\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CfgRig rig;
        ASSERT_EQ(rig.run({L"set", L"DWidth=40", L"/noapply"}), kExitDone);
        rig.registry.setDword(kUser, "Freq", 20000);  // edited by hand
        rig.registry.setDword(kUser, "Duration3", 0);
        rig.host.out.clear();
        EXPECT_EQ(rig.run(c.args), kExitStoredInvalid);
        EXPECT_EQ(narrow(rig.host.err), c.err);
        const std::string written = c.args[0] == L"export" ? rig.host.files[L"out.txt"] : narrow(rig.host.out);
        for (const std::string& line : c.marked) EXPECT_NE(written.find(line), std::string::npos) << line << written;
        // What was written is what import then refuses, for the same reasons.
        const CheckedSettings back = checkSettingsFile(written);
        ASSERT_EQ(back.problems.size(), 2u);
        EXPECT_EQ(back.problems[0].problem.messageId, IDS_BAD_RANGE);
        EXPECT_EQ(back.values.size(), 50u);
    }
    // Once corrected, the same round trip is clean again.
    CfgRig clean;
    EXPECT_EQ(clean.run({L"export", L"out.txt"}), kExitDone);
    EXPECT_EQ(clean.run({L"show"}), kExitDone);
    EXPECT_TRUE(clean.host.err.empty());
}

TEST(TapcfgShow, NamedValuesWithTheirMeaning) {
    CfgRig rig;
    rig.registry.setDword(kUser, "Freq3", 2500);
    EXPECT_EQ(rig.run({L"show", L"freq3", L"DHeight"}), kExitDone);
    EXPECT_EQ(narrow(rig.host.out),
              "; Settings of the current user (HKCU\\Software\\Korvane Component\\USB)\n"
              "Freq3=2500            ; Screen3 beep frequency, Hz\n"
              "DHeight=34            ; double-click area height, pixels\n");
}

TEST(TapcfgShow, TheLayoutComesFromTheMultiMonitorDriverKey) {
    CfgRig rig;
    rig.registry.setDword(kMulti, "Resolution1", 0x05000400);
    rig.registry.setDword(kMulti, "Resolution2", 0x04000300);
    rig.registry.setDword(kMulti, "Resolution3", 0);
    rig.registry.setDword(kMulti, "OrgResolutionX2", encodeOrigin(-1024));
    rig.registry.setDword(kMulti, "nComm", 3);
    EXPECT_EQ(rig.run({L"show"}), kExitDone);
    const std::string out = narrow(rig.host.out);
    EXPECT_NE(out.find("; The user key does not exist yet: these are the defaults.\n"), std::string::npos);
    EXPECT_NE(out.find(";   Screen1: 1280 x 1024 at (0, 0)\n;   Screen2: 1024 x 768 at (-1024, 0)\n;   nComm=3: "
                       "multi-monitor function on, arranged by Windows yes; DisableMode=0: automatic screen "
                       "information on\n"),
              std::string::npos)
        << out;
    // What show prints is itself a settings file.
    EXPECT_TRUE(checkSettingsFile(out).ok());
}

// ---------------------------------------------------------------- report

TEST(TapcfgReport, NamesPanelsTablesDriverAndAgent) {
    CfgRig rig;
    rig.registry.setString(kPanel, "Version", "2.04.1");
    rig.registry.setDword(kPanel, "SavePort", 2);
    rig.registry.setRaw(kUser, "9Cal0", kRegBinary, std::vector<uint8_t>(110, 1));
    rig.registry.setRaw(kUser, "20Cal0", kRegBinary, std::vector<uint8_t>(400, 1));
    rig.registry.setRaw(kUser, "12Cal7", kRegBinary, std::vector<uint8_t>(160, 1));
    rig.registry.setRaw(kUser, "9Cal8", kRegBinary, std::vector<uint8_t>(10, 1));  // no panel, never probed
    PanelIdTable table;
    for (int32_t& p : table.port) p = kEmptySlot;
    table.port[0] = 7;
    table.port[2] = 0;
    std::vector<uint8_t> bytes(kPanelIdTableSize);
    encodePanelIdTable(bytes.data(), table);
    rig.driver.answer(req::kGetPanelIds, bytes);
    rig.host.facts[L"C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapagent.exe"] = {true, 61440, L"1.0.0.0"};
    EXPECT_EQ(rig.run({L"report"}), kExitDone);
    const std::string out = narrow(rig.host.out);
    for (const char* line : {
             "Suite version: 1.0.0.0\n",
             "  Tapagent.exe  61440 bytes  version 1.0.0.0\n",
             "  Tapcon.exe  missing\n",
             "Driver version: 2.04.1\n",
             "Connected panels (request 0x222064 on \\\\.\\TAPTPU):\n  slot 1: port 7\n  slot 3: port 0\n",
             "  port 0: 9Cal0 (110 bytes), 20Cal0 (400 bytes, more than 320: ignored)\n  port 7: 12Cal7 (160 bytes)\n",
             "Monitor layout: no multi-monitor driver",
             "Agent (Tapagent): running\n",
             "Windows 5.1.2600 Service Pack 3, code page 1252\n",
             "Settings:\n",
             "Freq9=1000",
         })
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n---\n" << out;
    EXPECT_EQ(out.find("9Cal8"), std::string::npos);
    EXPECT_EQ(rig.driver.countOf(req::kGetPanelIds), 1);
    EXPECT_EQ(rig.driver.openHandles(), 0);
    EXPECT_EQ(rig.registry.openHandles(), 0);
    EXPECT_TRUE(rig.registry.writtenNames().empty());
}

TEST(TapcfgReport, ReadsTheDriverVersionInTheSystemCodePage) {
    CfgRig rig;
    rig.registry.setString(kPanel, "Version", "TouchDrv\x99 2.04.1");
    EXPECT_EQ(rig.run({L"report"}), kExitDone);
    EXPECT_NE(rig.host.out.find(L"Driver version: TouchDrv\u2122 2.04.1\n"), std::wstring::npos)
        << narrow(rig.host.out);
}

TEST(TapcfgReport, SaysWhatIsMissing) {
    CfgRig rig;
    rig.registry.removeKey(kPanel);
    rig.driver.setPresent(kPanelDevicePath, false);
    rig.agent.running = false;
    EXPECT_EQ(rig.run({L"report"}), kExitDone);
    const std::string out = narrow(rig.host.out);
    for (const char* line :
         {"Driver: not installed (HKLM\\SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Parameters is missing)\n",
          "  the control device \\\\.\\TAPTPU cannot be opened\n", "  none stored\n",
          "Agent (Tapagent): not running\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n---\n" << out;
}

TEST(TapcfgReport, PrintsTheLastAccuracyCheckOrSaysThereIsNone) {
    const std::string kCheck = "HKCU\\Software\\Korvane Component\\Taptest";
    check::Record r;
    r.time = {2026, 12, 9, 0, 5, 7};
    r.screen = 2;
    r.monitor = {-1024, 0, 1024, 768};
    r.tolerance = 100;
    const check::Offset offsets[] = {{6, -4}, {6, -4}, {0, 0}, {-13, 0}, {6, -4}};
    for (int i = 0; i < check::kTargetCount; ++i) r.offsets[i] = offsets[i];
    r.pass = false;
    struct Case {
        const char* what;
        bool store;
        std::vector<const char*> lines;
    } cases[] = {
        {"none",
         false,
         {"Last touch accuracy check (Taptest, HKCU\\Software\\Korvane Component\\Taptest):\n  none yet\n"}},
        {"stored",
         true,
         {"  2026-12-09 00:05:07, Screen2 (1024 x 768 at -1024, 0), tolerance 1.00 % of the diagonal\n",
          "  top left: dx +6, dy -4 (7.2 px)\n", "  bottom right: dx 0, dy 0 (0.0 px)\n",
          "  bottom left: dx -13, dy 0 (13.0 px)\n",
          "  largest error 13.0 px (1.02 %), mean 6.9 px (0.54 %): recalibrate\n"}},
    };
    for (const Case& c : cases) {
        CfgRig rig;
        if (c.store) {
            ASSERT_TRUE(check::saveRecord(rig.registry, r));
        }
        EXPECT_EQ(rig.run({L"report"}), kExitDone);
        const std::string out = narrow(rig.host.out);
        for (const char* line : c.lines)
            EXPECT_NE(out.find(line), std::string::npos) << c.what << ": " << line << "\n---\n" << out;
    }
    CfgRig bad;
    bad.registry.setRaw(kCheck, "LastCheck", kRegBinary, std::vector<uint8_t>(check::kRecordSize, 0));
    EXPECT_EQ(bad.run({L"report"}), kExitDone);
    EXPECT_NE(narrow(bad.host.out).find("Taptest):\n  the stored result cannot be read\n"), std::string::npos);
    EXPECT_EQ(bad.registry.openHandles(), 0);
}

}  // namespace
}  // namespace tp::cfg::test
