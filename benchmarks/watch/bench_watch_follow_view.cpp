// Following a growing log in the real view: a writer process appends a line
// every 10 ms for 10 seconds; the frame and view of the program follow the
// file on their 100 ms timer. Prints the median and 99th percentile delay
// from write to text painted in the view (goal: p99 under 150 ms) and checks
// that no line is lost or doubled.
#include "ChildFrm.h"
#include "KelWatchApp.h"
#include "KelWatchView.h"
#include "MainFrm.h"
#include "PaintTally.h"
#include "WatchBenchSupport.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <sys/wait.h>

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--writer") == 0)
        return kel::benchmark::RunLineWriter(argv[2], std::atoi(argv[3]));

    constexpr int kLines = 1000; // 10 s at one line per 10 ms
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kel::benchmark::ScratchDir dir;
    if (!dir.IsValid())
        return 1;
    qputenv("KEL_REGISTRY_ROOT", QByteArray::fromStdString(dir / "registry"));
    const std::string path = dir / "follow.log";

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    CKelWatchApp app(QStringList{QString::fromStdString(path)});
    if (!app.InitInstance())
        return 1;
    CKelWatchView* view = app.MainFrame()->Children().first()->GetView();

    kel::benchmark::CPaintTally painted(view);
    const kel::benchmark::LineTally& tally = painted.tally;

    const pid_t writer = kel::benchmark::StartLineWriter(path, kLines);
    if (writer < 0)
        return 1;
    int quietChecks = 0;
    size_t timedBefore = 0;
    bool writerDone = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        int status = 0;
        if (!writerDone && waitpid(writer, &status, WNOHANG) == writer)
            writerDone = true;
        quietChecks = writerDone && tally.delays.size() == timedBefore ? quietChecks + 1 : 0;
        timedBefore = tally.delays.size();
        if (quietChecks >= 5)
            QApplication::quit();
    });
    watch.start(100);
    QApplication::exec();

    std::printf("lines written %d, in the view %zu, lost %d, doubled %d, unreadable %d\n", kLines,
                tally.delays.size(), tally.lost + (kLines - tally.expected), tally.doubled, tally.garbled);
    std::printf("delay write -> text painted: median %.1f ms, p99 %.1f ms, max %.1f ms  (goal: p99 under 150 ms)\n",
                kel::benchmark::Percentile(tally.delays, 0.5), kel::benchmark::Percentile(tally.delays, 0.99),
                kel::benchmark::Percentile(tally.delays, 1.0));
    const bool whole = static_cast<int>(tally.delays.size()) == kLines && tally.lost == 0 && tally.doubled == 0;
    return whole ? 0 : 1;
}
