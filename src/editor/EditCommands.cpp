#include "EditCommands.h"

#include "core/AppContext.h"
#include "editor/EditorHost.h"
#include "editor/frmDocument.h"
#include "editor/frmFind.h"
#include "platform/UserDialogs.h"

#include <Qsci/qsciscintilla.h>

#include <QLineEdit>

#include <cstring>
#include <limits>
#include <vector>

namespace {

// The control keeps its text as UTF-8: a character starts at every byte that is not
// a continuation byte.
bool startsCharacter(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

std::int64_t charactersIn(const char *bytes, std::int64_t length)
{
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < length; ++i)
        n += startsCharacter(bytes[i]) ? 1 : 0;
    return n;
}

// The byte offset of a character position, or -1 beyond the end of the text.
std::int64_t byteOfCharacter(const char *bytes, std::int64_t length, std::int64_t character)
{
    if (character < 0)
        character = 0;
    std::int64_t seen = 0;
    for (std::int64_t i = 0; i < length; ++i) {
        if (startsCharacter(bytes[i])) {
            if (seen == character)
                return i;
            ++seen;
        }
    }
    return seen == character ? length : -1;
}

std::int32_t clampToInt32(std::int64_t v)
{
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

// One character of UTF-8 text from p (before end): its code point and byte length.
// A byte that starts no valid character stands for itself, beyond every letter.
int decode(const unsigned char *p, const unsigned char *end, char32_t &cp)
{
    const unsigned char b = *p;
    int length = b < 0x80           ? 1
                 : (b >> 5) == 0x6  ? 2
                 : (b >> 4) == 0xE  ? 3
                 : (b >> 3) == 0x1E ? 4
                                    : 0;
    if (length == 0 || end - p < length) {
        cp = 0x110000 + b;
        return 1;
    }
    if (length == 1) {
        cp = b;
        return 1;
    }
    cp = b & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) {
            cp = 0x110000 + b;
            return 1;
        }
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    return length;
}

// The case-independent form of a code point: a letter's simple case folding.
char32_t fold(char32_t cp)
{
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp;
    return cp <= 0x10FFFF ? QChar::toCaseFolded(cp) : cp;
}

// The byte length of the match of the folded needle at p, or 0.
qsizetype
matchAt(const unsigned char *p, const unsigned char *end, const std::vector<char32_t> &needle)
{
    const unsigned char *q = p;
    for (char32_t wanted : needle) {
        if (q >= end)
            return 0;
        char32_t cp = 0;
        const int length = decode(q, end, cp);
        if (fold(cp) != wanted)
            return 0;
        q += length;
    }
    return q - p;
}

// The first occurrence of the folded needle in [from, to): its byte offset and
// length, or -1.
std::int64_t findFolded(const unsigned char *text,
                        std::int64_t from,
                        std::int64_t to,
                        const std::vector<char32_t> &needle,
                        qsizetype &matchLength)
{
    const unsigned char *end = text + to;
    const char32_t first = needle.front();
    if (first < 0x80) {
        // Only the first letter's two cases can start an occurrence: the library's
        // byte search finds them fast.
        const unsigned char lower = static_cast<unsigned char>(first);
        const unsigned char upper = lower >= 'a' && lower <= 'z' ? lower - ('a' - 'A') : lower;
        const unsigned char *nextLower = text + from;
        const unsigned char *nextUpper = lower == upper ? end : text + from;
        auto advance = [end](const unsigned char *p, unsigned char byte) {
            const void *hit = p < end ? std::memchr(p, byte, end - p) : nullptr;
            return hit ? static_cast<const unsigned char *>(hit) : end;
        };
        nextLower = advance(nextLower, lower);
        if (lower != upper)
            nextUpper = advance(nextUpper, upper);
        while (nextLower < end || nextUpper < end) {
            const bool takeLower = nextLower <= nextUpper;
            const unsigned char *at = takeLower ? nextLower : nextUpper;
            if (const qsizetype length = matchAt(at, end, needle)) {
                matchLength = length;
                return at - text;
            }
            if (takeLower)
                nextLower = advance(at + 1, lower);
            else
                nextUpper = advance(at + 1, upper);
        }
        return -1;
    }
    for (const unsigned char *p = text + from; p < end; ++p) {
        if (*p < 0x80 || (*p & 0xC0) == 0x80)
            continue;
        if (const qsizetype length = matchAt(p, end, needle)) {
            matchLength = length;
            return p - text;
        }
    }
    return -1;
}

} // namespace

