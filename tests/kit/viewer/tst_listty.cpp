#include "ListWindow.h"
#include "TyFileSet.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Four code files in the order the tool shows them, and one other file it must skip.
void writeDemoFiles(const QTemporaryDir &dir)
{
    writeFile(dir.filePath(QStringLiteral("c-wave.ty")), "x NEEDLE y\r\nneedle again\r\n");
    writeFile(dir.filePath(QStringLiteral("a-heat.ty")), "model heat\nnEEdle here\n");
    writeFile(dir.filePath(QStringLiteral("B-none.ty")), "nothing to see\n");
    writeFile(dir.filePath(QStringLiteral("d-last.TY")), "");
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "needle\n");
}

} // namespace

class ListTyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void theCodeFilesAreListedSortedWithoutRegardToCase()
    {
        QTemporaryDir dir;
        writeDemoFiles(dir);
        const TyFileSet files(dir.path());
        QCOMPARE(files.problem(), QString());
        QCOMPARE(files.count(), 4);
        const QStringList names{
            files.fileName(0), files.fileName(1), files.fileName(2), files.fileName(3)};
        QCOMPARE(names, (QStringList{"a-heat.ty", "B-none.ty", "c-wave.ty", "d-last.TY"}));
        // CR LF is one line end, so lines and columns count as the user sees them.
        QCOMPARE(files.text(2), QStringLiteral("x NEEDLE y\nneedle again\n"));
        QCOMPARE(TyFileSet::lineColumn(files.text(2), 11), (std::pair<int, int>{2, 1}));
        QCOMPARE(TyFileSet::lineColumn(files.text(2), 2), (std::pair<int, int>{1, 3}));
    }

    void theSearchGoesOnThroughTheFilesAndRound_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<int>("file");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("foundFile"); // -1: not found
        QTest::addColumn<int>("foundPosition");
        QTest::addColumn<bool>("wrapped");
        QTest::newRow("in the starting file") << "needle" << 0 << 0 << 0 << 11 << false;
        QTest::newRow("on into a later file") << "needle" << 0 << 12 << 2 << 2 << false;
        QTest::newRow("later in the same file") << "needle" << 2 << 3 << 2 << 11 << false;
        QTest::newRow("round from the last file") << "needle" << 3 << 0 << 0 << 11 << true;
        QTest::newRow("round to an earlier place in the starting file")
            << "again" << 2 << 20 << 2 << 18 << true;
        QTest::newRow("only in one file, found from another") << "see" << 3 << 0 << 1 << 11 << true;
        QTest::newRow("nowhere") << "zebra" << 1 << 0 << -1 << -1 << false;
        QTest::newRow("empty text finds nothing") << "" << 0 << 0 << -1 << -1 << false;
        QTest::newRow("not in files that are not code") << "notes" << 0 << 0 << -1 << -1 << false;
    }

    void theSearchGoesOnThroughTheFilesAndRound()
    {
        QFETCH(QString, needle);
        QFETCH(int, file);
        QFETCH(int, position);
        QFETCH(int, foundFile);
        QFETCH(int, foundPosition);
        QFETCH(bool, wrapped);
        QTemporaryDir dir;
        writeDemoFiles(dir);
        const TyFileSet files(dir.path());
        const TyFileSet::Match m = files.find(needle, file, position);
        QCOMPARE(int(m.file), foundFile);
        QCOMPARE(int(m.position), foundPosition);
        if (m.found())
            QCOMPARE(m.wrapped, wrapped);
    }

    void findAgainByKeyContinuesIntoTheNextFilesAndWrapsAround()
    {
        QTemporaryDir dir;
        writeDemoFiles(dir);
        ListWindow window(dir.path());
        int asked = 0;
        window.setPrompt([&asked](const QString &) -> std::optional<QString> {
            ++asked;
            return QStringLiteral("Needle");
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.fileStatus(), QStringLiteral("a-heat.ty (1 of 4)"));
        QCOMPARE(window.windowTitle(), QStringLiteral("a-heat.ty - List"));

        QTest::keyClick(window.view(), Qt::Key_Backslash);
        QCOMPARE(asked, 1);
        QCOMPARE(window.fileStatus(), QStringLiteral("a-heat.ty (1 of 4)"));
        QCOMPARE(window.matchStatus(), QStringLiteral("\"Needle\" at line 2, column 1"));
        QCOMPARE(window.view()->textCursor().selectedText(), QStringLiteral("nEEdle"));

        const struct
        {
            const char *file;
            const char *match;
        } expected[] = {
            {"c-wave.ty (3 of 4)", "\"Needle\" at line 1, column 3"},
            {"c-wave.ty (3 of 4)", "\"Needle\" at line 2, column 1"},
            {"a-heat.ty (1 of 4)",
             "\"Needle\" at line 2, column 1   (search went round to the first file)"},
            {"c-wave.ty (3 of 4)", "\"Needle\" at line 1, column 3"},
        };
        for (const auto &step : expected) {
            QTest::keyClick(window.view(), Qt::Key_A, Qt::AltModifier);
            QCOMPARE(window.fileStatus(), QString::fromUtf8(step.file));
            QCOMPARE(window.matchStatus(), QString::fromUtf8(step.match));
            QCOMPARE(window.view()->textCursor().selectedText().toLower(),
                     QStringLiteral("needle"));
        }
        QCOMPARE(asked, 1); // Find Again does not ask again
    }

    void textInNoFileIsReportedAsNotFound()
    {
        QTemporaryDir dir;
        writeDemoFiles(dir);
        ListWindow window(dir.path());
        window.setPrompt([](const QString &) { return std::optional<QString>(u"zebra"_qs); });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(window.view(), Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(window.view(), Qt::Key_Backslash);
        QCOMPARE(window.matchStatus(), QStringLiteral("\"zebra\" not found in any file."));
        QCOMPARE(window.fileStatus(), QStringLiteral("B-none.ty (2 of 4)"));
        QTest::keyClick(window.view(), Qt::Key_A, Qt::AltModifier);
        QCOMPARE(window.matchStatus(), QStringLiteral("\"zebra\" not found in any file."));
    }

    // Percent signs in a file name or in the text sought are shown as they are, not
    // taken for the places where the line and column go.
    void percentSignsInNamesAndSearchTextReachTheStatusLine_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QString>("match");
        QTest::newRow("markers in the name") << "%2%1.ty"
                                             << "%1"
                                             << "\"%1\" at line 2, column 3";
        QTest::newRow("markers in the text") << "plain.ty"
                                             << "%3%2"
                                             << "\"%3%2\" at line 3, column 1";
        QTest::newRow("a lone percent") << "100%.ty"
                                        << "100%"
                                        << "\"100%\" at line 1, column 1";
    }

    void percentSignsInNamesAndSearchTextReachTheStatusLine()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, needle);
        QFETCH(QString, match);
        QTemporaryDir dir;
        writeFile(dir.filePath(fileName), "100% sure\nx %1 y\n%3%2 z\n");
        writeFile(dir.filePath(QStringLiteral("zz.ty")), "other\n");
        ListWindow window(dir.path());
        window.setPrompt([needle](const QString &) { return std::optional<QString>(needle); });
        QCOMPARE(window.fileStatus(), fileName + QStringLiteral(" (1 of 2)"));
        QCOMPARE(window.windowTitle(), fileName + QStringLiteral(" - List"));
        window.find();
        QCOMPARE(window.matchStatus(), match);
        window.setPrompt([](const QString &) { return std::optional<QString>(u"%1 %2"_qs); });
        window.find();
        QCOMPARE(window.matchStatus(), QStringLiteral("\"%1 %2\" not found in any file."));
    }

    void theFindKeyAsksWithADialog()
    {
        QTemporaryDir dir;
        writeDemoFiles(dir);
        ListWindow window(dir.path());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        bool answered = false;
        QTimer::singleShot(0, &window, [&answered] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->setTextValue(QStringLiteral("AGAIN"));
            dialog->accept();
            answered = true;
        });
        QTest::keyClick(window.view(), Qt::Key_Backslash);
        QVERIFY(answered);
        QCOMPARE(window.fileStatus(), QStringLiteral("c-wave.ty (3 of 4)"));
        QCOMPARE(window.matchStatus(), QStringLiteral("\"AGAIN\" at line 2, column 8"));
    }

    void theFileKeysStepThroughTheFilesAndEscapeExits()
    {
        QTemporaryDir dir;
        writeDemoFiles(dir);
        ListWindow window(dir.path());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(window.view(), Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(window.fileStatus(), QStringLiteral("a-heat.ty (1 of 4)"));
        QCOMPARE(window.matchStatus(), QStringLiteral("This is the first file."));
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(window.view(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(window.fileStatus(), QStringLiteral("d-last.TY (4 of 4)"));
        QCOMPARE(window.matchStatus(), QStringLiteral("This is the last file."));
        QTest::keyClick(window.view(), Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(window.fileStatus(), QStringLiteral("c-wave.ty (3 of 4)"));
        QCOMPARE(window.view()->toPlainText(), QStringLiteral("x NEEDLE y\nneedle again\n"));
        QVERIFY(window.view()->isReadOnly());
        QTest::keyClick(window.view(), Qt::Key_X);
        QCOMPARE(window.view()->toPlainText(), QStringLiteral("x NEEDLE y\nneedle again\n"));

        QTest::keyClick(window.view(), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void olderFilesAndMissingDirectoriesAreHandled()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("old.ty")), "caf\xE9 au lait\n"); // Windows-1252
        const TyFileSet files(dir.path());
        const TyFileSet::Match m = files.find(QStringLiteral("CAFÉ"), 0, 0);
        QCOMPARE(m.file, 0);
        QCOMPARE(m.position, 0);

        ListWindow missing(dir.filePath(QStringLiteral("gone")));
        QVERIFY2(missing.view()->toPlainText().contains(QStringLiteral("does not exist")),
                 qPrintable(missing.view()->toPlainText()));
        missing.findAgain(); // nothing to search: no prompt, no failure

        QTemporaryDir empty;
        ListWindow none(empty.path());
        QVERIFY(none.view()->toPlainText().contains(QStringLiteral("no demo code files")));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ListTyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_listty.moc"
