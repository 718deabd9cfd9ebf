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

/* Click page: controls 1200-1299, strings 2200-2299. */

/* Right-click page: controls 1300-1399, strings 2300-2399. */

/* Calibration pages: controls 1400-1499, strings 2400-2499. */
#define IDC_CALIB_POINTS_GROUP 1400
#define IDC_CALIB_9 1401
#define IDC_CALIB_12 1402
#define IDC_CALIB_20 1403
#define IDC_CALIB_PROGRAM_GROUP 1404
#define IDC_CALIB_TEXT 1405
#define IDC_CALIB_MONITOR_LABEL 1406 /* with monitor choice only */
#define IDC_CALIB_MONITOR 1407
#define IDC_CALIB_START 1408
#define IDS_CALIB_PENDING 2400
#define IDS_CALIB_PENDING_CAPTION 2401

/* Multi-monitor page: controls 1500-1599, strings 2500-2599. */
#define IDC_MULTI_USE 1500
#define IDC_MULTI_OS 1501
#define IDC_MULTI_AUTO 1502
#define IDC_MULTI_COUNT_LABEL 1503
#define IDC_MULTI_COUNT 1504
#define IDC_MULTI_MONITOR_LABEL 1505
#define IDC_MULTI_MONITOR 1506
#define IDC_MULTI_RES_LABEL 1507
#define IDC_MULTI_RES 1508
#define IDC_MULTI_X_LABEL 1509
#define IDC_MULTI_X 1510
#define IDC_MULTI_Y_LABEL 1511
#define IDC_MULTI_Y 1512
#define IDC_MULTI_IDENTIFY 1513

/* Identification dialog: controls 1600-1649, strings 2600-2649. */
#define IDC_IDENTIFY_TEXT 1600
#define IDC_IDENTIFY_CANCEL 1601 /* not IDCANCEL: Escape must do nothing */
#define IDS_IDENTIFY_SCREEN1 2601 /* screen N: IDS_IDENTIFY_SCREEN1 + N - 1, up to 2609 */

/* Driver information page: controls 1700-1799, strings 2700-2799. */
#define IDC_INFO_GROUP 1700
#define IDC_INFO_ICON 1701
#define IDC_INFO_DRIVER 1702
#define IDC_INFO_UPPER 1703
#define IDC_INFO_LOWER 1704
#define IDC_INFO_NOTICE 1705
#define IDC_INFO_FILES 1706