std::int32_t characterCount(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return clampToInt32(charactersIn(utf8.constData(), utf8.size()));
}

int FindInControl(QsciScintilla &rtfText, const QString &text, std::optional<std::int32_t> start)
{
    using Sci = QsciScintillaBase;
    const QByteArray needle = text.toUtf8();
    if (needle.isEmpty())
        return -1;
    const std::int64_t length = rtfText.SendScintilla(Sci::SCI_GETLENGTH);
    const auto *bytes
        = reinterpret_cast<const char *>(rtfText.SendScintilla(Sci::SCI_GETCHARACTERPOINTER));
    std::int64_t from = 0;
    std::int64_t to = length;
    if (start) {
        from = byteOfCharacter(bytes, length, *start);
        if (from < 0)
            return -1;
    } else {
        const std::int64_t selStart = rtfText.SendScintilla(Sci::SCI_GETSELECTIONSTART);
        const std::int64_t selEnd = rtfText.SendScintilla(Sci::SCI_GETSELECTIONEND);
        if (selEnd > selStart) {
            from = selStart;
            to = selEnd;
        }
    }
    std::vector<char32_t> folded;
    for (char32_t cp : text.toUcs4())
        folded.push_back(fold(cp));
    qsizetype matchLength = 0;
    const std::int64_t found
        = findFolded(reinterpret_cast<const unsigned char *>(bytes), from, to, folded, matchLength);
    if (found < 0)
        return -1;
    rtfText.SendScintilla(
        Sci::SCI_SETSEL, static_cast<unsigned long>(found), static_cast<long>(found + matchLength));
    return clampToInt32(charactersIn(bytes, found));
}

EditCommands::EditCommands(AppContext &ctx, EditorHost &host)
    : m_ctx(ctx)
    , m_host(host)
{}

void EditCommands::mnuEditUndo_Click()
{
    if (frmDocument *doc = m_host.activeDocument())
        doc->rtfText()->undo();
}

void EditCommands::mnuEditCut_Click()
{
    if (frmDocument *doc = m_host.activeDocument())
        doc->Cut();
}

void EditCommands::mnuEditCopy_Click()
{
    if (frmDocument *doc = m_host.activeDocument())
        doc->Copy();
}

void EditCommands::mnuEditPaste_Click()
{
    if (frmDocument *doc = m_host.activeDocument())
        doc->Paste();
}

void EditCommands::mnuEditFind_Click()
{
    frmFind dialog(m_host.hostWindow());
    dialog.txtFind()->setText(m_searchText);
    dialog.txtFind()->selectAll();
    dialog.exec();
    if (dialog.CancelPressed)
        return;
    m_searchText = dialog.txtFind()->text();
    if (frmDocument *doc = m_host.activeDocument()) {
        m_searchStart = FindInControl(*doc->rtfText(), m_searchText);
        if (m_searchStart == -1)
            reportNotFound();
    }
    // After a miss this leaves the length minus one.
    m_searchStart = clampToInt32(std::int64_t(m_searchStart) + characterCount(m_searchText));
}

void EditCommands::mnuEditFindNext_Click()
{
    if (m_searchText.isEmpty())
        return;
    frmDocument *doc = m_host.activeDocument();
    if (!doc)
        return;
    const int pos = FindInControl(*doc->rtfText(), m_searchText, m_searchStart);
    if (pos == -1)
        reportNotFound();
    m_searchStart = clampToInt32(std::int64_t(pos) + characterCount(m_searchText));
}

void EditCommands::reportNotFound()
{
    m_ctx.dialogs.message(
        m_host.hostWindow(),
        {QStringLiteral("String not found"), QString(), MsgButtons::OK, MsgIcon::Exclamation});
}
