#include "app/HostServices.h"
#include "app/TRvRegStore.h"
#include "app/Utils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestUtils : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cutFieldChain();
    void cutField_data();
    void cutField();
    void removeWhiteSpace();
    void byteSizeText_data();
    void byteSizeText();
    void byteSizeTextUsesLocaleSeparator();
    void versionTexts();
    void pumpDelayServesEvents();
    void namedValues();
    void valueOfWrongKindReadsDefault();
    void applicationName();
    void consoleHostAnswersDefaults();
};

void TestUtils::cutFieldChain()
{
    QString rest = u"+FREAD:PET,1234"_s;
    QCOMPARE(CutField(rest, u":"_s), u"+FREAD"_s);
    QCOMPARE(rest, u"PET,1234"_s);
    QCOMPARE(CutField(rest, u","_s), u"PET"_s);
    QCOMPARE(CutField(rest, u","_s), u"1234"_s);
    QCOMPARE(rest, QString());
    QCOMPARE(CutField(rest, u","_s), QString());
}

void TestUtils::cutField_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("rest");
    QTest::newRow("absent separator") << u"  abc  "_s << u"abc"_s << QString();
    QTest::newRow("blanks trimmed, tabs kept") << u" a \t, b "_s << u"a \t"_s << u"b"_s;
    QTest::newRow("empty field") << u",x"_s << QString() << u"x"_s;
}

void TestUtils::cutField()
{
    QFETCH(QString, input);
    QFETCH(QString, field);
    QFETCH(QString, rest);
    QCOMPARE(CutField(input, u","_s), field);
    QCOMPARE(input, rest);
}

void TestUtils::removeWhiteSpace()
{
    QCOMPARE(RemoveWhiteSpace(u"+PNAME: MY SONG.WAV"_s), u"+PNAME:MYSONG.WAV"_s);
    QCOMPARE(RemoveWhiteSpace(u"\t\n\v\f\r a\u0085\u00A0\u2028\u2029\u3000b"_s), u"ab"_s);
}

void TestUtils::byteSizeText_data()
{
    QTest::addColumn<quint64>("size");
    QTest::addColumn<bool>("withBytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("5") << quint64(5) << false << u" 5 bytes "_s;
    QTest::newRow("0") << quint64(0) << false << u" 0 bytes "_s;
    QTest::newRow("1023") << quint64(1023) << false << u"1 023 bytes "_s;
    QTest::newRow("2048") << quint64(2048) << false << u" 2.0 KB "_s;
    QTest::newRow("2048 with bytes") << quint64(2048) << true << u" 2.0 KB ( 2 048 B )"_s;
    QTest::newRow("1023999 rounds up") << quint64(1023999) << false << u"1 000.0 KB "_s;
    QTest::newRow("1024000 first MB") << quint64(1024000) << false << u" 0.98 MB "_s;
    QTest::newRow("1 MiB") << quint64(1048576) << false << u" 1.00 MB "_s;
    QTest::newRow("1 GiB") << quint64(1073741824) << false << u" 1.00 GB "_s;
    QTest::newRow("GB with 13 digits")
        << quint64(1023999999999ULL) << true << u" 953.67 GB (1023 999 999 999 B )"_s;
    QTest::newRow("too large") << quint64(1048576000000ULL) << false << QString();
    QTest::newRow("negative count") << quint64(-1) << false << QString();
}

void TestUtils::byteSizeText()
{
    QFETCH(quint64, size);
    QFETCH(bool, withBytes);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(ByteSizeText(size, withBytes), text);
}

void TestUtils::byteSizeTextUsesLocaleSeparator()
{
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    QCOMPARE(ByteSizeText(2048), u" 2,0 KB "_s);
    QLocale::setDefault(QLocale::c());
}

void TestUtils::versionTexts()
{
    QVERIFY(QRegularExpression(u"^\\d+\\.\\d+\\.\\d+ build \\d+$"_s)
                .match(FileVersionText(true))
                .hasMatch());
    QCOMPARE(FileVersionText(false), FileVersionDotted());
    QCOMPARE(FileVersionDotted().count(u'.'), 3);
}

void TestUtils::pumpDelayServesEvents()
{
    bool ran = false;
    QTimer::singleShot(0, this, [&] { ran = true; });
    PumpDelay(0);
    QVERIFY(ran);
    int ticks = 0;
    QTimer t;
    connect(&t, &QTimer::timeout, this, [&] { ++ticks; });
    t.start(10);
    QElapsedTimer e;
    e.start();
    PumpDelay(100);
    QVERIFY(e.elapsed() >= 100);
    QVERIFY(ticks >= 5);
}

void TestUtils::namedValues()
{
    const TRvRegStore store(u"tool"_s);
    QCOMPARE(store.MainKey(), u"Software/tool"_s);
    QCOMPARE(store.ReadRegINI(u"last_at_cmd"_s, u"ATI"_s), u"ATI"_s);
    QVERIFY(store.SaveRegINI(u"comport"_s, u"/dev/ttyUSB0"_s));
    QCOMPARE(store.ReadRegINI(u"comport"_s, QString()), u"/dev/ttyUSB0"_s);
    QVERIFY(store.SaveRegINI(u"openafterread"_s, false));
    QCOMPARE(store.ReadRegINI(u"openafterread"_s, true), false);
    QVERIFY(store.SaveRegINI(u"count"_s, 42));
    QCOMPARE(store.ReadRegINI(u"count"_s, 0), 42);
    QVERIFY(!store.SaveRegINI(u""_s, u"x"_s));
    QCOMPARE(store.ReadRegINI(u""_s, 7), 7);
    // Booleans as 0/1, integers as decimal text, under the key path.
    QSettings raw(TRvRegStore::StoreFilePath(), QSettings::IniFormat);
    QCOMPARE(raw.value(u"Software/tool/openafterread"_s).toString(), u"0"_s);
    QCOMPARE(raw.value(u"Software/tool/count"_s).toString(), u"42"_s);
}

void TestUtils::valueOfWrongKindReadsDefault()
{
    const TRvRegStore store(u"tool"_s);
    store.SaveRegINI(u"flag"_s, u"true"_s); // a string, not a Boolean
    QCOMPARE(store.ReadRegINI(u"flag"_s, true), true);
    QCOMPARE(store.ReadRegINI(u"flag"_s, false), false);
    store.SaveRegINI(u"number"_s, u"abc"_s);
    QCOMPARE(store.ReadRegINI(u"number"_s, 5), 5);
}

void TestUtils::applicationName()
{
    // Only ".exe" is cut: a Linux executable keeps its whole name.
    QCOMPARE(TRvRegStore::ApplicationName(), u"tst_utils"_s);
}

void TestUtils::consoleHostAnswersDefaults()
{
    QCOMPARE(ShowMessageBox(u"?"_s, u"Question"_s, MB::YesNo | MB::IconQuestion), MB::IdNo);
    QCOMPARE(ShowMessageBox(u"!"_s, u" BŁĄD !"_s, MB::Ok | MB::IconError), MB::IdOk);
    QCOMPARE(BrowseForFolder(u"t"_s, QString(), false), QString());
}

QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
