#include "TestDoubles.h"

#include "core/mdlLastFile.h"
#include "core/mdlRegistryAPI.h"
#include "platform/KvError.h"

#include <QDateTime>
#include <QLockFile>
#include <QTest>

#include <sys/stat.h>

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
    void aHiveThatIsNoPlainFileIsReportedAndKept_data();
    void aHiveThatIsNoPlainFileIsReportedAndKept();
    void aWindows1252HiveIsWrittenBackInWindows1252();
    void repeatedSectionsMerge();
    void aChangeByAnotherWriterIsSeen();
    void aWriteThatCannotGetTheLockIsReported();
    void aSettingsFileThatIsAPipeIsReportedAndKept();
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

void RegistryTest::aHiveThatIsNoPlainFileIsReportedAndKept_data()
{
    QTest::addColumn<QString>("kind");
    // A pipe would make the start wait for a writer for ever.
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("folder") << "folder";
}

void RegistryTest::aHiveThatIsNoPlainFileIsReportedAndKept()
{
    QFETCH(QString, kind);
    Harness h;
    const QByteArray path = QFile::encodeName(h.hive.filePath());
    if (kind == u"pipe"_qs)
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    else
        QVERIFY(QDir().mkpath(h.hive.filePath()));
    QVERIFY(!KeyExists(h.hive, product));
    QCOMPARE(ReadValue(h.hive, product, u"x"_qs, REG_SZ, u"dflt"_qs).toString(), u"dflt"_qs);
    QVERIFY(h.hive.damagedReport().contains(h.hive.filePath()));
    QVERIFY(h.hive.damagedReport().contains(u"# 75 occured"_qs));
    // Writing would replace it: refused and said, not done.
    try {
        SaveLastFile(h.hive, u"m.ty"_qs, u"/models"_qs);
        QFAIL("no error raised");
    } catch (const KvError &e) {
        QCOMPARE(e.number(), 1001);
    }
    struct stat st
    {
    };
    QCOMPARE(::stat(path.constData(), &st), 0);
    QVERIFY(kind == u"pipe"_qs ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode));
    QVERIFY(QDir(h.tmp.path() + u"/config"_qs).entryList({u"*.damaged-*"_qs}).isEmpty());
}

void RegistryTest::aWindows1252HiveIsWrittenBackInWindows1252()
{
    Harness h;
    const QByteArray other("\"Pref\"=\"M\xfcller\"\r\n");
    Harness::write(h.hive.filePath(),
                   "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n" + other);
    QCOMPARE(ReadValue(h.hive, u"Software\\Other"_qs, u"Pref"_qs, REG_SZ).toString(),
             u"M\u00fcller"_qs);
    SaveLastFile(h.hive, u"caf\u00e9.ty"_qs, u"/models"_qs);
    QByteArray text = Harness::read(h.hive.filePath());
    QVERIFY2(text.contains(other), text.constData());
    QVERIFY(text.contains("\"FileIn\"=\"caf\xe9.ty\""));
    QVERIFY(QByteArrayView(text).isValidUtf8() == false);
    QVERIFY(h.hive.damagedReport().isEmpty());

    // A text Windows-1252 cannot hold makes the file UTF-8, the old value intact.
    SaveLastFile(h.hive, u"\u2202y.ty"_qs, u"/models"_qs);
    text = Harness::read(h.hive.filePath());
    QVERIFY(text.contains("\"Pref\"=\"M\xc3\xbcller\"\r\n"));
    RegistryHive again(h.hive.filePath());
    QCOMPARE(ReadValue(again, u"Software\\Other"_qs, u"Pref"_qs, REG_SZ).toString(),
             u"M\u00fcller"_qs);
    QCOMPARE(ReadValue(again, product, u"FileIn"_qs, REG_SZ).toString(), u"\u2202y.ty"_qs);
}

