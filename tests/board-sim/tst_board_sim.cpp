#include "BoardPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

using Lines = QList<QByteArray>;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray allBytes(int repeat)
{
    QByteArray b;
    for (int r = 0; r < repeat; ++r)
        for (int i = 0; i < 256; ++i)
            b.append(char(i));
    return b;
}

QByteArray page(char fill, int n = 128)
{
    QByteArray p(n, fill);
    p[0] = '\0'; // pages carry any byte, also the end byte's value
    p[1] = '\x01';
    return p;
}

} // namespace

class TestBoardSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void commands_data();
    void commands();
    void listing();
    void fileRead_data();
    void fileRead();
    void breakOffAndStop();
    void playing();
    void playTimeFromWavHeader();
    void bootloaderSession();
    void bootloaderInfo_data();
    void bootloaderInfo();
    void silentBootloader();
    void lostPageRequestAndPageDelay();
    void shorterPagesThanOurs();
    void pacing();
    void pacedBootloaderFrame();
    void unreadLineAndReopen();
    void hangUpAfter();
    void linkRemovedOnSignal();

private:
    QTemporaryDir m_tmp;
    QString m_card;
};

void TestBoardSim::initTestCase()
{
    QVERIFY2(QFileInfo(BoardPeer::executable()).isExecutable(), "QLSWAV_BOARD_SIM not set");
    QVERIFY(m_tmp.isValid());
    m_card = m_tmp.filePath(u"card"_s);
    QVERIFY(writeFile(m_card + u"/A.WAV"_s, QByteArray(1000, 'a')));
    QVERIFY(writeFile(m_card + u"/log.txt"_s, "ten bytes!"));
    QVERIFY(writeFile(m_card + u"/MUSIC/B.WAV"_s, QByteArray(1048576, 'b')));
    QVERIFY(writeFile(m_card + u"/MUSIC/DATA.BIN"_s, allBytes(4)));
    QVERIFY(writeFile(m_card + u"/MUSIC/DEEP/C.WAV"_s, "only one folder level is listed"));
    QVERIFY(writeFile(m_card + u"/.hidden"_s, "x"));
    QVERIFY(writeFile(m_card + u"/EMPTY.TXT"_s, ""));
    QVERIFY(writeFile(m_tmp.filePath(u"secret"_s), "outside the card"));
}

void TestBoardSim::commands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Lines>("commands");
    QTest::addColumn<Lines>("replies");

    QTest::newRow("identification")
        << QStringList() << Lines{"ATI"} << Lines{"QLS-WAV micro virtual board 1.0"};
    QTest::newRow("liveness") << QStringList() << Lines{"AT"} << Lines{"OK"};
    QTest::newRow("power-on config")
        << QStringList() << Lines{"AT+GCFG=?"} << Lines{"+GCFG:110,0,0,0,0,"};
    QTest::newRow("config follows commands")
        << QStringList() << Lines{"AT+VOL=200", "AT+FADEVOL=1\r", "AT+MUTE=1", "AT+GCFG=?"}
        << Lines{"OK", "OK", "OK", "+GCFG:200,200,1,0,0,"};
    QTest::newRow("fade and mute off again")
        << QStringList() << Lines{"AT+FADEVOL=1\r", "AT+FADEVOL=0\r", "AT+MUTE=0", "AT+GCFG=?"}
        << Lines{"OK", "OK", "OK", "+GCFG:110,0,0,0,0,"};
    QTest::newRow("bad arguments keep the state")
        << QStringList() << Lines{"AT+VOL=256", "AT+VOL=x", "AT+MUTE=2", "AT+GCFG=?"}
        << Lines{"ERROR", "ERROR", "ERROR", "+GCFG:110,0,0,0,0,"};
    QTest::newRow("stray CR and LF are no commands")
        << QStringList() << Lines{"\r\n", "\n\rati"} << Lines{"QLS-WAV micro virtual board 1.0"};
    QTest::newRow("unknown command") << QStringList() << Lines{"AT+FOO=1"} << Lines{"ERROR"};
    QTest::newRow("no card: listing")
        << QStringList() << Lines{"AT+LIST", "AT+DIR= "} << Lines{"+LIST_ERR:", "+LIST_ERR:"};
    QTest::newRow("no card: read")
        << QStringList() << Lines{"AT+FREAD=/A.WAV,0,1000000000,0"} << Lines{"+FREAD:ERR,-1"};
    QTest::newRow("no card: play")
        << QStringList() << Lines{"AT+PLAY=110,,A.WAV", "AT+PLON"} << Lines{"ERROR", "ERROR"};
    QTest::newRow("stop without a transfer")
        << QStringList() << Lines{"AT+RXBINSTOP\r"} << Lines{"OK"};
}

