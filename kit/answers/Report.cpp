#include "Report.h"

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// Drops the sign of a negative zero such as "-0.000".
QString unsignZero(QString text)
{
    if (text.startsWith(QLatin1Char('-'))) {
        bool allZero = true;
        for (qsizetype i = 1; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('e') || c == QLatin1Char('E'))
                break;
            if (c != QLatin1Char('0') && c != QLatin1Char('.'))
                allZero = false;
        }
        if (allZero)
            text.remove(0, 1);
    }
    return text;
}

} // namespace

QString fix(double value, int decimals)
{
    return unsignZero(QString::asprintf("%.*f", decimals, value));
}

QString sci(double value, int digits)
{
    return unsignZero(QString::asprintf("%.*e", digits, value));
}

QString num(double value, int significant)
{
    const double a = std::abs(value);
    if (a != 0.0 && (a < 1e-3 || a >= 1e7))
        return sci(value, significant - 1);
    const int before = a < 1.0 ? 1 : int(std::floor(std::log10(a))) + 1;
    return fix(value, std::max(0, significant - before));
}

void Report::title(const QString &text)
{
    const QString rule(text.size() + 4, QLatin1Char('='));
    m_lines << rule << QStringLiteral("  ") + text << rule << QString();
}

void Report::heading(const QString &text)
{
    if (!m_lines.isEmpty() && !m_lines.last().isEmpty())
        m_lines << QString();
    m_lines << text << QString(text.size(), QLatin1Char('-'));
}

void Report::line(const QString &text)
{
    m_lines << text.split(QLatin1Char('\n'));
}

void Report::field(const QString &name, const QString &value)
{
    if (name.isEmpty()) {
        m_lines << QString(38, QLatin1Char(' ')) + value;
        return;
    }
    QString label = name;
    if (label.size() < 34)
        label += QLatin1Char(' ') + QString(33 - label.size(), QLatin1Char('.'));
    m_lines << QStringLiteral("  ") + label + QStringLiteral(": ") + value;
}

void Report::table(const QStringList &headers, const std::vector<QStringList> &rows)
{
    std::vector<qsizetype> width(std::size_t(headers.size()));
    for (qsizetype c = 0; c < headers.size(); ++c)
        width[std::size_t(c)] = headers.at(c).size();
    for (const QStringList &row : rows)
        for (qsizetype c = 0; c < row.size() && c < headers.size(); ++c)
            width[std::size_t(c)] = std::max(width[std::size_t(c)], row.at(c).size());
    auto format = [&](const QStringList &cells) {
        QString text = QStringLiteral(" ");
        for (qsizetype c = 0; c < headers.size(); ++c)
            text += QStringLiteral(" ")
                    + cells.value(c).rightJustified(width[std::size_t(c)], QLatin1Char(' '));
        return text;
    };
    m_lines << format(headers);
    QString rule = QStringLiteral(" ");
    for (qsizetype w : width)
        rule += QStringLiteral(" ") + QString(w, QLatin1Char('-'));
    m_lines << rule;
    for (const QStringList &row : rows)
        m_lines << format(row);
    m_lines << QString();
}

QByteArray Report::bytes() const
{
    QStringList lines = m_lines;
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QByteArray out;
    for (const QString &l : lines) {
        QString trimmed = l;
        while (trimmed.endsWith(QLatin1Char(' ')))
            trimmed.chop(1);
        out += trimmed.toUtf8() + "\r\n";
    }
    return out;
}

PlotSeries
makeSeries(const QString &name, const std::vector<double> &x, const std::vector<double> &y)
{
    PlotSeries s;
    s.name = name;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i)
        s.points.append(QPointF(x[i], y[i]));
    return s;
}

} // namespace kv
