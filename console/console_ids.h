/* Resource and control numbers of Tapcon, shared by tapcon_ja.rc,
   tapcon_en.rc and the C++. #define only: windres reads it too. */
#pragma once

/* Language-neutral resources. */
#define IDI_APP 128
#define IDI_SUN1 130
#define IDI_SUN2 131
#define IDI_SUN3 132
#define IDI_SUN4 133
#define IDI_MOON1 134
#define IDI_MOON2 135
#define IDI_MOON3 136
#define IDI_MOON4 137
#define IDI_MOUSE_L 140
#define IDI_MOUSE_R 141
#define IDI_ARROWS 142

/* Dialog templates: Japanese, English. */
#define IDD_TOUCH_JA 107
#define IDD_SOUND_JA 108
#define IDD_CLICK_JA 109
#define IDD_CALIB_JA 110
#define IDD_INFO_JA 111
#define IDD_TOUCH_EN 112
#define IDD_SOUND_EN 113
#define IDD_CLICK_EN 114
#define IDD_RIGHT_EN 115
#define IDD_CALIB_EN 116
#define IDD_INFO_EN 117
#define IDD_RIGHT_JA 118
#define IDD_IDENTIFY 119 /* one template; each language file carries it */
#define IDD_CALIBS_JA 120
#define IDD_CALIBS_EN 121
#define IDD_MULTI_JA 122
#define IDD_MULTI_EN 123

/* Strings of the frame (both string tables). */
#define IDS_CAPTION 200
#define IDS_TITLE_TOUCH 201
#define IDS_TITLE_SOUND 202
#define IDS_TITLE_CLICK 203
#define IDS_TITLE_RIGHT 204
#define IDS_TITLE_LEFT 205 /* the right-click page when the mouse buttons are swapped */
#define IDS_TITLE_CALIB 206
#define IDS_TITLE_MULTI 207
#define IDS_TITLE_INFO 208
#define IDS_WINDOWS8 209

/* Touch panel page: no controls. */

/* Sound page: controls 1100-1199, strings 2100-2199. */
#define IDC_SOUND_GROUP 1100
#define IDC_SOUND_COMMON 1101
#define IDC_SOUND_MONITOR_LABEL 1102
#define IDC_SOUND_MONITOR 1103
#define IDC_SOUND_ENABLE 1104
#define IDC_SOUND_PRESS 1105
#define IDC_SOUND_RELEASE 1106
#define IDC_SOUND_KIND_LABEL 1107
#define IDC_SOUND_KIND 1108
#define IDC_SOUND_BEEP_GROUP 1109
#define IDC_SOUND_FREQ_LABEL 1110
#define IDC_SOUND_FREQ_RANGE 1111
#define IDC_SOUND_FREQ_VALUE 1112
#define IDC_SOUND_FREQ_UNIT 1113
#define IDC_SOUND_FREQ_BAR 1114
#define IDC_SOUND_DUR_LABEL 1115
#define IDC_SOUND_DUR_RANGE 1116
#define IDC_SOUND_DUR_VALUE 1117
#define IDC_SOUND_DUR_UNIT 1118
#define IDC_SOUND_DUR_BAR 1119
#define IDC_SOUND_SET_STD 1120
#define IDC_SOUND_BACK_STD 1121
#define IDC_SOUND_INITIAL 1122
#define IDC_SOUND_STD_GROUP 1123
#define IDC_SOUND_STD_ONOFF 1124
#define IDC_SOUND_STD_PRESS 1125
#define IDC_SOUND_STD_KIND 1126
#define IDC_SOUND_STD_FREQ_LABEL 1127
#define IDC_SOUND_STD_FREQ 1128
#define IDC_SOUND_STD_FREQ_UNIT 1129
#define IDC_SOUND_STD_DUR_LABEL 1130
#define IDC_SOUND_STD_DUR 1131
#define IDC_SOUND_STD_DUR_UNIT 1132
#define IDS_SOUND_KIND0 2100 /* the six kinds follow in combo order */
#define IDS_SOUND_KIND1 2101
#define IDS_SOUND_KIND2 2102
#define IDS_SOUND_KIND3 2103
#define IDS_SOUND_KIND4 2104
#define IDS_SOUND_KIND5 2105
#define IDS_SOUND_STD_ON 2106
#define IDS_SOUND_STD_OFF 2107
#define IDS_SOUND_STD_PRESS 2108
#define IDS_SOUND_STD_RELEASE 2109

