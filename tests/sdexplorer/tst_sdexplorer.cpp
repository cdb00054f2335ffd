#include "app/HostServices.h"
#include "app/TForm1.h"
#include "player/TTerminalLog.h"
#include "sdexplorer/TSdSteps.h"
#include "sdexplorer/TfrmFileList.h"
#include "serial/TRvComPort.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
struct RecordingHost : IHostServices
{
    QStringList opened;
    int showMessageBox(const QString&, const QString&, int) override { return MB::IdOk; }
    QString browseForFolder(const QString&, const QString&, bool) override { return {}; }
    bool openPath(const QString& p) override
    {
        opened << p;
        return true;
    }
    bool exploreFolder(const QString&) override { return true; }
};

QByteArray pattern(int n)
{
    QByteArray b;
    b.reserve(n);
    for (int i = 0; i < n; ++i)
        b += char((i * 7 + i / 256) % 256);
    return b;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

// The explorer against the virtual board over its pty, with the main window's
// real reply handler in between.
class tst_SdExplorer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void listingBuildsTree();
    void playSendsItsCommand_data();
    void playSendsItsCommand();
    void menuStateOnEmptySpace();
    void normalDownloadOpensCompleteFile();
    void petitDownloadFromPlayOnText();
    void createFailureKeepsLineMode();
    void stoppedDownloadStaysPart();
    void hangUpEndsDownload();
    void missingCardClosesExplorer();
    void repliesAfterFileHandedOn();
    void brokenListingJoinsNext();
    void unsafeNameRefusedInPanels();

private:
    bool startBoard(const QStringList& extra);
    QTreeWidgetItem* node(const QString& path) const;
    TfrmFileList* openListed(const QString& path);
    void select(const QString& path);

    QTemporaryDir FDir;
    QString FCard;
    QByteArray FWav, FLog;
    std::unique_ptr<QProcess> FBoard;
    std::unique_ptr<TForm1> FForm;
    RecordingHost* FHost = nullptr;
    std::unique_ptr<IHostServices> FOldHost;
};

void tst_SdExplorer::initTestCase()
{
    FCard = FDir.filePath(u"card"_s);
    FWav = pattern(300000);
    FWav[0] = '\n';
    FLog = "first\r\nsecond\nthird\r\n";
    writeFile(FCard + u"/A.WAV"_s, pattern(1000));
    writeFile(FCard + u"/MUSIC/SONG.WAV"_s, FWav);
    writeFile(FCard + u"/LOG.TXT"_s, FLog);
    writeFile(FCard + u"/DATA.BIN"_s, "xyz");
}

bool tst_SdExplorer::startBoard(const QStringList& extra)
{
    FBoard = std::make_unique<QProcess>();
    FBoard->setProcessChannelMode(QProcess::SeparateChannels);
    FBoard->start(qEnvironmentVariable("QLSWAV_BOARD_SIM"), extra);
    if (!FBoard->waitForStarted(5000))
        return false;
    while (!FBoard->canReadLine() && FBoard->waitForReadyRead(5000)) {
    }
    const QString port = QString::fromLocal8Bit(FBoard->readLine()).trimmed();
    if (port.isEmpty())
        return false;
    TForm1::Options o;
    o.port = port;
    FForm = std::make_unique<TForm1>(o);
    FForm->RxBinFolder = FDir.filePath(u"rx"_s);
    QDir().mkpath(FForm->RxBinFolder);
    FForm->show();
    FForm->ConnectSelectedPort();
    QDeadlineTimer deadline(5000);
    while (!FForm->RvComPort1->Connected() && !deadline.hasExpired())
        QTest::qWait(10);
    if (!FForm->RvComPort1->Connected())
        return false;
    // The configuration reply clears panel 1; let it pass before the test runs.
    while (!FForm->Terminal->toPlainText().contains(u"+GCFG:"_s) && !deadline.hasExpired())
        QTest::qWait(10);
    FForm->findChild<QSlider*>(u"TrackBar1"_s)->setValue(110);
    return true;
}

void tst_SdExplorer::init()
{
    auto host = std::make_unique<RecordingHost>();
    FHost = host.get();
    FOldHost = SetHost(std::move(host));
    QDir(FDir.filePath(u"rx"_s)).removeRecursively();
    const QString tag = QString::fromLatin1(QTest::currentTestFunction());
    QStringList args{u"--card"_s, FCard};
    if (tag == u"missingCardClosesExplorer"_s)
        args.clear();
    if (tag == u"stoppedDownloadStaysPart"_s)
        args << u"--break-after"_s << u"5000"_s;
    if (tag == u"hangUpEndsDownload"_s)
        args << u"--hangup-after"_s << u"20000"_s;
    QVERIFY(startBoard(args));
}

