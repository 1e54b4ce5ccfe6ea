#include "TyLexer.h"

#include <QStringDecoder>

namespace ty {

namespace {

// One code point at i (a surrogate pair is one character); *length gets 1 or 2.
char32_t codePointAt(const QString &s, qsizetype i, int *length)
{
    const QChar c = s.at(i);
    if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(c, s.at(i + 1));
    }
    *length = 1;
    return c.unicode();
}

bool isIdentStart(char32_t c)
{
    return c == u'_' || QChar::isLetter(c);
}

bool isIdentPart(char32_t c)
{
    return c == u'_' || QChar::isLetterOrNumber(c);
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

QString decodeSource(const QByteArray &source, bool *windows1252)
{
    QByteArrayView bytes(source);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3); // the byte-order mark some editors write first
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    const bool fallback = utf8.hasError();
    if (fallback) {
        QStringDecoder cp1252("windows-1252");
        if (cp1252.isValid())
            text = cp1252.decode(bytes);
    }
    if (windows1252)
        *windows1252 = fallback;
    return text;
}

bool looksBinary(const QByteArray &bytes)
{
    const qsizetype n = qMin<qsizetype>(bytes.size(), 65536);
    qsizetype control = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(bytes.at(i));
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r') || c == 0x7f)
            ++control;
    }
    return control > 4 && control * 100 > n;
}

QString describeCharacter(char32_t c)
{
    if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0))
        return QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    if (c >= 0xd800 && c <= 0xdfff)
        return QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    return QString::fromUcs4(&c, 1);
}

QString escapeControls(const QString &text, bool keepTabs)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool lone
            = (QChar::isHighSurrogate(c)
               && !(i + 1 < text.size() && text.at(i + 1).isLowSurrogate()))
              || (QChar::isLowSurrogate(c) && !(i > 0 && text.at(i - 1).isHighSurrogate()));
        if ((c == u'\t' && keepTabs) || !(c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || lone))
            out += QChar(c);
        else
            out += describeCharacter(c);
    }
    return out;
}

