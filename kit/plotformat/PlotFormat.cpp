#include "PlotData.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cmath>

namespace {

const QByteArray magic = QByteArrayLiteral("#KVPLOT 1");

QString lineError(qsizetype line, const QString &what)
{
    return QStringLiteral("line %1: %2").arg(QString::number(line), what);
}

// The lines of the file, without their ends: CR LF, LF and a lone CR each end one.
QList<QByteArrayView> splitLines(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text.at(i);
        if (c == '\n' || c == '\r') {
            lines.append(text.sliced(start, i - start));
            if (c == '\r' && i + 1 < n && text.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.sliced(start));
    return lines;
}

// The common case of a well-formed data line "x y", read without building strings.
// Anything else (and every fault) goes the general way, which names the fault.
std::optional<QPointF> quickPoint(QByteArrayView line)
{
    QByteArrayView fields[2];
    int count = 0;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        while (i < n && (line.at(i) == ' ' || line.at(i) == '\t'))
            ++i;
        if (i == n)
            break;
        const qsizetype start = i;
        while (i < n && line.at(i) != ' ' && line.at(i) != '\t')
            ++i;
        if (count == 2)
            return std::nullopt;
        fields[count++] = line.sliced(start, i - start);
    }
    if (count != 2)
        return std::nullopt;
    double v[2];
    for (int k = 0; k < 2; ++k) {
        const char c = fields[k].front();
        if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'))
            return std::nullopt;
        bool ok = false;
        v[k] = fields[k].toDouble(&ok);
        if (!ok || !std::isfinite(v[k]))
            return std::nullopt;
    }
    return QPointF(v[0], v[1]);
}

// The first word and the rest of the line after the blanks that follow it.
void splitKeyword(const QString &line, QString &keyword, QString &rest)
{
    qsizetype i = 0;
    while (i < line.size() && line.at(i) != QLatin1Char(' ') && line.at(i) != QLatin1Char('\t'))
        ++i;
    keyword = line.left(i);
    rest = line.mid(i).trimmed();
}

QString shortened(const QString &s)
{
    return s.size() > 40 ? s.left(37) + QStringLiteral("...") : s;
}

std::optional<double> number(const QString &field)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(field, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QByteArray oneLine(const QString &s)
{
    QString t = s;
    t.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t.trimmed().toUtf8();
}

QByteArray numberText(double v)
{
    return QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
}

const char *styleWord(PlotSeries::Style style)
{
    switch (style) {
    case PlotSeries::Style::Dashed:
        return "dashed";
    case PlotSeries::Style::Markers:
        return "markers";
    case PlotSeries::Style::Line:
        break;
    }
    return "line";
}

std::optional<PlotSeries::Style> styleFromWord(const QString &word)
{
    for (PlotSeries::Style style :
         {PlotSeries::Style::Line, PlotSeries::Style::Dashed, PlotSeries::Style::Markers}) {
        if (word == QLatin1String(styleWord(style)))
            return style;
    }
    return std::nullopt;
}

// Why the point cannot be drawn on the plot's axes; empty when it can.
QString logAxisFault(const PlotData &plot, QPointF pt)
{
    for (int k = 0; k < 2; ++k) {
        const bool log = k == 0 ? plot.xLog : plot.yLog;
        const double v = k == 0 ? pt.x() : pt.y();
        if (log && !(v > 0)) {
            const QString axis = k == 0 ? QStringLiteral("x") : QStringLiteral("y");
            return QStringLiteral("%1 = %2 cannot be drawn on the logarithmic %1 axis (every "
                                  "value on it must be positive)")
                .arg(axis, QString::fromLatin1(numberText(v)));
        }
    }
    return QString();
}

} // namespace

PlotParseResult parsePlot(const QByteArray &text)
{
    QByteArrayView body(text);
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    const QList<QByteArrayView> lines = splitLines(body);

    PlotData plot;
    bool headerSeen = false;
    qsizetype titleLine = 0, xLabelLine = 0, yLabelLine = 0;
    qsizetype xScaleLine = 0, yScaleLine = 0;
    qsizetype seriesLine = 0; // line of the current series' "series" line
    qsizetype styleLine = 0;  // line of the current series' "style" line, if it has one
    auto fail = [](qsizetype line, const QString &what) {
        return PlotParseResult{std::nullopt, lineError(line, what)};
    };

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype lineNo = i + 1;
        const QByteArrayView raw = lines.at(i);
        if (!plot.series.isEmpty()) {
            if (const std::optional<QPointF> pt = quickPoint(raw)) {
                if ((plot.xLog || plot.yLog) && !logAxisFault(plot, *pt).isEmpty())
                    return fail(lineNo, logAxisFault(plot, *pt));
                plot.series.last().points.append(*pt);
                continue;
            }
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder(raw);
        if (decoder.hasError())
            return fail(lineNo, QStringLiteral("the text is not UTF-8"));
        const QString line = decoded.trimmed();
        if (line.isEmpty())
            continue;

        if (!headerSeen) {
            if (line != QLatin1String(magic)) {
                return fail(lineNo,
                            QStringLiteral("a plot file starts with \"#KVPLOT 1\", found \"%1\"")
                                .arg(shortened(line)));
            }
            headerSeen = true;
            continue;
        }
        if (line.startsWith(QLatin1Char('#')))
            continue;

        QString keyword, rest;
        splitKeyword(line, keyword, rest);

        if (keyword == QLatin1String("title") || keyword == QLatin1String("xlabel")
            || keyword == QLatin1String("ylabel")) {
            if (!plot.series.isEmpty()) {
                return fail(
                    lineNo,
                    QStringLiteral("\"%1\" must come before the first series").arg(keyword));
            }
            qsizetype &seen = keyword == QLatin1String("title")    ? titleLine
                              : keyword == QLatin1String("xlabel") ? xLabelLine
                                                                   : yLabelLine;
            if (seen) {
                return fail(lineNo,
                            QStringLiteral("a second \"%1\" (the first is on line %2)")
                                .arg(keyword, QString::number(seen)));
            }
            seen = lineNo;
            (keyword == QLatin1String("title")    ? plot.title
             : keyword == QLatin1String("xlabel") ? plot.xLabel
                                                  : plot.yLabel)
                = rest;
            continue;
        }

        if (keyword == QLatin1String("xscale") || keyword == QLatin1String("yscale")) {
            if (!plot.series.isEmpty()) {
                return fail(
                    lineNo,
                    QStringLiteral("\"%1\" must come before the first series").arg(keyword));
            }
            const bool x = keyword == QLatin1String("xscale");
            qsizetype &seen = x ? xScaleLine : yScaleLine;
            if (seen) {
                return fail(lineNo,
                            QStringLiteral("a second \"%1\" (the first is on line %2)")
                                .arg(keyword, QString::number(seen)));
            }
            if (rest != QLatin1String("log") && rest != QLatin1String("linear")) {
                return fail(lineNo,
                            QStringLiteral("\"%1\" is \"log\" or \"linear\", found \"%2\"")
                                .arg(keyword, shortened(rest)));
            }
            seen = lineNo;
            (x ? plot.xLog : plot.yLog) = rest == QLatin1String("log");
            continue;
        }

        if (keyword == QLatin1String("style")) {
            if (plot.series.isEmpty() || !plot.series.constLast().points.isEmpty()) {
                return fail(lineNo,
                            QStringLiteral("\"style\" must come right after its \"series\" "
                                           "line"));
            }
            if (styleLine) {
                return fail(
                    lineNo,
                    QStringLiteral("a second \"style\" for series \"%1\" (the first "
                                   "is on line %2)")
                        .arg(shortened(plot.series.constLast().name), QString::number(styleLine)));
            }
            const std::optional<PlotSeries::Style> style = styleFromWord(rest);
            if (!style) {
                return fail(lineNo,
                            QStringLiteral("a series' style is \"line\", \"dashed\" or "
                                           "\"markers\", found \"%1\"")
                                .arg(shortened(rest)));
            }
            plot.series.last().style = *style;
            styleLine = lineNo;
            continue;
        }

        if (keyword == QLatin1String("series")) {
            if (rest.isEmpty())
                return fail(lineNo, QStringLiteral("\"series\" needs a name"));
            if (!plot.series.isEmpty() && plot.series.constLast().points.isEmpty()) {
                return fail(seriesLine,
                            QStringLiteral("series \"%1\" has no data points")
                                .arg(shortened(plot.series.constLast().name)));
            }
            plot.series.append(PlotSeries{rest, {}});
            seriesLine = lineNo;
            styleLine = 0;
            continue;
        }

        // A data point "x y".
        static const QRegularExpression blanks(QStringLiteral("[ \t]+"));
        const QStringList fields = line.split(blanks);
        const std::optional<double> first = number(fields.first());
        if (!first) {
            const QChar c = fields.first().at(0);
            if (c.isLetter()
                && fields.first().compare(QLatin1String("inf"), Qt::CaseInsensitive) != 0
                && fields.first().compare(QLatin1String("nan"), Qt::CaseInsensitive) != 0) {
                return fail(
                    lineNo,
                    QStringLiteral("unknown keyword \"%1\"").arg(shortened(fields.first())));
            }
        }
        if (plot.series.isEmpty()) {
            return fail(lineNo, QStringLiteral("data point before the first \"series\" line"));
        }
        if (fields.size() != 2) {
            return fail(lineNo,
                        QStringLiteral("a data point is two numbers \"x y\", found %1 field%2")
                            .arg(fields.size())
                            .arg(fields.size() == 1 ? QString() : QStringLiteral("s")));
        }
        const std::optional<double> second = number(fields.at(1));
        for (int k = 0; k < 2; ++k) {
            if (!(k == 0 ? first : second)) {
                return fail(
                    lineNo,
                    QStringLiteral("\"%1\" is not a finite number").arg(shortened(fields.at(k))));
            }
        }
        const QPointF pt(*first, *second);
        if (const QString fault = logAxisFault(plot, pt); !fault.isEmpty())
            return fail(lineNo, fault);
        plot.series.last().points.append(pt);
    }

    const qsizetype lastLine = qMax<qsizetype>(1, lines.size());
    if (!headerSeen)
        return fail(1, QStringLiteral("the file is empty; a plot file starts with \"#KVPLOT 1\""));
    if (plot.series.isEmpty())
        return fail(lastLine, QStringLiteral("the plot has no series"));
    if (plot.series.constLast().points.isEmpty()) {
        return fail(seriesLine,
                    QStringLiteral("series \"%1\" has no data points")
                        .arg(shortened(plot.series.constLast().name)));
    }
    return PlotParseResult{plot, QString()};
}

QByteArray writePlot(const PlotData &plot)
{
    QByteArray out = magic + "\r\n";
    if (!plot.title.isEmpty())
        out += "title " + oneLine(plot.title) + "\r\n";
    if (!plot.xLabel.isEmpty())
        out += "xlabel " + oneLine(plot.xLabel) + "\r\n";
    if (!plot.yLabel.isEmpty())
        out += "ylabel " + oneLine(plot.yLabel) + "\r\n";
    if (plot.xLog)
        out += "xscale log\r\n";
    if (plot.yLog)
        out += "yscale log\r\n";
    for (const PlotSeries &s : plot.series) {
        out += "series " + oneLine(s.name) + "\r\n";
        if (s.style != PlotSeries::Style::Line)
            out += QByteArray("style ") + styleWord(s.style) + "\r\n";
        for (const QPointF &p : s.points)
            out += numberText(p.x()) + ' ' + numberText(p.y()) + "\r\n";
    }
    return out;
}
