#pragma once

#include <QString>

#include <optional>

struct AppContext;
class QWidget;

// Mail to the vendor: a batch job sent by hand with the user's mail program, and
// the support address. The program sends and attaches nothing itself.
namespace VendorMail {

// The vendor's addresses, here and nowhere else.
inline QString batchAddress()
{
    return QStringLiteral("batch@kelvara.example");
}
inline QString supportAddress()
{
    return QStringLiteral("support@kelvara.example");
}

// The instructions that go into a batch-job message.
QString batchBody();
// "mailto:" + address + "?Subject=" + subject + "&body=" + body, the subject and the
// body percent-encoded so that any character of them arrives as it stands.
QString batchLink(const QString &subject);
// The support link: the product name, its version and a request for a subject; a
// request to attach the code as body.
QString supportLink();

// The subject of a batch job: the first line of P/email.txt, exactly as stored.
// Nothing when the file cannot be read or is empty.
std::optional<QString> batchSubject(const QString &path);

// eMail file for Batch Run: a new message in the user's mail program, the batch
// address on the clipboard, then how to go on by hand.
void mnuKV_eMail_Click(AppContext &ctx, QWidget *owner);
// E-mail Support: the same for the support address.
void mnuHelpEmail_Click(AppContext &ctx, QWidget *owner);

} // namespace VendorMail
