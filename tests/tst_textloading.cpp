#include "TestDoubles.h"

#include "editor/TextFileCodec.h"
#include "shell/frmMain.h"

#include <Qsci/qsciscintilla.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>

#include <sys/stat.h>

namespace {

// What decoding must give, computed the plain way: the whole text as a string.
QByteArray referenceDecode(const QByteArray &raw, bool cp1252)
{
    QByteArray utf8 = raw;
    if (cp1252) {
        QStringDecoder decoder("windows-1252");
        utf8 = QString(decoder.decode(raw)).toUtf8();
    }
    return TextFileCodec::normalizeLineEnds(utf8, true);
}

} // namespace

class TextLoadingTest : public QObject
{
    Q_OBJECT

private slots:
    void decodingInPlaceGivesThePlainResult_data();
    void decodingInPlaceGivesThePlainResult();
    void crLfUtf8FilesReadInPiecesGiveTheWholeReadsBytes_data();
    void crLfUtf8FilesReadInPiecesGiveTheWholeReadsBytes();
    void openingAnOddFileIsReportedAndOtherWindowsKeepTheirText_data();
    void openingAnOddFileIsReportedAndOtherWindowsKeepTheirText();
};

void TextLoadingTest::decodingInPlaceGivesThePlainResult_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("cp1252");
    QTest::newRow("only line ends") << QByteArray("\r\r\n\n\n\r") << false;
    QTest::newRow("CR before the end") << QByteArray("a\r") << false;
    QTest::newRow("LF at the start") << QByteArray("\nM\xc3\xbcller") << false;
    QTest::newRow("every high byte") << [] {
        QByteArray all;
        for (int b = 0x80; b <= 0xff; ++b)
            all.append(static_cast<char>(b)).append(b % 7 ? "" : "\n");
        return all;
    }() << true;
    QTest::newRow("euro and lone CR") << QByteArray("\x80\r\x80\n\x80\r\n\xfc") << true;
    // Mixed texts, with a fixed seed: line ends of every kind between ASCII and
    // high bytes, so each piece meets each neighbour.
    QRandomGenerator random(20261207);
    for (int round = 0; round < 8; ++round) {
        const char pieces[] = {'a', 'Z', ' ', '\r', '\n', '\x80', '\xe9', '\x81', '\xff'};
        QByteArray text;
        const int length = 1 + random.bounded(3000);
        for (int i = 0; i < length; ++i)
            text.append(pieces[random.bounded(int(sizeof pieces))]);
        QTest::addRow("mixed %d", round) << text << true;
    }
}

void TextLoadingTest::decodingInPlaceGivesThePlainResult()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, cp1252);
    const QByteArray before(raw.constData(), raw.size());
    const DecodedText decoded = TextFileCodec::decode(raw);
    QCOMPARE(decoded.encoding, cp1252 ? TextEncoding::Windows1252 : TextEncoding::Utf8);
    QCOMPARE(decoded.utf8, referenceDecode(raw, cp1252));
    // The caller's bytes are untouched when it keeps them.
    QCOMPARE(raw, before);
}

void TextLoadingTest::openingAnOddFileIsReportedAndOtherWindowsKeepTheirText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("number");
    QTest::newRow("pipe") << "pipe"
                          << "# 75 occured";
    QTest::newRow("endless device") << "/dev/zero"
                                    << "# 75 occured";
    QTest::newRow("too large") << "huge"
                               << "# 7 occured";
}

void TextLoadingTest::openingAnOddFileIsReportedAndOtherWindowsKeepTheirText()
{
    QFETCH(QString, kind);
    QFETCH(QString, number);
    Harness h;
    Harness::write(h.program + u"/KV-Win.ini"_qs, "");
    frmMain w(h.ctx);
    w.MDIForm_Load();
    h.dialogs.messages.clear();
    const QString model = h.tmp.path() + u"/model.ty"_qs;
    Harness::write(model, "model\r\n");
    h.dialogs.files << model;
    w.mnuFileOpen_Click();
    frmDocument *edited = w.activeDocument();
    QVERIFY(edited);
    edited->rtfText()->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "unsaved ");

    QString path = kind;
    if (kind == u"pipe"_qs) {
        path = h.tmp.path() + u"/results.out"_qs;
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"huge"_qs) {
        path = h.tmp.path() + u"/results.out"_qs;
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(TextFileCodec::maxDocumentBytes * 2)); // sparse
    }
    h.dialogs.files << path;
    w.mnuFileOpen_Click();
    QCOMPARE(h.dialogs.messages.size(), 1);
    const QString text = h.dialogs.messages.first().text;
    QVERIFY2(text.contains(path) && text.contains(number), qPrintable(text));
    QCOMPARE(edited->textBytes(), QByteArray("unsaved model\r\n"));
    QVERIFY(edited->IsDirty());
    QCOMPARE(w.activeDocument(), edited);
}

void TextLoadingTest::crLfUtf8FilesReadInPiecesGiveTheWholeReadsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("inPieces"); // false: read whole and decoded
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("CR LF lines") << QByteArray("a = 1\r\nb = 2\r\n") << true;
    QTest::newRow("no last line end") << QByteArray("a = 1\r\nb") << true;
    QTest::newRow("characters of 2, 3 and 4 bytes")
        << QByteArray("M\xc3\xbcller \xe2\x84\xa2 \xf0\x9d\x9f\x98 x\r\n").repeated(7) << true;
    QTest::newRow("a lone LF") << QByteArray("a\r\nb\nc\r\n") << false;
    QTest::newRow("LF first") << QByteArray("\na\r\n") << false;
    QTest::newRow("a lone CR") << QByteArray("a\rb\r\n") << false;
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << false;
    QTest::newRow("CR at the end") << QByteArray("a\r\nb\r") << false;
    QTest::newRow("Windows-1252") << QByteArray("M\xfcller\r\n").repeated(5) << false;
    QTest::newRow("a character cut at the end") << QByteArray("ab\r\n\xe2\x84") << false;
}

void TextLoadingTest::crLfUtf8FilesReadInPiecesGiveTheWholeReadsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, inPieces);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/t.txt"_qs;
    Harness::write(path, bytes);
    const QByteArray whole = TextFileCodec::readTextFile(path).utf8;
    // Piece sizes that cut lines, CR LF pairs and characters at every place.
    for (qsizetype piece = 16; piece < 40; ++piece) {
        QCOMPARE(TextFileCodec::isCrLfUtf8File(path, piece), inPieces);
        if (!inPieces)
            continue;
        QByteArray got;
        TextFileCodec::readCrLfUtf8InPieces(
            path, [&](const char *p, qsizetype n) { got.append(p, n); }, piece);
        QCOMPARE(got, whole);
    }
}

QTEST_MAIN(TextLoadingTest)
#include "tst_textloading.moc"
