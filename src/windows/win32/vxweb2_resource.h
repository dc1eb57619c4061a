// Resource and control identifiers of the About box, shared by its layout
// (vxweb2.rc) and its code (vxweb2.cc). Plain macros: the resource compiler
// reads this file too. The resources keep to 2300-2309, away from the other
// windows' ones in the same program.
#pragma once

#define IDD_FRMABOUT 2300
#define IDI_FRMABOUT 2301
#define IDI_BITBTN1_GLYPH 2302

// BitBtn1 is the dialog's OK button, so that the dialog manager makes it the
// default one.
#define IDC_BITBTN1 1
#define IDC_LBLVERSION 1001
#define IDC_LABEL1 1002
#define IDC_LABEL2 1003
