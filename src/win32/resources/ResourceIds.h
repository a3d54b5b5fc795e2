#pragma once

// The ids of the program's resources and of the controls in its dialog
// templates. Read by windres as well as by the compiler: defines only.

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_BOOTLOADER 129
#define IDD_SERIAL_PAGE 201
#define IDD_ETHERNET_PAGE 202
#define IDD_PROGRESS 203
#define IDD_HISTORY 204

// Icon, strings.
#define IDI_VENNIX 128
#define IDS_ABOUTBOX 101
#define IDS_HISTORY 104

// The system menu's own items.
#define IDM_ABOUTBOX 0x0010
#define IDM_HISTORY 0x0020

// Main window (102).
#define IDC_BROWSE 1001
#define IDC_RESULTS 1003
#define IDC_ABOUT 1006
#define IDC_PATH 1007
#define IDC_PORT_TOGGLE 1038
#define IDC_DOWNLOAD 1049
#define IDC_CLEAR_RESULTS 1050
#define IDC_TABS 1171
#define IDC_SIZE_TEXT 1194
#define IDC_AUTO_OPEN 1365
#define IDC_CLOSE_WINDOW 3

// Serial page (201).
#define IDC_SEND_GROUP 1008
#define IDC_XMIT_TEXT 1009
#define IDC_XMIT 1010
#define IDC_INDUCE 1011
#define IDC_PORT_LIST 1032
#define IDC_BAUD_LIST 1033
#define IDC_FORMAT_LIST 1034

// Ethernet page (202).
#define IDC_IP_ADDRESS 1172
#define IDC_IP_HISTORY 1433

// Progress dialog (203).
#define IDC_PROGRESS_BAR 1173
#define IDC_PROGRESS_STATUS 1257
#define IDC_PROGRESS_DETAIL 1258

// Download history (204).
#define IDC_HISTORY_HEADING 1501
#define IDC_HISTORY_LIST 1502
#define IDC_HISTORY_COPY 1503
#define IDC_HISTORY_EXPORT 1504

// The results box's window class.
#define VENNIX_RESULTS_CLASS "VennixResultsBox"
