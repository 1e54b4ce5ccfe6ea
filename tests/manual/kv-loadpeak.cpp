// Opens one file in a document window the way the program does, and says how long
// reading and inserting took. Run by hand under /usr/bin/time -v to see the peak
// memory of a load (not part of the test suite):
//   QT_QPA_PLATFORM=offscreen /usr/bin/time -v build-dev/tests/kv-loadpeak FILE
// With a second argument "read", it only reads and decodes the file; with "hive",
// it reads the registry hive FILE as the start-up does and prints the time of each
// step, then writes one value as the Exit does.
#include "TestDoubles.h"

#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"
#include "editor/TextFileCodec.h"
#include "editor/frmDocument.h"
#include "platform/KvError.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace {

struct NoHost : DocumentHost
{
    void mnuFileSaveAs_Click() override {}
};

int readHive(const QString &path)
{
    using namespace mdlRegistryAPI;
    QElapsedTimer t;
    t.start();
    RegistryHive hive(path);
    QString name, dir;
    // What the start-up asks: the last file and the mail account.
    ReadLastFile(hive, name, dir);
    const qint64 first = t.nsecsElapsed();
    const QString manager = QStringLiteral("Software\\microsoft\\internet account manager");
    ReadValue(hive, manager, QStringLiteral("Default Mail Account"), REG_SZ, QString());
    KeyExists(hive, manager + QStringLiteral("\\accounts\\00000001"));
    const qint64 reads = t.nsecsElapsed();
    SaveLastFile(hive, QStringLiteral("model.ty"), QStringLiteral("/models"));
    const qint64 written = t.nsecsElapsed();
    std::printf("first read %.3f s, later reads %.3f s, a write %.3f s\n",
                first / 1e9,
                (reads - first) / 1e9,
                (written - reads) / 1e9);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (argc > 2 && QByteArray(argv[2]) == "hive")
        return readHive(path);
    if (argc > 2 && QByteArray(argv[2]) == "read") {
        // Reading and decoding alone, without the editor.
        QElapsedTimer t;
        t.start();
        const DecodedText text = TextFileCodec::readTextFile(path);
        std::printf("decoded %lld bytes in %.2f s\n",
                    static_cast<long long>(text.utf8.size()),
                    t.nsecsElapsed() / 1e9);
        return 0;
    }
    Harness h;
    NoHost host;
    frmDocument doc(h.ctx, host);
    QElapsedTimer t;
    t.start();
    try {
        doc.LoadFile(path);
    } catch (const KvError &e) {
        std::printf("refused: %s\n", qPrintable(unexpectedErrorText(e)));
        return 1;
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    // KV_SHOW=N: the window is shown for N seconds afterwards (laying out, wrapping).
    if (const int show = qEnvironmentVariableIntValue("KV_SHOW"); show > 0) {
        doc.resize(900, 600);
        doc.show();
        QTimer::singleShot(show * 1000, &app, &QApplication::quit);
        app.exec();
    }
    std::printf(
        "loaded %lld bytes in %.2f s\n",
        static_cast<long long>(doc.rtfText()->SendScintilla(QsciScintillaBase::SCI_GETLENGTH)),
        seconds);
    return 0;
}
