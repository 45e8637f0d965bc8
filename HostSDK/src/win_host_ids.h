/* Identifiers of the host layer's own resources (win_host.rc). */
#ifndef HOSTSDK_WIN_HOST_IDS_H
#define HOSTSDK_WIN_HOST_IDS_H

#define IDD_XYZGEN          3001

#define IDC_XYZ_OBJECT      3010
#define IDC_XYZ_WORLD       3011
#define IDC_OFFSET_X_EDIT   3020
#define IDC_OFFSET_X_SPIN   3021
#define IDC_OFFSET_Y_EDIT   3022
#define IDC_OFFSET_Y_SPIN   3023
#define IDC_OFFSET_Z_EDIT   3024
#define IDC_OFFSET_Z_SPIN   3025
#define IDC_TILING_X_EDIT   3030
#define IDC_TILING_X_SPIN   3031
#define IDC_TILING_Y_EDIT   3032
#define IDC_TILING_Y_SPIN   3033
#define IDC_TILING_Z_EDIT   3034
#define IDC_TILING_Z_SPIN   3035
#define IDC_ANGLE_X_EDIT    3040
#define IDC_ANGLE_X_SPIN    3041
#define IDC_ANGLE_Y_EDIT    3042
#define IDC_ANGLE_Y_SPIN    3043
#define IDC_ANGLE_Z_EDIT    3044
#define IDC_ANGLE_Z_SPIN    3045

#endif
