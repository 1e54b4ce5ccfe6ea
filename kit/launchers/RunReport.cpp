#include "RunReport.h"

#include "TessalyCheck.h"
#include "TyLexer.h"
#include "TyRun.h"

#include <PlotData.h>

#include <QElapsedTimer>
#include <QGuiApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

using ToolKitFiles::quoted;

namespace RunReport {

namespace {

const char *const argumentNames[ArgumentCount] = {
    "code name",
    "code directory",
    "drive",
    "base directory",
    "data file",
};

// Collects the report's lines and ends each with CR LF.
class Writer
{
public:
    void line(const QString &text = {})
    {
        m_text += text.toUtf8();
        m_text += "\r\n";
    }
    QByteArray text() const { return m_text; }
    qsizetype size() const { return m_text.size(); }
    void utf8Line(const QByteArray &text)
    {
        m_text += text;
        m_text += "\r\n";
    }

private:
    QByteArray m_text;
};

struct FoundFile
{
    QString wanted; // the path the arguments name
    QString found;  // the path on disk; empty when none
    bool caseDiffers = false;
};

FoundFile lookUp(const QString &wanted)
{
    FoundFile file;
    file.wanted = wanted;
    const QString found = ToolKitFiles::findPath(wanted);
    if (!found.isEmpty() && QFileInfo(found).isFile()) {
        file.found = found;
        file.caseDiffers = !QFileInfo::exists(wanted);
    }
    return file;
}

QString describe(const FoundFile &file)
{
    if (file.found.isEmpty()) {
        const QFileInfo info(file.wanted);
        if (info.exists() && !info.isFile())
            return quoted(file.wanted) + QStringLiteral(" is not a file");
        return quoted(file.wanted) + QStringLiteral(" does not exist");
    }
    if (file.caseDiffers)
        return quoted(file.wanted) + QStringLiteral(" does not exist as written; found ")
               + quoted(file.found) + QStringLiteral(" (name matched without regard to case)");
    return quoted(file.found) + QStringLiteral(" exists");
}

// CR LF, CR and LF each end a line; a final line end does not start another line.
// The views point into text, which must outlive them (no line is copied).
QList<QStringView> splitLines(const QString &text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines << QStringView(text).mid(start, i - start);
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines << QStringView(text).mid(start);
    return lines;
}

QString expandTabs(QStringView line, int tabWidth)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c == u'\t') {
            do
                out += u' ';
            while (out.size() % tabWidth != 0);
        } else {
            out += c;
        }
    }
    return out;
}

// Pieces of at most width characters, cut only between whole characters (a
// character beyond 16 bits is never split).
QStringList cutLine(const QString &text, int width)
{
    QStringList pieces;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype to = qMin(text.size(), from + width);
        if (to < text.size() && to > from + 1 && text.at(to - 1).isHighSurrogate()
            && text.at(to).isLowSurrogate())
            --to;
        pieces << text.mid(from, to - from);
        from = to;
    }
    if (pieces.isEmpty())
        pieces << QString();
    return pieces;
}

// The listing stops once it has written this much; a file of one enormous line gives
// a listing of a readable size.
constexpr qsizetype ListingLimit = 4 * 1024 * 1024;

void writeListing(Writer &w,
                  const QList<QStringView> &lines,
                  const ToolKitFiles::LaunchSettings &settings)
{
    const qsizetype shown = settings.listingLines == 0
                                ? lines.size()
                                : qMin<qsizetype>(lines.size(), settings.listingLines);
    const int numberWidth = qMax(4, int(QString::number(shown).size()));
    const QString continuation = QString(numberWidth, u' ') + QStringLiteral(" + ");
    qsizetype written = 0;
    for (qsizetype i = 0; i < shown; ++i) {
        // Control characters are shown as \xNN, so the report stays plain text.
        const QString text = ty::escapeControls(expandTabs(lines.at(i), settings.tabWidth));
        const QStringList pieces = cutLine(text, settings.listingWidth);
        for (qsizetype k = 0; k < pieces.size(); ++k) {
            if (written > ListingLimit) {
                w.line(QStringLiteral("... the listing stops here: it has reached ")
                       + QString::number(ListingLimit / (1024 * 1024))
                       + QStringLiteral(" MB (line ") + QString::number(i + 1)
                       + QStringLiteral(" of ") + QString::number(lines.size())
                       + QStringLiteral(")"));
                return;
            }
            const QString out = k == 0 ? QString(QString::number(i + 1).rightJustified(numberWidth)
                                                 + QStringLiteral(" | ") + pieces.at(k))
                                       : QString(continuation + pieces.at(k));
            written += out.size() + 2;
            w.line(out);
        }
    }
    if (shown < lines.size())
        w.line(QStringLiteral("... ") + QString::number(lines.size() - shown)
               + QStringLiteral(" more lines not listed (listing-lines = ")
               + QString::number(settings.listingLines) + QStringLiteral(" in ") + settings.source
               + u')');
}

