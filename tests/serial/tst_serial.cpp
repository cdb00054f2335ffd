#include "FailingPort.h"
#include "PtyPeer.h"
#include "serial/TRvComPort.h"
#include "serial/TSerialPortDevice.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <cerrno>

using namespace Qt::StringLiterals;

// Records every event of a link in order.
struct Recorder
{
    QStringList events;
    QList<QByteArray> lines;
    QList<int> errorCodes;
    QStringList errorTexts;
    QStringList sent;

    void attach(TRvComPort& port)
    {
        port.OnActive = [this, &port](QObject*) {
            events << (port.Active() ? u"active"_s : u"inactive"_s);
        };
        port.OnConnected = [this](QObject*) { events << u"connected"_s; };
        port.OnDisconnected = [this](QObject*) { events << u"disconnected"_s; };
        port.OnComError = [this](QObject*, int code, const QString& text) {
            events << u"error"_s;
            errorCodes << code;
            errorTexts << text;
        };
        port.OnRxString = [this](QObject*, const QByteArray& line) { lines << line; };
        port.OnSendStr = [this](QObject*, const QString& s) { sent << s; };
    }
};

class TestSerial : public QObject
{
    Q_OBJECT

private:
    static void open(TRvComPort& port, PtyPeer& peer, Recorder& rec)
    {
        rec.attach(port);
        port.SetComPort(peer.slavePath());
        port.SetBaudRate(u"115200"_s);
        port.SetActive(true);
        port.SetConnected(true);
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(u"connected"_s), 5000);
    }

    // Opens the link on a scripted port; true once connected.
    static bool openFake(TRvComPort& port, FailingPort::Script& script, Recorder& rec)
    {
        port.SetPortFactory([&script] { return std::make_unique<FailingPort>(script); });
        rec.attach(port);
        port.SetComPort(u"fake"_s);
        port.SetActive(true);
        port.SetConnected(true);
        return QTest::qWaitFor([&] { return rec.events.contains(u"connected"_s); }, 5000);
    }

private Q_SLOTS:
    void lineFraming_data();
    void lineFraming();
    void rawPackets();
    void lonePacketLfKept();
    void handlerChangesModeForNextRead();
    void commandsOnTheWire_data();
    void commandsOnTheWire();
    void droppedWhileDown();
    void activeOffAndOnKeepsWorker();
    void clearingConnectedKeepsReceiving();
    void unplugEndsWorker();
    void missingPortExplained();
    void permissionTextNamesGroup();
    void sendErrorSettling();
    void frameErrorNeverDropsCommand();
    void undrainedCommandDropped();
    void livenessCheck();
    void closeHookKillsStuckWorker();
};

void TestSerial::lineFraming_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("doubleCR");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::newRow("CR LF ends") << QByteArray("OK\r\nOK\r") << false
                                << QList<QByteArray>{"OK", "OK"};
    QTest::newRow("lone CR") << QByteArray("\r") << false << QList<QByteArray>{};
    QTest::newRow("LF inside kept") << QByteArray("A\nB\r") << false << QList<QByteArray>{"A\nB"};
    QTest::newRow("double CR marker")
        << QByteArray("X\r\r\r") << true << QList<QByteArray>{"X", "#5A5A#"};
    QTest::newRow("latin-1 bytes")
        << QByteArray("\xB5\xFF\r") << false << QList<QByteArray>{"\xB5\xFF"};
}

void TestSerial::lineFraming()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, doubleCR);
    QFETCH(QList<QByteArray>, expected);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    Recorder rec;
    TRvComPort port;
    port.SetCheckDoubleCRend(doubleCR);
    open(port, peer, rec);
    QVERIFY(peer.write(input + "END\r"));
    QTRY_VERIFY_WITH_TIMEOUT(rec.lines.contains("END") || rec.lines.contains("\nEND"), 5000);
    QList<QByteArray> got = rec.lines;
    got.removeLast();
    QCOMPARE(got, expected);
    port.SetActive(false);
}

