#pragma once

// CPageVSAssist: the "VS Assist" page: buttons that delete the recent
// project and file lists that development tools keep in the current user's
// registry, and "Button1", which shows the system volume's serial number.
#include <platform/StringW.h>
#include <platform/Types.h>

class CPageVSAssist {
public:
    // Buttons of the page.
    enum Button : UINT {
        kVS6Projects = 1000,
        kVS6Files = 1002,
        kVS2008Projects = 1003,
        kVS2008Files = 1004,
        kDoxygen = 1006,
        kButton1 = 1151,
    };

    CStringW m_strDiskId; // edit 1152

    // The key below HKEY_CURRENT_USER that a clear button deletes; null for
    // any other button.
    static const wchar_t* KeyOf(UINT button);
    // Deletes the button's key with everything under it. A missing key is
    // no failure; nothing is shown either way.
    static void ClearList(UINT button);
    // "Button1": the serial number of the system volume, in decimal. A
    // failure shows its message and leaves the field as it was.
    void ShowDiskId();
};
