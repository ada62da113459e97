#pragma once

// Identifiers and fixed texts of Kelbench's resources: the commands of the
// tray menu, the system-menu about item, the tray icon's id and message.
#include <platform/Types.h>

namespace kel::bench {

constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDS_ABOUTBOX = 101;          // "Kelbench 정보(&A)..."
constexpr UINT IDD_KELBENCH_DIALOG = 102;
constexpr UINT IDR_MAINFRAME = 128;         // main icon
constexpr UINT IDR_TRAY = 129;              // tray icon id, tray menu, "메인메뉴"
constexpr UINT ID_TRAY_EXIT = 131;          // "종료"
constexpr UINT IDM_ABOUTBOX = 16;           // system-menu command of the about item
constexpr UINT WM_TRAY_NOTIFY = 0x800A;     // the application message base plus 10
constexpr UINT IDS_APP_TITLE = 57344;       // "Kelbench"

constexpr UINT ID_TRAY_VSASSIST = 32771;
constexpr UINT ID_TRAY_SEED = 32772;
constexpr UINT ID_TRAY_BASE64DECODING = 32773;
constexpr UINT ID_TRAY_BASE64ENCODING = 32774;
constexpr UINT ID_TRAY_IMAGE = 32778;
constexpr UINT ID_TRAY_FILES = 32780;
constexpr UINT ID_TRAY_HASH = 32783;

// Mouse messages that the tray icon reports.
constexpr UINT WM_LBUTTONDBLCLK = 0x203;
constexpr UINT WM_RBUTTONUP = 0x205;
// The settings-change parameter of a work-area change.
constexpr UINT SPI_SETWORKAREA = 0x2F;

constexpr const wchar_t* kAppTitle = L"Kelbench";
constexpr const wchar_t* kAboutMenuText = L"Kelbench 정보(&A)...";

struct SMenuItem {
    UINT nCommand; // 0 for a separator
    const wchar_t* pszText;
};

// The first submenu of menu 129, the tray's popup menu, in order.
constexpr SMenuItem kTrayMenu[] = {
    { IDR_TRAY, L"메인메뉴" },
    { 0, nullptr },
    { ID_TRAY_VSASSIST, L"VS Assist" },
    { ID_TRAY_FILES, L"Files" },
    { ID_TRAY_BASE64ENCODING, L"Base64Encoding" },
    { ID_TRAY_BASE64DECODING, L"Base64Decoding" },
    { ID_TRAY_HASH, L"Hash" },
    { ID_TRAY_SEED, L"Seed" },
    { ID_TRAY_IMAGE, L"Image" },
    { 0, nullptr },
    { ID_TRAY_EXIT, L"종료" },
};

// The pages of the main window, in tab order.
enum Page { kPageVSAssist = 0, kPageFiles, kPageBase64Encoding, kPageBase64Decoding, kPageHash, kPageCount };

// The page a tray command selects; -1 for a command that selects none.
int PageOfTrayCommand(UINT command);

} // namespace kel::bench