void TestSerial::rawPackets()
{
    Recorder rec;
    PtyPeer peer;
    TRvComPort port;
    open(port, peer, rec);
    port.SetRxBIN(true);
    // Raw packets keep every byte, CR and LF included.
    QVERIFY(peer.write("\r\nAB\rCD"));
    QTRY_COMPARE_WITH_TIMEOUT(rec.lines.join(), QByteArray("\r\nAB\rCD"), 5000);
    port.SetActive(false);
}

void TestSerial::lonePacketLfKept()
{
    // Exact read boundaries need a scripted port: in raw mode every read is
    // delivered as it came, a read of one LF too (it may be file data).
    FailingPort::Script script;
    script.reads = {"\n", "\nXY", "\n", "Z"};
    Recorder rec;
    TRvComPort port;
    port.SetRxBIN(true);
    QVERIFY(openFake(port, script, rec));
    QTRY_COMPARE_WITH_TIMEOUT(rec.lines, (QList<QByteArray>{"\n", "\nXY", "\n", "Z"}), 5000);
    port.SetActive(false);
}

void TestSerial::handlerChangesModeForNextRead()
{
    PtyPeer peer;
    Recorder rec;
    TRvComPort port;
    open(port, peer, rec);
    // The handler switches to raw packets on the header; the bytes right behind
    // it, which arrived in the same read, must come as a packet.
    port.OnRxString = [&](QObject*, const QByteArray& line) {
        rec.lines << line;
        if (line.startsWith("+FREAD:"))
            port.SetRxBIN(true);
    };
    QVERIFY(peer.write("+FREAD:NOR,5\r\nHEL\rO"));
    QTRY_COMPARE_WITH_TIMEOUT(rec.lines.size() >= 2 ? rec.lines.mid(1).join() : QByteArray(),
                              QByteArray("\nHEL\rO"), 5000);
    QCOMPARE(rec.lines.first(), QByteArray("+FREAD:NOR,5"));
    port.SetActive(false);
}

void TestSerial::commandsOnTheWire_data()
{
    QTest::addColumn<bool>("crc");
    QTest::addColumn<bool>("rs485");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("startStr");
    QTest::addColumn<bool>("generalCall");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("plain") << false << false << QString() << QString() << false << u"AT+PLON"_s
                           << QByteArray("AT+PLON\r");
    QTest::newRow("own CR kept") << false << false << QString() << QString() << false
                                 << u"AT+RXBINSTOP\r"_s << QByteArray("AT+RXBINSTOP\r\r");
    QTest::newRow("start string") << false << false << QString() << u">>"_s << false << u"ATI"_s
                                  << QByteArray(">>ATI\r");
    QTest::newRow("checksum rs485")
        << true << true << u"5"_s << u">>"_s << false << u"AT"_s << QByteArray("\x05$#149@AT\r");
    QTest::newRow("rs485 bad address") << false << true << u"x"_s << QString() << false << u"AT"_s
                                       << QByteArray("\x10"
                                                     "AT\r");
    QTest::newRow("general call") << false << true << u"5"_s << QString() << true << u"AT"_s
                                  << QByteArray("\xFF"
                                                "AT\r");
    QTest::newRow("latin-1") << false << false << QString() << QString() << false
                             << u"AT+PLAY=/Ż,\u00E9.WAV"_s << QByteArray("AT+PLAY=/?,\xE9.WAV\r");
}

void TestSerial::commandsOnTheWire()
{
    QFETCH(bool, crc);
    QFETCH(bool, rs485);
    QFETCH(QString, address);
    QFETCH(QString, startStr);
    QFETCH(bool, generalCall);
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);
    PtyPeer peer;
    Recorder rec;
    TRvComPort port;
    port.SetUseCRC(crc);
    port.SetUseRS485(rs485);
    port.SetRS485adr(address);
    port.StartStr = startStr;
    open(port, peer, rec);
    port.SetStartStr(startStr);
    port.SendString(command, generalCall);
    QCOMPARE(peer.read(int(wire.size()), 5000), wire);
    QCOMPARE(rec.sent, QStringList{command});
    QTRY_COMPARE(port.GetQueue(), 0);
    port.SetActive(false);
}

