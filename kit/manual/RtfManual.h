#pragma once

#include <QByteArray>
#include <QString>

// Turns the manual's plain-text source into a Rich Text Format document.
//
// The source is light markup, one construct per line:
//   # Title             a chapter heading (a new page from the second one on)
//   ## Title            a section heading
//   - text              a bulleted paragraph (indented lines continue it)
//   | a | b |           table rows; the first row is the header, a row of dashes is skipped
//       code            lines indented by four blanks: a block in a fixed-width font
//   @demo <file>        the demo code file <file> of the demo directory, as a code block
//   @catalogue          the demo catalogue, tab by tab, from the program's own table
//   other lines         running text; a blank line ends a paragraph
// In running text, *text* is bold and `text` is set in the fixed-width font.

struct RtfManualResult
{
    QByteArray rtf;
    QString error; // empty on success
};

// Escapes text for RTF: \ { } are escaped, line breaks dropped, and every
// character beyond ASCII written as \uN? (the RTF output is 7-bit).
QByteArray rtfEscape(const QString &text);

RtfManualResult buildManualRtf(const QString &markup, const QString &demoDirectory);
