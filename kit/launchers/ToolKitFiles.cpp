#include "ToolKitFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ToolKitFiles {

QString findPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (QFileInfo::exists(path))
        return QFileInfo(path).isAbsolute() ? path : absolute;

    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    QString current = QStringLiteral("/");
    for (const QString &part : parts) {
        const QString exact = QDir(current).filePath(part);
        if (QFileInfo::exists(exact)) {
            current = exact;
            continue;
        }
        const QStringList entries = QDir(current).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        QString match;
        for (const QString &entry : entries) {
            if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                match = entry;
                break;
            }
        }
        if (match.isEmpty())
            return {};
        current = QDir(current).filePath(match);
    }
    return current;
}

QString quoted(const QString &value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += u'"';
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

namespace {

bool readSwitch(const QString &value, bool *result)
{
    const QString v = value.toLower();
    if (v == u"yes" || v == u"on" || v == u"true" || v == u"1") {
        *result = true;
        return true;
    }
    if (v == u"no" || v == u"off" || v == u"false" || v == u"0") {
        *result = false;
        return true;
    }
    return false;
}

bool readNumber(const QString &value, int low, int high, int *result)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < low || n > high)
        return false;
    *result = n;
    return true;
}

} // namespace

LaunchSettings parseSettings(const QByteArray &text, const QString &fileName)
{
    LaunchSettings settings;
    settings.source = fileName;
    QString all = QString::fromUtf8(text);
    all.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    all.replace(u'\r', u'\n');
    const QStringList lines = all.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        // Concatenated: the file name may hold '%' (a chain of arg() would read it).
        const QString where
            = fileName + QStringLiteral(" line ") + QString::number(i + 1) + QStringLiteral(": ");
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            settings.notes << where + QStringLiteral("expected \"name = value\", found ")
                                  + quoted(line) + QStringLiteral("; line ignored");
            continue;
        }
        const QString name = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        bool good = true;
        QString rule;
        if (name == u"listing") {
            good = readSwitch(value, &settings.listing);
            rule = QStringLiteral("yes or no");
        } else if (name == u"check") {
            good = readSwitch(value, &settings.check);
            rule = QStringLiteral("yes or no");
        } else if (name == u"listing-width") {
            good = readNumber(value, 20, 1000, &settings.listingWidth);
            rule = QStringLiteral("a whole number from 20 to 1000");
        } else if (name == u"listing-lines") {
            good = readNumber(value, 0, 10000000, &settings.listingLines);
            rule = QStringLiteral("a whole number from 0 (all lines) to 10000000");
        } else if (name == u"loop-limit") {
            good = readNumber(value, 1, 1000000000, &settings.loopLimit);
            rule = QStringLiteral("a whole number from 1 to 1000000000");
        } else if (name == u"output-limit") {
            good = readNumber(value, 1, 4096, &settings.outputLimit);
            rule = QStringLiteral("a whole number of megabytes from 1 to 4096");
        } else if (name == u"close-window") {
            good = readSwitch(value, &settings.closeWindow);
            rule = QStringLiteral("yes or no");
        } else if (name == u"tab-width") {
            good = readNumber(value, 1, 16, &settings.tabWidth);
            rule = QStringLiteral("a whole number from 1 to 16");
        } else {
            settings.notes << where + QStringLiteral("unknown setting ") + quoted(name)
                                  + QStringLiteral("; line ignored");
            continue;
        }
        if (!good)
            settings.notes << where + name + QStringLiteral(" must be ") + rule
                                  + QStringLiteral(", found ") + quoted(value)
                                  + QStringLiteral("; the built-in value is used");
    }
    return settings;
}

LaunchSettings readSettings(const QString &programDir)
{
    QStringList tried;
    for (const QString &name : {QStringLiteral("DOSstart.tmp"), QStringLiteral("DOSstart.ode")}) {
        const QString path = findPath(QDir(programDir).filePath(name));
        if (path.isEmpty())
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            tried << QStringLiteral("%1 cannot be read (%2)")
                         .arg(QFileInfo(path).fileName(), file.errorString());
            continue;
        }
        LaunchSettings settings = parseSettings(file.readAll(), QFileInfo(path).fileName());
        settings.notes = tried + settings.notes;
        return settings;
    }
    LaunchSettings settings;
    settings.notes = tried;
    settings.notes << QStringLiteral(
        "no launcher input file (DOSstart.tmp or DOSstart.ode) was found; built-in settings used");
    return settings;
}

} // namespace ToolKitFiles
