# Writes Drvnotes.txt, the list of the suite's files and their versions that
# the driver information page opens in Notepad. Every program carries the
# version of common/version.rc.inc, so it is read from there.
#   cmake -DVERSION_RC=.../version.rc.inc -DOUT=.../Drvnotes.txt -P drvnotes.cmake
file(READ ${VERSION_RC} rc)
if(NOT rc MATCHES "#define TP_VERSION_STR \"([^\"]+)\"")
  message(FATAL_ERROR "no TP_VERSION_STR in ${VERSION_RC}")
endif()
set(v ${CMAKE_MATCH_1})
string(CONCAT text
  "USB TouchPanel: file versions\n"
  "\n"
  "File           Version    What it is\n"
  "Tapcon.exe     ${v}    settings console\n"
  "Tapagent.exe   ${v}    resident agent (sound, right click, driver set-up)\n"
  "taphook.dll    ${v}    keyboard hook of the agent's right click\n"
  "Tapapi.dll     ${v}    programming interface for other programs\n"
  "Tapport.exe    ${v}    port numbers of the connected panels\n"
  "Tapstart.exe   ${v}    starts the agent at logon\n"
  "Taplink.exe    ${v}    start-menu shortcut of the console\n"
  "\n"
  "The touch panel driver is installed on its own; the console's Driver\n"
  "Information page shows its version.\n")
# Notepad of the older Windows versions wants CR LF.
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
