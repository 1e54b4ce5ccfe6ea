#include "DesktopEntry.h"

namespace DesktopEntry {

QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument) {
        if (reserved.contains(c)) {
            quote = true;
            break;
        }
    }
    QString out;
    if (quote) {
        out += QLatin1Char('"');
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
                || c == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += c;
        }
        out += QLatin1Char('"');
    } else {
        out = argument;
    }
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return out;
}

QString escapeString(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString execValue(const QStringList &commandAndArguments)
{
    QStringList quoted;
    for (const QString &a : commandAndArguments)
        quoted << execArgument(a);
    return escapeString(quoted.join(QLatin1Char(' ')));
}

QByteArray applicationEntry(const QString &executable, const QString &iconName)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Version=1.0\n"
                                        "Name=Kelvara\n"
                                        "GenericName=Tessaly Model Editor\n"
                                        "Comment=Write Tessaly models, run them through the "
                                        "solver tool kit and read their answers and plots\n"
                                        "Exec=")
                         + execValue({executable}) + QStringLiteral("\nIcon=")
                         + escapeString(iconName)
                         + QStringLiteral("\nTerminal=false\n"
                                          "Categories=Development;Science;Math;\n"
                                          "StartupNotify=true\n"
                                          "StartupWMClass=Kelvara\n");
    return text.toUtf8();
}

} // namespace DesktopEntry
