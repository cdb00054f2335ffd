#include "BlsPeer.h"
#include "BootRecorder.h"
#include "app/HostServices.h"
#include "app/TNoticeChannel.h"
#include "bootload/TRvBootload.h"
#include "serial/TSerialPortDevice.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <cerrno>

using namespace Qt::StringLiterals;

namespace {
const QString PageHeader = u"!,*,&,128,0x7C00,"_s;

// The firmware page's settings.
void configure(TRvBootload& b, const QString& port, bool header = true)
{
    b.ComPort = port;
    b.Baudrate = u"115200"_s;
    b.SoftRSTCommand = u"AT+RST?"_s;
    if (header)
        b.SetOwnerHeader(PageHeader);
}

QByteArray image(int size)
{
    QByteArray img;
    for (int i = 0; i < size; ++i)
        img.append(static_cast<char>(i * 7 + 3));
    return img;
}

// The real port with faults on demand: a write of the given frame fails.
class FaultyPort : public ISerialPort
{
public:
    FaultyPort(int failFrame, std::atomic<int>* opens) : FFailFrame(failFrame), FOpens(opens) {}
    bool open(const QString& n) override
    {
        ++*FOpens;
        return FIn.open(n);
    }
    void close() override { FIn.close(); }
    bool isOpen() const override { return FIn.isOpen(); }
    bool configure(int b, int d, char p, int s, bool sw, bool hw) override
    {
        return FIn.configure(b, d, p, s, sw, hw);
    }
    void setWriteTimeout(int ms) override { FIn.setWriteTimeout(ms); }
    void purge() override { FIn.purge(); }
    bool canRead(int ms) override { return FIn.canRead(ms); }
    QByteArray readAvailable(int ms) override { return FIn.readAvailable(ms); }
    QByteArray readUntil(char t, int ms) override { return FIn.readUntil(t, ms); }
    QByteArray readCount(int c, int ms) override { return FIn.readCount(c, ms); }
    int readByte(int ms) override { return FIn.readByte(ms); }
    bool canWrite(int ms) override { return FIn.canWrite(ms); }
    qint64 write(const QByteArray& data) override
    {
        FErr = 0;
        if (data.startsWith('\x01') && ++FFrames == FFailFrame) {
            FErr = EIO;
            return 0;
        }
        return FIn.write(data);
    }
    bool checkHealth() override { return FIn.checkHealth(); }
    ModemLines modemLines() override { return FIn.modemLines(); }
    void setDTR(bool a) override { FIn.setDTR(a); }
    void setRTS(bool a) override { FIn.setRTS(a); }
    int lastError() const override { return FErr ? FErr : FIn.lastError(); }
    QString lastErrorDesc() const override
    {
        return FErr ? u"Input/output error"_s : FIn.lastErrorDesc();
    }

private:
    TSerialPortDevice FIn;
    int FFailFrame;
    int FFrames = 0;
    int FErr = 0;
    std::atomic<int>* FOpens;
};

class RecordingHost : public IHostServices
{
public:
    QStringList boxes;
    int showMessageBox(const QString& text, const QString&, int) override
    {
        boxes << text;
        return MB::IdOk;
    }
    QString browseForFolder(const QString&, const QString&, bool) override { return {}; }
    bool openPath(const QString&) override { return false; }
    bool exploreFolder(const QString&) override { return false; }
};
} // namespace

class TstUploadSerial : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void uploadPadsToWholePages_data();
    void uploadPadsToWholePages();
    void checkEndsAfterInformation();
    void silentBoardGivesUp();
    void badPageSize_data();
    void badPageSize();
    void targetDecision_data();
    void targetDecision();
    void failedPageWaits_data();
    void failedPageWaits();
    void refusesWhileRunning();
    void stopRequests_data();
    void stopRequests();
    void portThatCannotOpen();
    void failedPageWriteFailsUpload();
    void hangUpFailsAtOnce();
    void closeGuardHoldsOwner();
};

void TstUploadSerial::uploadPadsToWholePages_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("padded");
    QTest::addColumn<QByteArray>("noise");
    QTest::newRow("200 -> 256") << 200 << 256 << QByteArray();
    QTest::newRow("whole pages") << 256 << 256 << QByteArray();
    QTest::newRow("empty image") << 0 << 0 << QByteArray();
    // Talk before the prompt keeps the wait open well past one second.
    QTest::newRow("noise before prompt") << 128 << 128 << QByteArray(300, 'n');
}