void TestBoardSim::commands()
{
    QFETCH(QStringList, args);
    QFETCH(Lines, commands);
    QFETCH(Lines, replies);
    BoardPeer board;
    QString error;
    QVERIFY2(board.start(args, &error), qPrintable(error));
    for (const QByteArray& c : commands)
        QVERIFY(board.send(c + '\r'));
    for (const QByteArray& expected : replies) {
        bool timedOut = false;
        QCOMPARE(board.readLine(3000, &timedOut), expected);
        QVERIFY(!timedOut);
    }
    QCOMPARE(board.readFor(100), QByteArray());
}

void TestBoardSim::listing()
{
    BoardPeer board;
    QVERIFY(board.start({u"--card"_s, m_card}));
    const Lines expected{"+LIST:",        "/A.WAV,1000",          "/EMPTY.TXT,0",
                         "/log.txt,10",   "/MUSIC/B.WAV,1048576", "/MUSIC/DATA.BIN,1024",
                         "+DIR_LIST_END:"};
    for (const QByteArray& command : {QByteArray("AT+LIST\r"), QByteArray("AT+DIR= \r")}) {
        QVERIFY(board.send(command));
        for (const QByteArray& line : expected)
            QCOMPARE(board.readLine(3000), line);
    }
}

void TestBoardSim::fileRead_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("normal, in a folder") << QByteArray("AT+FREAD=/MUSIC/DATA.BIN,0,1000000000,0")
                                         << QByteArray("+FREAD:NOR,1024") << allBytes(4);
    QTest::newRow("PetitFS: bytes, then 0xFF counted in the size")
        << QByteArray("AT+FREAD=/LOG.TXT,0,1000000000,1") << QByteArray("+FREAD:PET,11")
        << QByteArray("ten bytes!\xFF");
    QTest::newRow("empty file, normal") << QByteArray("AT+FREAD=/EMPTY.TXT,0,1000000000,0")
                                        << QByteArray("+FREAD:NOR,0") << QByteArray();
    QTest::newRow("offset and length") << QByteArray("AT+FREAD=/music/data.bin,256,3,0")
                                       << QByteArray("+FREAD:NOR,3") << QByteArray("\0\1\2", 3);
    QTest::newRow("missing file") << QByteArray("AT+FREAD=/NONE.TXT,0,1000000000,0")
                                  << QByteArray("+FREAD:ERR,-1") << QByteArray();
    QTest::newRow("no way out of the card") << QByteArray("AT+FREAD=/../secret,0,1000000000,0")
                                            << QByteArray("+FREAD:ERR,-1") << QByteArray();
    QTest::newRow("deeper than one folder")
        << QByteArray("AT+FREAD=/MUSIC/DEEP/C.WAV,0,1000000000,0") << QByteArray("+FREAD:ERR,-1")
        << QByteArray();
}

void TestBoardSim::fileRead()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, data);
    BoardPeer board;
    QVERIFY(board.start({u"--card"_s, m_card}));
    QVERIFY(board.send(command + '\r'));
    QCOMPARE(board.readLine(3000), header);
    QCOMPARE(board.readExactly(data.size(), 3000), data);
    // Nothing beyond the data: the next reply follows at once.
    QVERIFY(board.send("ATI\r"));
    QCOMPARE(board.readLine(3000), QByteArray("QLS-WAV micro virtual board 1.0"));
}

void TestBoardSim::breakOffAndStop()
{
    BoardPeer board;
    QVERIFY(board.start({u"--card"_s, m_card, u"--break-after"_s, u"100"_s}));
    QVERIFY(board.send("AT+FREAD=/MUSIC/DATA.BIN,0,1000000000,0\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+FREAD:NOR,1024"));
    QCOMPARE(board.readExactly(100, 3000), allBytes(1).left(100));
    // A command during the transfer waits for its end; only the stop is heard.
    QVERIFY(board.send("ATI\r"));
    QCOMPARE(board.readFor(300), QByteArray());
    QVERIFY(board.send("AT+RXBINSTOP\r\r"));
    QCOMPARE(board.readLine(3000), QByteArray("OK"));
    QCOMPARE(board.readLine(3000), QByteArray("QLS-WAV micro virtual board 1.0"));
}

