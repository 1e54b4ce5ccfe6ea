#pragma once

struct AppContext;
class QWidget;

// The Help menu's ways out of the program: the demo-code search tool and the
// manual. (E-mail Support is with the vendor's mail, in mdlMail.)
namespace mdlHelp {

// The search tool's keys, then P/list-ty.pif maximized; a missing tool is said.
void mnuHelpSearch_Click(AppContext &ctx, QWidget *owner);
// P/ty-manual 1.rtf through the desktop, maximized; a missing manual, or one the
// desktop cannot show, is said.
void mnuHelpManual_Click(AppContext &ctx, QWidget *owner);

} // namespace mdlHelp
