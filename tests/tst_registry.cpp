#include "TestDoubles.h"

#include "platform/KvError.h"
#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"

#include <QTest>

using namespace mdlRegistryAPI;

namespace {
const QString product = QStringLiteral("Software\\Brindlemoor\\Kelvara");
}

class RegistryTest : public QObject
{
    Q_OBJECT

private slots:
    void valuesReadBackAsWritten_data();
    void valuesReadBackAsWritten();
    void keysAndValueNamesIgnoreCase();
    void missingKeyOrValueGivesTheDefault();
    void readingAnUnsupportedTypeRaises1001();
    void writingAnUnsupportedTypeStoresNothing();
    void creatingAKeyCreatesItsParents();
    void aKeyThatCannotBeCreatedRaises1001();
    void aDamagedHiveIsKeptAsideAndReported_data();
    void aDamagedHiveIsKeptAsideAndReported();
    void theHiveFileIsRegedit4Text();
    void lastFileIsRememberedAndRestored();
    void readLastFileWithoutProductKeyKeepsBothValues();
    void readLastFileWithAMissingValueGivesEmpty();
};

void RegistryTest::valuesReadBackAsWritten_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("string") << REG_SZ << QVariant(u"heat-ivp.ty"_qs) << QVariant(u"heat-ivp.ty"_qs);
    QTest::newRow("empty string") << REG_SZ << QVariant(QString()) << QVariant(QString(""));
    QTest::newRow("quotes and backslashes")
        << REG_SZ << QVariant(u"C:\\dir \"x\"\\"_qs) << QVariant(u"C:\\dir \"x\"\\"_qs);
    QTest::newRow("line breaks") << REG_SZ << QVariant(u"a\r\nb"_qs) << QVariant(u"a\r\nb"_qs);
    QTest::newRow("non-ASCII") << REG_SZ << QVariant(u"Müller ∂y/∂t"_qs)
                               << QVariant(u"Müller ∂y/∂t"_qs);
    // Longer than the 1024 bytes a fixed buffer would have held: read back whole.
    const QString longText(5000, QLatin1Char('x'));
    QTest::newRow("5000 characters") << REG_SZ << QVariant(longText) << QVariant(longText);
    QTest::newRow("5 bytes") << REG_BINARY << QVariant(QByteArray("\x01\x00\xff\x10\x7f", 5))
                             << QVariant(QByteArray("\x01\x00\xff\x10\x7f", 5));
    QTest::newRow("no bytes") << REG_BINARY << QVariant(QByteArray()) << QVariant(QByteArray());
    QTest::newRow("number") << REG_DWORD << QVariant(123456) << QVariant(qint32(123456));
    QTest::newRow("negative number") << REG_DWORD << QVariant(-5) << QVariant(qint32(-5));
    QTest::newRow("number rounded") << REG_DWORD << QVariant(2.6) << QVariant(qint32(3));
}

void RegistryTest::valuesReadBackAsWritten()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    Harness h;
    CreateKey(h.hive, product);
    WriteValue(h.hive, product, u"v"_qs, type, value);
    // A second hive object on the same file: what another program would read.
    RegistryHive other(h.hive.filePath());
    const QVariant read = ReadValue(other, product, u"v"_qs, type, u"default"_qs);
    QCOMPARE(read, expected);
    if (type == REG_BINARY)
        QCOMPARE(read.toByteArray().size(), expected.toByteArray().size());
}

void RegistryTest::keysAndValueNamesIgnoreCase()
{
    Harness h;
    CreateKey(h.hive, product);
    WriteValue(h.hive, product, u"FileIn"_qs, REG_SZ, u"one.ty"_qs);
    WriteValue(h.hive, u"software\\BRINDLEMOOR\\kelvara"_qs, u"fileIN"_qs, REG_SZ, u"two.ty"_qs);
    QVERIFY(KeyExists(h.hive, u"SOFTWARE\\brindlemoor\\KELVARA"_qs));
    QCOMPARE(ReadValue(h.hive, product, u"fileIn"_qs, REG_SZ).toString(), u"two.ty"_qs);
    // One value, not two.
    QCOMPARE(RegistryHive::parse(Harness::read(h.hive.filePath()))->last().values.size(), 1);
}

void RegistryTest::missingKeyOrValueGivesTheDefault()
{
    Harness h;
    QVERIFY(!KeyExists(h.hive, product));
    QCOMPARE(ReadValue(h.hive, product, u"x"_qs, REG_SZ, u"dflt"_qs).toString(), u"dflt"_qs);
    QVERIFY(!ReadValue(h.hive, product, u"x"_qs, REG_SZ).isValid());
    // Writing into a missing key stores nothing and raises nothing.
    WriteValue(h.hive, product, u"x"_qs, REG_SZ, u"v"_qs);
    QVERIFY(!KeyExists(h.hive, product));
    CreateKey(h.hive, product);
    QCOMPARE(ReadValue(h.hive, product, u"x"_qs, REG_DWORD, 7).toInt(), 7);
}

void RegistryTest::readingAnUnsupportedTypeRaises1001()
{
    Harness h;
    CreateKey(h.hive, product);
    try {
        ReadValue(h.hive, product, u"x"_qs, 2);
        QFAIL("no error raised");
    } catch (const KvError &e) {
        QCOMPARE(e.number(), 1001);
        QCOMPARE(e.description(), u"Unsupported value type"_qs);
    }
}