void tst_SdExplorer::cleanup()
{
    if (FForm)
        FForm->close();
    FForm.reset();
    if (FBoard) {
        FBoard->terminate();
        FBoard->waitForFinished(3000);
    }
    FBoard.reset();
    SetHost(std::move(FOldHost));
}

QTreeWidgetItem* tst_SdExplorer::node(const QString& path) const
{
    TfrmFileList* list = FForm->FileList;
    if (!list || list->tv1->topLevelItemCount() == 0)
        return nullptr;
    QTreeWidgetItem* at = list->tv1->topLevelItem(0);
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < at->childCount() && !next; ++i)
            if (at->child(i)->text(0).section(u' ', 0, 0) == part)
                next = at->child(i);
        if (!next)
            return nullptr;
        at = next;
    }
    return at;
}

// Opens the explorer and waits until the card is listed and the link is idle.
// Opening lists the card twice ("AT+DIR= " and "AT+LIST"); what a test does
// next must come after both.
TfrmFileList* tst_SdExplorer::openListed(const QString& path)
{
    FForm->Sd().OpenFileList();
    const bool listed = QTest::qWaitFor(
        [&] {
            return !FForm->ListReading && node(path) &&
                   FForm->Terminal->toPlainText().count(u"+DIR_LIST_END:"_s) == 2;
        },
        10000);
    return listed ? FForm->FileList : nullptr;
}

void tst_SdExplorer::select(const QString& path)
{
    QTreeWidgetItem* item = node(path);
    QVERIFY2(item, qPrintable(path));
    FForm->FileList->tv1->setCurrentItem(item);
}

void tst_SdExplorer::listingBuildsTree()
{
    FForm->Sd().OpenFileList();
    QVERIFY(FForm->FileList);
    QTRY_VERIFY(node(u"MUSIC/SONG.WAV"_s));
    TfrmFileList* list = FForm->FileList;
    QTRY_COMPARE(list->PanelText(1), u"done"_s);
    QTreeWidgetItem* root = list->tv1->topLevelItem(0);
    QStringList texts;
    for (int i = 0; i < root->childCount(); ++i)
        texts << root->child(i)->text(0);
    QCOMPARE(texts, (QStringList{u"MUSIC"_s, u"A.WAV  (1 000 bytes )"_s, u"DATA.BIN  ( 3 bytes )"_s,
                                 u"LOG.TXT  ( 21 bytes )"_s}));
    QCOMPARE(node(u"MUSIC/SONG.WAV"_s)->text(0), u"SONG.WAV  ( 293.0 KB )"_s);
    QVERIFY(!root->isExpanded()); // a file in a folder: collapsed
    QVERIFY(!FForm->ListReading);
    QVERIFY(list->pbar->isHidden());
    QCOMPARE(list->PanelText(0), u"connected"_s);
}

void tst_SdExplorer::playSendsItsCommand_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("panel");
    QTest::newRow("folder") << u"MUSIC/SONG.WAV"_s << u"AT+PLAY=110,/MUSIC,SONG.WAV"_s
                            << u"SONG.WAV"_s;
    QTest::newRow("root") << u"A.WAV"_s << u"AT+PLAY=110,,A.WAV"_s << u"A.WAV"_s;
    QTest::newRow("not a WAV") << u"DATA.BIN"_s << QString() << u"Error: it's not WAV file"_s;
}

void tst_SdExplorer::playSendsItsCommand()
{
    QFETCH(QString, path);
    QFETCH(QString, sent);
    QFETCH(QString, panel);
    QVERIFY(openListed(path));
    select(path);
    const QString before = FForm->RvComPort1->LastSentString();
    FForm->FileList->PlaySelected();
    QCOMPARE(FForm->RvComPort1->LastSentString(), sent.isEmpty() ? before : sent);
    QCOMPARE(FForm->FileList->PanelText(1), panel);
}

