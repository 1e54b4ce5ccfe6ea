#pragma once

#include "core/AppContext.h"
#include "core/AppState.h"
#include "platform/DesktopServices.h"
#include "platform/RegistryHive.h"
#include "platform/Settings.h"
#include "platform/UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QQueue>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// What one progress dialog was shown: the steps the work reported, and whether the
// user cancelled it. Kept after the work ended.
struct ProgressRecord
{
    ProgressRequest request;
    qint64 maximum = -1;
    QList<qint64> values;
    QStringList labels;
    bool cancelled = false;
    bool ended = false; // the work let its dialog go
};

// A progress dialog whose user chooses Cancel once the work has reported a chosen
// number of steps (never when that number is negative).
class ScriptedProgress : public ProgressReporter
{
public:
    ScriptedProgress(std::shared_ptr<ProgressRecord> record, int cancelAtStep)
        : m_record(std::move(record))
        , m_cancelAt(cancelAtStep)
    {}
    ~ScriptedProgress() override { m_record->ended = true; }
    void setMaximum(qint64 maximum) override { m_record->maximum = maximum; }
    void setValue(qint64 value) override
    {
        m_record->values << value;
        if (m_cancelAt >= 0 && m_record->values.size() >= m_cancelAt)
            m_record->cancelled = true;
    }
    void setLabelText(const QString &text) override { m_record->labels << text; }
    bool wasCanceled() const override { return m_record->cancelled; }

private:
    std::shared_ptr<ProgressRecord> m_record;
    int m_cancelAt;
};

// Answers every box and dialog from a script and remembers what was asked.
class ScriptedDialogs : public UserDialogs
{
public:
    MsgAnswer message(QWidget *, const MessageRequest &request) override
    {
        messages << request;
        if (!answers.isEmpty())
            return answers.dequeue();
        return request.buttons == MsgButtons::YesNo || request.buttons == MsgButtons::YesNoCancel
                   ? MsgAnswer::Yes
                   : MsgAnswer::OK;
    }
    std::optional<QString> openFile(QWidget *, const FileDialogState &state) override
    {
        openDialogs << state;
        return files.isEmpty() ? std::nullopt : files.dequeue();
    }
    std::optional<QString> saveFile(QWidget *, const FileDialogState &state) override
    {
        saveDialogs << state;
        return files.isEmpty() ? std::nullopt : files.dequeue();
    }

    bool print(QWidget *, QPrinter &, const PrintDialogState &state) override
    {
        printDialogs << state;
        return !printAnswers.isEmpty() && printAnswers.dequeue();
    }
    bool printerSetup(QWidget *, QPrinter &) override
    {
        ++printerSetups;
        return !printerSetupAnswers.isEmpty() && printerSetupAnswers.dequeue();
    }

    std::unique_ptr<ProgressReporter> progress(QWidget *owner,
                                               const ProgressRequest &request) override
    {
        if (makeProgress)
            return makeProgress(owner, request);
        auto record = std::make_shared<ProgressRecord>();
        record->request = request;
        progresses << record;
        return std::make_unique<ScriptedProgress>(
            record, cancelAtSteps.isEmpty() ? -1 : cancelAtSteps.dequeue());
    }

    QQueue<MsgAnswer> answers;
    QQueue<std::optional<QString>> files; // nullopt = the user cancels
    QList<MessageRequest> messages;
    QList<FileDialogState> openDialogs;
    QList<FileDialogState> saveDialogs;
    QQueue<bool> printAnswers;        // true = print; the user cancels when empty
    QQueue<bool> printerSetupAnswers; // true = OK; the user cancels when empty
    QList<PrintDialogState> printDialogs;
    int printerSetups = 0;
    // One per progress dialog, in turn: the step at which its user cancels (-1:
    // never); the user lets the work run when the queue is empty.
    QQueue<int> cancelAtSteps;
    QList<std::shared_ptr<ProgressRecord>> progresses;
    // Set (by a benchmark) to show real dialogs instead.
    std::function<std::unique_ptr<ProgressReporter>(QWidget *, const ProgressRequest &)>
        makeProgress;
};

// Remembers every program started and every document opened.
class RecordingDesktop : public DesktopServices
{
public:
    bool startProgram(const StartRequest &request) override
    {
        started << request;
        return startSucceeds;
    }
    bool openDocument(const QString &verb, const QString &target, WindowStyle style) override
    {
        opened << Opened{verb, target, style};
        return true;
    }
    quint32 platformVersion() const override { return version; }
    QString floppyDirectory() const override { return floppy; }
    DriveState driveState(const QString &path) const override
    {
        if (!isOnFloppy(path, floppy))
            return DriveState::Ready;
        if (!floppyStates.isEmpty())
            return floppyStates.dequeue();
        return floppyState;
    }

    struct Opened
    {
        QString verb;
        QString target;
        WindowStyle style;
    };
    QList<StartRequest> started;
    QList<Opened> opened;
    bool startSucceeds = true;
    quint32 version = 0x0106;
    QString floppy = QStringLiteral("/nonexistent-floppy");
    DriveState floppyState = DriveState::Ready;
    mutable QQueue<DriveState> floppyStates; // answered first, one per look
};

class MemorySettings : public Settings
{
public:
    QString get(const QString &key, const QString &defaultValue) const override
    {
        return values.value(key, defaultValue);
    }
    void save(const QString &key, const QString &value) override
    {
        values.insert(key, value);
        order << key;
    }
    QMap<QString, QString> values;
    QStringList order;
};

// An install tree in a temporary directory (<base>/Kelvara with demos/all and
// user) and a program context whose outside world is all test doubles.
class Harness
{
public:
    explicit Harness(const QString &baseName = QStringLiteral("zr tools"))
        : base(tmp.path() + QLatin1Char('/') + baseName)
        , program(base + QStringLiteral("/Kelvara"))
        , hive(tmp.path() + QStringLiteral("/config/HKEY_CURRENT_USER.reg"))
        , ctx{state, hive, settings, desktop, dialogs, program, {}}
    {
        QDir().mkpath(program + QStringLiteral("/demos/all"));
        QDir().mkpath(program + QStringLiteral("/user"));
        QDir().mkpath(tmp.path() + QStringLiteral("/config"));
    }

    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir tmp;
    QString base;
    QString program;
    AppState state;
    RegistryHive hive;
    MemorySettings settings;
    RecordingDesktop desktop;
    ScriptedDialogs dialogs;
    AppContext ctx;
};