void RegistryTest::writingAnUnsupportedTypeStoresNothing()
{
    Harness h;
    CreateKey(h.hive, product);
    const QByteArray before = Harness::read(h.hive.filePath());
    WriteValue(h.hive, product, u"x"_qs, 2, u"v"_qs);
    QCOMPARE(Harness::read(h.hive.filePath()), before);
}

void RegistryTest::creatingAKeyCreatesItsParents()
{
    Harness h;
    CreateKey(h.hive, product);
    QVERIFY(KeyExists(h.hive, u"Software"_qs));
    QVERIFY(KeyExists(h.hive, u"Software\\Brindlemoor"_qs));
    // Creating an existing key changes nothing.
    const QByteArray before = Harness::read(h.hive.filePath());
    CreateKey(h.hive, product);
    QCOMPARE(Harness::read(h.hive.filePath()), before);
}

void RegistryTest::aKeyThatCannotBeCreatedRaises1001()
{
    Harness h;
    const QString blocker = h.tmp.path() + u"/blocker"_qs;
    Harness::write(blocker, "a file where a directory should be");
    RegistryHive hive(blocker + u"/hive.reg"_qs);
    try {
        CreateKey(hive, product);
        QFAIL("no error raised");
    } catch (const KvError &e) {
        QCOMPARE(e.number(), 1001);
        QCOMPARE(e.description(), u"Unable to create the registry key"_qs);
    }
}

void RegistryTest::aDamagedHiveIsKeptAsideAndReported_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("no header") << QByteArray("[HKEY_CURRENT_USER\\Software]\r\n");
    QTest::newRow("value outside a key") << QByteArray("REGEDIT4\r\n\"a\"=\"b\"\r\n");
    QTest::newRow("unclosed string")
        << QByteArray("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software]\r\n\"a\"=\"b\r\n");
    QTest::newRow("bad hex") << QByteArray(
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"a\"=hex:zz\r\n");
    QTest::newRow("other root") << QByteArray("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\S]\r\n");
    QTest::newRow("binary junk") << QByteArray("\x00\x01\x02garbage", 10);
}

void RegistryTest::aDamagedHiveIsKeptAsideAndReported()
{
    QFETCH(QByteArray, content);
    Harness h;
    Harness::write(h.hive.filePath(), content);
    QVERIFY(!KeyExists(h.hive, product));
    QVERIFY(!h.hive.damagedReport().isEmpty());
    // The damaged file is kept, not emptied.
    const QStringList aside
        = QDir(h.tmp.path() + u"/config"_qs).entryList({u"*.damaged-*"_qs}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(Harness::read(h.tmp.path() + u"/config/"_qs + aside.first()), content);
    QVERIFY(h.hive.damagedReport().contains(aside.first()));
    // And the program goes on with a fresh hive.
    CreateKey(h.hive, product);
    QVERIFY(KeyExists(h.hive, product));
}

void RegistryTest::theHiveFileIsRegedit4Text()
{
    Harness h;
    CreateKey(h.hive, product);
    WriteValue(h.hive, product, u"Name"_qs, REG_SZ, u"a\"b"_qs);
    WriteValue(h.hive, product, u"Count"_qs, REG_DWORD, 255);
    WriteValue(h.hive, product, u"Raw"_qs, REG_BINARY, QByteArray("\x01\xab", 2));
    const QByteArray text = Harness::read(h.hive.filePath());
    QVERIFY(text.startsWith("REGEDIT4\r\n"));
    QVERIFY(text.contains("[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Kelvara]\r\n"));
    QVERIFY(text.contains("\"Name\"=\"a\\\"b\"\r\n"));
    QVERIFY(text.contains("\"Count\"=dword:000000ff\r\n"));
    QVERIFY(text.contains("\"Raw\"=hex:01,ab\r\n"));
}

void RegistryTest::lastFileIsRememberedAndRestored()
{
    Harness h;
    SaveLastFile(h.hive, u"model one.ty"_qs, u"/home/u/my models"_qs);
    const QByteArray text = Harness::read(h.hive.filePath());
    // "FileInPath" is written before "FileIn".
    QVERIFY(text.indexOf("\"FileInPath\"") >= 0);
    QVERIFY(text.indexOf("\"FileInPath\"") < text.indexOf("\"FileIn\""));
    QString name = u"ok"_qs, dir;
    ReadLastFile(h.hive, name, dir);
    QCOMPARE(name, u"model one.ty"_qs);
    QCOMPARE(dir, u"/home/u/my models"_qs);
}

void RegistryTest::readLastFileWithoutProductKeyKeepsBothValues()
{
    Harness h;
    QString name = u"ok"_qs, dir = u"/somewhere"_qs;
    ReadLastFile(h.hive, name, dir);
    QCOMPARE(name, u"ok"_qs);
    QCOMPARE(dir, u"/somewhere"_qs);
}

void RegistryTest::readLastFileWithAMissingValueGivesEmpty()
{
    Harness h;
    CreateKey(h.hive, product);
    QString name = u"ok"_qs, dir = u"/somewhere"_qs;
    ReadLastFile(h.hive, name, dir);
    QCOMPARE(name, QString(""));
    QCOMPARE(dir, QString(""));
}

QTEST_GUILESS_MAIN(RegistryTest)
#include "tst_registry.moc"
