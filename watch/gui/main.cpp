// KelWatch: a multiple-document viewer that follows growing log files.
#include "CommandLine.h"
#include "KelWatchApp.h"
#include "platform/UiHooks.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Answered before looking for a desktop: help and the version need none.
    const SWatchCommandLine asked = ParseWatchCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (asked.action) {
    case SWatchCommandLine::EAction::Help:
        std::fputs(WatchUsage().c_str(), stdout);
        return 0;
    case SWatchCommandLine::EAction::Version:
        std::printf("KelWatch %s\n", KEL_VERSION);
        return 0;
    case SWatchCommandLine::EAction::Error:
        std::fprintf(stderr, "KelWatch: %s\n(KelWatch --help: 사용법)\n", asked.error.c_str());
        return 2;
    case SWatchCommandLine::EAction::Open:
        break;
    }
    if (!kel::platform::DesktopAvailableFor("KelWatch"))
        return 1;
    QApplication application(argc, argv);
    QStringList files;
    for (const std::string& file : asked.files)
        files.append(QFile::decodeName(QByteArray::fromStdString(file)));
    CKelWatchApp theApp(files);
    theApp.SetStartOptions(asked.line, asked.follow);
    if (!theApp.InitInstance())
        return 0;
    return QApplication::exec();
}
