// Resource identifiers shared by spoolsweep.rc and the program's code. Plain #defines only: the resource
// compiler reads this file too.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDM_ABOUTBOX 16
#define IDS_ABOUTBOX 101
#define IDD_SPOOLSWEEP_DIALOG 102
#define IDS_APP_CAPTION 102
#define IDS_NO_PRINTERS 103
#define IDS_ALL_PRINTERS_CHECKED 104
#define IDS_DRIVER_KEPT 105
#define IDR_MAINFRAME 128
#define IDS_DELETE_ALL_DRIVERS 129
#define IDS_PRINTERS_BUSY 130
#define IDB_ABOUT 135
#define IDS_VERSION_LABEL 140
// The about window's credit paragraphs, scrolled after the version line in this order.
#define IDS_CREDITS_1 141
#define IDS_CREDITS_2 142
#define IDS_CREDITS_3 143
#define IDS_CREDITS_4 144
#define IDS_NOTHING_SELECTED 147
#define IDC_PRINTER_LIST 1000
#define IDC_DELETE 1001
#define IDC_DELETE_ALL 1002
#define IDC_DELETED_LIST 1004
#define IDC_EXPAND 1005
#define IDC_DELETED_LABEL 1008
#define IDS_CLOSE_APPLICATIONS 1010
#define IDS_DELETE_PRESETS 1011