void TstUploadSerial::uploadPadsToWholePages()
{
    QFETCH(int, size);
    QFETCH(int, padded);
    QFETCH(QByteArray, noise);
    BlsPeer::Script s;
    s.pageSize = 128; // the header's page size wins over the reply's 64
    s.noise = noise;
    s.baud = noise.isEmpty() ? 0 : 20000; // 150 ms of noise, one byte at a time
    BlsPeer peer(s);
    QVERIFY(peer.ok());

    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    b.SetWsadBIN(image(size));
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 10000);

    QStringList expected{u"info"_s, u"start %1"_s.arg(padded)};
    for (int p = 128; p <= padded; p += 128)
        expected << u"progress %1"_s.arg(p * 100 / padded);
    expected << u"ok"_s << u"end 2 0"_s;
    QCOMPARE(rec.events, expected);
    QCOMPARE(rec.infos.first().Microcontroller, u"atmega328p"_s);

    const QByteArray sent = peer.received();
    QVERIFY(sent.startsWith("AT+RST?\ru!"));
    QTRY_VERIFY(peer.gotEnd());
    const QList<QByteArray> frames = peer.frames();
    QCOMPARE(frames.size(), padded / 128);
    QByteArray expectImage = image(size) + QByteArray(padded - size, '\xFF');
    for (int i = 0; i < frames.size(); ++i) {
        QCOMPARE(frames[i].size(), 129);
        QCOMPARE(frames[i].at(0), '\x01');
        QCOMPARE(frames[i].mid(1), expectImage.mid(i * 128, 128));
    }
    // "w", the frames, and the end byte, nothing else.
    QVERIFY(sent.endsWith(QByteArray(1, '\0')));
    QCOMPARE(sent.size(), 10 + 1 + frames.size() * 129 + 1);
}

void TstUploadSerial::checkEndsAfterInformation()
{
    BlsPeer peer({});
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    b.CheckBLS();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 5000);
    QCOMPARE(rec.events, (QStringList{u"info"_s, u"end 1 0"_s}));
    const TBLSINFO& info = rec.infos.first();
    QCOMPARE(info.PageSize, 64); // what the reply says; the header steers only the worker
    QCOMPARE(info.BLSAddress, u"0x7C00"_s);
    QCOMPARE(info.F_CPU, u"24000000"_s);
    QCOMPARE(info.BLSVer, u"1"_s);
    QTest::qWait(100);
    QCOMPARE(peer.received(), QByteArray("AT+RST?\ru!"));
    QVERIFY(b.RvBootCanClose());
}

void TstUploadSerial::silentBoardGivesUp()
{
    BlsPeer::Script s;
    s.silent = true;
    BlsPeer peer(s);
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    b.SetWsadBIN(image(100));
    QElapsedTimer t;
    t.start();
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 8000);
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 3500 && ms < 4700, qPrintable(QString::number(ms)));
    QCOMPARE(rec.events, (QStringList{u"status -100 %1 - no response from BLS"_s.arg(peer.path()),
                                      u"end 1 -1"_s}));
}

void TstUploadSerial::badPageSize_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("page size 0: reply in brackets")
        << QString() << QByteArray(" &0,0x7C00,atmega328p,16000000,1 *")
        << u"ERROR - Bad PageSize from BLS [&0,0x7C00,atmega328p,16000000,1]"_s;
    QTest::newRow("no start marker: empty brackets")
        << QString() << QByteArray("64,0x7C00,atmega328p*")
        << u"ERROR - Bad PageSize from BLS []"_s;
    QTest::newRow("no end marker") << PageHeader << QByteArray("*64,0x7C00,atmega328p")
                                   << u"ERROR - Bad PageSize from BLS []"_s;
}

void TstUploadSerial::badPageSize()
{
    QFETCH(QString, header);
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    BlsPeer::Script s;
    s.info = reply;
    BlsPeer peer(s);
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path(), false);
    b.SetOwnerHeader(header);
    b.SetWsadBIN(image(10));
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 12000);
    QCOMPARE(rec.events, (QStringList{u"status -101 "_s + text, u"end 2 -1"_s}));
}

void TstUploadSerial::targetDecision_data()
{
    QTest::addColumn<int>("mode"); // 0 no handler, 1 handler stops, 2 handler too slow
    QTest::newRow("no handler goes on") << 0;
    QTest::newRow("handler stops") << 1;
    QTest::newRow("no answer in time") << 2;
}

