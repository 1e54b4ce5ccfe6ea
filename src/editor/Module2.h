#pragma once

class ProgressReporter;
class QPainter;
class QPrinter;
class QsciScintilla;

// Prints the control's whole text page by page inside the margins (in twips,
// measured from the paper's edges) and ends the print job. The painter is active
// on the printer and stands on the first page; whatever was drawn on it already
// (the header) stays on that page. Every page holds exactly the lines that fit:
// the control's own page formatting says where the next page starts, so no line
// is printed twice or lost. Text prints black on white whatever the colours on
// the screen. Returns the number of pages printed.
//
// With progress, every page reports how much of the text is printed (in characters)
// and the page it starts; a Cancel there ends the job after the page in hand, and
// 0 is returned. What was printed until then is left to the caller to discard: a
// printer that can abort its job is told to.
int PrintWithMargins(QsciScintilla &rtfText,
                     QPrinter &printer,
                     QPainter &painter,
                     int leftMargin,
                     int topMargin,
                     int rightMargin,
                     int bottomMargin,
                     ProgressReporter *progress = nullptr);

// Twips to the printer's device pixels (1440 twips make one inch).
int printerPixels(int twips, int resolution);
