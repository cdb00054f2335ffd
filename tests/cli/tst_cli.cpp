#include "PtyPeer.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// The command-line tool's own commands, run as a user runs them.
class TestCli : public QObject
{
    Q_OBJECT
private:
    struct Result
    {
        int code = -1;
        QByteArray out;
        QByteArray err;
    };
    static Result run(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral(QLSWAV_CLI), args);
        Result r;
        if (!p.waitForFinished(20000))
            return r;
        r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

private Q_SLOTS:
    void sendPrintsEveryReply();
    void sendUsage_data();
    void sendUsage();
    void missingPortExplained();
    void portsListsOnePerLine();
};

void TestCli::sendPrintsEveryReply()
{
    PtyPeer peer;
    QProcess cli;
    cli.start(QStringLiteral(QLSWAV_CLI),
              {u"--port"_s, peer.slavePath(), u"send"_s, u"AT+GCFG=?"_s, u"--wait"_s, u"300"_s});
    // The command goes out with the link's CR; two replies, one in Latin-1.
    QCOMPARE(peer.readUntil("\r", 10000), QByteArray("AT+GCFG=?\r"));
    QVERIFY(peer.write("+GCFG:110,0,0,0,1,CAF\xC9.WAV\r\nOK\r\n"));
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()),
             u"+GCFG:110,0,0,0,1,CAF\u00C9.WAV\nOK\n"_s);
}

void TestCli::sendUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no text") << QStringList{u"--port"_s, u"/dev/null"_s, u"send"_s};
    QTest::newRow("bad wait") << QStringList{u"--port"_s, u"/dev/null"_s, u"send"_s,
                                             u"ATI"_s,    u"--wait"_s,    u"soon"_s};
    QTest::newRow("unknown command") << QStringList{u"fly"_s};
    QTest::newRow("nothing") << QStringList{};
}

void TestCli::sendUsage()
{
    QFETCH(QStringList, args);
    const Result r = run(args);
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("usage"));
}

void TestCli::missingPortExplained()
{
    const Result r = run({u"--port"_s, u"/dev/ttyNOSUCH7"_s, u"send"_s, u"ATI"_s});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("/dev/ttyNOSUCH7") && r.err.contains("no such device"),
             r.err.constData());
}

void TestCli::portsListsOnePerLine()
{
    const Result r = run({u"ports"_s});
    QCOMPARE(r.code, 0);
    const QList<QByteArray> lines = r.out.split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        QVERIFY2(line.startsWith("/dev/") && line.contains("  "), line.constData());
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
