#include "RtfManual.h"

#include "demos/DemoCatalogue.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace {

const char *const header
    = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang2057\n"
      "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
      "{\\f1\\froman\\fcharset0 Times New Roman;}"
      "{\\f2\\fmodern\\fcharset0 Courier New;}}\n"
      "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue128;"
      "\\red255\\green0\\blue0;}\n"
      "{\\info{\\title Tessaly language and Kelvara manual}"
      "{\\author Kelvara sample tool kit}}\n"
      "\\paperw11906\\paperh16838\\margl1247\\margr1247\\margt1134\\margb1134\n"
      "\\widowctrl\\f1\\fs22\n";

const char *const bodyStyle = "\\pard\\plain\\f1\\fs22\\sa120\\sl276\\slmult1 ";
const char *const codeStyle = "\\pard\\plain\\f2\\fs17\\li360\\sa0\\sl0 ";

// Running text with *bold* and `code` marks.
QByteArray inlineText(const QString &text)
{
    QByteArray out;
    bool bold = false, code = false;
    QString run;
    auto flush = [&] {
        out += rtfEscape(run);
        run.clear();
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'`') {
            flush();
            out += code ? "\\f1 " : "\\f2 ";
            code = !code;
        } else if (c == u'*' && !code) {
            flush();
            out += bold ? "\\b0 " : "\\b ";
            bold = !bold;
        } else {
            run += c;
        }
    }
    flush();
    if (bold)
        out += "\\b0 ";
    if (code)
        out += "\\f1 ";
    return out;
}

QByteArray codeBlock(const QStringList &lines)
{
    QByteArray out;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        // tabs to blanks, stops of eight
        QString expanded;
        for (const QChar c : std::as_const(line)) {
            if (c == u'\t')
                expanded += QString(8 - expanded.size() % 8, u' ');
            else
                expanded += c;
        }
        out += codeStyle;
        if (i + 1 == lines.size())
            out += "\\sa120 ";
        out += rtfEscape(expanded) + "\\par\n";
    }
    return out;
}

QByteArray table(const QList<QStringList> &rows, bool firstRowIsHeader)
{
    if (rows.isEmpty())
        return QByteArray();
    int columns = 0;
    for (const QStringList &row : rows)
        columns = std::max(columns, int(row.size()));
    // Column widths in proportion to the longest cell of each column (within limits);
    // the table spans the text width of 9412 twips.
    QList<int> weight(columns, 9);
    for (const QStringList &row : rows)
        for (int c = 0; c < row.size(); ++c)
            weight[c] = std::max(weight[c], std::min(int(row.at(c).size()), 60));
    int total = 0;
    for (int w : std::as_const(weight))
        total += w;
    QByteArray rowDef = "\\trowd\\trgaph70\\trleft0\\trkeep";
    int edge = 0;
    for (int c = 0; c < columns; ++c) {
        edge += 9412 * weight.at(c) / total;
        if (c + 1 == columns)
            edge = 9412;
        rowDef += "\\clbrdrt\\brdrs\\brdrw5\\clbrdrb\\brdrs\\brdrw5"
                  "\\clbrdrl\\brdrs\\brdrw5\\clbrdrr\\brdrs\\brdrw5\\cellx"
                  + QByteArray::number(edge);
    }
    QByteArray out;
    for (int r = 0; r < rows.size(); ++r) {
        const bool bold = firstRowIsHeader && r == 0;
        // The heading row is repeated at the top of each page the table runs onto.
        out += (bold ? rowDef + "\\trhdr" : rowDef) + "\n";
        for (int c = 0; c < columns; ++c) {
            const QString cell = c < rows.at(r).size() ? rows.at(r).at(c) : QString();
            out += "\\pard\\plain\\intbl\\f1\\fs18 ";
            if (bold)
                out += "\\b ";
            out += inlineText(cell);
            if (bold)
                out += "\\b0 ";
            out += "\\cell\n";
        }
        out += "\\row\n";
    }
    out += "\\pard\\plain\\f1\\fs22\\sa120\\par\n";
    return out;
}

QByteArray catalogue()
{
    static const char *const tabs[] = {"Initial Value Problems",
                                       "Boundary Value Problems",
                                       "Inverse Problems",
                                       "Solvers",
                                       "Templates"};
    QByteArray out;
    for (int tab = 0; tab < 5; ++tab) {
        out += bodyStyle;
        out += "\\b " + rtfEscape(QStringLiteral("Tab \"%1\"").arg(QLatin1String(tabs[tab])))
               + "\\b0\\par\n";
        QList<QStringList> rows = {{QStringLiteral("File"),
                                    QStringLiteral("Description"),
                                    QStringLiteral("Levels"),
                                    QStringLiteral("Solver")}};
        for (const DemoRow &row : DemoCatalogue::rows()) {
            if (row.tab == tab)
                rows << QStringList{DemoCatalogue::fileNameOf(row.filename),
                                    row.description,
                                    row.levels,
                                    row.solver};
        }
        out += table(rows, true);
    }
    return out;
}

} // namespace

