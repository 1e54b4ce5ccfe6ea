#include "mdlRestart.h"

#include "core/AppContext.h"
#include "core/AppState.h"
#include "platform/DesktopEntry.h"
#include "toolkit/ToolKit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// REGEDIT4 string data: a backslash and a double quote are escaped with a backslash.
QString regString(const QString &s)
{
    QString out;
    for (const QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

// A copy that replaces the destination whole, and says nothing when it fails.
bool quietCopy(const QString &source, const QString &destination)
{
    QFile in(source);
    const QFileInfo info(source);
    if (!info.isFile() || !in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return false;
        }
    }
    return out.commit();
}

} // namespace

QByteArray restartRegBytes(const QString &executablePath)
{
    const QString lines = QStringLiteral("REGEDIT4\r\n\r\n"
                                         "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\"
                                         "CurrentVersion\\RunOnce]\r\n"
                                         "\"Kelvara startup\"=\"")
                          + regString(executablePath) + QStringLiteral("\"\r\n");
    return lines.toUtf8();
}

QByteArray autostartEntryBytes(const QString &executablePath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Kelvara startup\n"
                                        "Comment=Starts Kelvara once after a run; Kelvara "
                                        "removes this entry when it starts\n"
                                        "Exec=")
                         + DesktopEntry::execValue({executablePath})
                         + QStringLiteral("\n"
                                          "Terminal=false\n"
                                          "NoDisplay=true\n"
                                          "X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

QString autostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/autostart/kelvara-startup.desktop");
}

bool PrepareRestart(AppContext &ctx, const QString &programName)
{
    const QString executable = ToolKit::programFile(ctx, programName);
    // 1. The import file, replaced on every call.
    if (!writeWhole(ToolKit::restartReg(ctx.state), restartRegBytes(executable)))
        return false;
    // 2. The log-on entry that starts the program once.
    const QString entry = autostartEntryPath();
    if (!QDir().mkpath(QFileInfo(entry).absolutePath())
        || !writeWhole(entry, autostartEntryBytes(executable)))
        return false;
    // 3. The marker copy of the launchers' input.
    return quietCopy(ToolKit::dosStartOde(ctx), ToolKit::dosStartTmp(ctx));
}

void removeAutostartEntry()
{
    const QString entry = autostartEntryPath();
    if (QFileInfo(entry).isFile())
        QFile::remove(entry);
}
