// Control ids of the settings dialogs, shared by the resource script, the
// dialog procedures and the form validation that names the control to focus.
#ifndef TARNU_UI_CONTROL_IDS_H_
#define TARNU_UI_CONTROL_IDS_H_

// Basic settings dialog.
#define IDC_PERIODIC_CHECK 1008
#define IDC_INTERVAL 1009
#define IDC_NO_CHECK_AT_START 1046
#define IDC_QUOTE 1044
#define IDC_FONT_NAME 1043
#define IDC_CHOOSE_FONT 1045
#define IDC_AUTO_OPEN 1052
#define IDC_NO_POSITION_RESTORE 1047
#define IDC_NO_HISTORY_AT_START 1048
#define IDC_INTERVAL_LABEL 1050
#define IDC_INTERVAL_UNIT 1051

// Host list and host settings dialogs.
#define IDC_HOST_LIST 1003
#define IDC_HOST_ADD 1004
#define IDC_HOST_EDIT 1005
#define IDC_HOST_DELETE 1006
#define IDC_HOST_NAME 1000
#define IDC_SERVER 1017
#define IDC_POP3_PORT 1001
#define IDC_USER 1013
#define IDC_PASSWORD 1014
#define IDC_LINES 1018
#define IDC_TIMEOUT 1021
#define IDC_CHECK_HOST 1019
#define IDC_APOP 1002
#define IDC_FORWARD 1010
#define IDC_NOTIFY_ADDRESS 1011
#define IDC_SMTP_SERVER 1032
#define IDC_SMTP_PORT 1033
#define IDC_SUBJECT_PREFIX 1049
#define IDC_RULE_SUMMARY 1085
#define IDC_EDIT_RULE 1084

// Forwarding conditions dialog.
#define IDC_FORWARD_IF_SUBJECT 1075
#define IDC_FORWARD_IF_SUBJECT_LIST 1076
#define IDC_STOP_IF_SUBJECT 1077
#define IDC_STOP_IF_SUBJECT_LIST 1078
#define IDC_FORWARD_IF_FROM 1079
#define IDC_FORWARD_IF_FROM_LIST 1080
#define IDC_STOP_IF_FROM 1081
#define IDC_STOP_IF_FROM_LIST 1083

#endif  // TARNU_UI_CONTROL_IDS_H_
