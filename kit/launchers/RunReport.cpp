#include "RunReport.h"

#include "TessalyCheck.h"

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

// The code as text: UTF-8 when it is valid UTF-8, otherwise Windows-1252.
QString decodeCode(const QByteArray &bytes, bool *windows1252)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    *windows1252 = utf8.hasError();
    if (*windows1252) {
        QStringDecoder cp1252("windows-1252");
        text = cp1252.decode(bytes);
    }
    return text;
}

// CR LF, CR and LF each end a line; a final line end does not start another line.
QStringList splitLines(const QString &text)
{
    QString all = text;
    all.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    all.replace(u'\r', u'\n');
    if (all.endsWith(u'\n'))
        all.chop(1);
    if (all.isEmpty())
        return {};
    return all.split(u'\n');
}

QString expandTabs(const QString &line, int tabWidth)
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

void writeListing(Writer &w, const QStringList &lines, const ToolKitFiles::LaunchSettings &settings)
{
    const qsizetype shown = settings.listingLines == 0
                                ? lines.size()
                                : qMin<qsizetype>(lines.size(), settings.listingLines);
    const int numberWidth = qMax(4, int(QString::number(shown).size()));
    const QString continuation = QString(numberWidth, u' ') + QStringLiteral(" + ");
    for (qsizetype i = 0; i < shown; ++i) {
        const QString text = expandTabs(lines.at(i), settings.tabWidth);
        w.line(QStringLiteral("%1 | ").arg(i + 1, numberWidth) + text.left(settings.listingWidth));
        for (qsizetype from = settings.listingWidth; from < text.size();
             from += settings.listingWidth)
            w.line(continuation + text.mid(from, settings.listingWidth));
    }
    if (shown < lines.size())
        w.line(QStringLiteral("... %1 more lines not listed (listing-lines = %2 in %3)")
                   .arg(lines.size() - shown)
                   .arg(settings.listingLines)
                   .arg(settings.source));
}

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

    if (!codeRead) {
        w.line(QStringLiteral("Syntax check:   not done, there is no code file to check"));
    } else if (!settings.check) {
        w.line(QStringLiteral("Syntax check:   skipped (check = no in %1)").arg(settings.source));
    } else {
        const QList<TyFinding> findings = checkTessaly(bytes);
        if (findings.isEmpty()) {
            w.line(QStringLiteral("Syntax check:   no findings"));
        } else {
            w.line(QStringLiteral("Syntax check:   %1 finding%2")
                       .arg(findings.size())
                       .arg(findings.size() == 1 ? "" : "s"));
            for (const TyFinding &finding : findings)
                w.line(QStringLiteral("%1:%2: %3")
                           .arg(code.found)
                           .arg(finding.line)
                           .arg(finding.message));
        }
    }
    w.line();

    if (codeRead && settings.listing) {
        bool windows1252 = false;
        const QStringList lines = splitLines(decodeCode(bytes, &windows1252));
        w.line(QStringLiteral("Listing of %1 (%2 line%3%4):")
                   .arg(quoted(code.found))
                   .arg(lines.size())
                   .arg(lines.size() == 1 ? "" : "s")
                   .arg(windows1252 ? QStringLiteral(", read as Windows-1252") : QString()));
        if (lines.isEmpty())
            w.line(QStringLiteral("     (the code file is empty)"));
        writeListing(w, lines, settings);
        w.line();
    } else if (codeRead) {
        w.line(QStringLiteral("Listing:        skipped (listing = no in %1)").arg(settings.source));
        w.line();
    }

    w.line(QStringLiteral("The Kelvara sample tool kit checks and lists jobs; it does not compile "
                          "or solve them."));
    w.line(QStringLiteral("Nothing was computed for this job: there are no results and no plots. "
                          "The demos' stored"));
    w.line(QStringLiteral("answers and plots are in demos/all/answers of the program directory."));

    report.text = w.text();
    report.codeFile = code.found;
    report.complete = codeRead && !dataMissing;
    return report;
}

int run(const Request &request, QString *problem)
{
    const Report report = buildReport(request, ToolKitFiles::readSettings(request.programDir));
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
    return report.complete ? JobChecked : JobIncomplete;
}

} // namespace RunReport
