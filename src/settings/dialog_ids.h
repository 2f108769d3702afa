#pragma once
// Identifiers of the settings dialogs' templates and controls, shared by the resource script, the
// dialog views and the programs that drive the dialogs in tests. Plain #defines, so that the
// resource compiler reads this file too.

// Templates: English and Japanese of each dialog and page.
#define IDD_CAMERA_EN 106
#define IDD_CAMERA_JA 101
#define IDD_FILTER_EN 108
#define IDD_FILTER_JA 102
#define IDD_FILTER_PAGE_EN 107
#define IDD_FILTER_PAGE_JA 103
#define IDD_GRAY_PAGE_EN 112
#define IDD_GRAY_PAGE_JA 113
#define IDD_GAIN_EN 111
#define IDD_GAIN_JA 104
#define IDD_GAIN_PAGE_EN 110
#define IDD_GAIN_PAGE_JA 105

// Every container.
#define IDC_TAB 1001
#define IDC_DEFAULT 3

// Camera property dialog.
#define IDC_APPLY 1002
#define IDC_COLOR_LIST 1009
#define IDC_SIZE_LIST 1010
#define IDC_SUBSAMPLE_LIST 1012
#define IDC_CLOCK_LIST 1014
#define IDC_TOTAL_H 1039
#define IDC_TOTAL_V 1040
#define IDC_EFFECTIVE_H 1041
#define IDC_EFFECTIVE_V 1042
#define IDC_START_H 1043
#define IDC_START_V 1044
#define IDC_WAIT_TIME 1045

// Image filter page (trackbar, edit and up-down of each group are in slider_group.cpp's tables).
#define IDC_WB_ONCE 2074
#define IDC_WB_ALL_FRAMES 1035
#define IDC_BAYER_0 1030
#define IDC_BAYER_1 1031
#define IDC_BAYER_2 1032
#define IDC_BAYER_3 1033

// Gray filter page (also IDC_WB_ONCE, IDC_WB_ALL_FRAMES and IDC_BAYER_0..3, for its own counter).
#define IDC_GRAY_BAYER 1045
#define IDC_GRAY_CONVERT 1046
#define IDC_GRAY_GRAYSCALE 1047

// Analog gain page.
#define IDC_MIRROR_V 1029
#define IDC_MIRROR_H 1030
#define IDC_IRIS_GAIN 1036
#define IDC_IRIS_EXPOSURE 1037
#define IDC_EXPOSURE_TIME 1048
