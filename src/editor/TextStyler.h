#pragma once

#include <QColor>
#include <QObject>

#include <array>

class QsciScintillaBase;

// What a character of a code document is, for its colour.
enum class TextClass : unsigned char { Plain, Comment, String, Number, Word, Solver, Builtin };
constexpr int textClassCount = 7;

namespace TessalySyntax {
// Gives each of the length bytes of one line of Tessaly code (UTF-8, its line end
// included or not) its class. Lines are independent: strings and comments end with
// their line.
void classifyLine(const char *text, qsizetype length, TextClass *classes);
} // namespace TessalySyntax

// The colour of each class; the font, size and weight are the same in every class.
struct StyleSet
{
    std::array<QColor, textClassCount> colours;
};

// Styles the text of one editor, on demand: the editor asks for the styles of the
// lines it is about to show or wrap, never for more.
//
// The styles serve two ends. Code documents of Tessaly files show their comments,
// strings, numbers, words, solvers and built-ins in colour. And in every document
// the characters alternate between two styles that look the same: the editor
// component measures a line's width run by run, caching the width of short runs
// only, and a whole line of one style would be measured anew, character by
// character, on every wrap. Wrapping breaks at blanks only (not at style changes),
// so lines break where word wrap breaks one-style text.
class TextStyler : public QObject
{
    Q_OBJECT

public:
    enum class Language { Plain, Tessaly };

    // The wrap mode the editor must use while it wraps (breaks at blanks only).
    static constexpr int wrapMode = 3; // SC_WRAP_WHITESPACE

    explicit TextStyler(QsciScintillaBase *editor);

    // Tessaly for a ".ty" file (any case), plain for every other.
    static Language languageOfFile(const QString &path);
    Language language() const { return m_language; }
    // Shows the text in the language's colours; the lines are styled again as the
    // editor needs them.
    void setLanguage(Language language);

    // Text the editor took in while its change notifications were off (a whole file
    // loaded at once): styled as if it had been typed there.
    void textInserted(qsizetype position, qsizetype length)
    {
        textModified(
            static_cast<int>(position), 0x1 /* SC_MOD_INSERTTEXT */, static_cast<int>(length));
    }

    // One font for every style.
    void setFont(const QByteArray &family, double points);

    // The colours on screen, and the plain set: black text in every class, for a
    // printout (apply it before the pages are formatted, then the screen set again).
    static StyleSet screenStyles();
    static StyleSet plainStyles();
    void applyStyles(const StyleSet &set);
    StyleSet styles() const { return m_styles; }

    // The class the editor holds for the character at position (as styled so far).
    TextClass classAt(qsizetype position) const;
    // Where the styled text ends: the editor has asked for nothing after it.
    qsizetype styledEnd() const;
    // How many characters' styles were computed so far (each line is computed once,
    // and again only after an edit of it or a change of language).
    qsizetype stylesComputed() const { return m_stylesComputed; }

private:
    void styleNeeded(int position);
    void textModified(int position, int modificationType, int length);
    qsizetype nextLineStart(qsizetype position) const;
    void styleRange(qsizetype start, qsizetype end);
    StyleSet activeStyles() const;

    QsciScintillaBase *m_editor;
    Language m_language = Language::Plain;
    StyleSet m_styles = screenStyles();
    // The styles before m_validEnd were computed and still hold (they move with the
    // text), except in the lines edited since, which end by m_editedEnd (-1: none).
    qsizetype m_validEnd = 0;
    qsizetype m_editedEnd = -1;
    qsizetype m_stylesComputed = 0;
};
