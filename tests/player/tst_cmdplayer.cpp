#include "app/TPtyPeer.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// The player commands of the command-line tool against a scripted board.
class TestCmdPlayer : public QObject
{
    Q_OBJECT

    static QString Cli() { return QStringLiteral(QLSWAV_CLI_EXE); }

private Q_SLOTS:
    void commandBytes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("play root")
            << QStringList{u"play"_s, u""_s, u"BEEP.WAV"_s} << "AT+PLAY=110,,BEEP.WAV\r"_ba;
        QTest::newRow("play folder, volume")
            << QStringList{u"play"_s, u"/MUSIC/"_s, u"TONE.WAV"_s, u"--vol"_s, u"7"_s}
            << "AT+PLAY=7,/MUSIC,TONE.WAV\r"_ba;
        QTest::newRow("stop") << QStringList{u"stop"_s} << "AT+PLOFF\r"_ba;
        QTest::newRow("next") << QStringList{u"next"_s} << "AT+NEXT\r"_ba;
        QTest::newRow("vol") << QStringList{u"vol"_s, u"255"_s} << "AT+VOL=255\r"_ba;
    }
    void commandBytes()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        TPtyPeer peer;
        QProcess cli;
        cli.start(Cli(), QStringList{u"--port"_s, peer.Path()} + args);
        QVERIFY(peer.WaitFor("\r"_ba, 5000));
        peer.Write("+PNAME:TONE.WAV\r\n");
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(peer.Take(), sent);
        QCOMPARE(cli.readAllStandardOutput(), "+PNAME:TONE.WAV\n"_ba);
    }

    void info()
    {
        TPtyPeer peer;
        QProcess cli;
        cli.start(Cli(), {u"--port"_s, peer.Path(), u"info"_s});
        QVERIFY(peer.WaitFor("AT+GCFG=?\r"_ba, 5000));
        peer.Write("OK\r\n+GCFG:120,80,1,0,1,MY SONG.WAV\r\n");
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(cli.readAllStandardOutput(),
                 "volume=120\nfade=80\nmute=1\nplaying=1\ntitle=MYSONG.WAV\n"_ba);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("stderrHas");
        QTest::newRow("volume too high") << QStringList{u"vol"_s, u"256"_s} << 1 << u"0 to 255"_s;
        QTest::newRow("volume not a number")
            << QStringList{u"play"_s, u""_s, u"A.WAV"_s, u"--vol"_s, u"x"_s} << 1 << u"--vol"_s;
        QTest::newRow("play without file") << QStringList{u"play"_s, u"MUSIC"_s} << 1 << u"usage"_s;
        QTest::newRow("no such port") << QStringList{u"--port"_s, u"/dev/no-such-tty"_s, u"stop"_s}
                                      << 2 << u"/dev/no-such-tty"_s;
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, stderrHas);
        TPtyPeer peer;
        QProcess cli;
        if (!args.contains(u"--port"_s))
            args = QStringList{u"--port"_s, peer.Path()} + args;
        cli.start(Cli(), args);
        QVERIFY(cli.waitForFinished(8000));
        QCOMPARE(cli.exitCode(), code);
        QVERIFY(QString::fromUtf8(cli.readAllStandardError()).contains(stderrHas));
        QCOMPARE(peer.Take(), QByteArray());
    }

    void infoWithoutReply()
    {
        TPtyPeer peer;
        QProcess cli;
        cli.start(Cli(), {u"--port"_s, peer.Path(), u"info"_s});
        QVERIFY(cli.waitForFinished(8000));
        QCOMPARE(cli.exitCode(), 3);
        QVERIFY(cli.readAllStandardError().contains("+GCFG:"));
    }
};

QTEST_MAIN(TestCmdPlayer)
#include "tst_cmdplayer.moc"