void TstUploadSerial::targetDecision()
{
    QFETCH(int, mode);
    BlsPeer::Script s;
    s.pageSize = 128;
    BlsPeer peer(s);
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    if (mode == 0)
        b.OnInfoBLS = nullptr;
    else
        b.OnInfoBLS = [mode](const TBLSINFO&, TMBaction action, bool& stop) {
            QCOMPARE(action, _upload);
            if (mode == 1)
                stop = true;
            else
                QThread::msleep(400);
        };
    b.SetWsadBIN(image(128));
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 8000);
    if (mode == 0) {
        QCOMPARE(rec.endStatus, 0);
        return;
    }
    QCOMPARE(rec.events,
             (QStringList{u"status -112 \"Stop Bad Target - atmega328p\""_s, u"end 2 -1"_s}));
    QTest::qWait(50);
    QVERIFY(!peer.received().contains('w')); // nothing written
}

void TstUploadSerial::failedPageWaits_data()
{
    // Stray bytes and one request that comes after a 200 ms wait ran out: each
    // counts once, over the whole transfer.
    QTest::addColumn<int>("lastJunk");
    QTest::addColumn<bool>("ok");
    QTest::newRow("50 tolerated") << 10 << true;
    QTest::newRow("51st ends it") << 11 << false;
}

void TstUploadSerial::failedPageWaits()
{
    QFETCH(int, lastJunk);
    QFETCH(bool, ok);
    BlsPeer::Script s;
    s.pageSize = 128;
    s.junkBefore = {{0, 10}, {1, 15}, {2, 14}, {3, lastJunk}};
    s.delayBefore = {{2, 300}};
    BlsPeer peer(s);
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    b.SetWsadBIN(image(512));
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 10000);
    if (ok) {
        QCOMPARE(rec.events.last(), u"end 2 0"_s);
        QCOMPARE(peer.frames().size(), 4);
    } else {
        QCOMPARE(rec.events.mid(rec.events.size() - 2),
                 (QStringList{u"status -200 Timeout"_s, u"end 2 -1"_s}));
        QVERIFY(!rec.events.contains(u"ok"_s));
        QTest::qWait(50);
        QCOMPARE(peer.frames().size(), 3);
        QVERIFY(!peer.gotEnd());
    }
}

void TstUploadSerial::refusesWhileRunning()
{
    BlsPeer peer({});
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    b.CheckBLS();
    QVERIFY(!b.RvBootCanClose());
    b.CheckBLS();
    b.UploadBIN();
    QCOMPARE(rec.events, (QStringList{u"status -250 Thread is Active, try again"_s,
                                      u"status -250 Thread is Active, try again"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 5000);
    QTest::qWait(100);
    QCOMPARE(rec.ends, 1);
    QCOMPARE(rec.endAction, _check_bls);
    // Idle again: the next action starts.
    b.CheckBLS();
    QVERIFY(b.Busy());
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 2, 5000);
}

void TstUploadSerial::stopRequests_data()
{
    QTest::addColumn<bool>("duringTransfer");
    QTest::newRow("before the reset") << false;
    QTest::newRow("during the transfer") << true;
}

void TstUploadSerial::stopRequests()
{
    QFETCH(bool, duringTransfer);
    BlsPeer::Script s;
    s.pageSize = 128;
    s.pageDelayUs = 100'000;
    BlsPeer peer(s);
    TNoticeChannel channel;
    std::atomic<bool> canClose{true};
    TUploadThread worker(&channel, PageHeader, &canClose);
    QVERIFY(!canClose);
    worker.ComPort = peer.path();
    worker.SoftResetCmd = u" AT+RST? "_s;
    worker.WsadBin = image(512);
    worker.StopBadTarget = 0;
    QList<int> codes;
    QList<qint32> statuses;
    bool endHook = false;
    channel.OnNotice = [&](int code, const QString&, qint32 n) {
        QVERIFY(!endHook);
        codes << code;
        if (code == BootNotice::ActionStatus)
            statuses << n;
        if (code == BootNotice::Progress)
            worker.Stop = true;
    };
    worker.OnEnd = [&] { endHook = true; };
    if (!duringTransfer)
        worker.Stop = true;
    worker.start();
    QTRY_VERIFY_WITH_TIMEOUT(endHook, 5000);
    QVERIFY(canClose);
    QCOMPARE(statuses, QList<qint32>{-1});
    QVERIFY(!codes.contains(BootNotice::Status)); // a stop has no text
    QVERIFY(!codes.contains(BootNotice::UploadOK));
    QCOMPARE(codes.last(), BootNotice::Finished);
    QTest::qWait(50);
    QVERIFY(!peer.gotEnd());
    if (duringTransfer)
        QVERIFY(peer.frames().size() >= 1 && peer.frames().size() < 4);
    else
        QVERIFY(peer.received().isEmpty()); // not even the reset went out
}

void TstUploadSerial::portThatCannotOpen()
{
    std::atomic<int> opens{0};
    TRvBootload b;
    BootRecorder rec(b);
    b.SetPortFactory([&opens] { return std::make_unique<FaultyPort>(0, &opens); });
    configure(b, u"/dev/qlswav-no-such-port"_s);
    QElapsedTimer t;
    t.start();
    b.CheckBLS();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 5000);
    QVERIFY(t.elapsed() >= 1000); // two pauses between three attempts
    QCOMPARE(opens.load(), 3);
    QVERIFY(rec.lastText.startsWith(u"Port /dev/qlswav-no-such-port error # "_s));
    QCOMPARE(rec.lastCode, ENOENT);
    QCOMPARE(rec.events.last(), u"end 1 -1"_s);
}