void TestBoardSim::playing()
{
    BoardPeer board;
    QVERIFY(board.start({u"--card"_s, m_card, u"--play-ms"_s, u"150"_s}));
    QVERIFY(board.send("AT+PLAY=120,/MUSIC,b.wav\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+PNAME:B.WAV"));
    QVERIFY(board.send("AT+GCFG=?\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+GCFG:120,0,0,0,1,B.WAV"));
    QCOMPARE(board.readLine(3000), QByteArray("+PSTOP:"));
    QVERIFY(board.send("AT+GCFG=?\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+GCFG:120,0,0,0,0,"));
    // "next" goes round the card's WAV files in listing order.
    QVERIFY(board.send("AT+NEXT\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+PNAME:A.WAV"));
    QVERIFY(board.send("AT+PLOFF\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+PSTOP:"));
    QVERIFY(board.send("AT+PLON\r"));
    QCOMPARE(board.readLine(3000), QByteArray("+PNAME:A.WAV"));
    QVERIFY(board.send("AT+PLAY=110,,LOG.TXT\r"));
    QCOMPARE(board.readLine(3000), QByteArray("ERROR"));
}

void TestBoardSim::playTimeFromWavHeader()
{
    const QString card = m_tmp.filePath(u"sample"_s);
    QProcess make;
    make.start(BoardPeer::executable(), {u"--make-sample-card"_s, card});
    QVERIFY(make.waitForFinished(5000));
    QCOMPARE(make.exitCode(), 0);
    QFile beep(card + u"/BEEP.WAV"_s);
    QVERIFY(beep.open(QIODevice::ReadOnly));
    QVERIFY(beep.read(4) == "RIFF");
    QVERIFY(QFileInfo::exists(card + u"/LOG.TXT"_s));
    QVERIFY(QFileInfo::exists(card + u"/MUSIC/TONE440.WAV"_s));

    BoardPeer board;
    QVERIFY(board.start({u"--card"_s, card}));
    QElapsedTimer t;
    QVERIFY(board.send("AT+PLAY=110,,BEEP.WAV\r"));
    t.start();
    QCOMPARE(board.readLine(3000), QByteArray("+PNAME:BEEP.WAV"));
    QCOMPARE(board.readLine(3000), QByteArray("+PSTOP:"));
    QVERIFY2(t.elapsed() >= 280, qPrintable(QString::number(t.elapsed()))); // 300 ms of sound
}

void TestBoardSim::bootloaderSession()
{
    const QString out = m_tmp.filePath(u"pages.bin"_s);
    BoardPeer board;
    QVERIFY(board.start({u"--bls-noise"_s, u"x\\r\\n"_s, u"--bls-out"_s, out}));
    QVERIFY(board.send("AT+RST?\r"));
    QCOMPARE(board.readExactly(4, 3000), QByteArray("x\r\n?"));
    QVERIFY(board.send("u"));
    QVERIFY(board.send("!"));
    QCOMPARE(board.readExactly(33, 3000), QByteArray("*64,0x7C00,atmega328p,24000000,1&"));
    QVERIFY(board.send("w"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    QVERIFY(board.send('\x01' + page('A')));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    // The end byte right behind the last page, as the client sends it.
    QVERIFY(board.send('\x01' + page('B') + '\0'));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out), 3000);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), page('A') + page('B'));
    // Back in the application firmware.
    QVERIFY(board.send("ATI\r"));
    QCOMPARE(board.readLine(3000), QByteArray("QLS-WAV micro virtual board 1.0"));
}

void TestBoardSim::bootloaderInfo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("info");

    QTest::newRow("other target") << QStringList{u"--bls-target"_s, u"atmega8"_s} << QByteArray("i")
                                  << QByteArray("*64,0x7C00,atmega8,24000000,1&");
    QTest::newRow("whole reply") << QStringList{u"--bls-info"_s, u"BLS&128,0x7E00,x,8000000,2*"_s}
                                 << QByteArray("!") << QByteArray("BLS&128,0x7E00,x,8000000,2*");
}

