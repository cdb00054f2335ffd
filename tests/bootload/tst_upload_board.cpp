#include "BootRecorder.h"
#include "bootload/TRvBootload.h"
#include "firmware/TmxStorage.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// The virtual board in a process of its own; its port is the first line it prints.
class Board
{
public:
    explicit Board(const QStringList& args)
    {
        FProc.setProgram(qEnvironmentVariable("QLSWAV_BOARD_SIM"));
        FProc.setArguments(args);
        FProc.setProcessChannelMode(QProcess::SeparateChannels);
        FProc.start();
        if (FProc.waitForStarted(5000))
            while (!FProc.canReadLine() && FProc.waitForReadyRead(5000)) {
            }
        FPath = QString::fromLocal8Bit(FProc.readLine().trimmed());
    }
    ~Board()
    {
        FProc.terminate();
        if (!FProc.waitForFinished(3000))
            FProc.kill();
    }
    QString path() const { return FPath; }
    bool running() { return FProc.state() == QProcess::Running; }

private:
    QProcess FProc;
    QString FPath;
};

QByteArray carriedFirmware()
{
    TmxStorage store;
    return store.ItemByName(u"QLS-WAV.bin"_s)->GetAsStream()->readAll();
}

struct CliRun
{
    int code = -1;
    QStringList out;
    QString err;
};

CliRun cli(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(QLSWAV_CLI), args);
    CliRun r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
} // namespace

class TstUploadBoard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void carriedFirmwareReachesTheBoard_data();
    void carriedFirmwareReachesTheBoard();
    void hangUpDuringTransfer();
    void cliCheckBls();
    void cliUpload_data();
    void cliUpload();
};

void TstUploadBoard::initTestCase()
{
    QVERIFY2(!qEnvironmentVariable("QLSWAV_BOARD_SIM").isEmpty(), "QLSWAV_BOARD_SIM not set");
}

void TstUploadBoard::carriedFirmwareReachesTheBoard_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("plain") << QStringList();
    QTest::newRow("paced, lost requests, noise")
        << QStringList{u"--baud"_s,      u"115200"_s,    u"--bls-lose-pages"_s,    u"3"_s,
                       u"--bls-noise"_s, u"boot 1.0 "_s, u"--bls-page-delay-us"_s, u"500"_s};
}

void TstUploadBoard::carriedFirmwareReachesTheBoard()
{
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const QString out = dir.filePath(u"pages.bin"_s);
    Board board(options + QStringList{u"--bls-out"_s, out});
    QVERIFY(!board.path().isEmpty());

    const QByteArray fw = carriedFirmware();
    TRvBootload b;
    BootRecorder rec(b);
    b.ComPort = board.path();
    b.Baudrate = u"115200"_s;
    b.SetOwnerHeader(u"!,*,&,128,0x7C00,"_s);
    b.SetWsadBIN(fw);
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 20000);
    QCOMPARE(rec.events.last(), u"end 2 0"_s);
    QVERIFY(rec.events.contains(u"ok"_s));
    QVERIFY(rec.events.contains(u"progress 100"_s));

    const qsizetype padded = (fw.size() + 127) / 128 * 128;
    QVERIFY(rec.events.contains(u"start %1"_s.arg(padded)));
    QTRY_VERIFY(QFile::exists(out));
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), fw + QByteArray(padded - fw.size(), '\xFF'));
}

void TstUploadBoard::hangUpDuringTransfer()
{
    // "?", the 34-byte reply, then a handful of page requests.
    Board board({u"--hangup-after"_s, u"40"_s});
    TRvBootload b;
    BootRecorder rec(b);
    b.ComPort = board.path();
    b.SetOwnerHeader(u"!,*,&,128,0x7C00,"_s);
    b.SetWsadBIN(carriedFirmware());
    b.UploadBIN();
    QTRY_COMPARE_WITH_TIMEOUT(rec.ends, 1, 8000);
    QCOMPARE(rec.endStatus, -1);
    QVERIFY(!rec.events.contains(u"ok"_s));
    QVERIFY2(rec.events.contains(u"progress 2"_s), qPrintable(rec.events.join(u'|')));
    QVERIFY2(rec.lastText.startsWith(u"Port %1 error # "_s.arg(board.path())),
             qPrintable(rec.lastText));
    QVERIFY(rec.lastCode > 0);
}

void TstUploadBoard::cliCheckBls()
{
    Board board({u"--bls-target"_s, u"ATMEGA328P"_s});
    const CliRun r = cli({u"--port"_s, board.path(), u"check-bls"_s});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out,
             (QStringList{u"page_size=64"_s, u"address=0x7C00"_s, u"microcontroller=ATMEGA328P"_s,
                          u"f_cpu=24000000"_s, u"version=1"_s}));
}

void TstUploadBoard::cliUpload_data()
{
    QTest::addColumn<QStringList>("boardOptions");
    QTest::addColumn<QString>("image"); // "" the carried one, "hex" a HEX file
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("carried firmware") << QStringList() << QString() << 0 << u"Upload OK"_s;
    QTest::newRow("hex file") << QStringList() << u"hex"_s << 0 << u"Upload OK"_s;
    QTest::newRow("wrong target") << QStringList{u"--bls-target"_s, u"atmega8"_s} << QString() << 3
                                  << u"Bad target microcontroller: ATmega8"_s;
    QTest::newRow("no port") << QStringList() << u"noport"_s << 2
                             << u"Port /dev/qlswav-none error # "_s;
}

void TstUploadBoard::cliUpload()
{
    QFETCH(QStringList, boardOptions);
    QFETCH(QString, image);
    QFETCH(int, code);
    QFETCH(QString, stderrHas);
    QTemporaryDir dir;
    const QString out = dir.filePath(u"pages.bin"_s);
    Board board(boardOptions + QStringList{u"--bls-out"_s, out});
    QStringList args{u"--port"_s, image == u"noport"_s ? u"/dev/qlswav-none"_s : board.path(),
                     u"upload"_s};
    QByteArray expected = carriedFirmware();
    if (image == u"hex"_s) {
        const QString hex = dir.filePath(u"image.hex"_s);
        QFile f(hex);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(":0400000001020304F2\r\n:00000001FF\r\n");
        f.close();
        args << hex;
        expected = QByteArray("\x01\x02\x03\x04", 4);
    }
    const CliRun r = cli(args);
    QVERIFY2(r.err.contains(stderrHas), qPrintable(r.err));
    QCOMPARE(r.code, code);
    if (code == 0) {
        QTRY_VERIFY(QFile::exists(out));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray pages = f.readAll();
        QCOMPARE(pages.size() % 128, 0);
        QCOMPARE(pages.left(expected.size()), expected);
    }
}

QTEST_GUILESS_MAIN(TstUploadBoard)
#include "tst_upload_board.moc"