void TstUploadSerial::failedPageWriteFailsUpload()
{
    BlsPeer::Script s;
    s.pageSize = 128;
    BlsPeer peer(s);
    std::atomic<int> opens{0};
    TRvBootload b;
    BootRecorder rec(b);
    b.SetPortFactory([&opens] { return std::make_unique<FaultyPort>(2, &opens); });
    configure(b, peer.path());
    b.SetWsadBIN(image(384));
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 5000);
    QCOMPARE(
        rec.events,
        (QStringList{u"info"_s, u"start 384"_s, u"progress 33"_s,
                     u"status %1 Port %2 error # Input/output error"_s.arg(EIO).arg(peer.path()),
                     u"end 2 -1"_s}));
    QCOMPARE(peer.frames().size(), 1);
}

void TstUploadSerial::hangUpFailsAtOnce()
{
    BlsPeer::Script s;
    s.pageSize = 128;
    s.hangupAfterFrames = 1;
    BlsPeer peer(s);
    TRvBootload b;
    BootRecorder rec(b);
    configure(b, peer.path());
    b.SetWsadBIN(image(512));
    b.UploadBIN();
    QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(u"progress 25"_s), 5000);
    QElapsedTimer t;
    t.start();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 5000);
    QVERIFY2(t.elapsed() < 2000, "waited out the failures");
    QVERIFY(!rec.events.contains(u"ok"_s));
    QCOMPARE(rec.endStatus, -1);
    QVERIFY2(rec.lastText.startsWith(u"Port %1 error # "_s.arg(peer.path())),
             qPrintable(rec.lastText));
    QVERIFY(rec.lastCode > 0);
}

void TstUploadSerial::closeGuardHoldsOwner()
{
    auto* host = new RecordingHost;
    auto previous = SetHost(std::unique_ptr<IHostServices>(host));
    BlsPeer::Script s;
    s.pageSize = 128;
    s.pageDelayUs = 150'000;
    BlsPeer peer(s);
    QWidget owner;
    owner.show();
    auto* b = new TRvBootload(&owner);
    BootRecorder rec(*b);
    bool waitEvent = false;
    b->OnWaitThreadEnd = [&waitEvent] { waitEvent = true; };
    configure(*b, peer.path());
    b->SetWsadBIN(image(512));
    b->UploadBIN();
    QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(u"start 512"_s), 5000);

    QVERIFY(!owner.close());
    QVERIFY(waitEvent);
    QCOMPARE(host->boxes, QStringList{u"Wait for RvBootloader Thread end"_s});
    QVERIFY(owner.isVisible());
    QVERIFY(!owner.isEnabled());
    QVERIFY(qAbs(owner.windowOpacity() - 230.0 / 255.0) < 0.01);

    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 5000);
    QCOMPARE(rec.endStatus, 0);
    QTRY_VERIFY(!owner.isVisible());
    QVERIFY(owner.isEnabled());
    SetHost(std::move(previous));
}

QTEST_MAIN(TstUploadSerial)
#include "tst_upload_serial.moc"