// Thrown out of the interpreter's callbacks when the user stops the run; the
// interpreter lets it pass (it catches only its own errors) and cleans up as it goes.
struct StoppedByUser
{
};
struct EndedFromOutside
{
};

// The most findings the report lists; a count of the rest follows them.
constexpr qsizetype FindingLimit = 100;

} // namespace

QString reportPath(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral("user/~KV-out.txt"));
}

Report buildReport(const Request &request, const ToolKitFiles::LaunchSettings &settings)
{
    Report report;
    Writer w;
    const QStringList &args = request.arguments;

    w.line(QStringLiteral("Kelvara sample tool kit: run report"));
    w.line(QStringLiteral("==================================="));
    w.line();
    w.line(QStringLiteral("Date and time:  ")
           + request.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t")));
    w.line(QStringLiteral("Launcher:       ") + request.launcherName + QStringLiteral(" in ")
           + quoted(request.programDir));
    w.line(QStringLiteral("Settings:       ")
           + (settings.source.isEmpty() ? QStringLiteral("built-in") : settings.source));
    for (const QString &note : settings.notes)
        w.line(QStringLiteral("  note: ") + note);
    if (!request.waitedFor.isEmpty())
        w.line(QStringLiteral("Waited for:     ") + request.waitedFor
               + QStringLiteral(" to end before this run"));
    w.line();

    w.line(
        QStringLiteral("Arguments (%1 given, %2 expected):").arg(args.size()).arg(ArgumentCount));
    for (int i = 0; i < qMax<int>(ArgumentCount, args.size()); ++i) {
        const QString name = i < ArgumentCount ? QString::fromLatin1(argumentNames[i])
                                               : QStringLiteral("not expected");
        const QString value = i < args.size() ? quoted(args.at(i))
                              : i == DataFile ? QStringLiteral("(not given: no data file)")
                                              : QStringLiteral("(missing)");
        w.line(QStringLiteral("  %1 %2 %3").arg(i + 1).arg(name, -16).arg(value));
    }
    w.line();

    // The code file: code directory + "/" + code name + ".ty".
    const QString codeName = args.value(CodeName);
    const QString codeDir = args.value(CodeDirectory);
    FoundFile code;
    if (args.size() <= CodeDirectory || codeName.isEmpty() || codeDir.isEmpty()) {
        w.line(QStringLiteral("Code file:      cannot be named: the code name and the code "
                              "directory (arguments 1 and 2) must both be given"));
    } else {
        code = lookUp(codeDir + u'/' + codeName + QStringLiteral(".ty"));
        w.line(QStringLiteral("Code file:      ") + describe(code));
    }

    // The data file lies in the code directory unless it is named with a full path.
    const QString dataName = args.value(DataFile);
    bool dataMissing = false;
    if (dataName.isEmpty()) {
        w.line(QStringLiteral("Data file:      none named"));
    } else {
        const QString dataPath = QFileInfo(dataName).isAbsolute() || codeDir.isEmpty()
                                     ? dataName
                                     : codeDir + u'/' + dataName;
        const FoundFile data = lookUp(dataPath);
        dataMissing = data.found.isEmpty();
        w.line(QStringLiteral("Data file:      ") + describe(data));
    }
    w.line();

    QByteArray bytes;
    bool codeRead = false;
    if (!code.found.isEmpty()) {
        QFile file(code.found);
        if (file.open(QIODevice::ReadOnly)) {
            bytes = file.readAll();
            codeRead = file.error() == QFileDevice::NoError;
        }
        if (!codeRead)
            w.line(QStringLiteral("The code file cannot be read: ") + file.errorString());
    }
    const bool binary = codeRead && ty::looksBinary(bytes);

    bool findingsFound = false;
    if (!codeRead) {
        w.line(QStringLiteral("Syntax check:   not done, there is no code file to check"));
    } else if (binary) {
        w.line(QStringLiteral("Syntax check:   not done: ") + quoted(code.found)
               + QStringLiteral(" is not a text file (it holds NUL and other control bytes)"));
    } else if (!settings.check) {
        w.line(QStringLiteral("Syntax check:   skipped (check = no in ") + settings.source + u')');
    } else {
        qsizetype total = 0;
        const QList<TyFinding> findings = checkTessaly(bytes, &total);
        findingsFound = total > 0;
        report.findings = total;
        for (qsizetype i = 0; i < qMin(findings.size(), FindingLimit); ++i)
            report.problems.append({findings.at(i).line, findings.at(i).message});
        if (findings.isEmpty()) {
            w.line(QStringLiteral("Syntax check:   no findings"));
        } else {
            w.line(QStringLiteral("Syntax check:   ") + QString::number(total)
                   + (total == 1 ? QStringLiteral(" finding") : QStringLiteral(" findings")));
            // Concatenated, not arg(): a path or a message may hold '%'.
            for (qsizetype i = 0; i < qMin(findings.size(), FindingLimit); ++i)
                w.line(code.found + u':' + QString::number(findings.at(i).line)
                       + QStringLiteral(": ") + ty::escapeControls(findings.at(i).message));
            if (total > FindingLimit)
                w.line(QStringLiteral("... and ") + QString::number(total - FindingLimit)
                       + QStringLiteral(" more findings, not listed"));
        }
    }
    w.line();

    if (codeRead && !binary && settings.listing) {
        bool windows1252 = false;
        const QString text = ty::decodeSource(bytes, &windows1252);
        const QList<QStringView> lines = splitLines(text);
        w.line(QStringLiteral("Listing of ") + quoted(code.found) + QStringLiteral(" (")
               + QString::number(lines.size())
               + (lines.size() == 1 ? QStringLiteral(" line") : QStringLiteral(" lines"))
               + (windows1252 ? QStringLiteral(", read as Windows-1252") : QString())
               + QStringLiteral("):"));
        if (lines.isEmpty())
            w.line(QStringLiteral("     (the code file is empty)"));
        writeListing(w, lines, settings);
        w.line();
    } else if (codeRead && !binary) {
        w.line(QStringLiteral("Listing:        skipped (listing = no in ") + settings.source
               + u')');
        w.line();
    }

    // The run: the job's own output, then its outcome and run time.
    const QString codeNameShown = quoted(args.value(CodeName));
    if (!codeRead || binary || findingsFound) {
        report.outcome = QStringLiteral("not done: ")
                         + (!codeRead ? QStringLiteral("there is no code file to run")
                            : binary  ? QStringLiteral("the code file is not a text file")
                                      : QStringLiteral("the syntax check has findings; mend "
                                                       "them and submit again"));
        w.line(QStringLiteral("Run:            ") + report.outcome);
        report.text = w.text();
        report.codeFile = code.found;
        report.status = JobFailed;
        return report;
    }
    w.line(QStringLiteral("Output of the run:"));
    w.line(QStringLiteral("------------------"));
    ty::RunOptions options;
    options.loopLimit = settings.loopLimit;
    options.outputKept = 0; // the report takes every line through printed
    options.loopLimitSetting
        = QStringLiteral("loop-limit in ")
          + (settings.source.isEmpty() ? QStringLiteral("the built-in settings") : settings.source);
    // A job that prints without end fills the report only up to the output limit;
    // the lines past it are counted, and the report says where it cut.
    const qsizetype outputEnd = w.size() + qsizetype(settings.outputLimit) * 1024 * 1024;
    qint64 linesNotKept = 0;
    const auto writeCut = [&] {
        if (linesNotKept == 0)
            return;
        w.line(QStringLiteral("... %1 more lines not kept (the report keeps %2 MB of output: "
                              "output-limit in %3)")
                   .arg(linesNotKept)
                   .arg(settings.outputLimit)
                   .arg(settings.source.isEmpty() ? QStringLiteral("the built-in settings")
                                                  : settings.source));
    };
    options.printed = [&](const QString &line) {
        if (linesNotKept > 0) {
            ++linesNotKept;
        } else {
            const QByteArray bytes = ty::escapeControls(line).toUtf8();
            if (w.size() + bytes.size() + 2 > outputEnd)
                ++linesNotKept;
            else
                w.utf8Line(bytes);
        }
        if (request.printed)
            request.printed(line);
        if (request.terminated && request.terminated())
            throw EndedFromOutside{};
        if (request.stopRequested && request.stopRequested())
            throw StoppedByUser{};
    };
    if (request.progress || request.stopRequested || request.terminated)
        options.progress = [&](int line) {
            if (request.progress)
                request.progress(line);
            if (request.terminated && request.terminated())
                throw EndedFromOutside{};
            if (request.stopRequested && request.stopRequested())
                throw StoppedByUser{};
        };
    options.advance = request.advance;
    if (request.running)
        request.running();
    QElapsedTimer timer;
    timer.start();
    ty::RunResult result;
    Status stopped = JobDone;
    try {
        result = ty::runTessaly(bytes, options);
    } catch (const StoppedByUser &) {
        stopped = JobStopped;
    } catch (const EndedFromOutside &) {
        stopped = JobTerminated;
    }
    writeCut();
    if (stopped != JobDone) {
        // What the job printed so far stays in the report; its plot does not.
        const QString seconds = QString::number(double(timer.elapsed()) / 1000.0, 'f', 2);
        w.line();
        report.outcome = (stopped == JobStopped
                              ? QStringLiteral("Stopped by the user after ")
                              : QStringLiteral("Ended from outside (the launcher was told to "
                                               "end) after "))
                         + seconds + QStringLiteral(" s");
        w.line(QStringLiteral("Run:            ") + report.outcome);
        report.text = w.text();
        report.codeFile = code.found;
        report.status = stopped;
        return report;
    }
    const QString seconds = QString::number(double(timer.elapsed()) / 1000.0, 'f', 2);
    w.line();

    // The plot goes into the user directory, named after the job.
    bool plotsWritten = true;
    if (result.hasPlot && !result.plot.series.isEmpty()) {
        const QString stem = QDir(request.programDir).filePath(QStringLiteral("user/"))
                             + QFileInfo(code.found).completeBaseName();
        QString error;
        QSaveFile plt(stem + QStringLiteral(".plt"));
        const QByteArray pltBytes = writePlot(result.plot);
        if (!plt.open(QIODevice::WriteOnly) || plt.write(pltBytes) != pltBytes.size()
            || !plt.commit()) {
            w.line(QStringLiteral("Plot:           ") + quoted(stem + QStringLiteral(".plt"))
                   + QStringLiteral(" could not be written: ") + plt.errorString());
            plotsWritten = false;
        } else {
            w.line(QStringLiteral("Plot:           ") + quoted(stem + QStringLiteral(".plt")));
            report.plots << stem + QStringLiteral(".plt");
        }
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            const QImage image = renderPlot(result.plot, QSize(800, 600));
            if (writeGif(image, stem + QStringLiteral(".gif"), &error))
                w.line(QStringLiteral("Picture:        ") + quoted(stem + QStringLiteral(".gif")));
            else
                w.line(QStringLiteral("Picture:        not written: ") + error);
        }
    }

    if (result.ok) {
        report.outcome = QStringLiteral("completed in ") + seconds + QStringLiteral(" s");
    } else {
        report.problems.append({result.errorLine, result.error});
        report.outcome = QStringLiteral("stopped after ") + seconds + QStringLiteral(" s at ")
                         + code.found + u':' + QString::number(result.errorLine)
                         + QStringLiteral(": ") + ty::escapeControls(result.error);
    }
    w.line(QStringLiteral("Run:            ") + report.outcome);
    (void)codeNameShown;
    report.text = w.text();
    report.codeFile = code.found;
    report.status = result.ok && !dataMissing && plotsWritten ? JobDone : JobFailed;
    return report;
}

int run(const Request &request, QString *problem, Report *done)
{
    const Report report = buildReport(request, ToolKitFiles::readSettings(request.programDir));
    if (done)
        *done = report;
    const QString path = reportPath(request.programDir);
    if (!QFileInfo(QFileInfo(path).path()).isDir()) {
        *problem = QStringLiteral("The user directory %1 does not exist, so the run report "
                                  "~KV-out.txt was not written.")
                       .arg(quoted(QFileInfo(path).path()));
        return NoReport;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(report.text) != report.text.size()
        || !file.commit()) {
        *problem = QStringLiteral("The run report %1 could not be written: %2")
                       .arg(quoted(path), file.errorString());
        return NoReport;
    }
    return report.status;
}

} // namespace RunReport