void RegistryTest::repeatedSectionsMerge()
{
    Harness h;
    Harness::write(h.hive.filePath(),
                   "REGEDIT4\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\A]\r\n\"x\"=\"1\"\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\B]\r\n\"y\"=\"2\"\r\n\r\n"
                   "[hkey_current_user\\SOFTWARE\\a]\r\n\"z\"=\"3\"\r\n\"X\"=\"4\"\r\n");
    const QString a = u"Software\\A"_qs, b = u"Software\\B"_qs;
    QCOMPARE(ReadValue(h.hive, a, u"x"_qs, REG_SZ).toString(), u"4"_qs);
    QCOMPARE(ReadValue(h.hive, a, u"z"_qs, REG_SZ).toString(), u"3"_qs);
    QVERIFY(!ReadValue(h.hive, b, u"z"_qs, REG_SZ).isValid());
    QCOMPARE(ReadValue(h.hive, b, u"y"_qs, REG_SZ).toString(), u"2"_qs);
    // Written back as one section per key.
    WriteValue(h.hive, b, u"w"_qs, REG_SZ, u"5"_qs);
    const auto keys = RegistryHive::parse(Harness::read(h.hive.filePath()));
    QVERIFY(keys);
    QCOMPARE(keys->size(), 2);
    QCOMPARE(keys->at(0).values.size(), 2);
    QCOMPARE(keys->at(1).values.size(), 2);

    // A key with many values: a later value of a name, in any case, replaces it.
    QByteArray many = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Many]\r\n";
    for (int i = 0; i < 30; ++i)
        many += "\"v" + QByteArray::number(i) + "\"=\"" + QByteArray::number(i) + "\"\r\n";
    many += "[HKEY_CURRENT_USER\\Software\\many]\r\n\"V20\"=\"new\"\r\n\"V3\"=\"new\"\r\n";
    const auto parsed = RegistryHive::parse(many);
    QVERIFY(parsed);
    QCOMPARE(parsed->size(), 1);
    QCOMPARE(parsed->first().values.size(), 30);
    QCOMPARE(parsed->first().values.at(20).value.text, u"new"_qs);
    QCOMPARE(parsed->first().values.at(3).value.text, u"new"_qs);
    QCOMPARE(parsed->first().values.at(29).value.text, u"29"_qs);
}

void RegistryTest::aChangeByAnotherWriterIsSeen()
{
    Harness h;
    CreateKey(h.hive, product);
    WriteValue(h.hive, product, u"v"_qs, REG_SZ, u"mine"_qs);
    QCOMPARE(ReadValue(h.hive, product, u"v"_qs, REG_SZ).toString(), u"mine"_qs);
    // Another program replaces the file, keeping its size.
    RegistryHive other(h.hive.filePath());
    WriteValue(other, product, u"v"_qs, REG_SZ, u"them"_qs);
    QCOMPARE(ReadValue(h.hive, product, u"v"_qs, REG_SZ).toString(), u"them"_qs);
    // And my next write keeps their other changes.
    WriteValue(other, product, u"w"_qs, REG_SZ, u"theirs"_qs);
    WriteValue(h.hive, product, u"v"_qs, REG_SZ, u"mine"_qs);
    QCOMPARE(ReadValue(other, product, u"w"_qs, REG_SZ).toString(), u"theirs"_qs);
    QCOMPARE(ReadValue(other, product, u"v"_qs, REG_SZ).toString(), u"mine"_qs);
}

void RegistryTest::aWriteThatCannotGetTheLockIsReported()
{
    Harness h;
    CreateKey(h.hive, product);
    const QByteArray before = Harness::read(h.hive.filePath());
    // A live program holds the lock, and has for an hour: it is not broken.
    const QString lockPath = h.hive.filePath() + u".lock"_qs;
    QLockFile held(lockPath);
    QVERIFY(held.tryLock());
    {
        QFile lock(lockPath);
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    }
    try {
        WriteValue(h.hive, product, u"v"_qs, REG_SZ, u"lost?"_qs);
        QFAIL("no error raised");
    } catch (const KvError &e) {
        QCOMPARE(e.number(), 1001);
        QVERIFY(e.description().contains(u"not saved"_qs));
    }
    QCOMPARE(Harness::read(h.hive.filePath()), before);
    QVERIFY(QFile::exists(lockPath));
    QVERIFY(held.isLocked());
    held.unlock();
    WriteValue(h.hive, product, u"v"_qs, REG_SZ, u"saved"_qs);
    QCOMPARE(ReadValue(RegistryHive(h.hive.filePath()), product, u"v"_qs, REG_SZ).toString(),
             u"saved"_qs);
}

void RegistryTest::aSettingsFileThatIsAPipeIsReportedAndKept()
{
    Harness h;
    const QString ini = h.tmp.path() + u"/Kelvara Solver.ini"_qs;
    QCOMPARE(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
    IniSettings settings(ini);
    QVERIFY(settings.damagedReport().contains(ini));
    QCOMPARE(settings.get(u"MainWidth"_qs, u"11500"_qs), u"11500"_qs);
    settings.save(u"MainWidth"_qs, u"9000"_qs);
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(ini).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
}

QTEST_GUILESS_MAIN(RegistryTest)
#include "tst_registry.moc"
