#include "mdlHelp.h"

#include "core/AppContext.h"
#include "editor/mdlFileChecks.h"
#include "platform/DesktopServices.h"
#include "platform/UserDialogs.h"
#include "toolkit/ToolKit.h"

namespace mdlHelp {

void mnuHelpSearch_Click(AppContext &ctx, QWidget *owner)
{
    // 1. The blanks line the arrows up.
    ctx.dialogs.message(owner,
                        {QStringLiteral("Commands once a file apears:\r\n"
                                        "            \\ ---> Find\r\n"
                                        "    <Alt>A ---> Find Again\r\n"
                                        "  <Cntl>N ---> Next File\r\n"
                                        "  <Cntl>U ---> Prev. File\r\n"
                                        "     <Esc> ---> Exit"),
                         QStringLiteral("Searching with Quorrel's List.com."),
                         MsgButtons::OK,
                         MsgIcon::Exclamation});
    // 2.
    ToolKit::startToolOrReport(
        ctx, owner, ToolKit::listTyRequest(ctx, WindowStyle::MaximizedFocus));
}

void mnuHelpManual_Click(AppContext &ctx, QWidget *owner)
{
    const QString manual = ToolKit::manual(ctx);
    const QString onDisk = resolveExistingPath(manual);
    if (onDisk.isEmpty()) {
        ctx.dialogs.message(owner,
                            {QStringLiteral("The manual '") + manual
                                 + QStringLiteral("' was not found.\r\nRe-install the program "
                                                  "to get it back."),
                             QStringLiteral("Manual not found."),
                             MsgButtons::OK,
                             MsgIcon::Exclamation});
        return;
    }
    if (!ctx.desktop.openDocument(QStringLiteral("open"), onDisk, WindowStyle::MaximizedFocus))
        ctx.dialogs.message(owner,
                            {QStringLiteral("The manual '") + onDisk
                                 + QStringLiteral("' could not be opened.\r\nCheck that a "
                                                  "program for '.rtf' documents is installed."),
                             QStringLiteral("Manual not opened."),
                             MsgButtons::OK,
                             MsgIcon::Exclamation});
}

} // namespace mdlHelp