void TestBoardSim::bootloaderInfo()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, info);
    BoardPeer board;
    QVERIFY(board.start(args));
    QVERIFY(board.send("AT+RST?\r"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("?"));
    // No information before the unlock byte.
    QVERIFY(board.send(request));
    QCOMPARE(board.readFor(150), QByteArray());
    QVERIFY(board.send("u" + request));
    QCOMPARE(board.readExactly(info.size(), 3000), info);
    // A client that starts over resets the board again and gets a new prompt.
    QVERIFY(board.send("AT+RST?\r"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("?"));
}

void TestBoardSim::silentBootloader()
{
    BoardPeer board;
    QVERIFY(board.start({u"--bls-silent"_s}));
    QVERIFY(board.send("AT+RST?\r"));
    QVERIFY(board.send("u!"));
    QCOMPARE(board.readFor(500), QByteArray());
}

void TestBoardSim::lostPageRequestAndPageDelay()
{
    BoardPeer board;
    QVERIFY(board.start({u"--bls-lose-pages"_s, u"1"_s, u"--bls-page-delay-us"_s, u"40000"_s}));
    QVERIFY(board.send("AT+RST?\r"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("?"));
    QVERIFY(board.send("u!"));
    QCOMPARE(board.readExactly(33, 3000).right(1), QByteArray("&"));
    QElapsedTimer t;
    QVERIFY(board.send("w"));
    t.start();
    // The first request is lost; the client's 200 ms wait runs out once.
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    QVERIFY2(t.elapsed() >= 200 && t.elapsed() < 400, qPrintable(QString::number(t.elapsed())));
    QVERIFY(board.send('\x01' + page('A')));
    t.restart();
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    QVERIFY2(t.elapsed() >= 38, qPrintable(QString::number(t.elapsed())));
}

void TestBoardSim::shorterPagesThanOurs()
{
    const QString out = m_tmp.filePath(u"short.bin"_s);
    BoardPeer board;
    QVERIFY(board.start({u"--bls-out"_s, out}));
    QVERIFY(board.send("AT+RST?\r"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("?"));
    QVERIFY(board.send("ui"));
    QCOMPARE(board.readExactly(33, 3000).right(1), QByteArray("&"));
    QVERIFY(board.send("w"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    for (char c : {'A', 'B'}) {
        QVERIFY(board.send('\x01' + page(c, 64)));
        QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    }
    QVERIFY(board.send(QByteArray(1, '\0')));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out), 3000);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), page('A', 64) + page('B', 64));
}

void TestBoardSim::pacing()
{
    BoardPeer board;
    QVERIFY(board.start({u"--card"_s, m_card, u"--baud"_s, u"9600"_s}));
    QElapsedTimer t;
    QVERIFY(board.send("AT+FREAD=/A.WAV,0,1000000000,0\r"));
    t.start();
    QCOMPARE(board.readLine(3000), QByteArray("+FREAD:NOR,1000"));
    QCOMPARE(board.readExactly(1000, 5000), QByteArray(1000, 'a'));
    // 1017 bytes at 960 bytes a second: at least 1.06 s on the line.
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 1040 && ms < 3000, qPrintable(QString::number(ms)));
}

void TestBoardSim::pacedBootloaderFrame()
{
    BoardPeer board;
    QVERIFY(board.start({u"--baud"_s, u"9600"_s}));
    // No CR after the reset command: the board restarts all the same.
    QVERIFY(board.send("AT+RST?"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("?"));
    QVERIFY(board.send("u!"));
    QCOMPARE(board.readExactly(33, 3000).right(1), QByteArray("&"));
    QVERIFY(board.send("w"));
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    // The frame needs its line time to arrive: 129 bytes at 960 bytes a second.
    QElapsedTimer t;
    QVERIFY(board.send('\x01' + page('A')));
    t.start();
    QCOMPARE(board.readExactly(1, 3000), QByteArray("@"));
    QVERIFY2(t.elapsed() >= 130 && t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
}

void TestBoardSim::unreadLineAndReopen()
{
    BoardPeer board;
    QVERIFY(board.start({}));
    // Far more replies than the line holds, and nobody reads them: the board
    // keeps serving, and a client that comes back is answered.
    QByteArray flood;
    for (int i = 0; i < 3000; ++i)
        flood += "ATI\r";
    QVERIFY(board.send(flood));
    board.closePort();
    QVERIFY(board.openPort());
    QVERIFY(board.send("AT+GCFG=?\r"));
    QByteArray line;
    QDeadlineTimer deadline(10000);
    while (line != "+GCFG:110,0,0,0,0," && !deadline.hasExpired())
        line = board.readLine(int(qMax<qint64>(1, deadline.remainingTime())));
    QCOMPARE(line, QByteArray("+GCFG:110,0,0,0,0,"));

    QCOMPARE(board.process().state(), QProcess::Running);
}

void TestBoardSim::hangUpAfter()
{
    BoardPeer board;
    QVERIFY(board.start({u"--hangup-after"_s, u"10"_s}));
    QVERIFY(board.send("ATI\r"));
    QCOMPARE(board.readExactly(10, 3000), QByteArray("QLS-WAV mi"));
    QVERIFY(board.waitHangUp(3000));
    QVERIFY(board.process().waitForFinished(3000));
    QCOMPARE(board.process().exitCode(), 0);
}

void TestBoardSim::linkRemovedOnSignal()
{
    const QString link = m_tmp.filePath(u"ttyBOARD"_s);
    BoardPeer board;
    QVERIFY(board.start({u"--link"_s, link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), board.portPath());
    ::kill(pid_t(board.process().processId()), SIGTERM);
    QVERIFY(board.process().waitForFinished(3000));
    QCOMPARE(board.process().exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestBoardSim)
#include "tst_board_sim.moc"
