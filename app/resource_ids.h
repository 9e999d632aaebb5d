// Numeric ids shared by the resources, the Win32 shell and the core.
#ifndef TARNU_APP_RESOURCE_IDS_H_
#define TARNU_APP_RESOURCE_IDS_H_

// Dialogs.
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_SETTINGS 129
#define IDD_HOST_LIST 130
#define IDD_HOST_SETTINGS 131
#define IDD_RESULT 132
#define IDD_MAIL_DETAIL 139
#define IDD_FORWARD_RULE 147
#define IDD_HOST_EXTRAS 160
// Strings.
#define IDS_ABOUT_ITEM 101
#define IDS_WINSOCK_FAILED 103
// Icons.
#define IDI_TARNU 128
#define IDI_CHECKING_1 142
#define IDI_CHECKING_2 143
#define IDI_CHECKING_3 144
#define IDI_NEW_MAIL_1 145
#define IDI_NEW_MAIL_2 146
// Bitmaps.
#define IDB_SMALL_PICTURES 135
#define IDB_STATE_PICTURES 136
#define IDB_HOST_PICTURES 138
// Menus.
#define IDR_TRAY_MENU 137
#define IDR_RESULT_MENU 141
// Commands.
#define IDM_ABOUT 16
#define IDM_CHECK 32775
#define IDM_SETTINGS 32776
#define IDM_HOSTS 32777
#define IDM_SHOW_RESULTS 32778
#define IDM_EXIT 32779
#define IDM_MAIL_DETAIL 32782
#define IDM_HELP 32783
// Controls.
#define IDC_TEST_CHECK 1012
#define IDC_RESULT_LIST 1015
#define IDC_TEST_HOSTS 1020
// The last notification's title and text, on the hidden main window, where
// tests read them back (Wine's shell gives the title to nobody).
#define IDC_LAST_NOTICE 1100
// The basic settings' switches kept outside tarnu.pref.
#define IDC_NOTIFY_NEW_MAIL 1101
#define IDC_START_AT_SIGN_IN 1102
// The mail detail window.
#define IDC_DETAIL_SUBJECT 1022
#define IDC_DETAIL_FROM 1023
#define IDC_DETAIL_TO 1024
#define IDC_DETAIL_CC 1026
#define IDC_DETAIL_BODY 1027
#define IDC_DETAIL_FULL_TEXT 1034
#define IDC_DETAIL_QUOTED_COPY 1038
#define IDC_DETAIL_SIZE 1053

#endif  // TARNU_APP_RESOURCE_IDS_H_
