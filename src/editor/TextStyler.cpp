#include "TextStyler.h"

#include "editor/TessalyWords.h"

#include <Qsci/qsciscintillabase.h>

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Sci = QsciScintillaBase;

// The editor component's position cache: the widths of short runs of text. One
// entry per distinct character and style is all a document of alternating styles
// needs; the rest keeps the runs of other fonts and sizes.
constexpr long positionCacheEntries = 65536;
// A request is styled in pieces of about this many bytes (whole lines), so the
// buffer of styles stays small however much the editor asks for.
constexpr qsizetype pieceBytes = 1 << 20;

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool isNameStart(unsigned char c)
{
    // Bytes of a multi-byte UTF-8 character count as letters.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

bool isNamePart(unsigned char c)
{
    return isNameStart(c) || isDigit(c);
}

bool isLineEnd(unsigned char c)
{
    return c == '\r' || c == '\n';
}

// The style of a character of class c: two styles per class, taken in turn.
int styleOf(TextClass c, int turn)
{
    return 2 * static_cast<int>(c) + turn;
}

} // namespace

void TessalySyntax::classifyLine(const char *text, qsizetype length, TextClass *classes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    auto fill = [&](qsizetype from, qsizetype to, TextClass c) {
        std::fill(classes + from, classes + to, c);
    };
    bool afterSolverWord = false; // the name just before (only blanks since) names a solver next
    bool inWithClause = false;
    qsizetype i = 0;
    while (i < length) {
        const unsigned char c = s[i];
        if (c == '!') {
            fill(i, length, TextClass::Comment);
            return;
        }
        if (c == '"') {
            // To the closing quote ("" stands for one quote), or to the line end.
            qsizetype j = i + 1;
            while (j < length && !isLineEnd(s[j])) {
                if (s[j] == '"') {
                    if (j + 1 < length && s[j + 1] == '"') {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            fill(i, j, TextClass::String);
            afterSolverWord = false;
            i = j;
            continue;
        }
        if (isDigit(c) || (c == '.' && i + 1 < length && isDigit(s[i + 1]))) {
            // C notation: 12, 0.5, .5, 1., 1.5e-3, 2E+10.
            qsizetype j = i;
            while (j < length && isDigit(s[j]))
                ++j;
            if (j < length && s[j] == '.') {
                ++j;
                while (j < length && isDigit(s[j]))
                    ++j;
            }
            if (j < length && (s[j] == 'e' || s[j] == 'E')) {
                qsizetype k = j + 1;
                if (k < length && (s[k] == '+' || s[k] == '-'))
                    ++k;
                if (k < length && isDigit(s[k])) {
                    while (k < length && isDigit(s[k]))
                        ++k;
                    j = k;
                }
            }
            fill(i, j, TextClass::Number);
            afterSolverWord = false;
            i = j;
            continue;
        }
        if (isNameStart(c)) {
            qsizetype j = i + 1;
            while (j < length && isNamePart(s[j]))
                ++j;
            // No word of the language is longer than this; longer names are names.
            constexpr qsizetype longestWord = 15;
            char lower[longestWord];
            const qsizetype n = j - i;
            TessalyWords::Kind kind = TessalyWords::Kind::None;
            if (n <= longestWord) {
                for (qsizetype k = 0; k < n; ++k)
                    lower[k] = static_cast<char>(
                        s[i + k] >= 'A' && s[i + k] <= 'Z' ? s[i + k] - 'A' + 'a' : s[i + k]);
                kind = TessalyWords::kindOf(QByteArray::fromRawData(lower, n));
            }
            const QByteArrayView name(lower, n <= longestWord ? n : 0);
            TextClass cls = TextClass::Plain;
            switch (kind) {
            case TessalyWords::Kind::Word:
                cls = TextClass::Word;
                break;
            case TessalyWords::Kind::Option:
                // An option is a word of the With clause; elsewhere it may name a variable.
                cls = inWithClause ? TextClass::Word : TextClass::Plain;
                break;
            case TessalyWords::Kind::Solver:
                // A solver's name is reserved for nothing: it is the solver where a
                // Find (after Using) or an Initiate names one.
                cls = afterSolverWord ? TextClass::Solver : TextClass::Plain;
                break;
            case TessalyWords::Kind::Builtin:
                cls = TextClass::Builtin;
                break;
            case TessalyWords::Kind::None:
                break;
            }
            if (name == "with")
                inWithClause = true;
            fill(i, j, cls);
            afterSolverWord = name == "using" || name == "initiate";
            i = j;
            continue;
        }
        classes[i] = TextClass::Plain;
        if (c != ' ' && c != '\t')
            afterSolverWord = false;
        ++i;
    }
}

TextStyler::TextStyler(QsciScintillaBase *editor)
    : QObject(editor)
    , m_editor(editor)
{
    m_editor->SendScintilla(Sci::SCI_SETLEXER, Sci::SCLEX_CONTAINER);
    m_editor->SendScintilla(Sci::SCI_SETPOSITIONCACHE, positionCacheEntries);
    m_editor->SendScintilla(Sci::SCI_SETWRAPMODE, static_cast<long>(wrapMode));
    // Pages formatted for a printer show black text whatever the colours on screen.
    m_editor->SendScintilla(Sci::SCI_SETPRINTCOLOURMODE, Sci::SC_PRINT_BLACKONWHITE);
    connect(m_editor, &QsciScintillaBase::SCN_STYLENEEDED, this, &TextStyler::styleNeeded);
    connect(m_editor,
            &QsciScintillaBase::SCN_MODIFIED,
            this,
            [this](int position, int type, const char *, int length, int, int, int, int, int, int) {
                textModified(position, type, length);
            });
    applyStyles(m_styles);
}

TextStyler::Language TextStyler::languageOfFile(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("ty"), Qt::CaseInsensitive) == 0
               ? Language::Tessaly
               : Language::Plain;
}

void TextStyler::setLanguage(Language language)
{
    if (language == m_language)
        return;
    m_language = language;
    m_validEnd = 0;
    m_editedEnd = -1;
    applyStyles(m_styles);
    // Every line is styled again, when the editor next needs it.
    m_editor->SendScintilla(Sci::SCI_STARTSTYLING, 0L, 0L);
    m_editor->viewport()->update();
}

void TextStyler::setFont(const QByteArray &family, double points)
{
    m_editor->SendScintilla(Sci::SCI_STYLESETFONT, Sci::STYLE_DEFAULT, family.constData());
    m_editor->SendScintilla(Sci::SCI_STYLESETSIZEFRACTIONAL,
                            Sci::STYLE_DEFAULT,
                            static_cast<long>(qRound(points * 100)));
    m_editor->SendScintilla(Sci::SCI_STYLESETBOLD, Sci::STYLE_DEFAULT, 0L);
    m_editor->SendScintilla(Sci::SCI_STYLESETITALIC, Sci::STYLE_DEFAULT, 0L);
    // Every style takes the default style's font, size and weight.
    m_editor->SendScintilla(Sci::SCI_STYLECLEARALL);
    applyStyles(m_styles);
}

StyleSet TextStyler::screenStyles()
{
    // Restrained colours, each dark enough to read on white.
    return {{
        QColor(0, 0, 0),          // plain
        QColor(0x3a, 0x7a, 0x3a), // comment: green
        QColor(0xa3, 0x15, 0x15), // string: dark red
        QColor(0x8a, 0x4b, 0x00), // number: brown
        QColor(0x00, 0x33, 0xb3), // word: blue
        QColor(0x7a, 0x1f, 0xa2), // solver: purple
        QColor(0x00, 0x6d, 0x77), // built-in: teal
    }};
}

StyleSet TextStyler::plainStyles()
{
    StyleSet set;
    set.colours.fill(QColor(0, 0, 0));
    return set;
}

StyleSet TextStyler::activeStyles() const
{
    return m_language == Language::Tessaly ? m_styles : plainStyles();
}

void TextStyler::applyStyles(const StyleSet &set)
{
    m_styles = set;
    const StyleSet shown = activeStyles();
    for (int c = 0; c < textClassCount; ++c) {
        const QColor colour = shown.colours.at(c);
        const long bgr = colour.red() | (colour.green() << 8) | (colour.blue() << 16);
        // Both styles of the pair look the same.
        for (int turn = 0; turn < 2; ++turn)
            m_editor->SendScintilla(Sci::SCI_STYLESETFORE,
                                    static_cast<unsigned long>(styleOf(TextClass(c), turn)),
                                    bgr);
    }
}

TextClass TextStyler::classAt(qsizetype position) const
{
    const long style
        = m_editor->SendScintilla(Sci::SCI_GETSTYLEAT, static_cast<unsigned long>(position));
    return static_cast<TextClass>(std::clamp<long>(style / 2, 0, textClassCount - 1));
}

qsizetype TextStyler::styledEnd() const
{
    return m_editor->SendScintilla(Sci::SCI_GETENDSTYLED);
}

qsizetype TextStyler::nextLineStart(qsizetype position) const
{
    const long line
        = m_editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<long>(position));
    const long next = m_editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line + 1);
    return next < 0 ? m_editor->SendScintilla(Sci::SCI_GETLENGTH) : next;
}

