#include "programmer/TAvrDudeCommandLines.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAvrDudeCommandLines : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void toolReceivesOptions_data();
    void toolReceivesOptions();
};

void TestAvrDudeCommandLines::toolReceivesOptions_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("job");
    QTest::addColumn<QStringList>("expected");

    const QString hex = u"/tmp/work dir/Bootloader.hex"_s;
    const QStringList fuses = {u"-V"_s, u"-u"_s,
                               u"-U"_s, u"lfuse:w:0xF7:m"_s,
                               u"-U"_s, u"hfuse:w:0xDE:m"_s,
                               u"-U"_s, u"efuse:w:0x05:m"_s};
    const QStringList flash = {u"-V"_s, u"-U"_s, u"flash:w:"_s + hex + u":i"_s};
    const QStringList lock = {u"-V"_s, u"-U"_s, u"lock:w:0x3C:m"_s};
    const QStringList usbasp = {u"-p"_s, u"atmega328p"_s, u"-c"_s, u"USBASP"_s};
    const QStringList ft232r = {u"-p"_s,         u"atmega328p"_s, u"-c"_s,
                                u"QLS-FT232R"_s, u"-P"_s,         u"ft0"_s};

    // A USBasp entry is the device's own name, in whatever letter case.
    QTest::newRow("usbasp fuses") << u"USBasp"_s << u"fuse"_s
                                  << usbasp + QStringList{u"-B"_s, u"93"_s} + fuses;
    QTest::newRow("usbasp flash") << u"usbasp"_s << u"flash"_s << usbasp + flash;
    QTest::newRow("usbasp lock") << u"USBASP"_s << u"lock"_s << usbasp + lock;
    // Only the fuse line carries the bit clock.
    QTest::newRow("ft232r fuses") << u"QLS-FT232R"_s << u"fuse"_s
                                  << ft232r + QStringList{u"-B"_s, u"2400"_s} + fuses;
    QTest::newRow("ft232r flash") << u"QLS-FT232R"_s << u"flash"_s << ft232r + flash;
    QTest::newRow("ft232r lock") << u"QLS-FT232R"_s << u"lock"_s << ft232r + lock;
}

void TestAvrDudeCommandLines::toolReceivesOptions()
{
    QFETCH(QString, entry);
    QFETCH(QString, job);
    QFETCH(QStringList, expected);

    const TAvrDudeCommandLines lines(entry, u"/tmp/work dir/Bootloader.hex"_s);
    const QString line = job == u"fuse"_s    ? lines.Fuse
                         : job == u"flash"_s ? lines.Flash
                                             : lines.Lock;
    // The lines are options only, starting with a blank.
    QVERIFY(line.startsWith(u' '));
    QCOMPARE(QProcess::splitCommand(line), expected);
}

QTEST_GUILESS_MAIN(TestAvrDudeCommandLines)
#include "tst_AvrDudeCommandLines.moc"
