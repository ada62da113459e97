#pragma once

// The one QApplication of a window test program, on the offscreen platform.
#include <QApplication>

namespace kel::test {

inline QApplication& OffscreenApplication()
{
    static int argc = 1;
    static char name[] = "KelWatch";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *application;
}

} // namespace kel::test
