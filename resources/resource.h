/* Resource ids of kxsetup: dialog templates, controls and the icon. */
#ifndef KX_RESOURCE_H
#define KX_RESOURCE_H

/* Controls without an id of their own (resource editors' name for it) */
#ifndef IDC_STATIC
#define IDC_STATIC           (-1)
#endif

/* Dialog templates */
#define IDD_WELCOME          102
#define IDD_INSTALLTYPE      105
#define IDD_PRINTER          108
#define IDD_PORT             110
#define IDD_COMPONENTS       111
#define IDD_INPUTPATH        114
#define IDD_DEFAULTPRINTER   115

/* Icon: the host window's class and the welcome page show it */
#define IDI_KXSETUP          300

/* Welcome page */
#define IDC_WELCOME_ICON     300

/* Printer page */
#define IDC_PRINTER_LIST     1001

/* Port page */
#define IDC_PORT_COMBO       1007
#define IDC_PORT_BROWSE      1008

/* Installation type page: the radio ids are the InstallMode values */
#define IDC_TYPE_MINIMUM     1025
#define IDC_TYPE_CUSTOM      1026
#define IDC_TYPE_EXPRESS     1027

/* Components page */
#define IDC_COL3_HEAD        1026
#define IDC_COL3_NEED        1027
#define IDC_COL3_FREE        1028
#define IDC_MODEL1           1034
#define IDC_MODEL2           1035
#define IDC_MODEL3           1036
#define IDC_MODEL1_SIZE      1037
#define IDC_MODEL2_SIZE      1038
#define IDC_MODEL3_SIZE      1039
#define IDC_STATUS           1040
#define IDC_PANEL            1041
#define IDC_STATUS_SIZE      1042
#define IDC_PANEL_SIZE       1043
#define IDC_STATUS_DIR       1044
#define IDC_PANEL_DIR        1045
#define IDC_COL1_HEAD        1046
#define IDC_COL2_HEAD        1047
#define IDC_COL1_NEED        1048
#define IDC_COL2_NEED        1049
#define IDC_COL1_FREE        1050
#define IDC_COL2_FREE        1051
#define IDC_STATUS_CHANGE    1052
#define IDC_PANEL_CHANGE     1053

/* Input path dialog */
#define IDC_INPUT_PATH       1024
#define IDC_INPUT_BROWSE     1008

/* Default printer dialog */
#define IDC_SET_DEFAULT      1025

#endif
