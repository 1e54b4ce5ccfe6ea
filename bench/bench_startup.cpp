// Start-up: from constructing the main window until it is shown with the start
// demo loaded. Run: bench_startup
#include "TestDoubles.h"

#include "shell/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    QByteArray demo;
    for (int i = 0; i < 200; ++i)
        demo += "! line " + QByteArray::number(i) + " of the start demo\r\n";
    Harness::write(h.program + u"/demos/all/Heat-ivp.ty"_qs, demo);
    QElapsedTimer timer;
    timer.start();
    frmMain w(h.ctx);
    w.MDIForm_Load();
    w.show();
    const bool exposed = QTest::qWaitForWindowExposed(&w);
    std::printf("start until the main window is shown: %.3f s (target <= 0.25 s)%s\n",
                timer.elapsed() / 1000.0,
                exposed ? "" : " [window was not exposed]");
    return 0;
}
