/* Resource identifiers of Vede.dlt. Read by the resource compiler too. */
#ifndef VEDE_RESOURCE_H
#define VEDE_RESOURCE_H

#define IDS_CATEGORY 2
#define IDS_CLASS_NAME 3
#define IDS_PARAMS 4
#define IDS_COORDS 5
#define IDS_DIRT_COLOR 6
#define IDS_DIRT_ALPHA 7
#define IDS_SIZE 8
#define IDS_HIGH 9
#define IDS_LOW 10
#define IDS_NONDIRT_ALPHA 11
#define IDS_MAP 12
#define IDS_MAP_ON 13
#define IDS_NONE 14
#define IDS_PERTURB 15
#define IDS_LIBDESCRIPTION 16

#define IDD_DIRT 101

#define IDC_MAP_BUTTON 1020
#define IDC_DIRT_COLOR 1456
#define IDC_ALPHA_EDIT 1490
#define IDC_SIZE_EDIT 1491
#define IDC_NONDIRT_EDIT 1492
#define IDC_HIGH_EDIT 1493
#define IDC_LOW_EDIT 1494
#define IDC_ALPHA_SPIN 1496
#define IDC_SIZE_SPIN 1497
#define IDC_NONDIRT_SPIN 1498
#define IDC_HIGH_SPIN 1499
#define IDC_LOW_SPIN 1500
#define IDC_MAP_ON 1640

#endif
