// Identifiers of the program's resources and of the main dialog's controls: the one list that the
// resource scripts and the C++ include, so that each number is written once. Plain macros, since
// the resource compiler reads nothing else. The Quit button is IDCANCEL (2), so that Escape and
// the close box arrive as "Beenden".
#pragma once

#define IDD_MAIN 110
#define IDR_FIRMWARE 119
#define IDB_LOGO 121
#define IDI_APP 123

#define IDC_STATIC (-1)
#define IDC_UPDATE 1002
#define IDC_BOOTLOADER_LABEL 1005
#define IDC_NOTICE 40004
#define IDC_VERSION_GROUP 40007
#define IDC_UNIT_LABEL 40010
#define IDC_CONTROLLER_LABEL 40011
#define IDC_UNIT_VERSION 40013
#define IDC_BOOTLOADER_VERSION 40014
#define IDC_CONTROLLER_VERSION 40015