void TestSerial::droppedWhileDown()
{
    PtyPeer peer;
    Recorder rec;
    TRvComPort port;
    rec.attach(port);
    port.SetComPort(peer.slavePath());
    port.SendString(u"AT"_s); // no worker at all
    port.SetActive(true);     // worker, port still closed
    port.SendString(u"AT"_s);
    QVERIFY(rec.sent.isEmpty());
    QCOMPARE(port.GetQueue(), 0);
    port.SetActive(false);
    QTRY_COMPARE(port.GetQueue(), -1);
}

void TestSerial::activeOffAndOnKeepsWorker()
{
    FailingPort::Script script;
    Recorder rec;
    TRvComPort port;
    QVERIFY(openFake(port, script, rec));
    // A worker busy for longer than the 200 ms that clearing Active waits ...
    script.blockReadsMs = 700;
    QTest::qWait(20);
    port.SetActive(false);
    QVERIFY(!port.Active());
    QVERIFY(port.GetQueue() >= 0); // not ended yet
    // ... is told to carry on rather than replaced.
    port.SetActive(true);
    QVERIFY(port.Active());
    QCOMPARE(int(rec.events.count(u"active"_s)), 1);
    QTest::qWait(800);
    QVERIFY(port.Active());
    QVERIFY(!rec.events.contains(u"inactive"_s));
    port.SendString(u"AT"_s);
    QTRY_COMPARE(script.writes.load(), 1);
    port.SetActive(false);
}

void TestSerial::clearingConnectedKeepsReceiving()
{
    PtyPeer peer;
    Recorder rec;
    TRvComPort port;
    open(port, peer, rec);
    port.SetConnected(false);
    port.SendString(u"AT"_s);
    QVERIFY(rec.sent.isEmpty()); // refused ...
    QVERIFY(peer.write("HERE\r"));
    QTRY_VERIFY_WITH_TIMEOUT(rec.lines.contains("HERE"), 5000); // ... but still receiving
    QVERIFY(!rec.events.contains(u"disconnected"_s));
    port.SetActive(false);
    QTRY_COMPARE_WITH_TIMEOUT(int(rec.events.count(u"disconnected"_s)), 2, 5000);
}

void TestSerial::unplugEndsWorker()
{
    PtyPeer peer;
    Recorder rec;
    TRvComPort port;
    open(port, peer, rec);
    rec.events.clear();
    peer.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(
        rec.events.contains(u"inactive"_s) && rec.events.count(u"disconnected"_s) == 2, 5000);
    QCOMPARE(rec.events,
             (QStringList{u"error"_s, u"disconnected"_s, u"inactive"_s, u"disconnected"_s}));
    QCOMPARE(rec.errorCodes.last(), EIO);
    QVERIFY(!port.Active());
    QVERIFY(!port.Connected());
    QTRY_COMPARE(port.GetQueue(), -1);
}

void TestSerial::missingPortExplained()
{
    Recorder rec;
    TRvComPort port;
    rec.attach(port);
    port.SetComPort(u"/dev/ttyDOESNOTEXIST9"_s);
    port.SetActive(true);
    port.SetConnected(true);
    QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(u"inactive"_s), 5000);
    QTRY_VERIFY(rec.events.count(u"disconnected"_s) == 1);
    QCOMPARE(rec.events,
             (QStringList{u"active"_s, u"error"_s, u"error"_s, u"inactive"_s, u"disconnected"_s}));
    QCOMPARE(rec.errorCodes, (QList<int>{ENOENT, ENOENT}));
    QVERIFY2(rec.errorTexts.first().contains(u"/dev/ttyDOESNOTEXIST9"_s),
             qPrintable(rec.errorTexts.first()));
    QVERIFY(!port.Active());
}

void TestSerial::permissionTextNamesGroup()
{
    // Root opens anything, so the text is checked on its own.
    const QString text = TSerialPortDevice::OpenErrorText(u"/dev/null"_s, EACCES);
    QVERIFY2(text.contains(u"group"_s) && text.contains(u"log out and in again"_s),
             qPrintable(text));
    QVERIFY(text.contains(u"\"root\""_s)); // /dev/null belongs to group root
}

