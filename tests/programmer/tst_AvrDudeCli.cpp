#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAvrDudeCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void dryRunPrintsJobLines_data();
    void dryRunPrintsJobLines();
    void exitCodes_data();
    void exitCodes();

private:
    struct Result
    {
        int code;
        QStringList out;
    };
    Result run(const QStringList& args);

    QTemporaryDir FDir;
    QString FHex;
};

void TestAvrDudeCli::initTestCase()
{
    QVERIFY(FDir.isValid());
    FHex = FDir.filePath(u"Bootloader.hex"_s);
    QFile hex(FHex);
    QVERIFY(hex.open(QIODevice::WriteOnly));
    hex.write(":00000001FF\n");
}

TestAvrDudeCli::Result TestAvrDudeCli::run(const QStringList& args)
{
    QProcess cli;
    cli.start(QStringLiteral(QLSWAV_CLI), args);
    if (!cli.waitForFinished(30000))
        return {-1, {}};
    QStringList out = QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1, out};
}

void TestAvrDudeCli::dryRunPrintsJobLines_data()
{
    QTest::addColumn<QString>("programmer");
    QTest::addColumn<QString>("c");
    QTest::addColumn<QString>("b");

    QTest::newRow("default usbasp") << QString() << u"USBASP "_s << u" -B 93 "_s;
    QTest::newRow("ft232r") << u"ft232r"_s << u"QLS-FT232R -P ft0 "_s << u" -B 2400 "_s;
}

void TestAvrDudeCli::dryRunPrintsJobLines()
{
    QFETCH(QString, programmer);
    QFETCH(QString, c);
    QFETCH(QString, b);

    QStringList args{u"avrdude"_s, u"--dry-run"_s, u"--hex"_s, FHex};
    if (!programmer.isEmpty())
        args << u"--programmer"_s << programmer;
    const Result r = run(args);
    QCOMPARE(r.code, 0);
    // The lines exactly as built, blanks included, in job order.
    const QString head = u" -p atmega328p -c "_s + c + u" "_s;
    QCOMPARE(r.out,
             (QStringList{u"fuse:"_s + head + b +
                              u" -V -u  -U lfuse:w:0xF7:m -U hfuse:w:0xDE:m -U efuse:w:0x05:m "_s,
                          u"flash:"_s + head + u"   -V -U flash:w:\""_s + FHex + u"\":i "_s,
                          u"lock:"_s + head + u" -V  -U lock:w:0x3C:m"_s}));
}

void TestAvrDudeCli::exitCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("lastLine");

    QTest::newRow("run succeeds") << QStringList{u"--tool"_s, u"/bin/true"_s} << 0
                                  << u"result: ok"_s;
    QTest::newRow("run fails") << QStringList{u"--tool"_s, u"/bin/false"_s} << 3
                               << u"result: failed"_s;
    QTest::newRow("unknown programmer")
        << QStringList{u"--programmer"_s, u"stk500"_s, u"--dry-run"_s} << 1 << QString();
}

void TestAvrDudeCli::exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, lastLine);

    const Result r = run(QStringList{u"avrdude"_s, u"--hex"_s, FHex} + args);
    QCOMPARE(r.code, code);
    if (!lastLine.isEmpty()) {
        QVERIFY(!r.out.isEmpty());
        QCOMPARE(r.out.last(), lastLine);
    }
}

QTEST_GUILESS_MAIN(TestAvrDudeCli)
#include "tst_AvrDudeCli.moc"
