// The identifiers of the windows' resources; read by the resource compiler
// and by the forms' code.
#pragma once

#define IDD_FORM2 100
#define IDC_PROGBAR1 101
#define IDC_LBLSTATUS 102
#define IDC_LBLVERSION 103

#define IDR_MAINMENU1 200
#define IDR_FORM1KEYS 201
#define IDM_EXIT1 202

#define IDI_FORM1 300