void tst_SdExplorer::menuStateOnEmptySpace()
{
    FForm->Sd().OpenFileList();
    TfrmFileList* list = FForm->FileList;
    QTRY_VERIFY(node(u"A.WAV"_s));
    select(u"A.WAV"_s);
    list->UpdateMenuState();
    QVERIFY(list->actPlay->isEnabled() && list->actDownload->isEnabled());
    list->PrepareMenu(QPoint(5, list->tv1->viewport()->height() - 2));
    list->UpdateMenuState();
    QVERIFY(!list->actPlay->isEnabled());
    QVERIFY(!list->actStop->isEnabled());
    QVERIFY(!list->actDownload->isEnabled());
    QVERIFY(list->actRefresh->isEnabled());
    select(u"LOG.TXT"_s);
    list->UpdateMenuState();
    QVERIFY(!list->actPlay->isEnabled());
    QVERIFY(list->actDownload->isEnabled());
}

void tst_SdExplorer::normalDownloadOpensCompleteFile()
{
    TfrmFileList* list = openListed(u"MUSIC/SONG.WAV"_s);
    QVERIFY(list);
    if (!list->cbxOpenAfterRead->isChecked()) // the setting outlives a run
        list->cbxOpenAfterRead->click();
    QVERIFY(FForm->OpenAfterRead);
    select(u"MUSIC/SONG.WAV"_s);
    list->DownloadSelected();
    QCOMPARE(FForm->RvComPort1->LastSentString(), u"AT+FREAD=/MUSIC/SONG.WAV,0,1000000000,0"_s);
    const QString target = FForm->RxBinFolder + u"/SONG.WAV"_s;
    QTRY_COMPARE_WITH_TIMEOUT(FHost->opened, QStringList{target}, 10000);
    QCOMPARE(readAll(target), FWav); // the header's LF is not file data, the file's is
    QVERIFY(!QFile::exists(target + u".part"_s));
    QCOMPARE(FForm->PanelText(1), u"File received OK"_s);
    QVERIFY(!FForm->RvComPort1->RxBIN());
    QVERIFY(list->pbar->isHidden());
    // The link is back in line mode: a refresh lists again.
    list->Refresh();
    QTRY_COMPARE(list->PanelText(1), u"done"_s);
}

void tst_SdExplorer::petitDownloadFromPlayOnText()
{
    TfrmFileList* list = openListed(u"LOG.TXT"_s);
    QVERIFY(list);
    list->cbxPetitStyle->setChecked(true);
    if (list->cbxOpenAfterRead->isChecked()) // stored by an earlier test
        list->cbxOpenAfterRead->click();
    select(u"LOG.TXT"_s);
    list->PlaySelected(); // a text file is read, not played
    QCOMPARE(FForm->RvComPort1->LastSentString(), u"AT+FREAD=/LOG.TXT,0,1000000000,1"_s);
    QTRY_COMPARE(FForm->PanelText(1), u"PetitFS read OK"_s);
    QTRY_VERIFY(QFile::exists(FForm->RxBinFolder + u"/LOG.TXT"_s));
    QCOMPARE(readAll(FForm->RxBinFolder + u"/LOG.TXT"_s), FLog);
    QVERIFY(FHost->opened.isEmpty()); // "Open file after read" is off
}

void tst_SdExplorer::createFailureKeepsLineMode()
{
    QVERIFY(QDir().mkpath(FForm->RxBinFolder + u"/A.WAV.part"_s));
    TfrmFileList* list = openListed(u"A.WAV"_s);
    QVERIFY(list);
    select(u"A.WAV"_s);
    list->DownloadSelected();
    QTRY_VERIFY(FForm->PanelText(1).startsWith(u"Cannot create"_s));
    QVERIFY(list->PanelText(1).startsWith(u"Cannot create"_s));
    QVERIFY(!FForm->RvComPort1->RxBIN());
    QVERIFY(FForm->RvComPort1->Connected());
    QVERIFY(!QFile::exists(FForm->RxBinFolder + u"/A.WAV"_s));
    list->Refresh();
    QTRY_COMPARE(list->PanelText(1), u"done"_s);
}

void tst_SdExplorer::stoppedDownloadStaysPart()
{
    TfrmFileList* list = openListed(u"MUSIC/SONG.WAV"_s);
    QVERIFY(list);
    FForm->OpenAfterRead = true;
    select(u"MUSIC/SONG.WAV"_s);
    list->DownloadSelected();
    QTRY_VERIFY(FForm->RvComPort1->RxBIN());
    QTRY_COMPARE(FForm->Sd().Download().ReceivedCount(), 5000); // then the board falls silent
    list->StatusPanel(1)->click();                              // stops while receiving
    QTRY_VERIFY(!FForm->Sd().DownloadRunning());
    const QString target = FForm->RxBinFolder + u"/SONG.WAV"_s;
    QVERIFY(!QFile::exists(target));
    QCOMPARE(readAll(target + u".part"_s), FWav.left(5000));
    QVERIFY(FForm->PanelText(1).contains(u"SONG.WAV.part"_s));
    QVERIFY(!FForm->RvComPort1->RxBIN());
    QVERIFY(FHost->opened.isEmpty());
}

