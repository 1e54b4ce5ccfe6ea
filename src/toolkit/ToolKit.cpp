#include "ToolKit.h"

#include "core/AppContext.h"
#include "core/AppState.h"
#include "editor/mdlFileChecks.h"
#include "platform/UserDialogs.h"

#include <QDir>
#include <QRegularExpression>
#include <QStorageInfo>

namespace ToolKit {

namespace {
QString join(const QString &dir, const QString &name)
{
    if (dir.endsWith(QLatin1Char('/')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}
} // namespace

QString programFile(const AppContext &ctx, const QString &name)
{
    return join(ctx.programDir, name);
}

QString dosStartOde(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("DOSstart.ode"));
}

QString dosStartTmp(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("DOSstart.tmp"));
}

QString userDir(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("user"));
}

QString lastOutput(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("user/~KV-out.txt"));
}

QString mySim(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("MySim.exe"));
}

QString plotsViewer(const AppContext &ctx)
{
    return QDir::cleanPath(programFile(ctx, QStringLiteral("../plots.exe")));
}

QString answersDir(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("demos/all/answers/"));
}

QString demoDir(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("demos/all"));
}

QString demoAnswersDir(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("demos/all/Answers/"));
}

QString demoRunDir(const AppState &state)
{
    return state.BasePath + state.ProductDir + QStringLiteral("/demos/all");
}

QString restartReg(const AppState &state)
{
    return state.BasePath + QStringLiteral("/re-start.reg");
}

QString manual(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("ty-manual 1.rtf"));
}

QString emailText(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("email.txt"));
}

QString listTy(const AppContext &ctx)
{
    return programFile(ctx, QStringLiteral("list-ty.pif"));
}

std::optional<QString> runLauncherName(int versionHundredths)
{
    if (versionHundredths <= 400)
        return std::nullopt;
    if (versionHundredths <= 411)
        return QStringLiteral("run-KV-W9x.pif");
    return QStringLiteral("run-KV-Linux.pif");
}

int versionHundredths(const QString &versionText)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d+)(?:\\.(\\d{1,2}))?"));
    const auto m = re.match(versionText);
    if (!m.hasMatch())
        return 0;
    QString minor = m.captured(2);
    if (minor.size() == 1)
        minor += QLatin1Char('0'); // "4.1" reads as 4.10
    return m.captured(1).toInt() * 100 + minor.toInt();
}

QString driveOf(const QString &dir)
{
    const QStorageInfo volume(dir);
    if (volume.isValid() && !volume.rootPath().isEmpty())
        return volume.rootPath();
    return QStringLiteral("/");
}

StartRequest runLauncherRequest(const AppContext &ctx,
                                const QString &launcherName,
                                const QString &codeName,
                                const QString &codeDir,
                                const QString &dataName)
{
    return {programFile(ctx, launcherName),
            {codeName, codeDir, driveOf(codeDir), ctx.state.BasePath, dataName},
            WindowStyle::NormalFocus};
}

StartRequest runSimRequest(const AppContext &ctx, const QString &dataName)
{
    return {programFile(ctx, QStringLiteral("run-sim.pif")), {dataName}, WindowStyle::NormalFocus};
}

StartRequest plotsRequest(const AppContext &ctx, const QString &argument, WindowStyle style)
{
    return {plotsViewer(ctx), {argument}, style};
}

StartRequest listTyRequest(const AppContext &ctx, WindowStyle style)
{
    return {listTy(ctx), {}, style};
}

namespace {
void reportNotStarted(AppContext &ctx, QWidget *owner, const QString &program)
{
    ctx.dialogs.message(owner,
                        {QStringLiteral("The program '") + program
                             + QStringLiteral("' could not be started.\r\n"
                                              "Check that the tool kit is installed and that "
                                              "this file is there and may be executed."),
                         QStringLiteral("A tool-kit program could not be started."),
                         MsgButtons::OK,
                         MsgIcon::Exclamation});
}
} // namespace

bool startToolOrReport(AppContext &ctx, QWidget *owner, StartRequest request)
{
    const QString onDisk = resolveExistingPath(request.program);
    if (onDisk.isEmpty()) {
        reportNotStarted(ctx, owner, request.program);
        return false;
    }
    request.program = onDisk;
    return startOrReport(ctx, owner, request);
}

bool startOrReport(AppContext &ctx, QWidget *owner, const StartRequest &request)
{
    if (ctx.desktop.startProgram(request))
        return true;
    reportNotStarted(ctx, owner, request.program);
    return false;
}

} // namespace ToolKit
