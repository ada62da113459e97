// Kelbench: the tray-resident developer assistant.
#include "KelbenchApp.h"
#include "platform/UiHooks.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (!kel::platform::DesktopAvailableFor("Kelbench"))
        return 1;
    QApplication application(argc, argv);
    CKelbenchApp app;
    if (!app.InitInstance())
        return 0;
    const int status = QApplication::exec();
    app.ExitInstance();
    return status;
}