void TextStyler::textModified(int position, int modificationType, int length)
{
    if (modificationType & Sci::SC_MOD_INSERTTEXT) {
        if (position < m_validEnd)
            m_validEnd += length;
        if (m_editedEnd >= position)
            m_editedEnd += length;
        m_editedEnd = std::max<qsizetype>(m_editedEnd, position + length);
    } else if (modificationType & Sci::SC_MOD_DELETETEXT) {
        if (position < m_validEnd)
            m_validEnd = std::max<qsizetype>(position, m_validEnd - length);
        if (m_editedEnd > position)
            m_editedEnd = std::max<qsizetype>(position, m_editedEnd - length);
        m_editedEnd = std::max<qsizetype>(m_editedEnd, position);
    }
}

void TextStyler::styleNeeded(int position)
{
    // The editor asks for the styles from the start of the first line it holds as
    // not styled to the end of the line that holds position.
    const long styled = m_editor->SendScintilla(Sci::SCI_GETENDSTYLED);
    const long firstLine = m_editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, styled);
    const qsizetype start = m_editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, firstLine);
    const qsizetype length = m_editor->SendScintilla(Sci::SCI_GETLENGTH);
    qsizetype end = std::min<qsizetype>(position, length);
    const long lastLine
        = m_editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<long>(end));
    if (end > m_editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, lastLine))
        end = nextLineStart(end);
    if (end <= start)
        return;
    // Lines keep their styles through edits of other lines: only the edited lines
    // and those never styled are computed (an edit near the top of a long text
    // costs one line, not the rest of the text).
    qsizetype editedUntil = start;
    if (m_editedEnd >= start) {
        const qsizetype editedLinesEnd = nextLineStart(m_editedEnd);
        editedUntil = std::min(end, editedLinesEnd);
        if (editedLinesEnd <= end)
            m_editedEnd = -1;
    }
    if (editedUntil > start)
        styleRange(start, editedUntil);
    qsizetype rest = std::max(editedUntil, std::min(end, m_validEnd));
    if (rest < end) {
        const long restLine
            = m_editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<long>(rest));
        rest = std::max(editedUntil,
                        qsizetype(m_editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, restLine)));
        styleRange(rest, end);
    }
    m_validEnd = std::max(m_validEnd, end);
    // What was skipped holds already: the editor may go on after it.
    if (m_editor->SendScintilla(Sci::SCI_GETENDSTYLED) < end)
        m_editor->SendScintilla(Sci::SCI_STARTSTYLING, static_cast<unsigned long>(end), 0L);
}