void tst_SdExplorer::hangUpEndsDownload()
{
    TfrmFileList* list = openListed(u"MUSIC/SONG.WAV"_s);
    QVERIFY(list);
    FForm->OpenAfterRead = true;
    select(u"MUSIC/SONG.WAV"_s);
    list->DownloadSelected();
    QTRY_VERIFY(!FForm->RvComPort1->Active()); // the board hung up mid-file
    QVERIFY(!FForm->Sd().DownloadRunning());
    QVERIFY(!FForm->RvComPort1->RxBIN());
    const QString target = FForm->RxBinFolder + u"/SONG.WAV"_s;
    QVERIFY(!QFile::exists(target));
    const QByteArray part = readAll(target + u".part"_s);
    QVERIFY(part.size() > 0 && part.size() < FWav.size());
    QCOMPARE(part, FWav.left(part.size()));
    QVERIFY(FForm->PanelText(1).contains(u"SONG.WAV.part"_s));
    QVERIFY(FHost->opened.isEmpty());
}

void tst_SdExplorer::missingCardClosesExplorer()
{
    FForm->Sd().OpenFileList();
    QTRY_COMPARE(FForm->PanelText(1), u"SD card missing"_s);
    QTRY_VERIFY(!FForm->FileList);
}

// The handler fed directly: the board's next reply shares the file's last packet.
void tst_SdExplorer::repliesAfterFileHandedOn()
{
    FForm->SentCommandStep(u"AT+FREAD=/X.BIN,0,1000000000,0"_s);
    FForm->RvComPort1RxString(nullptr, "+FREAD:NOR,5");
    QVERIFY(FForm->RvComPort1->RxBIN());
    FForm->RvComPort1RxString(nullptr, "\nab\x01"
                                       "de+PNAME:SONG.WAV\r\n+PS");
    QVERIFY(!FForm->RvComPort1->RxBIN());
    QCOMPARE(FForm->PanelText(1), u"File received OK"_s);
    QCOMPARE(readAll(FForm->RxBinFolder + u"/X.BIN"_s), QByteArray("ab\x01"
                                                                   "de"));
    QTRY_COMPARE(FForm->PanelText(1), u"SONG.WAV"_s); // handled as a reply
}

void tst_SdExplorer::brokenListingJoinsNext()
{
    QVERIFY(openListed(u"A.WAV"_s));
    QTRY_COMPARE(FForm->FileList->PanelText(1), u"done"_s);
    FForm->RvComPort1RxString(nullptr, "+LIST:");
    FForm->RvComPort1RxString(nullptr, "/OLD/1.WAV,1");
    QVERIFY(FForm->ListReading);
    QTRY_VERIFY(!FForm->ListReading); // the time-out ends it
    QVERIFY(QApplication::overrideCursor() == nullptr);
    FForm->RvComPort1RxString(nullptr, "+LIST:");
    FForm->RvComPort1RxString(nullptr, "/NEW.WAV,2");
    FForm->RvComPort1RxString(nullptr, "+DIR_LIST_END:");
    QVERIFY(!FForm->ListReading);
    QVERIFY(node(u"OLD/1.WAV"_s));
    QVERIFY(node(u"NEW.WAV"_s));
    QVERIFY(!node(u"A.WAV"_s));
}

void tst_SdExplorer::unsafeNameRefusedInPanels()
{
    QVERIFY(openListed(u"A.WAV"_s));
    FForm->SentCommandStep(u"AT+FREAD=/..,0,1000000000,0"_s);
    FForm->RvComPort1RxString(nullptr, "+FREAD:NOR,5");
    QVERIFY(!FForm->RvComPort1->RxBIN());
    QVERIFY(FForm->PanelText(1).contains(u"unsafe file name"_s));
    QVERIFY(FForm->FileList->PanelText(1).contains(u"unsafe file name"_s));
    QCOMPARE(FForm->RvComPort1->LastSentString(), u"AT+RXBINSTOP\r"_s);
    QCOMPARE(QDir(FForm->RxBinFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

QTEST_MAIN(tst_SdExplorer)
#include "tst_sdexplorer.moc"
