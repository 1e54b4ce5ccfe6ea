// The flood case of the run launchers, measured by hand (never by tests):
//
//   build-dev/bench/kit/bench_flood            (with DISPLAY set: the window on screen)
//   QT_QPA_PLATFORM=offscreen build-dev/bench/kit/bench_flood
//
// A job printing 1,000,000 lines, its report written into a scratch program
// directory: headless (the report alone), then in the run window, with the longest
// pause of the window's event loop while the job runs (a timer that should fire
// every millisecond records the longest gap between its firings).

#include <RunReport.h>
#include <RunWindow.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString program = dir.path() + QStringLiteral("/Kelvara");
    QDir().mkpath(program + QStringLiteral("/user"));
    QFile code(program + QStringLiteral("/user/flood.ty"));
    if (!code.open(QIODevice::WriteOnly))
        return 1;
    code.write("For i = 1 To 1000000\n   Print \"flood line \", i\nEnd For\n");
    code.close();

    RunReport::Request request;
    request.programDir = program;
    request.launcherName = QStringLiteral("run-KV-Linux.pif");
    const QString user = program + QStringLiteral("/user");
    request.arguments = {QStringLiteral("flood"), user, user.left(2), dir.path(), QString()};
    request.when = QDateTime::currentDateTime();

    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        QString problem;
        const int status = RunReport::run(request, &problem);
        std::printf("headless: %.2f s, status %d, report %lld bytes\n",
                    double(timer.nsecsElapsed()) * 1e-9,
                    status,
                    qlonglong(QFileInfo(RunReport::reportPath(program)).size()));
    }

    for (int i = 0; i < 3; ++i) {
        RunWindow window(request, RunWindow::Desktop{});
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        qint64 longestAt = 0; // when the longest pause ended, from the start
        QElapsedTimer timer;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (sinceTick.nsecsElapsed() > longest) {
                longest = sinceTick.nsecsElapsed();
                longestAt = timer.nsecsElapsed();
            }
            sinceTick.restart();
        });
        QEventLoop loop;
        QObject::connect(&window, &RunWindow::ended, &loop, &QEventLoop::quit);
        timer.start();
        window.show();
        sinceTick.start();
        tick.start(1);
        window.start();
        loop.exec();
        std::printf(
            "window (%s): %.2f s, longest event-loop pause %.1f ms (ending %.2f s in), status %d\n",
            qPrintable(QGuiApplication::platformName()),
            double(timer.nsecsElapsed()) * 1e-9,
            double(longest) * 1e-6,
            double(longestAt) * 1e-9,
            window.status());
    }
    return 0;
}