void TextStyler::styleRange(qsizetype start, qsizetype end)
{
    std::vector<TextClass> classes;
    std::vector<char> styles;
    while (start < end) {
        // A piece of whole lines (one long line may exceed the piece's size).
        qsizetype pieceEnd = std::min(end, start + pieceBytes);
        if (pieceEnd < end) {
            const long line
                = m_editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<long>(pieceEnd));
            const qsizetype lineStart = m_editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
            if (lineStart > start)
                pieceEnd = lineStart;
            else {
                const long next = m_editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line + 1);
                pieceEnd = next < 0 ? end : std::min<qsizetype>(next, end);
            }
        }
        const qsizetype n = pieceEnd - start;
        const auto *text = reinterpret_cast<const char *>(m_editor->SendScintilla(
            Sci::SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), static_cast<long>(n)));
        styles.resize(n);
        const bool coloured = m_language == Language::Tessaly;
        if (coloured)
            classes.resize(n);
        qsizetype lineStart = 0;
        while (lineStart < n) {
            const void *nl = std::memchr(text + lineStart, '\n', n - lineStart);
            const qsizetype lineEnd = nl ? static_cast<const char *>(nl) - text + 1 : n;
            if (coloured)
                TessalySyntax::classifyLine(
                    text + lineStart, lineEnd - lineStart, classes.data() + lineStart);
            // Each character (all bytes of a UTF-8 sequence together, and a CR LF)
            // takes the other style of its pair than the one before it; every line
            // starts alike.
            int turn = 1;
            for (qsizetype i = lineStart; i < lineEnd; ++i) {
                const auto byte = static_cast<unsigned char>(text[i]);
                if ((byte & 0xC0) != 0x80 && byte != '\n')
                    turn ^= 1;
                styles[i]
                    = static_cast<char>(styleOf(coloured ? classes[i] : TextClass::Plain, turn));
            }
            lineStart = lineEnd;
        }
        m_editor->SendScintilla(Sci::SCI_STARTSTYLING, static_cast<unsigned long>(start), 0L);
        m_editor->SendScintilla(
            Sci::SCI_SETSTYLINGEX, static_cast<unsigned long>(n), styles.data());
        m_stylesComputed += n;
        start = pieceEnd;
    }
}
