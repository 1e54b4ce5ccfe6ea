#pragma once

#include <QString>
#include <QStringList>

// Desktop entry files (the freedesktop Desktop Entry Specification): the Exec line
// and the escaping of string values.
namespace DesktopEntry {

// One argument of an Exec line: quoted with double quotes when it holds a reserved
// character (blank, quote, "$", "\" and the like), with '"', '`', '$' and '\'
// escaped inside the quotes; '%' doubled so it is not read as a field code.
QString execArgument(const QString &argument);
// The Exec key's value for a command and its arguments, escaped as a string value
// ("\\" for a backslash, "\n", "\t", "\r"), ready to follow "Exec=".
QString execValue(const QStringList &commandAndArguments);
// A plain string value (Name=, Comment=, Path=): "\\", "\n", "\t", "\r" escaped.
QString escapeString(const QString &value);

// The entry that puts the program in the desktop's menus: name, comment, the Exec
// line for the executable, the icon by name, its categories and the window class.
QByteArray applicationEntry(const QString &executable, const QString &iconName);

} // namespace DesktopEntry
