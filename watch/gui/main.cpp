// KelWatch: a multiple-document viewer that follows growing log files.
#include "KelWatchApp.h"
#include "platform/UiHooks.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (!kel::platform::DesktopAvailableFor("KelWatch"))
        return 1;
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    CKelWatchApp theApp(arguments);
    if (!theApp.InitInstance())
        return 0;
    return QApplication::exec();
}
