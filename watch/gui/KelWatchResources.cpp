#include "Resource.h"

namespace {

kel::platform::ResourceModule MakeResources()
{
    kel::platform::ResourceModule module;
    module.strings = {
        {IDP_OLE_INIT_FAILED, L"OLE를 초기화할 수 없습니다. OLE 라이브러리 버전이 올바른지 확인하십시오."},
        {IDR_KelWatchTYPE, L"\nKelWatch\nKelWatch\n\n\nKelWatch.Document\nKelWatch.Document"},
        {IDS_STATUS_PANE1, L"창 1"},
        {IDS_STATUS_PANE2, L"창 2"},
        {IDS_WINDOWS_MANAGER, L"창(&W)..."},
        {IDS_RIBBON_FILE, L"파일\nf"},
        {IDS_RIBBON_NEW, L"새로 만들기(&N)"},
        {IDS_RIBBON_OPEN, L"열기(&O)..."},
        {IDS_RIBBON_SAVE, L"저장(&S)"},
        {IDS_RIBBON_SAVEAS, L"다른 이름으로 저장(&A)..."},
        {IDS_RIBBON_PRINT, L"인쇄(&P)"},
        {IDS_RIBBON_PRINT_LABEL, L"문서 미리 보기 및 인쇄"},
        {IDS_RIBBON_PRINT_QUICK, L"빠른 인쇄(&Q)"},
        {IDS_RIBBON_PRINT_PREVIEW, L"인쇄 미리 보기(&V)"},
        {IDS_RIBBON_PRINT_SETUP, L"인쇄 설정(&U)"},
        {IDS_RIBBON_CLOSE, L"닫기(&C)"},
        {IDS_RIBBON_RECENT_DOCS, L"최근 문서"},
        {IDS_RIBBON_EXIT, L"끝내기(&X)"},
        {IDS_RIBBON_HOME, L"홈(&H)"},
        {IDS_RIBBON_CLIPBOARD, L"클립보드\nd"},
        {IDS_RIBBON_PASTE, L"붙여넣기\nv"},
        {IDS_RIBBON_CUT, L"잘라내기\nx"},
        {IDS_RIBBON_COPY, L"복사\nc"},
        {IDS_RIBBON_SELECTALL, L"모두 선택\na"},
        {IDS_RIBBON_WINDOW, L"창\nw"},
        {IDS_RIBBON_WINDOWS, L"창\ni"},
        {IDS_RIBBON_STYLE, L"스타일"},
        {IDS_RIBBON_STYLE_TIP, L"시각적 스타일 변경"},
        {IDS_RIBBON_STYLE_DESC, L"프로그램의 시각적 스타일을 고릅니다."},
        {IDS_RIBBON_STATUSBAR, L"상태 표시줄"},
        {IDS_RIBBON_VIEW, L"보기"},
        {IDS_EDIT_MENU, L"편집"},
        {ID_LOGGING_START, L"로깅 시작"},
        {ID_LOGGING_STOP, L"로깅 중지"},
    };
    return module;
}

} // namespace

const kel::platform::ResourceModule& KelWatchResources()
{
    static const kel::platform::ResourceModule module = MakeResources();
    return module;
}

QString LoadWatchString(UINT id)
{
    const wchar_t* text = kel::platform::FindStringResource(KelWatchResources(), id);
    return text ? QString::fromWCharArray(text) : QString();
}

QString LabelOf(UINT id)
{
    return LoadWatchString(id).section(QLatin1Char('\n'), 0, 0);
}

QString KeyTipOf(UINT id)
{
    return LoadWatchString(id).section(QLatin1Char('\n'), 1);
}
