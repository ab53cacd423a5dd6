// Ids of the module's resources: the dialog templates of qeltoruca.rc and
// their controls. Read by the resource script (#include "resource.h") and
// by the C++ code of the dialogs, qelhost and the tests, so that each id is
// written once. Only #define lines with plain numbers: the resource-script
// loader reads nothing else in an included header.
#pragma once

// Dialog templates
#define IDD_TORUCA_SETTINGS 13650
#define IDD_TORUCA_OUTPUT 13651
#define IDD_TORUCA_CATEGORY 13652
#define IDD_TORUCA_UNIQICON 13653

// Output method dialog: one auto radio button per form
#define IDC_OUTPUT_PROJECT 20000  // "TPJファイルを作成する(&P)"
#define IDC_OUTPUT_CARD 20001     // "トルカ(詳細)ファイルを作成する(&D)"
#define IDC_OUTPUT_SNIP 20002     // "トルカファイルを作成する(&T)"

// Settings dialog
#define IDC_VERSION 20003  // version combo
#define IDC_URL 20004
#define IDC_DATA1 20005
#define IDC_DATA2 20006  // multi-line: Ctrl+Enter breaks a line ("\r\n")
#define IDC_DATA3 20007
#define IDC_IPID 20008
#define IDC_SORTID 20009  // "カナID(&K) :"
#define IDC_EXPIRES 20010
#define IDC_DIST 20011  // Dist combo, index = Dist - 1
#define IDC_LASTMODIFIED 20012
#define IDC_CATEGORY_ICON 20013
#define IDC_UNIQICON_ICON 20014
#define IDC_CATEGORY_REF 20015  // "参照(&R)..."
#define IDC_UNIQICON_REF 20016  // "参照(&E)..."; "参照(&R)..." in the unique icon dialog
#define IDC_COLOR 20017         // colour combo, index = Color-ID
#define IDC_UNIQICON_TITLE 20018
#define IDC_NOW 20019           // "現在日時(&W)"
#define IDC_VERSION_TEXT 20031  // description of the version

// Unique category icon dialog (its browse button is IDC_UNIQICON_REF)
#define IDC_UNIQDLG_TITLE 20020
#define IDC_UNIQDLG_FILE 20021

// Icon selection dialog
#define IDC_ICON 20022         // radio "アイコンを指定する(&I)"
#define IDC_NO_ICON 20023      // radio "アイコンを指定しない(&N)"
#define IDC_GENRE 20024        // genre combo
#define IDC_CODES 20025        // code list
#define IDC_GENRE_LABEL 20026  // "ジャンル(&G) :"
