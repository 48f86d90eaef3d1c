/* Resource and command identifiers of Tarvoke, shared by the program code and tarvoke.rc. */
#ifndef TARVOKE_RESOURCE_H
#define TARVOKE_RESOURCE_H

/* Menu "TarvokeMenu" */
#define IDM_CONFIGURE 100
#define IDM_ABOUT 140
#define IDM_EXIT 150

/* Commands to a report display window */
#define IDM_DISPLAYCLOSE 220
#define IDM_DISPLAYREFRESH 230

/* Dialog "ABOUT" */
#define IDC_ABOUT_ICON 100
#define IDC_ABOUT_NAME 102
#define IDC_ABOUT_TITLE 103
#define IDC_ABOUT_AUTHOR1 104
#define IDC_ABOUT_AUTHOR2 105
#define IDC_ABOUT_OK 141

/* Dialog "LANAS" */
#define IDC_LANAS_OK 101
#define IDC_LANAS_CANCEL 102
#define IDC_LANAS_NUMBER 103
#define IDC_LANAS_LABEL 501

/* Dialog "CONFIGURE" */
#define IDC_CONFIG_OK 111
#define IDC_CONFIG_CANCEL 112
#define IDC_CONFIG_NAME 114
#define IDC_CONFIG_FREQUENCY 115
#define IDC_CONFIG_SPIN 116
#define IDC_CONFIG_ERRORS 117
#define IDC_CONFIG_NAMETABLE 118
#define IDC_CONFIG_CAPACITY 119
#define IDC_CONFIG_SESSIONS 120
#define IDC_CONFIG_ACTIVE 121
#define IDC_CONFIG_NAMELABEL 502
#define IDC_CONFIG_FREQLABEL 503

#endif
