/* Resource identifiers of QuorlLib.dlu. Read by the resource compiler too. */
#ifndef QUORLLIB_RESOURCE_H
#define QUORLLIB_RESOURCE_H

#define IDS_LIBINFO_CLASSNAME 3
#define IDS_LIBINFO_TITLE 4
#define IDS_LIBINFO_CATEGORY 5

#define IDS_P1_SIZE 30465
#define IDS_P1_FREQ 30466
#define IDS_P1_HIGH 30467
#define IDS_P1_LOW 30468
#define IDS_P1_LEVELS 30469
#define IDS_P1_PHASE 30470
#define IDS_P2_SIZE 30471
#define IDS_P2_FREQ 30472
#define IDS_P2_HIGH 30473
#define IDS_P2_LOW 30474
#define IDS_P2_LEVELS 30475
#define IDS_P2_PHASE 30476
#define IDS_PERTURB_PARAMS 30477
#define IDS_PERTURB_ON 30478
#define IDS_PERTURB_SIZE 30479

/* Dialog templates. */
#define IDD_LIBINFO 101
#define IDD_ABOUT_MTLEDIT 102
#define IDD_ABOUT_CMDPANEL 130
#define IDD_PERTURB 1055

/* The maker's logo. */
#define IDB_LOGO 102

/* Info utility rollup. */
#define IDC_LIBINFO_VERSION 1001

/* About rollups (the same ids in both templates). */
#define IDC_ABOUT_NAME 1000
#define IDC_ABOUT_VERSION 1003
#define IDC_ABOUT_LOGO 1010
#define IDC_ABOUT_WEB 1012
#define IDC_ABOUT_MAIL 1013
#define IDC_ABOUT_RIGHTS 1014

/* Perturbation rollup: edit fields and their spinners. */
#define IDC_P1_FREQ_EDIT 1000
#define IDC_P1_LOW_EDIT 1001
#define IDC_P1_PHASE_EDIT 1002
#define IDC_P1_FREQ_SPIN 1003
#define IDC_P1_HIGH_SPIN 1004
#define IDC_P1_LOW_SPIN 1005
#define IDC_P1_LEVELS_SPIN 1006
#define IDC_P1_PHASE_SPIN 1007
#define IDC_P1_HIGH_EDIT 1008
#define IDC_P1_LEVELS_EDIT 1009
#define IDC_PERTURB_ON 1012
#define IDC_P1_SIZE_EDIT 1051
#define IDC_P1_SIZE_SPIN 1052
#define IDC_P2_FREQ_EDIT 1053
#define IDC_P2_FREQ_SPIN 1054
#define IDC_PERT_SIZE_EDIT 1055
#define IDC_PERT_SIZE_SPIN 1056
#define IDC_P2_LEVELS_EDIT 1059
#define IDC_P2_PHASE_EDIT 1060
#define IDC_P2_LEVELS_SPIN 1061
#define IDC_P2_PHASE_SPIN 1062
#define IDC_P2_SIZE_EDIT 1063
#define IDC_P2_SIZE_SPIN 1064
#define IDC_P2_HIGH_EDIT 1510
#define IDC_P2_LOW_EDIT 1511
#define IDC_P2_HIGH_SPIN 1512
#define IDC_P2_LOW_SPIN 1513

#endif
