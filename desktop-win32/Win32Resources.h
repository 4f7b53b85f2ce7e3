// Resource ids of velmar.exe, shared by the resource script and the code. Control ids of the
// main window are the window logic's (src/app/ControlIds.h); the captions that the logic never
// addresses get ids of their own here so that their texts can be translated.
#pragma once

#define IDI_VELMAR 128
#define IDB_PRODUCT 159
#define IDB_KEY_POWER 185
#define IDB_KEY_HOLD 186
#define IDB_KEY_PRESS 187
#define IDD_MAIN 102
#define IDD_REPORT_PAGE 103
#define IDD_ABOUT 104
#define IDD_SETTINGS 105
#define IDD_PROXY_LOGIN 106
#define IDD_BOOT_MODE 107

#define IDM_ABOUT 16
#define IDM_TRAY_MAXIMIZE 32776
#define IDM_TRAY_EXIT 32777

// Captions of the main window.
#define IDC_SOFTWARE_CAPTION 1101
#define IDC_AVAILABLE_CAPTION 1102
#define IDC_WEB_CAPTION 1103
#define IDC_TOOL_CAPTION 1104
#define IDC_PICTURE 1105
#define IDC_PAGE_FRAME 1055
#define IDC_ABOUT_TEXT 1106
#define IDC_HISTORY_LIST 1107

// Settings dialog.
#define IDC_AUTO_DETECT 1201
#define IDC_AUTO_HINT 1202
#define IDC_PORT_CAPTION 1203
#define IDC_PORT_LIST 1204
#define IDC_TEST_CONNECTION 1205
#define IDC_PROGRAM_GROUP 1206
#define IDC_UPGRADE_CHECK 1207
#define IDC_RESET_GROUP 1208
#define IDC_RESET_CAPTION 1209
#define IDC_FACTORY_RESET 1210
#define IDC_APPLY 1211
#define IDC_LOGIN_START 1212

// Proxy login dialog.
#define IDC_PROXY_PROMPT 1301
#define IDC_LOGIN_CAPTION 1302
#define IDC_LOGIN 1303
#define IDC_PASSWORD_CAPTION 1304
#define IDC_PASSWORD 1305

// Boot-mode caution box.
#define IDC_BOOT_STEPS 1401
#define IDC_BOOT_SCREEN 1402
#define IDC_BOOT_KEY1 1403
#define IDC_BOOT_KEY2 1404
#define IDC_BOOT_KEY3 1405
