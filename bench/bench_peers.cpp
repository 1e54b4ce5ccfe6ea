// The peers' benchmark: Kelvara and FeatherPad open the same large solver logs,
// alternately, each in a fresh home directory, on the display this runs on (an
// Xvfb with a black root window: see bench/peers.sh, which sets it all up).
// For each program and file it prints the times from the start to a visible
// window, to text on screen and to idle (no CPU used for 0.5 s), and the peak
// memory, with Kelvara's ratio to the peer (medians of the runs).
//
//   bench_peers --kelvara PATH [--featherpad PATH] [--runs N] [--sizes 5,50] [--ty]
#include "SolverLog.h"

#include "core/mdlLastFile.h"
#include "platform/RegistryHive.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

struct Result
{
    double visible = -1; // seconds from the start; -1 when never reached
    double text = -1;
    double idle = -1;
    double peakMb = -1;
    double cpu = -1; // CPU seconds used until idle (less sensitive to a busy machine)
};

// CPU time used so far by a process, in clock ticks (-1 once it is gone).
long cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command name (which may hold blanks) in parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return fields.at(11).toLong() + fields.at(12).toLong(); // utime + stime
}

double peakMegabytes(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// What the screen shows: nothing (black root), a window, or a window with text in
// it. Text is at least six bands of pixel rows in which ink (pixels darker than a
// light background, coloured text included) reaches across most of the window: a
// title bar, a menu bar or a tool bar is one band each, and gaps break them.
enum class Seen { Nothing, Window, Text };

Seen classify(const QImage &image)
{
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); y += 2) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += 2)
            if ((row[x] & 0xffffff) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (right - left < 50 || bottom - top < 50)
        return Seen::Nothing;
    constexpr int bucket = 8;
    const int buckets = (right - left + 1) / bucket;
    int bands = 0;
    bool inBand = false;
    for (int y = top; y <= bottom; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        int dark = 0;
        for (int b = 0; b < buckets; ++b)
            for (int x = left + b * bucket; x < left + (b + 1) * bucket; ++x)
                if (qGray(row[x]) < 140) {
                    ++dark;
                    break;
                }
        const bool textRow = dark * 100 >= buckets * 45;
        if (textRow && !inBand)
            ++bands;
        inBand = textRow;
    }
    return bands >= 6 ? Seen::Text : Seen::Window;
}

// Where to keep the screen as it was when text was first seen (--shots).
QString shotsDir;
int shotNumber = 0;

Seen look()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const QImage image = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    const Seen seen = classify(image);
    if (seen == Seen::Text && !shotsDir.isEmpty())
        image.save(shotsDir + QStringLiteral("/text-%1.png").arg(++shotNumber));
    return seen;
}

Result measure(const QString &program,
               const QStringList &arguments,
               const QProcessEnvironment &environment,
               const QString &workingDirectory)
{
    Result r;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start();
    if (!process.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
        return r;
    }
    const qint64 pid = process.processId();
    QList<std::pair<qint64, long>> samples;                           // (ms, CPU ticks)
    const long quietTicks = std::max(1L, sysconf(_SC_CLK_TCK) / 100); // 10 ms of CPU
    while (clock.elapsed() < 180000) {
        const qint64 now = clock.elapsed();
        const long ticks = cpuTicks(pid);
        if (ticks < 0)
            break;
        samples.append({now, ticks});
        if (r.text < 0) {
            const Seen seen = look();
            if (seen != Seen::Nothing && r.visible < 0)
                r.visible = clock.elapsed() / 1000.0;
            if (seen == Seen::Text)
                r.text = clock.elapsed() / 1000.0;
        } else {
            // Idle: at most 10 ms of CPU over the last half second, once text shows.
            for (const auto &[at, used] : samples)
                if (now - at >= 500 && now - at < 560 && ticks - used <= quietTicks
                    && at / 1000.0 >= r.text) {
                    r.idle = at / 1000.0;
                    r.cpu = double(used) / sysconf(_SC_CLK_TCK);
                    break;
                }
            if (r.idle >= 0)
                break;
        }
        QThread::msleep(20);
    }
    r.peakMb = peakMegabytes(pid);
    process.kill();
    process.waitForFinished(5000);
    return r;
}