void lexEach(const QString &text,
             const std::function<void(Statement &&)> &statement,
             const std::function<void(int line, const QString &message)> &report)
{
    Statement pending;
    bool continuing = false;
    // CR LF, CR and LF each end a line; a final line end does not start another.
    qsizetype start = 0;
    for (int lineNo = 1; start < text.size(); ++lineNo) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u'\r' && text.at(end) != u'\n')
            ++end;
        qsizetype next = end;
        if (next < text.size())
            next += (text.at(next) == u'\r' && next + 1 < text.size() && text.at(next + 1) == u'\n')
                        ? 2
                        : 1;
        const bool lastLine = next >= text.size();
        const QString src = text.mid(start, end - start);
        start = next;
        QList<Token> tokens;
        bool broken = false;
        qsizetype i = 0;
        if (src.size() > MaxLineLength) {
            report(lineNo,
                   QStringLiteral("the line is %1 characters long; a line holds at most %2")
                       .arg(QString::number(src.size()), QString::number(MaxLineLength)));
            broken = true;
            i = src.size();
        }
        while (i < src.size()) {
            const QChar c = src.at(i);
            if (c.isSpace()) {
                ++i;
                continue;
            }
            if (c == u'!')
                break; // a comment runs to the end of the line
            Token t;
            t.line = lineNo;
            t.column = int(i);
            int width = 1;
            const char32_t cp = codePointAt(src, i, &width);
            if (c == u'"') {
                qsizetype j = i + 1;
                QString value;
                bool closed = false;
                while (j < src.size()) {
                    if (src.at(j) == u'"') {
                        if (j + 1 < src.size() && src.at(j + 1) == u'"') {
                            value += u'"';
                            j += 2;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    value += src.at(j);
                    ++j;
                }
                if (!closed) {
                    report(lineNo,
                           QStringLiteral("unterminated string: a string must end with \" on the "
                                          "line where it starts"));
                    broken = true;
                    break;
                }
                t.kind = Tok::String;
                t.text = value;
                i = j + 1;
            } else if (isDigit(c) || (c == u'.' && i + 1 < src.size() && isDigit(src.at(i + 1)))) {
                qsizetype j = i;
                while (j < src.size() && isDigit(src.at(j)))
                    ++j;
                if (j < src.size() && src.at(j) == u'.') {
                    ++j;
                    while (j < src.size() && isDigit(src.at(j)))
                        ++j;
                }
                bool bad = false;
                if (j < src.size() && (src.at(j) == u'e' || src.at(j) == u'E')) {
                    qsizetype k = j + 1;
                    if (k < src.size() && (src.at(k) == u'+' || src.at(k) == u'-'))
                        ++k;
                    if (k < src.size() && isDigit(src.at(k))) {
                        while (k < src.size() && isDigit(src.at(k)))
                            ++k;
                        j = k;
                    } else {
                        bad = true;
                    }
                }
                int w = 1;
                if (!bad && j < src.size()
                    && (isIdentPart(codePointAt(src, j, &w)) || src.at(j) == u'.'))
                    bad = true;
                if (bad) {
                    qsizetype k = j;
                    while (k < src.size()
                           && (isIdentPart(codePointAt(src, k, &w)) || src.at(k) == u'.'))
                        k += w;
                    report(lineNo,
                           QStringLiteral("malformed number '")
                               + escapeControls(src.mid(i, qMin<qsizetype>(k - i, 60)))
                               + (k - i > 60 ? QStringLiteral("...'") : QStringLiteral("'")));
                    broken = true;
                    break;
                }
                t.kind = Tok::Number;
                t.text = src.mid(i, j - i);
                i = j;
            } else if (isIdentStart(cp)) {
                qsizetype j = i;
                int w = 1;
                while (j < src.size() && isIdentPart(codePointAt(src, j, &w)))
                    j += w;
                t.kind = Tok::Ident;
                t.text = src.mid(i, j - i);
                t.lower = t.text.toLower();
                if (j < src.size() && src.at(j) == u'\'') {
                    t.prime = true;
                    ++j;
                }
                i = j;
            } else {
                const QStringView two = QStringView(src).mid(i, 2);
                t.kind = Tok::Op;
                if (two == u"<=" || two == u">=" || two == u"==" || two == u"<>") {
                    t.text = two.toString();
                    i += 2;
                } else if (QStringLiteral("+-*/^()[],=<>:&").contains(c)) {
                    t.text = c;
                    ++i;
                } else if (c == u'\'') {
                    report(lineNo,
                           QStringLiteral("a ' marks a derivative and must follow a variable's "
                                          "name directly (x')"));
                    broken = true;
                    break;
                } else {
                    QString what
                        = QStringLiteral("unexpected character '") + describeCharacter(cp) + u'\'';
                    if (cp > 0xffff)
                        what += QStringLiteral(" (U+") + QString::number(uint(cp), 16).toUpper()
                                + u')';
                    report(lineNo, what);
                    broken = true;
                    break;
                }
            }
            t.endColumn = int(i);
            if (t.lower.isEmpty())
                t.lower = t.text;
            tokens << t;
        }

        bool continues = false;
        if (!tokens.isEmpty() && isOp(tokens.last(), "&")) {
            tokens.removeLast();
            continues = true;
        }
        for (const Token &t : std::as_const(tokens)) {
            if (isOp(t, "&")) {
                report(lineNo, QStringLiteral("'&' continues a statement and must end its line"));
                broken = true;
                break;
            }
        }

        if (!continuing) {
            pending = Statement();
            pending.line = lineNo;
        }
        if (pending.tokens.size() + tokens.size() > MaxStatementTokens) {
            if (!pending.broken)
                report(lineNo,
                       QStringLiteral("the statement holds more than %1 words and signs")
                           .arg(QString::number(MaxStatementTokens)));
            pending.broken = true;
        } else {
            pending.tokens += tokens;
        }
        pending.broken = pending.broken || broken;
        if (continues && !lastLine) {
            continuing = true;
            continue;
        }
        if (continues) {
            report(lineNo, QStringLiteral("the statement continues past the end of the file"));
            pending.broken = true;
        }
        continuing = false;
        if (!pending.tokens.isEmpty()) {
            pending.line = pending.tokens.first().line;
            statement(std::move(pending));
        }
        pending = Statement();
    }
}

LexResult lex(const QString &text)
{
    LexResult result;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            result.lines << text.mid(start, i - start);
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        result.lines << text.mid(start);
    lexEach(
        text,
        [&](Statement &&st) { result.statements << std::move(st); },
        [&](int line, const QString &message) {
            result.findings.append({line, message});
        });
    return result;
}

} // namespace ty
