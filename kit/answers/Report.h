#pragma once

#include <PlotData.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The text of an answer file: built line by line, written with CR LF line ends.
// Numbers are formatted in the C locale with fixed precision, so the same run
// always gives the same bytes.
namespace kv {

// "%.*f" without a minus sign on a value that rounds to zero.
QString fix(double value, int decimals);
// "%.*e", likewise.
QString sci(double value, int digits);
// The shorter of fixed and scientific notation for a value of any size.
QString num(double value, int significant = 6);

class Report
{
public:
    void title(const QString &text);                       // framed title
    void heading(const QString &text);                     // underlined section heading
    void line(const QString &text = QString());            // one line (may hold '\n')
    void field(const QString &name, const QString &value); // "name ....: value"
    // A table: header row, rule, rows; columns right-aligned.
    void table(const QStringList &headers, const std::vector<QStringList> &rows);
    QByteArray bytes() const;

private:
    QStringList m_lines;
};

// One demo's answer: its report and its plot, written as ".plt" and/or ".gif".
struct Answer
{
    QString stem;
    QByteArray report;
    PlotData plot;
    bool writePlt = true;
    bool writeGif = false;
};

// A series from two columns.
PlotSeries
makeSeries(const QString &name, const std::vector<double> &x, const std::vector<double> &y);

} // namespace kv
