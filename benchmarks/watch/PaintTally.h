#pragma once

// Times the lines a writer process appends to a followed log at the moment
// the view paints them (the lines it holds when a paint of its viewport
// begins), for the following benchmarks.
#include "KelWatchView.h"
#include "WatchBenchSupport.h"

#include <QEvent>
#include <QObject>

namespace kel::benchmark {

class CPaintTally : public QObject {
public:
    // Lines the view holds already are not timed.
    explicit CPaintTally(CKelWatchView* view) : m_view(view), m_timed(view->Lines().LineCount())
    {
        view->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const long long now = NowNanoseconds();
            for (; m_timed < m_view->Lines().LineCount(); ++m_timed) {
                const std::string_view line = m_view->Lines().Line(LineNumber(m_timed));
                tally.TakeLine(std::wstring(line.begin(), line.end()), now); // the lines are ASCII up to the time
            }
        }
        return false;
    }

    LineTally tally;

private:
    CKelWatchView* m_view;
    size_t m_timed;
};

} // namespace kel::benchmark