QByteArray rtfEscape(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u == u'\r' || u == u'\n') {
            continue;
        } else if (u == u'\t') {
            out += "\\tab ";
        } else if (u >= 0x20 && u < 0x7f) {
            out += char(u);
        } else if (u < 0x20 || u == 0x7f) {
            continue; // other control characters have no place in a document
        } else {
            // RTF keeps \u values as signed 16-bit numbers; characters beyond the
            // basic plane go as their two UTF-16 halves.
            out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
    return out;
}

RtfManualResult buildManualRtf(const QString &markup, const QString &demoDirectory)
{
    RtfManualResult result;
    QByteArray body;
    QStringList lines = markup.split(u'\n');
    for (QString &line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);

    QString paragraph;
    bool bullet = false;
    bool firstChapter = true;
    auto endParagraph = [&] {
        if (paragraph.isEmpty())
            return;
        if (bullet)
            body += "\\pard\\plain\\f1\\fs22\\sa80\\fi-240\\li480 \\bullet\\tab ";
        else
            body += bodyStyle;
        body += inlineText(paragraph) + "\\par\n";
        paragraph.clear();
        bullet = false;
    };

    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const int lineNo = i + 1;
        if (line.trimmed().isEmpty()) {
            endParagraph();
            continue;
        }
        if (line.startsWith(QLatin1String("    "))) {
            endParagraph();
            QStringList code;
            while (i < lines.size()
                   && (lines.at(i).startsWith(QLatin1String("    ")) || lines.at(i).isEmpty())) {
                code << lines.at(i).mid(4);
                ++i;
            }
            --i;
            while (!code.isEmpty() && code.last().trimmed().isEmpty())
                code.removeLast();
            body += codeBlock(code);
            continue;
        }
        if (line.startsWith(QLatin1String("# ")) || line.startsWith(QLatin1String("## "))) {
            endParagraph();
            const bool chapter = line.startsWith(QLatin1String("# "));
            const QString title = line.mid(chapter ? 2 : 3).trimmed();
            if (chapter) {
                body += firstChapter ? "\\pard\\plain" : "\\pard\\plain\\page";
                body += "\\keepn\\f0\\fs32\\b\\cf2\\sb240\\sa240 " + rtfEscape(title)
                        + "\\cf1\\b0\\par\n";
                firstChapter = false;
            } else {
                body += "\\pard\\plain\\keepn\\f0\\fs26\\b\\cf2\\sb240\\sa120 " + rtfEscape(title)
                        + "\\cf1\\b0\\par\n";
            }
            continue;
        }
        if (line.startsWith(u'|')) {
            endParagraph();
            QList<QStringList> rows;
            while (i < lines.size() && lines.at(i).startsWith(u'|')) {
                QString row = lines.at(i).trimmed();
                row = row.mid(1);
                if (row.endsWith(u'|'))
                    row.chop(1);
                QStringList cells = row.split(u'|');
                for (QString &cell : cells)
                    cell = cell.trimmed();
                const bool rule = std::all_of(cells.begin(), cells.end(), [](const QString &c) {
                    return !c.isEmpty() && std::all_of(c.begin(), c.end(), [](QChar ch) {
                        return ch == u'-' || ch == u':';
                    });
                });
                if (!rule)
                    rows << cells;
                ++i;
            }
            --i;
            body += table(rows, true);
            continue;
        }
        if (line.startsWith(QLatin1String("@demo "))) {
            endParagraph();
            const QString name = line.mid(6).trimmed();
            QFile file(demoDirectory + u'/' + name);
            if (!file.open(QIODevice::ReadOnly)) {
                result.error = QStringLiteral("line %1: cannot read the demo file %2: %3")
                                   .arg(lineNo)
                                   .arg(file.fileName(), file.errorString());
                return result;
            }
            QStringList code = QString::fromUtf8(file.readAll()).split(u'\n');
            for (QString &c : code)
                if (c.endsWith(u'\r'))
                    c.chop(1);
            while (!code.isEmpty() && code.last().trimmed().isEmpty())
                code.removeLast();
            body += bodyStyle;
            body += "\\b " + rtfEscape(name) + "\\b0\\par\n";
            body += codeBlock(code);
            continue;
        }
        if (line.trimmed() == QLatin1String("@catalogue")) {
            endParagraph();
            body += catalogue();
            continue;
        }
        if (line.startsWith(u'@')) {
            result.error = QStringLiteral("line %1: unknown directive %2")
                               .arg(lineNo)
                               .arg(line.section(u' ', 0, 0));
            return result;
        }
        if (line.startsWith(QLatin1String("- "))) {
            endParagraph();
            bullet = true;
            paragraph = line.mid(2).trimmed();
            continue;
        }
        paragraph += (paragraph.isEmpty() ? QString() : QStringLiteral(" ")) + line.trimmed();
    }
    endParagraph();

    result.rtf = QByteArray(header) + body + "}\n";
    return result;
}
