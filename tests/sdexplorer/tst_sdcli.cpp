#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

// qls-wav-cli ls / get against the virtual board.
class tst_SdCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void listsInTreeOrder();
    void listWithoutCard();
    void getByteForByte_data();
    void getByteForByte();
    void getFromSilentBoard();

private:
    QString startBoard(const QStringList& args);
    int cli(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr);

    QTemporaryDir FDir;
    QString FCard;
    QString FPort;
    std::unique_ptr<QProcess> FBoard;
};

static void put(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void tst_SdCli::initTestCase()
{
    FCard = FDir.filePath(u"card"_s);
    QByteArray wav;
    for (int i = 0; i < 70000; ++i)
        wav += char(i % 251);
    put(FCard + u"/b.wav"_s, wav);
    put(FCard + u"/A.TXT"_s, "one\ntwo\r\n");
    put(FCard + u"/zz/Z.WAV"_s, wav.left(10));
    put(FCard + u"/MUSIC/SONG.WAV"_s, wav);
    put(FCard + u"/MUSIC/NOTE"_s, "");
}

QString tst_SdCli::startBoard(const QStringList& args)
{
    FBoard = std::make_unique<QProcess>();
    FBoard->start(qEnvironmentVariable("QLSWAV_BOARD_SIM"), args);
    if (!FBoard->waitForStarted(5000))
        return {};
    while (!FBoard->canReadLine() && FBoard->waitForReadyRead(5000)) {
    }
    return QString::fromLocal8Bit(FBoard->readLine()).trimmed();
}

void tst_SdCli::cleanup()
{
    if (FBoard) {
        FBoard->terminate();
        FBoard->waitForFinished(3000);
    }
    FBoard.reset();
}

int tst_SdCli::cli(const QStringList& args, QByteArray* out, QByteArray* err)
{
    QProcess p;
    p.start(QStringLiteral(QLSWAV_CLI), QStringList{u"--port"_s, FPort} + args);
    if (!p.waitForFinished(20000))
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void tst_SdCli::listsInTreeOrder()
{
    FPort = startBoard({u"--card"_s, FCard});
    QVERIFY(!FPort.isEmpty());
    QByteArray out;
    QCOMPARE(cli({u"ls"_s}, &out), 0);
    QCOMPARE(out, QByteArray("MUSIC/NOTE\t0\nMUSIC/SONG.WAV\t70000\nzz/Z.WAV\t10\n"
                             "A.TXT\t9\nb.wav\t70000\n"));
}

void tst_SdCli::listWithoutCard()
{
    FPort = startBoard({});
    QVERIFY(!FPort.isEmpty());
    QByteArray err;
    QCOMPARE(cli({u"ls"_s}, nullptr, &err), 3);
    QVERIFY(err.contains("SD card missing"));
}

void tst_SdCli::getByteForByte_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("petit");
    QTest::addColumn<QString>("saved");
    QTest::newRow("normal, folder") << u"/MUSIC/SONG.WAV"_s << false << u"SONG.WAV"_s;
    QTest::newRow("lower case saved upper") << u"/b.wav"_s << false << u"B.WAV"_s;
    QTest::newRow("petit") << u"/A.TXT"_s << true << u"A.TXT"_s;
}

void tst_SdCli::getByteForByte()
{
    QFETCH(QString, path);
    QFETCH(bool, petit);
    QFETCH(QString, saved);
    FPort = startBoard({u"--card"_s, FCard});
    QVERIFY(!FPort.isEmpty());
    QTemporaryDir rx;
    QStringList args{u"get"_s, path, u"-o"_s, rx.path()};
    if (petit)
        args << u"--petit"_s;
    QByteArray err;
    QCOMPARE(cli(args, nullptr, &err), 0);
    QVERIFY2(err.contains(petit ? "PetitFS read OK" : "File received OK"), err.constData());
    QFile got(rx.filePath(saved));
    QFile want(FCard + path);
    QVERIFY(got.open(QIODevice::ReadOnly) && want.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), want.readAll());
    QCOMPARE(QDir(rx.path()).entryList(QDir::Files), QStringList{saved});
}

void tst_SdCli::getFromSilentBoard()
{
    FPort = startBoard({u"--card"_s, FCard, u"--break-after"_s, u"1000"_s});
    QVERIFY(!FPort.isEmpty());
    QTemporaryDir rx;
    QCOMPARE(cli({u"get"_s, u"/b.wav"_s, u"-o"_s, rx.path()}), 4);
    QCOMPARE(QDir(rx.path()).entryList(QDir::Files), QStringList{u"B.WAV.part"_s});
    QCOMPARE(QFileInfo(rx.filePath(u"B.WAV.part"_s)).size(), 1000);
}

QTEST_GUILESS_MAIN(tst_SdCli)
#include "tst_sdcli.moc"
