#include "TPtyPeer.h"
#include "app/HostServices.h"
#include "app/IUpdateChecker.h"
#include "app/TForm1.h"
#include "app/TInstanceGuard.h"
#include "app/TRvRegStore.h"
#include "player/TPressPicture.h"
#include "player/TTerminalLog.h"
#include "serial/TRvComPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Records what the window asks of the desktop instead of doing it.
class TRecordingHost : public IHostServices
{
public:
    QStringList calls;
    int showMessageBox(const QString& text, const QString& caption, int) override
    {
        calls << u"box:"_s + caption + u'|' + text;
        return MB::IdOk;
    }
    QString browseForFolder(const QString&, const QString&, bool) override { return {}; }
    bool openPath(const QString& p) override
    {
        calls << u"open:"_s + p;
        return true;
    }
    bool exploreFolder(const QString& p) override
    {
        calls << u"explore:"_s + p;
        return true;
    }
};

class TFakeChecker : public IUpdateChecker
{
public:
    Answer answer;
    int calls = 0;
    Answer CheckForNewer() override
    {
        ++calls;
        return answer;
    }
};

QColor TextColor(const QWidget* w)
{
    return w->palette().color(QPalette::WindowText);
}

const QColor kGrey(128, 128, 128);
const QColor kGreen(0, 128, 0);
const QColor kViolet(128, 0, 255);
} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TPtyPeer> peer;
    TRecordingHost* host = nullptr;

    template <typename T> T* child(const QString& name)
    {
        T* w = form->findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }

    void makeForm(TForm1::Options options = {})
    {
        form = std::make_unique<TForm1>(std::move(options));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    // Connects through the status panel and the connect timer, then takes the
    // configuration query so each test starts with an empty receive buffer.
    void connectToPeer()
    {
        peer = std::make_unique<TPtyPeer>();
        QVERIFY(peer->IsOpen());
        form->ComboBox1->setEditText(peer->Path());
        form->StatusPanel(0)->click();
        QVERIFY(form->Timer3->isActive());
        QTRY_COMPARE(form->PanelText(0), u"connected"_s);
        QVERIFY(peer->WaitFor("AT+GCFG=?\r"_ba));
        peer->Take();
    }

    // Sends a line from the board and waits until the terminal shows it.
    void feed(const QByteArray& line)
    {
        peer->Write(line + "\r\n");
        QTRY_COMPARE(form->Terminal->document()->lastBlock().text(), QString::fromLatin1(line));
    }

    // Proves that nothing else was sent: a marker sent now arrives first.
    QByteArray sentBeforeMarker()
    {
        form->RvComPort1->SendString(u"AT+MARK"_s);
        if (!peer->WaitFor("AT+MARK\r"_ba))
            return "<marker lost>"_ba;
        QByteArray got = peer->Take();
        return got.left(got.indexOf("AT+MARK\r"));
    }

    QStringList terminalLines() const { return form->Terminal->toPlainText().split(u'\n'); }

private Q_SLOTS:
    void initTestCase()
    {
        // The runtime folder must be private, or every process warns about it.
        const QString run = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!run.isEmpty())
            QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(TRvRegStore::StoreFilePath()); // each run starts from the defaults
    }

    void init()
    {
        auto h = std::make_unique<TRecordingHost>();
        host = h.get();
        SetHost(std::move(h));
    }

    void cleanup()
    {
        form.reset();
        peer.reset();
        SetHost(std::make_unique<TConsoleHostServices>());
        host = nullptr;
    }

    void startState()
    {
        makeForm();
        QCOMPARE(form->windowTitle().left(21), u"QLS-WAV micro   ver: "_s);
        QCOMPARE(form->minimumSize(), QSize(467, 366));
        auto* tabs = child<QTabWidget>(u"PageControl1"_s);
        QCOMPARE(tabs->count(), 4);
        const QStringList names = {u"Player"_s, u"Firmware"_s, u"Settings"_s, u"Mini Terminal"_s};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(tabs->tabText(i), names.at(i));
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(form->PanelText(0), u"disconnected"_s);
        QCOMPARE(form->StatusPanel(1)->toolTip(), u"STOP receiving file"_s);
        QCOMPARE(form->StatusPanel(0)->width(), 85);
        QCOMPARE(form->StatusPanel(1)->width(), 140);
        QVERIFY(form->StatusPanel(2)->width() >= 50);
        QCOMPARE(child<QLabel>(u"Label1"_s)->text(), u"110"_s);
        QCOMPARE(child<QSlider>(u"TrackBar1"_s)->value(), 110);
        QCOMPARE(child<QLineEdit>(u"edAtCMD"_s)->text(), u"ATI"_s);
        QVERIFY(child<QCheckBox>(u"CheckBox3"_s)->isChecked());
        QVERIFY(child<QLabel>(u"lbVer"_s)->text().startsWith(u"version: "_s));
        QVERIFY(form->ProgramFolder.endsWith(u"/QLS-WAV/"_s));
        QVERIFY(QDir(form->RxBinFolder).exists());
        QVERIFY(!form->RvComPort1->Active()); // never opened at start
    }

    void updateNotice_data()
    {
        QTest::addColumn<bool>("newer");
        QTest::addColumn<QString>("panel");
        QTest::newRow("current") << false << u"It's current ver. of QLS-WAV micro"_s;
        QTest::newRow("newer") << true << u"Click && get update: ver.1.4.0"_s;
    }
    void updateNotice()
    {
        QFETCH(bool, newer);
        QFETCH(QString, panel);
        auto checker = std::make_shared<TFakeChecker>();
        checker->answer = {newer, u"1.4.0"_s};
        TForm1::Options o;
        o.updateChecker = checker;
        makeForm(o);
        QTRY_COMPARE(form->PanelText(2), panel);
        // Shown again: still asked only once.
        form->hide();
        form->show();
        QCoreApplication::processEvents();
        QCOMPARE(checker->calls, 1);
        form->StatusPanel(2)->click();
        QCOMPARE(host->calls.size(), 1);
        QVERIFY(host->calls.first().startsWith(newer ? u"open:"_s : u"explore:"_s));
    }

    void connectAndQueryConfig()
    {
        makeForm();
        peer = std::make_unique<TPtyPeer>();
        QElapsedTimer sinceConnect;
        auto previous = form->RvComPort1->OnConnected;
        form->RvComPort1->OnConnected = [&](QObject* s) {
            sinceConnect.start();
            previous(s);
        };
        form->ComboBox1->setEditText(u"  "_s + peer->Path() + u" "_s);
        form->StatusPanel(0)->click();
        QCOMPARE(form->Timer3->interval(), 100);
        QTRY_COMPARE(form->PanelText(0), u"connected"_s);
        QCOMPARE(form->Label14->text(),
                 u"connected on port "_s + peer->Path() + u"  baud: 115200"_s);
        QCOMPARE(form->Timer3->interval(), 1000);
        QVERIFY(!form->Timer3->isActive());
        QVERIFY(peer->WaitFor("AT+GCFG=?\r"_ba));
        QVERIFY2(sinceConnect.elapsed() >= 490,
                 qPrintable(QString::number(sinceConnect.elapsed())));
        QCOMPARE(peer->Take(), "AT+GCFG=?\r"_ba);

        // Panel 0 again closes the link; once more reopens it.
        form->StatusPanel(0)->click();
        QCOMPARE(form->PanelText(0), u"disconnected"_s);
        QTRY_COMPARE(form->Label14->text(), u"disconnected"_s);
        QVERIFY(!form->RvComPort1->Connected());
        form->StatusPanel(0)->click();
        QTRY_COMPARE(form->PanelText(0), u"connected"_s);
    }

    void blankPortDoesNothing()
    {
        makeForm();
        form->ComboBox1->setEditText(u"   "_s);
        form->StatusPanel(0)->click();
        QTRY_VERIFY(!form->Timer3->isActive());
        QVERIFY(!form->RvComPort1->Active());
        QCOMPARE(form->PanelText(0), u"disconnected"_s);
    }

    void failedOpeningExplained()
    {
        makeForm();
        const QString bad = u"/dev/no-such-tty-qlswav"_s;
        form->ComboBox1->setEditText(bad);
        form->StatusPanel(0)->click();
        QTRY_VERIFY(form->Label14->text().startsWith(u"disconnected: "_s));
        QVERIFY(form->Label14->text().contains(bad));
        QCOMPARE(form->StatusPanel(0)->toolTip(), form->Label14->text().mid(14));
        QCOMPARE(form->PanelText(0), u"disconnected"_s);
    }

    void gcfg_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("slider");
        QTest::addColumn<bool>("fade");
        QTest::addColumn<bool>("mute");
        QTest::addColumn<QString>("title");
        QTest::newRow("playing, blanks in title")
            << "+GCFG:120,0,1,0,1,MY SONG.WAV"_ba << 120 << false << true << u"MYSONG.WAV"_s;
        QTest::newRow("fade volume wins")
            << "+GCFG:120,80,0,0,0,X"_ba << 80 << true << false << u""_s;
        QTest::newRow("fields missing") << "+GCFG:"_ba << 0 << true << false << u""_s;
        QTest::newRow("not numbers") << "+GCFG:abc,x,1,0,1,A,B"_ba << 0 << true << true << u"A,B"_s;
    }
    void gcfg()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, slider);
        QFETCH(bool, fade);
        QFETCH(bool, mute);
        QFETCH(QString, title);
        makeForm();
        connectToPeer();
        auto* fadeBox = child<QCheckBox>(u"CheckBox1"_s);
        fadeBox->setChecked(!fade); // the reply must set it either way
        feed(line);
        QCOMPARE(child<QSlider>(u"TrackBar1"_s)->value(), slider);
        QCOMPARE(child<QLabel>(u"Label1"_s)->text(), QString::number(slider));
        QCOMPARE(fadeBox->isChecked(), fade);
        QCOMPARE(child<QCheckBox>(u"CheckBox2"_s)->isChecked(), mute);
        QCOMPARE(child<QLineEdit>(u"edWavName"_s)->text(), title);
        QCOMPARE(form->PanelText(1), title);
        QVERIFY(!form->Timer1->isActive());
        QCOMPARE(sentBeforeMarker(), QByteArray());
    }

    void titleLines_data()
    {
        QTest::addColumn<QByteArray>("stop");
        QTest::newRow("bare") << "+PSTOP:"_ba;
        QTest::newRow("with field") << "+PSTOP:1"_ba;
    }
    void titleLines()
    {
        QFETCH(QByteArray, stop);
        makeForm();
        connectToPeer();
        auto* title = child<QLineEdit>(u"edWavName"_s);
        auto* lbPlay = child<QLabel>(u"lbPlay"_s);
        feed("+PNAME:MY TUNE.WAV");
        QCOMPARE(title->text(), u"MYTUNE.WAV"_s);
        QCOMPARE(form->PanelText(1), u"MYTUNE.WAV"_s);
        QCOMPARE(TextColor(lbPlay), kViolet);
        // A configuration reply changes the title, not the colour.
        feed("+GCFG:100,0,0,0,1,OTHER.WAV");
        QCOMPARE(title->text(), u"OTHER.WAV"_s);
        QCOMPARE(TextColor(lbPlay), kViolet);
        feed(stop);
        QCOMPARE(title->text(), QString());
        QCOMPARE(TextColor(lbPlay), kGrey);
    }

    void listingHidesPlayerReplies()
    {
        makeForm();
        connectToPeer();
        feed("+LIST:");
        QVERIFY(form->ListReading);
        QCOMPARE(form->PanelText(1), u"reading DIR list, wait..."_s);
        QVERIFY(form->ListTmo->isActive());
        feed("+PNAME:SONG.WAV");
        QCOMPARE(child<QLineEdit>(u"edWavName"_s)->text(), QString());
        form->ListReading = false;
        form->ListTmo->stop();
        feed("+LIST_ERR: ");
        QCOMPARE(form->PanelText(1), u"SD card missing"_s);
        TForm1::SetBusyCursor(false);
    }

    void volumeSlider()
    {
        makeForm();
        connectToPeer();
        auto* slider = child<QSlider>(u"TrackBar1"_s);
        QElapsedTimer lastMove;
        for (int v = 0; v <= 255; v += 5) {
            slider->setValue(v == 250 ? 255 : v);
            lastMove.start();
            QCoreApplication::processEvents();
        }
        slider->setValue(255);
        QVERIFY(peer->WaitFor("AT+VOL=255\r"_ba));
        QVERIFY2(lastMove.elapsed() >= 45, qPrintable(QString::number(lastMove.elapsed())));
        QCOMPARE(peer->Take(), "AT+VOL=255\r"_ba);
        QCOMPARE(child<QLabel>(u"Label1"_s)->text(), u"255"_s);
    }

    void fadeAndMuteBoxes()
    {
        makeForm();
        connectToPeer();
        auto* fade = child<QCheckBox>(u"CheckBox1"_s);
        auto* mute = child<QCheckBox>(u"CheckBox2"_s);
        feed("+GCFG:120,80,0,0,0,X");
        QVERIFY(fade->isChecked());
        QCOMPARE(child<QSlider>(u"TrackBar1"_s)->value(), 80);
        QTest::mouseClick(fade, Qt::LeftButton);
        QVERIFY(peer->WaitFor("AT+FADEVOL=0\r\r"_ba));
        QCOMPARE(child<QSlider>(u"TrackBar1"_s)->value(), 120);
        QVERIFY(!form->Timer1->isActive());
        QCOMPARE(sentBeforeMarker(), "AT+FADEVOL=0\r\r"_ba);
        // The command's own CR shows as a line end of its own in the log.
        const QStringList lines = terminalLines();
        const qsizetype at = lines.indexOf(u"AT+FADEVOL=0"_s);
        QVERIFY(at >= 0 && at + 1 < lines.size());
        QCOMPARE(lines.at(at + 1), QString());

        QTest::mouseClick(fade, Qt::LeftButton);
        QTest::mouseClick(mute, Qt::LeftButton);
        QTest::mouseClick(mute, Qt::LeftButton);
        QCOMPARE(sentBeforeMarker(), "AT+FADEVOL=1\r\rAT+MUTE=1\rAT+MUTE=0\r"_ba);
    }

    void playerPictures()
    {
        makeForm();
        connectToPeer();
        auto* imgPlay = child<TPressPicture>(u"imgPlay"_s);
        auto* imgPause = child<TPressPicture>(u"imgPause"_s);
        auto* lbPlay = child<QLabel>(u"lbPlay"_s);
        auto* lbPause = child<QLabel>(u"lbPause"_s);
        const QPoint c(10, 10);

        QTest::mousePress(imgPause, Qt::LeftButton, {}, c);
        QCOMPARE(TextColor(lbPause), kGreen);
        QCOMPARE(imgPause->contentsMargins().left(), 1);
        QCOMPARE(imgPause->contentsMargins().top(), 1);
        QTest::mouseRelease(imgPause, Qt::LeftButton, {}, c);
        QCOMPARE(TextColor(lbPause), kGrey);
        QCOMPARE(imgPause->contentsMargins().left(), 0);

        QTest::mouseClick(child<TPressPicture>(u"imgStop"_s), Qt::LeftButton, {}, c);
        QTest::mouseClick(imgPlay, Qt::LeftButton, {}, c);
        QTest::mouseClick(child<TPressPicture>(u"imgNext"_s), Qt::LeftButton, {}, c);
        QCOMPARE(sentBeforeMarker(), "AT+PLOFF\rAT+PLON\rAT+NEXT\r"_ba); // pause sent nothing

        // While a title plays, "play" keeps its violet through a press.
        feed("+PNAME:A.WAV");
        QTest::mousePress(imgPlay, Qt::LeftButton, {}, c);
        QCOMPARE(TextColor(lbPlay), kViolet);
        QTest::mouseRelease(imgPlay, Qt::LeftButton, {}, c);
        QCOMPARE(TextColor(lbPlay), kViolet);
    }

    void terminalCap()
    {
        makeForm();
        connectToPeer();
        child<QPushButton>(u"Button2"_s)->click();
        QByteArray lines;
        for (int i = 1; i <= 1600; ++i)
            lines += "L" + QByteArray::number(i) + "\r\n";
        peer->Write(lines);
        QTRY_COMPARE(form->Terminal->document()->lastBlock().text(), u"L1600"_s);
        QCOMPARE(form->Terminal->LineCount(), 1500);
        QCOMPARE(form->Terminal->document()->firstBlock().text(), u"L101"_s);
        QCOMPARE(child<QLabel>(u"lbLinesCnt"_s)->text(), u"1501"_s);
        // Sent lines are not cut; "clear LOG" keeps the count until the next line.
        form->RvComPort1->SendString(u"AT+X"_s);
        QCOMPARE(form->Terminal->LineCount(), 1501);
        child<QPushButton>(u"Button2"_s)->click();
        QCOMPARE(form->Terminal->LineCount(), 0);
        QCOMPARE(child<QLabel>(u"lbLinesCnt"_s)->text(), u"1501"_s);
        feed("NEXT");
        QCOMPARE(child<QLabel>(u"lbLinesCnt"_s)->text(), u"1"_s);
    }

    void commandBox()
    {
        makeForm();
        connectToPeer();
        auto* box = child<QLineEdit>(u"edAtCMD"_s);
        auto* upper = child<QCheckBox>(u"CheckBox3"_s);
        box->clear();
        QTest::keyClicks(box, u"at+ver"_s);
        QCOMPARE(box->text(), u"AT+VER"_s);
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(peer->WaitFor("AT+VER\r\r"_ba));
        QCOMPARE(TRvRegStore().ReadRegINI(u"last_at_cmd"_s, QString()), u"AT+VER"_s);
        form.reset();
        makeForm();
        connectToPeer();
        box = child<QLineEdit>(u"edAtCMD"_s);
        upper = child<QCheckBox>(u"CheckBox3"_s);
        QCOMPARE(box->text(), u"AT+VER"_s);

        QTest::mouseClick(upper, Qt::LeftButton);
        QVERIFY(!upper->isChecked());
        QCOMPARE(QApplication::focusWidget(), box);
        box->clear();
        QTest::keyClicks(box, u"at+Mix "_s);
        QCOMPARE(box->text(), u"at+Mix "_s);
        child<QPushButton>(u"BitBtn12"_s)->click();
        QVERIFY(peer->WaitFor("at+Mix \r\r"_ba)); // as typed, untrimmed
    }

    void rxFolderRow()
    {
        makeForm();
        auto* edit = form->edRxBinFilesFolder;
        const QString good = QDir::homePath() + u"/rx"_s;
        QDir().mkpath(good);
        edit->setText(good);
        form->btnSetRxBinFolder->click();
        QCOMPARE(form->RxBinFolder, good);
        QCOMPARE(TRvRegStore().ReadRegINI(u"rxbinfolder"_s, QString()), good);
        edit->setText(good + u"/missing"_s);
        form->btnSetRxBinFolder->click();
        QCOMPARE(form->RxBinFolder, good);
        QCOMPARE(host->calls.last(), u"box: BŁĄD !|Bad folder!"_s);
        child<QPushButton>(u"Button3"_s)->click();
        QCOMPARE(host->calls.last(), u"explore:"_s + good);
        TRvRegStore().SaveRegINI(u"rxbinfolder"_s, form->ProgramFolder + u"bin_folder/"_s);
    }

    void firmwareTabTakesPage()
    {
        makeForm();
        auto* page = new QLabel(u"page"_s, form.get());
        page->hide();
        form->FirmwarePage = page;
        auto* tabs = child<QTabWidget>(u"PageControl1"_s);
        tabs->setCurrentIndex(3);
        QCOMPARE(page->parentWidget(), tabs->widget(1));
        QVERIFY(!page->isHidden());
    }

    void placementRestored()
    {
        makeForm();
        form->resize(611, 433);
        form->move(40, 50);
        QTRY_COMPARE(form->size(), QSize(611, 433));
        const QRect before = form->geometry();
        form->close();
        form.reset();
        makeForm();
        QTRY_COMPARE(form->size(), before.size());
        QCOMPARE(form->geometry(), before);
    }

    void closesQuicklyWhileConnected()
    {
        makeForm();
        connectToPeer();
        QElapsedTimer t;
        t.start();
        QVERIFY(form->close());
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QVERIFY(form->Closing);
        QVERIFY(!form->RvComPort1->Active());
        // The connect timer does nothing any more.
        form->Timer3->start(1);
        QTest::qWait(20);
        QVERIFY(!form->RvComPort1->Active());
    }

    void againstVirtualBoard()
    {
        const QString sim = qEnvironmentVariable("QLSWAV_BOARD_SIM");
        const QString card = QDir::homePath() + u"/card"_s;
        QCOMPARE(QProcess::execute(sim, {u"--make-sample-card"_s, card}), 0);
        QProcess board;
        board.start(sim, {u"--card"_s, card, u"--play-ms"_s, u"300"_s});
        QVERIFY(board.waitForReadyRead(5000));
        const QString port = QString::fromLocal8Bit(board.readLine()).trimmed();
        TForm1::Options o;
        o.port = port;
        makeForm(o);
        QCOMPARE(form->ComboBox1->currentText(), port);
        form->StatusPanel(0)->click();
        QTRY_COMPARE(form->PanelText(0), u"connected"_s);
        // The configuration reply comes back and is shown.
        QTRY_VERIFY(form->Terminal->toPlainText().contains(u"+GCFG:"_s));
        QTest::mouseClick(child<TPressPicture>(u"imgPlay"_s), Qt::LeftButton, {}, QPoint(10, 10));
        QTRY_VERIFY(!child<QLineEdit>(u"edWavName"_s)->text().isEmpty());
        QCOMPARE(TextColor(child<QLabel>(u"lbPlay"_s)), kViolet);
        QTRY_VERIFY_WITH_TIMEOUT(child<QLineEdit>(u"edWavName"_s)->text().isEmpty(), 5000);
        form.reset();
        board.terminate();
        board.waitForFinished(3000);
    }

    void secondInstanceRefused()
    {
        const QString exe = QStringLiteral(QLSWAV_APP_EXE);
        QProcess first;
        first.start(exe, {});
        QVERIFY(first.waitForStarted(5000));
        // The lock is the first copy's once a guard here can no longer take it.
        QTRY_VERIFY_WITH_TIMEOUT(!TInstanceGuard(exe).Acquired(), 5000);
        QProcess second;
        QElapsedTimer t;
        t.start();
        second.start(exe, {});
        QVERIFY(second.waitForFinished(5000));
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAll(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);
        // A copy that dies without cleaning up leaves no lock behind.
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QVERIFY(TInstanceGuard(exe).Acquired());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
