#pragma once

#include <QByteArray>

struct AppContext;
class QDate;
class QLocale;
class QWidget;

// The marker file KV-Win.ini in the program directory: it exists once the demo
// catalogue has been opened, and the main window greets first-time users while it
// is missing. Only its existence matters; its one line is never rewritten.

// The marker's one line in Windows-1252: "Kelvara", the trade-mark sign (one byte,
// 0x99), " Program" and 17 blanks, the date in the locale's short format, CR LF.
QByteArray iniFileLine(const QDate &date, const QLocale &locale);

// Creates the file with that line (today's date, the user's locale) when it is
// missing; otherwise reads its first line and leaves the file as it is. A file that
// cannot be read or created is reported; false then.
bool EnsureIniFile(AppContext &ctx, QWidget *owner);
