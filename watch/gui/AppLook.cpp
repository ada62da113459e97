#include "AppLook.h"

#include "Resource.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace {

struct SAppLook {
    UINT id;
    const wchar_t* text;
    const char* style;
    QRgb button;
    QRgb window;
};

constexpr SAppLook kLooks[] = {
    {ID_VIEW_APPLOOK_WIN_2000, L"Windows 2000(&2)", "Windows", qRgb(212, 208, 200), qRgb(212, 208, 200)},
    {ID_VIEW_APPLOOK_OFF_XP, L"Office XP(&X)", "Fusion", qRgb(219, 216, 209), qRgb(249, 248, 247)},
    {ID_VIEW_APPLOOK_WIN_XP, L"Windows XP(&W)", "Fusion", qRgb(236, 233, 216), qRgb(236, 233, 216)},
    {ID_VIEW_APPLOOK_OFF_2003, L"Office 2003(&3)", "Fusion", qRgb(196, 218, 250), qRgb(227, 239, 255)},
    {ID_VIEW_APPLOOK_VS_2005, L"Visual Studio.NET 2005(&5)", "Fusion", qRgb(238, 238, 227), qRgb(252, 252, 249)},
    {ID_VIEW_APPLOOK_OFF_2007_BLUE, L"파랑 스타일(&B)", "Fusion", qRgb(191, 219, 255), qRgb(227, 239, 255)},
    {ID_VIEW_APPLOOK_OFF_2007_BLACK, L"검정 스타일(&L)", "Fusion", qRgb(66, 66, 66), qRgb(83, 83, 83)},
    {ID_VIEW_APPLOOK_OFF_2007_SILVER, L"은색 스타일(&S)", "Fusion", qRgb(208, 212, 221), qRgb(233, 235, 238)},
    {ID_VIEW_APPLOOK_OFF_2007_AQUA, L"바다색 스타일(&A)", "Fusion", qRgb(196, 226, 224), qRgb(222, 240, 239)},
};

const SAppLook& LookOf(UINT id)
{
    for (const SAppLook& look : kLooks)
        if (look.id == id)
            return look;
    return kLooks[ID_VIEW_APPLOOK_OFF_2007_BLUE - ID_VIEW_APPLOOK_WIN_2000];
}

} // namespace

bool IsAppLook(UINT id)
{
    return id >= ID_VIEW_APPLOOK_WIN_2000 && id <= ID_VIEW_APPLOOK_OFF_2007_AQUA;
}

void ApplyAppLook(UINT id)
{
    const SAppLook& look = LookOf(id);
    if (QStyle* style = QStyleFactory::create(QString::fromLatin1(look.style)))
        QApplication::setStyle(style); // the application takes ownership
    QApplication::setPalette(QPalette(QColor(look.button), QColor(look.window)));
}

QString AppLookText(UINT id)
{
    return QString::fromWCharArray(LookOf(id).text);
}