// A home directory of its own for one run of a program.
QProcessEnvironment freshHome(const QString &home)
{
    QDir().mkpath(home + QStringLiteral("/run"));
    QFile::setPermissions(home + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

Result runKelvara(const QString &binary, const QString &home, const QString &file)
{
    QProcessEnvironment env = freshHome(home);
    // An install tree as scripts/run makes it: <base>/Kelvara holding the program,
    // its settings marker and the user directory.
    const QString programDir = home + QStringLiteral("/zr-tools/Kelvara");
    QDir().mkpath(programDir + QStringLiteral("/user"));
    QDir().mkpath(programDir + QStringLiteral("/demos/all"));
    const QString installed = programDir + QStringLiteral("/Kelvara");
    if (!QFile::copy(binary, installed)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(binary), qPrintable(installed));
        return {};
    }
    QFile ini(programDir + QStringLiteral("/KV-Win.ini"));
    if (ini.open(QIODevice::WriteOnly))
        ini.close();
    // The file is the remembered code file of the last session.
    RegistryHive hive(home + QStringLiteral("/.config/Kelvara/HKEY_CURRENT_USER.reg"));
    QDir().mkpath(home + QStringLiteral("/.config/Kelvara"));
    const QFileInfo info(file);
    SaveLastFile(hive, info.fileName(), info.absolutePath());
    env.insert(QStringLiteral("ode-TY"), QStringLiteral("sample"));
    return measure(installed, {}, env, programDir);
}

Result runFeatherPad(const QString &binary, const QString &home, const QString &file)
{
    return measure(binary, {file}, freshHome(home), home);
}

double median(QList<double> values)
{
    values.removeIf([](double v) { return v < 0; });
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

Result medianOf(const QList<Result> &runs)
{
    auto column = [&](double Result::*field) {
        QList<double> v;
        for (const Result &r : runs)
            v << r.*field;
        return median(v);
    };
    return {column(&Result::visible),
            column(&Result::text),
            column(&Result::idle),
            column(&Result::peakMb),
            column(&Result::cpu)};
}

QString cell(double v, const char *unit)
{
    return v < 0 ? QStringLiteral("-")
                 : QString::number(v, 'f', unit[0] == 's' ? 2 : 0) + QLatin1String(unit);
}

QString ratio(double a, double b)
{
    return a < 0 || b <= 0 ? QStringLiteral("-") : QString::number(a / b, 'f', 2) + u'x';
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("kelvara"),
                      QStringLiteral("The Kelvara program."),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("featherpad"),
                      QStringLiteral("The FeatherPad program."),
                      QStringLiteral("path"),
                      QStandardPaths::findExecutable(QStringLiteral("featherpad"))});
    parser.addOption({QStringLiteral("runs"),
                      QStringLiteral("Runs of each program per file."),
                      QStringLiteral("n"),
                      QStringLiteral("3")});
    parser.addOption({QStringLiteral("sizes"),
                      QStringLiteral("File sizes in MB."),
                      QStringLiteral("list"),
                      QStringLiteral("5,50")});
    parser.addOption(
        {QStringLiteral("ty"), QStringLiteral("Also a 50 MB Tessaly code file (.ty).")});
    parser.addOption({QStringLiteral("shots"),
                      QStringLiteral("Keep the screen as it was when text was first seen."),
                      QStringLiteral("directory")});
    parser.process(app);
    const QString kelvara = parser.value(QStringLiteral("kelvara"));
    const QString featherpad = parser.value(QStringLiteral("featherpad"));
    if (kelvara.isEmpty() || !QFileInfo(kelvara).isExecutable() || featherpad.isEmpty()) {
        std::fprintf(stderr,
                     "bench_peers: give --kelvara PATH (and FeatherPad must be installed)\n");
        return 2;
    }
    shotsDir = parser.value(QStringLiteral("shots"));
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir tmp;
    QList<QString> files;
    for (const QString &size :
         parser.value(QStringLiteral("sizes")).split(u',', Qt::SkipEmptyParts)) {
        const QString path = tmp.path() + QStringLiteral("/solver-log-%1MB.out").arg(size);
        if (!writeSolverLog(path, size.toInt()))
            return 1;
        files << path;
    }
    if (parser.isSet(QStringLiteral("ty"))) {
        // The same text as a code file: Kelvara colours it (numbers, words ...).
        const QString path = tmp.path() + QStringLiteral("/solver-log-50MB.ty");
        if (!writeSolverLog(path, 50))
            return 1;
        files << path;
    }

    std::printf("%-22s %-10s %8s %8s %8s %8s %8s\n",
                "file",
                "program",
                "window",
                "text",
                "idle",
                "peak",
                "cpu");
    int home = 0;
    for (const QString &file : files) {
        QList<Result> k, f;
        for (int i = 0; i < runs; ++i) {
            k << runKelvara(kelvara, tmp.path() + QStringLiteral("/home%1").arg(++home), file);
            f << runFeatherPad(
                featherpad, tmp.path() + QStringLiteral("/home%1").arg(++home), file);
            for (const auto &[program, r] :
                 {std::pair{"Kelvara", k.last()}, {"FeatherPad", f.last()}})
                std::fprintf(stderr,
                             "  run %d %-10s window %.2f s, text %.2f s, idle %.2f s, %.0f MB, "
                             "cpu %.2f s\n",
                             i + 1,
                             program,
                             r.visible,
                             r.text,
                             r.idle,
                             r.peakMb,
                             r.cpu);
        }
        const Result mk = medianOf(k), mf = medianOf(f);
        const QByteArray name = QFileInfo(file).fileName().toUtf8();
        auto row = [&](const char *program, const Result &r) {
            std::printf("%-22s %-10s %8s %8s %8s %8s %8s\n",
                        name.constData(),
                        program,
                        qPrintable(cell(r.visible, "s")),
                        qPrintable(cell(r.text, "s")),
                        qPrintable(cell(r.idle, "s")),
                        qPrintable(cell(r.peakMb, "MB")),
                        qPrintable(cell(r.cpu, "s")));
        };
        row("Kelvara", mk);
        row("FeatherPad", mf);
        std::printf("%-22s %-10s %8s %8s %8s %8s %8s\n",
                    name.constData(),
                    "ratio",
                    qPrintable(ratio(mk.visible, mf.visible)),
                    qPrintable(ratio(mk.text, mf.text)),
                    qPrintable(ratio(mk.idle, mf.idle)),
                    qPrintable(ratio(mk.peakMb, mf.peakMb)),
                    qPrintable(ratio(mk.cpu, mf.cpu)));
        std::fflush(stdout);
    }
    return 0;
}
