#pragma once

#include "TessalyCheck.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The first step of reading a Tessaly code file, shared by the checker and the
// interpreter: the bytes become text, the text becomes statements of tokens (one per
// line, or several lines joined by a trailing '&').
namespace ty {

enum class Tok { Ident, Number, String, Op };

struct Token
{
    Tok kind = Tok::Op;
    QString text;  // as written (a string's value without its quotes)
    QString lower; // lower case, for keywords and names
    int line = 0;
    int column = 0;     // where the token starts on its line, from 0
    int endColumn = 0;  // just past its end
    bool prime = false; // an identifier written with a trailing ' (a derivative)
};

struct Statement
{
    QList<Token> tokens;
    int line = 0;        // line of the first token
    bool broken = false; // the lexer already reported a fault in it
};

// Code files are UTF-8; one that is not valid UTF-8 is read as Windows-1252. A
// leading byte-order mark is dropped whatever the rest decodes as.
QString decodeSource(const QByteArray &source, bool *windows1252 = nullptr);

// A file that is not text: among its first 64 KiB, more than one byte in a hundred
// is a control byte other than tab, line feed, form feed and carriage return (NUL
// included). A text file with a stray control byte is still text; its finding names
// the byte.
bool looksBinary(const QByteArray &bytes);

// A character as a finding names it: itself when it prints, control characters and
// lone surrogates as \xNN or \uNNNN.
QString describeCharacter(char32_t c);
// The text with every control character escaped as \xNN (tabs kept when keepTabs).
QString escapeControls(const QString &text, bool keepTabs = false);

struct LexResult
{
    QList<Statement> statements;
    QList<TyFinding> findings;
    QStringList lines; // the source lines, for a statement's own text
};

LexResult lex(const QString &text);

// The same, one statement at a time, storing nothing: statement() gets each one,
// report() each fault, in the order of the lines.
void lexEach(const QString &text,
             const std::function<void(Statement &&)> &statement,
             const std::function<void(int line, const QString &message)> &report);

// A line longer than this, or a statement of more words and signs, is reported and
// left unread, so a file of one enormous line costs no more than one of many.
constexpr qsizetype MaxLineLength = 100000;
constexpr qsizetype MaxStatementTokens = 50000;

inline bool isOp(const Token &t, const char *op)
{
    return t.kind == Tok::Op && t.text == QLatin1String(op);
}

} // namespace ty
