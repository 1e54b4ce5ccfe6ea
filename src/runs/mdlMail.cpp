#include "mdlMail.h"

#include "core/AppContext.h"
#include "editor/TextFileCodec.h"
#include "editor/mdlFileChecks.h"
#include "platform/AppInfo.h"
#include "platform/DesktopServices.h"
#include "platform/UserDialogs.h"
#include "toolkit/ToolKit.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace VendorMail {

namespace {

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// The clipboard emptied, then holding text; false when there is no clipboard.
bool putOnClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    clipboard->setText(text);
    return true;
}

QString byHandInstructions(const QString &addressPart)
{
    return QStringLiteral("If this didn't work automatically!  Please e-mail us at ") + addressPart
           + QStringLiteral("\r\n   ---> ('Cntl V' will retrieve our e-mail address!)  <---\r\n"
                            "with Subject: YourLastName & short comment.\r\n"
                            "Please remember to attach your TY code to this message.");
}

} // namespace

QString batchBody()
{
    return QStringLiteral("Your Subject must look like this: 'FileName.TY from XYZ Company'")
           + QStringLiteral("and we will respond to such a subject. Attach your TY file that you "
                            "want")
           + QStringLiteral("us to compile and execute.  Your results will be e-mailed back to "
                            "you.")
           + QStringLiteral("\r\n")
           + QStringLiteral("Form of AttachedFileName:  'xxx3a.ty' where 'xxx' is your initials "
                            "or ")
           + QStringLiteral("_________________________  first name, '3' is job number and 'a' is "
                            "card ")
           + QStringLiteral("type (a = Algebraic or o = ODE). AttachedFileName must be 8 "
                            "characters or ")
           + QStringLiteral("less.") + QStringLiteral("\r\n")
           + QStringLiteral("This is a hand operation and available Monday thru Friday. Jobs "
                            "will be ")
           + QStringLiteral("run overnight (i.e. within 24 hours).  Please be patient.  We are "
                            "working ")
           + QStringLiteral("on automating the procedure but until then its all hands. :)")
           + QStringLiteral("\r\n")
           + QStringLiteral("We hope this e-mail method will help you learn the power of ")
           + QStringLiteral("Calculus level programming.") + QStringLiteral("\r\n")
           + QStringLiteral("Sincerely, Brindlemoor.");
}

QString batchLink(const QString &subject)
{
    return QStringLiteral("mailto:") + batchAddress() + QStringLiteral("?Subject=")
           + encoded(subject) + QStringLiteral("&body=") + encoded(batchBody());
}

QString supportLink()
{
    const QString subject = AppInfo::productName() + QLatin1Char(' ') + AppInfo::version()
                            + QStringLiteral(": (Please enter your Title/Subject here.)");
    const QString body = QStringLiteral("(Please attach your TY code -file- to this message.)");
    return QStringLiteral("mailto:") + supportAddress() + QStringLiteral("?subject=")
           + encoded(subject) + QStringLiteral("&body=") + encoded(body);
}

std::optional<QString> batchSubject(const QString &path)
{
    const QString onDisk = resolveExistingPath(path);
    const QFileInfo info(onDisk);
    if (onDisk.isEmpty() || !info.isFile() || info.size() == 0)
        return std::nullopt;
    QFile file(onDisk);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One subject line; a longer file is not read to its end.
    const QByteArray head = file.read(64 * 1024);
    if (head.isEmpty() || !TextFileCodec::looksLikeText(head))
        return std::nullopt;
    qsizetype end = head.indexOf('\r');
    const qsizetype lf = head.indexOf('\n');
    if (end < 0 || (lf >= 0 && lf < end))
        end = lf;
    return QString::fromUtf8(TextFileCodec::decode(head.left(end < 0 ? head.size() : end)).utf8)
        .remove(QStringLiteral("\r\n"));
}

void mnuKV_eMail_Click(AppContext &ctx, QWidget *owner)
{
    // 1. and 2.
    const QString path = ToolKit::emailText(ctx);
    if (!FileExists(ctx, path)) {
        ctx.dialogs.message(owner,
                            {ctx.programDir + QStringLiteral("/eMail.txt file not found."),
                             QStringLiteral("If this continues, re-install KV-Win."),
                             MsgButtons::OK,
                             MsgIcon::Exclamation});
        return;
    }
    auto failed = [&] {
        ctx.dialogs.message(owner,
                            {QStringLiteral("Your e-Mail program file was not found.\r\n"
                                            "Please 'manually' e-mail us your ")
                                 + ctx.programDir + QStringLiteral("/eMail.txt file."),
                             QStringLiteral("Can't find your e-Mail program."),
                             MsgButtons::OK,
                             MsgIcon::Exclamation});
    };
    // 3. and 4.
    const std::optional<QString> subject = batchSubject(path);
    if (!subject) {
        failed();
        return;
    }
    // 5. Whether a mail program opened is not known; the message below says what
    // to do when none did.
    ctx.desktop.openDocument(QStringLiteral("Open"), batchLink(*subject), WindowStyle::NormalFocus);
    // 6.
    if (!putOnClipboard(batchAddress() + QLatin1Char(' '))) {
        failed();
        return;
    }
    // 7.
    ctx.dialogs.message(owner,
                        {byHandInstructions(batchAddress() + QLatin1Char(' ')),
                         QStringLiteral("If default e-Mail program was Not found."),
                         MsgButtons::OK,
                         MsgIcon::Exclamation});
}

void mnuHelpEmail_Click(AppContext &ctx, QWidget *owner)
{
    ctx.desktop.openDocument(QStringLiteral("Open"), supportLink(), WindowStyle::NormalFocus);
    putOnClipboard(supportAddress());
    ctx.dialogs.message(owner,
                        {byHandInstructions(supportAddress()),
                         QStringLiteral("No default e-Mail program was found."),
                         MsgButtons::OK,
                         MsgIcon::Exclamation});
}

} // namespace VendorMail
