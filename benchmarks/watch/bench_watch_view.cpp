// The view holding a big log: the real frame and view (on the offscreen
// platform unless a display is set) open a UTF-8 log of 256 MB. Prints the
// time until every line is in the view, the longest stretch the window did
// not handle events (measured by a 10 ms heartbeat), and the resident size
// beside the file size.
#include "ChildFrm.h"
#include "KelWatchApp.h"
#include "KelWatchView.h"
#include "MainFrm.h"
#include "WatchBenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kel::bench::ScratchDir dir;
    if (!dir.IsValid())
        return 1;
    // The look is stored in a private registry folder, not the user's.
    qputenv("KEL_REGISTRY_ROOT", QByteArray::fromStdString(dir / "registry"));
    const std::string path = dir / "big.log";
    const size_t lines = kel::bench::WriteSampleLog(path, megabytes << 20);
    const double size = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    const double before = kel::bench::ResidentMegabytes();
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuStart = std::clock();
    CKelWatchApp app(QStringList{QString::fromStdString(path)});
    if (!app.InitInstance())
        return 1;
    CKelWatchView* view = app.MainFrame()->Children().first()->GetView();

    qint64 last = clock.elapsed();
    qint64 longestStall = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestStall = std::max(longestStall, now - last);
        last = now;
        if (static_cast<size_t>(view->blockCount()) > lines)
            QApplication::quit();
    });
    heartbeat.start(10);
    QApplication::exec();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    std::printf("file: %.1f MB, %zu lines; all lines in the view after %.2f s (%.1f MB/s), %.2f s of CPU time\n",
                size, lines, seconds, size / seconds, cpuSeconds);
    std::printf("longest time without handling window events: %lld ms\n", static_cast<long long>(longestStall));
    std::printf("resident size: %.1f MB before opening, %.1f MB with the whole file in the view (file %.1f MB)\n",
                before, kel::bench::ResidentMegabytes(), size);
    return 0;
}