/* Click page: controls 1200-1299, strings 2200-2299. */
#define IDC_CLICK_MODE_GROUP 1200
#define IDC_CLICK_STREAM 1201
#define IDC_CLICK_POINT 1202
#define IDC_CLICK_CURSOR_GROUP 1203
#define IDC_CLICK_HIDE_CURSOR 1204
#define IDC_CLICK_DCLICK_GROUP 1205
#define IDC_CLICK_EXPLAIN 1206
#define IDC_CLICK_WIDTH_LABEL 1207
#define IDC_CLICK_WIDTH 1208
#define IDC_CLICK_WIDTH_LOW 1209
#define IDC_CLICK_WIDTH_HIGH 1210
#define IDC_CLICK_HEIGHT_LABEL 1211
#define IDC_CLICK_HEIGHT 1212
#define IDC_CLICK_HEIGHT_LOW 1213
#define IDC_CLICK_HEIGHT_HIGH 1214
#define IDC_CLICK_SPEED_LABEL 1215
#define IDC_CLICK_SPEED 1216
#define IDC_CLICK_SPEED_LOW 1217
#define IDC_CLICK_SPEED_HIGH 1218
#define IDC_CLICK_TEST_GROUP 1219
#define IDC_CLICK_TEST_ICON 1220

/* Right-click page: controls 1300-1399, strings 2300-2399. */
#define IDC_RIGHT_GROUP 1300
#define IDC_RIGHT_EXPLAIN_FRAME 1301
#define IDC_RIGHT_EXPLAIN 1302
#define IDC_RIGHT_ENABLE 1303
#define IDC_RIGHT_CTRL 1304
#define IDC_RIGHT_SHIFT 1305
#define IDC_RIGHT_ALT 1306
#define IDC_RIGHT_MODE_FRAME 1307
#define IDC_RIGHT_MODE_TEXT1 1308
#define IDC_RIGHT_MODE_TEXT2 1309 /* Japanese template only */
#define IDC_RIGHT_WHILE_HELD 1310
#define IDC_RIGHT_ONE_TOUCH 1311
#define IDC_RIGHT_ICON_FRAME 1312
#define IDC_RIGHT_TRAY 1313
#define IDC_RIGHT_WINDOW 1314
#define IDC_RIGHT_PICTURE1 1315
#define IDC_RIGHT_ARROWS 1316
#define IDC_RIGHT_PICTURE2 1317
#define IDC_RIGHT_HELP 1318
/* Texts set at start: the right-click wording, then the left-click one. */
#define IDS_RIGHT_GROUP_R 2300
#define IDS_RIGHT_GROUP_L 2301
#define IDS_RIGHT_EXPLAIN_R 2302
#define IDS_RIGHT_EXPLAIN_L 2303
#define IDS_RIGHT_ENABLE_R 2304
#define IDS_RIGHT_ENABLE_L 2305
#define IDS_RIGHT_WHILE_HELD_R 2306
#define IDS_RIGHT_WHILE_HELD_L 2307
#define IDS_RIGHT_ONE_TOUCH_R 2308
#define IDS_RIGHT_ONE_TOUCH_L 2309
#define IDS_RIGHT_HELP_R 2310
#define IDS_RIGHT_HELP_L 2311
#define IDS_RIGHT_MODE1_R 2312 /* the mode texts: Japanese table only */
#define IDS_RIGHT_MODE1_L 2313
#define IDS_RIGHT_MODE2_R 2314
#define IDS_RIGHT_MODE2_L 2315

/* Calibration pages: controls 1400-1499, strings 2400-2499. */

/* Multi-monitor page: controls 1500-1599, strings 2500-2599. */

/* Identification dialog: controls 1600-1649, strings 2600-2649. */
#define IDC_IDENTIFY_TEXT 1600
#define IDC_IDENTIFY_CANCEL 1601 /* not IDCANCEL: Escape must do nothing */

/* Driver information page: controls 1700-1799, strings 2700-2799. */
#define IDC_INFO_GROUP 1700
#define IDC_INFO_ICON 1701
#define IDC_INFO_DRIVER 1702
#define IDC_INFO_UPPER 1703
#define IDC_INFO_LOWER 1704
#define IDC_INFO_NOTICE 1705
#define IDC_INFO_FILES 1706
