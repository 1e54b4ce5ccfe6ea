#include "EnsureIniFile.h"

#include "core/AppContext.h"
#include "editor/mdlFileChecks.h"
#include "platform/AppInfo.h"
#include "platform/UserDialogs.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringEncoder>

QByteArray iniFileLine(const QDate &date, const QLocale &locale)
{
    QStringEncoder encoder("windows-1252");
    const QByteArray head = encoder.encode(AppInfo::productName() + QStringLiteral("\u2122 Program")
                                           + QString(17, u' '));
    QByteArray when = encoder.encode(locale.toString(date, QLocale::ShortFormat));
    // A locale whose digits or separators Windows-1252 cannot hold writes the date
    // in the neutral short format instead of a line of question marks.
    if (encoder.hasError()) {
        QStringEncoder plain("windows-1252");
        when = plain.encode(QLocale::c().toString(date, QLocale::ShortFormat));
    }
    return head + when + "\r\n";
}

bool EnsureIniFile(AppContext &ctx, QWidget *owner)
{
    const QString path = joinPath(ctx.programDir, QStringLiteral("KV-Win.ini"));
    bool ok = true;
    if (FileExists(ctx, path)) {
        // The line read is not used: reading it shows that the file can be read.
        QString found = resolveExistingPath(path);
        QFile file(found.isEmpty() ? path : found);
        if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
            ok = false;
        else {
            file.readLine(4096);
            ok = file.error() == QFileDevice::NoError;
        }
    } else {
        QSaveFile file(path);
        ok = file.open(QIODevice::WriteOnly)
             && file.write(iniFileLine(QDate::currentDate(), QLocale::system())) >= 0
             && file.commit();
    }
    if (!ok)
        ctx.dialogs.message(owner,
                            {QStringLiteral("Reading your KV-Win.ini file caused an error, please "
                                            "delete file\r\nOR edit it and remove any odd "
                                            "additions."),
                             QString(),
                             MsgButtons::OK,
                             MsgIcon::Exclamation});
    return ok;
}
