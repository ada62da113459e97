#include "KelWatchApp.h"

#include "ChildFrm.h"
#include "KelWatchView.h"
#include "MainFrm.h"

const wchar_t* const CKelWatchApp::kRegistryKey = L"로컬 응용 프로그램 마법사에서 생성된 응용 프로그램";

CKelWatchApp::CKelWatchApp(QStringList arguments) : CWinApp(L"KelWatch"), m_arguments(std::move(arguments)) {}

CKelWatchApp::~CKelWatchApp() = default;

BOOL CKelWatchApp::InitInstance()
{
    SetRegistryKey(kRegistryKey);
    m_mainFrame = std::make_unique<CMainFrame>(this);
    if (!m_mainFrame->LoadFrame()) {
        m_mainFrame.reset();
        return FALSE;
    }
    // Only a command line that names something opens documents: a tab for
    // each path, the first one in front.
    if (!m_arguments.isEmpty()) {
        CChildFrame* first = m_mainFrame->OpenDocumentFiles(m_arguments);
        if (!first)
            return FALSE;
        if (!m_bFollowAtStart)
            for (CChildFrame* child : m_mainFrame->Children())
                child->GetView()->SetFollowing(false);
        if (m_nStartLine > 0)
            first->GetView()->GoToLineOnceRead(m_nStartLine);
    }
    m_mainFrame->show();
    return TRUE;
}

void CKelWatchApp::SetStartOptions(size_t line, bool follow)
{
    m_nStartLine = line;
    m_bFollowAtStart = follow;
}
