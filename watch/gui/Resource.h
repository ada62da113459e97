#pragma once

// Command, window and string ids of KelWatch, with the framework's numbers,
// and the program's string table (KelWatchResources.cpp).
#include "platform/Resources.h"
#include "platform/Types.h"

#include <QString>

// Strings and menus
constexpr UINT IDP_OLE_INIT_FAILED = 100;
constexpr UINT IDR_POPUP_EDIT = 119;
constexpr UINT ID_STATUSBAR_PANE1 = 120;
constexpr UINT ID_STATUSBAR_PANE2 = 121;
constexpr UINT IDS_STATUS_PANE1 = 122;
constexpr UINT IDS_STATUS_PANE2 = 123;
constexpr UINT IDR_MAINFRAME = 128;
constexpr UINT IDR_KelWatchTYPE = 130;
constexpr UINT ID_WINDOW_MANAGER = 131;
constexpr UINT IDS_WINDOWS_MANAGER = 132;
constexpr UINT IDR_WINDOWS_MENU = 152;
constexpr UINT IDR_THEME_MENU = 200;
constexpr UINT IDS_RIBBON_FILE = 260;
constexpr UINT IDS_RIBBON_NEW = 262;
constexpr UINT IDS_RIBBON_OPEN = 263;
constexpr UINT IDS_RIBBON_SAVE = 264;
constexpr UINT IDS_RIBBON_SAVEAS = 265;
constexpr UINT IDS_RIBBON_PRINT = 266;
constexpr UINT IDS_RIBBON_PRINT_LABEL = 267;
constexpr UINT IDS_RIBBON_PRINT_QUICK = 268;
constexpr UINT IDS_RIBBON_PRINT_PREVIEW = 269;
constexpr UINT IDS_RIBBON_PRINT_SETUP = 270;
constexpr UINT IDS_RIBBON_CLOSE = 271;
constexpr UINT IDS_RIBBON_RECENT_DOCS = 272;
constexpr UINT IDS_RIBBON_EXIT = 273;
constexpr UINT IDS_RIBBON_HOME = 274;
constexpr UINT IDS_RIBBON_CLIPBOARD = 275;
constexpr UINT IDS_RIBBON_PASTE = 276;
constexpr UINT IDS_RIBBON_CUT = 277;
constexpr UINT IDS_RIBBON_COPY = 278;
constexpr UINT IDS_RIBBON_SELECTALL = 279;
constexpr UINT IDS_RIBBON_WINDOW = 284;
constexpr UINT IDS_RIBBON_WINDOWS = 285;
constexpr UINT IDS_RIBBON_STYLE = 286;
constexpr UINT IDS_RIBBON_STYLE_TIP = 287;
constexpr UINT IDS_RIBBON_STYLE_DESC = 288;
constexpr UINT IDS_RIBBON_STATUSBAR = 289;
constexpr UINT IDS_RIBBON_VIEW = 290;
constexpr UINT IDS_EDIT_MENU = 306;

// Looks
constexpr UINT ID_VIEW_APPLOOK_WIN_2000 = 210;
constexpr UINT ID_VIEW_APPLOOK_OFF_XP = 211;
constexpr UINT ID_VIEW_APPLOOK_WIN_XP = 212;
constexpr UINT ID_VIEW_APPLOOK_OFF_2003 = 213;
constexpr UINT ID_VIEW_APPLOOK_VS_2005 = 214;
constexpr UINT ID_VIEW_APPLOOK_OFF_2007_BLUE = 215;
constexpr UINT ID_VIEW_APPLOOK_OFF_2007_BLACK = 216;
constexpr UINT ID_VIEW_APPLOOK_OFF_2007_SILVER = 217;
constexpr UINT ID_VIEW_APPLOOK_OFF_2007_AQUA = 218;

// The two logging commands
constexpr UINT ID_LOGGING_START = 32774;
constexpr UINT ID_LOGGING_STOP = 32777;
// Following the end of the file, and its status-bar pane
constexpr UINT ID_VIEW_FOLLOW = 32790;
constexpr UINT ID_STATUSBAR_FOLLOW = 32791;
// Find
constexpr UINT ID_EDIT_FIND_NEXT = 32792;
constexpr UINT ID_EDIT_FIND_PREVIOUS = 32793;
constexpr UINT ID_EDIT_GOTO_LINE = 32794;
// The document's encoding: the choices, detecting again, the status pane
constexpr UINT ID_VIEW_ENCODING_UTF8 = 32795;
constexpr UINT ID_VIEW_ENCODING_CP949 = 32796;
constexpr UINT ID_VIEW_ENCODING_UTF16LE = 32797;
constexpr UINT ID_VIEW_ENCODING_UTF16BE = 32798;
constexpr UINT ID_VIEW_ENCODING_SYSTEM = 32799;
constexpr UINT ID_VIEW_ENCODING_DETECT = 32800;
constexpr UINT ID_STATUSBAR_ENCODING = 32801;
// The document's size read so far and its line count
constexpr UINT ID_STATUSBAR_SIZE = 32802;
// The filter pane, highlight rules and line numbers
constexpr UINT ID_VIEW_FILTER = 32810;
constexpr UINT ID_VIEW_HIGHLIGHT = 32811;
constexpr UINT ID_VIEW_HIGHLIGHT_RULES = 32812;
constexpr UINT ID_VIEW_LINE_NUMBERS = 32813;
constexpr UINT ID_EDIT_COPY_WITH_LINE_NUMBERS = 32814;

// The framework's commands and windows
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_FILE_CLOSE = 57602;
constexpr UINT ID_FILE_SAVE = 57603;
constexpr UINT ID_FILE_SAVE_AS = 57604;
constexpr UINT ID_FILE_PRINT_SETUP = 57606;
constexpr UINT ID_FILE_PRINT = 57607;
constexpr UINT ID_FILE_PRINT_DIRECT = 57608;
constexpr UINT ID_FILE_PRINT_PREVIEW = 57609;
constexpr UINT ID_EDIT_COPY = 57634;
constexpr UINT ID_EDIT_CUT = 57635;
constexpr UINT ID_EDIT_FIND = 57636;
constexpr UINT ID_EDIT_PASTE = 57637;
constexpr UINT ID_EDIT_SELECT_ALL = 57642;
constexpr UINT ID_WINDOW_NEW = 57648;
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT AFX_ID_PREVIEW_CLOSE = 58112;
constexpr UINT AFX_ID_PREVIEW_PRINT = 58116;
constexpr UINT ID_VIEW_STATUS_BAR = 59393;
constexpr UINT AFX_IDW_STATUS_BAR = 59393;
constexpr UINT AFX_IDW_RIBBON_BAR = 59398;

// The view's read-cycle timer.
constexpr int kReadTimerId = 1;
constexpr int kReadTimerPeriodMs = 100;

// The program's string table.
const kel::platform::ResourceModule& KelWatchResources();
// A string of the table; the label before a "\n" key tip with LabelOf.
QString LoadWatchString(UINT id);
QString LabelOf(UINT id);
QString KeyTipOf(UINT id);
