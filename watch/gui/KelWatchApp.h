#pragma once

// CKelWatchApp: start-up of the viewer. Without arguments the frame starts
// empty; each path given is opened in a tabbed window of its own, the first
// one in front. The profile (the chosen look) lives under the registry key of
// the application.
#include "platform/WinApp.h"

#include <QStringList>

#include <memory>

class CMainFrame;

class CKelWatchApp : public CWinApp {
public:
    // The registry key under which the application's profile is kept.
    static const wchar_t* const kRegistryKey;

    // `arguments` without the program name.
    explicit CKelWatchApp(QStringList arguments);
    ~CKelWatchApp() override;

    // The first document shown at line `line` (1-based; 0: at its end, as it
    // is followed), and with `follow` false every document starting at its
    // first line instead of following the end. Before InitInstance.
    void SetStartOptions(size_t line, bool follow);

    BOOL InitInstance() override;
    CMainFrame* MainFrame() const { return m_mainFrame.get(); }

private:
    QStringList m_arguments;
    size_t m_nStartLine = 0;
    bool m_bFollowAtStart = true;
    std::unique_ptr<CMainFrame> m_mainFrame;
};