void TestSerial::sendErrorSettling()
{
    FailingPort::Script script;
    script.failWrites = 4;
    script.errorCode = 9997;
    Recorder rec;
    TRvComPort port;
    QVERIFY(openFake(port, script, rec));
    port.SendString(u"AT"_s);
    // Three failures keep it queued, the fourth drops it and the link goes down.
    QTRY_COMPARE_WITH_TIMEOUT(script.writes.load(), 4, 5000);
    QTRY_VERIFY(rec.events.contains(u"disconnected"_s));
    QCOMPARE(port.GetQueue(), 0);
    QCOMPARE(rec.errorTexts.last(), u"999 - Synaser ErrFrame"_s);
    QCOMPARE(rec.errorTexts.first(), u"9997 - Synaser Eror: ErrTimeout"_s);
    QCOMPARE(int(rec.errorCodes.size()), 5); // one after each write, one for the drop
    QVERIFY(!port.Connected());
    QVERIFY(port.Active()); // the worker goes on with its port open
    port.SetConnected(true);
    port.SendString(u"AGAIN"_s);
    QTRY_COMPARE(script.writes.load(), 5);
    port.SetActive(false);
}

void TestSerial::frameErrorNeverDropsCommand()
{
    FailingPort::Script script;
    script.failWrites = 8;
    script.errorCode = 9999;
    Recorder rec;
    TRvComPort port;
    QVERIFY(openFake(port, script, rec));
    port.SendString(u"AT"_s);
    QTRY_COMPARE_WITH_TIMEOUT(script.writes.load(), 9, 5000); // the 9th goes through
    QTRY_COMPARE(port.GetQueue(), 0);
    QVERIFY(!rec.events.contains(u"disconnected"_s));
    port.SetActive(false);
}

void TestSerial::undrainedCommandDropped()
{
    FailingPort::Script script;
    script.neverDrains = true;
    Recorder rec;
    TRvComPort port;
    QList<int> progress;
    port.OnTxProgress = [&](QObject*, int left) { progress << left; };
    QVERIFY(openFake(port, script, rec));
    port.SendString(u"AT"_s);
    QTRY_COMPARE_WITH_TIMEOUT(progress, QList<int>{0}, 5000);
    QCOMPARE(script.writes.load(), 0);
    QVERIFY(rec.errorCodes.isEmpty());
    port.SetActive(false);
}

void TestSerial::livenessCheck()
{
    PtyPeer peer;
    Recorder rec;
    TRvComPort port;
    int timeouts = 0;
    port.OnATTimeOut = [&](QObject*) { ++timeouts; };
    port.SetCheckInterval(100); // time-out after 300 ms of silence
    port.SetCheckCmd(u"AT"_s);
    open(port, peer, rec);
    QElapsedTimer silent;
    silent.start();
    port.SetEnableCheckTimer(true);
    QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(u"disconnected"_s), 3000);
    // Three times the assigned interval, not the default 6250 ms.
    QVERIFY2(silent.elapsed() >= 290 && silent.elapsed() < 2000,
             qPrintable(QString::number(silent.elapsed())));
    QVERIFY(timeouts >= 1);
    QVERIFY(port.Active());      // the worker stays with its port closed
    QVERIFY(rec.sent.isEmpty()); // the check command bypasses SendString
    port.SetEnableCheckTimer(false);
    port.SetActive(false);
}

void TestSerial::closeHookKillsStuckWorker()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("killing a thread is not something the address sanitizer can follow");
#endif
    FailingPort::Script script;
    Recorder rec;
    QWidget owner;
    auto* port = new TRvComPort(&owner);
    port->SetPortFactory([&script] { return std::make_unique<FailingPort>(script); });
    port->Loaded();
    rec.attach(*port);
    port->SetComPort(u"fake"_s);
    port->SetActive(true);
    port->SetConnected(true);
    QTRY_VERIFY(rec.events.contains(u"connected"_s));
    script.blockReadsMs = 3600 * 1000;
    QTest::qWait(50);
    owner.show();
    QElapsedTimer t;
    t.start();
    QVERIFY(owner.close());
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 2900 && ms < 4500, qPrintable(QString::number(ms)));
    QCOMPARE(port->GetQueue(), -1);
    QVERIFY(!port->Active());
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
