#include "app/TForm1.h"

#include "app/GuiUtils.h"
#include "app/HostServices.h"
#include "app/TNoUpdateChecker.h"
#include "app/TPortComboBox.h"
#include "app/TRvFormSR.h"
#include "app/Utils.h"
#include "player/DeviceCommands.h"
#include "player/TGcfgReply.h"
#include "player/TPaintThrottle.h"
#include "player/TPressPicture.h"
#include "player/TTerminalLog.h"
#include "sdexplorer/TSdSteps.h"
#include "serial/TRvComPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

using namespace Qt::StringLiterals;

// Outside any namespace, as the resource system wants; the pictures live in a
// static library and must be registered by hand.
static void InitPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace {
const QColor kGrey(128, 128, 128);
const QColor kGreen(0, 128, 0);
const QColor kViolet(128, 0, 255);
constexpr int kLogLimit = 1500;
const QString kWebAddress = u"https://qls-wav.example.org"_s;

QPixmap Picture(const QString& name, QSize size = {})
{
    QSvgRenderer svg(u":/pictures/"_s + name + u".svg"_s);
    if (!size.isValid())
        size = svg.defaultSize();
    const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return pm;
}

void SetTextColor(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

QLabel* NamedLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// Upper-cases the command box's text as it is typed.
class TUpperCase : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};
} // namespace

TForm1::TForm1(const Options& options, QWidget* parent) : QMainWindow(parent)
{
    InitPictures();
    setObjectName(u"Form1"_s);
    setWindowTitle(u"QLS-WAV micro   ver: "_s + FileVersionDotted());
    FUpdateChecker =
        options.updateChecker ? options.updateChecker : std::make_shared<TNoUpdateChecker>();

    RvFormSR1 = new TRvFormSR(this);
    RvFormSR1->setObjectName(u"RvFormSR1"_s);
    OpenAfterRead = RvFormSR1->ReadRegINI(u"openafterread"_s, true);

    RvComPort1 = new TRvComPort(this);
    RvComPort1->setObjectName(u"RvComPort1"_s);
    RvComPort1->SetBaudRate(u"115200"_s);
    RvComPort1->SetDataBits(u"8"_s);
    RvComPort1->SetParityBits(TParityBits::prNone);
    RvComPort1->SetStopBits(TStopBits::sbOneStopBit);
    RvComPort1->SetEnableCheckTimer(false);
    RvComPort1->OnConnected = [this](QObject* s) { RvComPort1Connected(s); };
    RvComPort1->OnDisconnected = [this](QObject* s) { RvComPort1Disconnected(s); };
    RvComPort1->OnRxString = [this](QObject* s, const QByteArray& b) { RvComPort1RxString(s, b); };
    RvComPort1->OnSendStr = [this](QObject* s, const QString& t) { RvComPort1SendStr(s, t); };
    RvComPort1->OnComError = [this](QObject* s, int e, const QString& d) {
        RvComPort1ComError(s, e, d);
    };

    auto makeTimer = [this](const QString& name, int ms) {
        auto* t = new QTimer(this);
        t->setObjectName(name);
        t->setInterval(ms);
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5 % early
        return t;
    };
    Timer1 = makeTimer(u"Timer1"_s, 50);
    Timer2 = makeTimer(u"Timer2"_s, 500);
    Timer3 = makeTimer(u"Timer3"_s, 1000);
    ListTmo = makeTimer(u"ListTmo"_s, 1000);
    connect(Timer1, &QTimer::timeout, this, [this] {
        Timer1->stop();
        RvComPort1->SendString(DeviceCmd::Volume(TrackBar1->value()));
    });
    connect(Timer2, &QTimer::timeout, this, [this] {
        Timer2->stop();
        RvComPort1->SendString(DeviceCmd::GetConfig());
    });
    connect(Timer3, &QTimer::timeout, this, [this] { Timer3Timer(); });

    // Folders before the widgets that show them.
    QString docs = KnownFolderPath(KnownFolder::Documents);
    if (docs.isEmpty())
        docs = QDir::homePath();
    ProgramFolder = QDir::cleanPath(docs) + u"/QLS-WAV/"_s;
    QDir().mkpath(ProgramFolder);
    RxBinFolder = ProgramFolder + u"bin_folder/"_s;
    QDir().mkpath(RxBinFolder);
    RxBinFolder = RvFormSR1->ReadRegINI(u"rxbinfolder"_s, RxBinFolder).trimmed();

    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addWidget(BuildHeader());
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->setStyleSheet(u"QTabBar::tab { width: 107px; height: 30px; }"_s);
    PageControl1->addTab(BuildPlayerTab(), u"Player"_s);
    FFirmwareTab = new QWidget;
    FFirmwareTab->setObjectName(u"TabSheet2"_s);
    new QVBoxLayout(FFirmwareTab);
    PageControl1->addTab(FFirmwareTab, u"Firmware"_s);
    PageControl1->addTab(BuildSettingsTab(), u"Settings"_s);
    PageControl1->addTab(BuildTerminalTab(), u"Mini Terminal"_s);
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageChanged(); });
    v->addWidget(PageControl1, 1);
    setCentralWidget(central);
    BuildStatusBar();

    ComboBox1->addItems(RvComPort1->AvailableComPorts());
    ComboBox1->setEditText(options.port.isEmpty() ? RvFormSR1->ReadRegINI(u"comport"_s, QString())
                                                  : options.port);
    edAtCMD->setText(RvFormSR1->ReadRegINI(u"last_at_cmd"_s, u"ATI"_s));

    setMinimumSize(467, 366);
    resize(560, 420);

    FSd = std::make_unique<TSdSteps>(*this);
    RvFormSR1->Loaded();
    // The link's Loaded() waits a moment while it (re)applies Active; done once
    // the window is up, it does not hold back the first showing.
}

TForm1::~TForm1()
{
    // The link's worker may still hand over a line; nothing of this window
    // must be reached from it any more.
    RvComPort1->OnRxString = nullptr;
    RvComPort1->OnSendStr = nullptr;
    RvComPort1->OnConnected = nullptr;
    RvComPort1->OnDisconnected = nullptr;
    RvComPort1->OnComError = nullptr;
    delete RvComPort1;
    RvComPort1 = nullptr;
}

// --- layout -------------------------------------------------------------------

QWidget* TForm1::BuildHeader()
{
    auto* header = new QWidget;
    header->setObjectName(u"Panel1"_s);
    header->setFixedHeight(51);
    header->setAutoFillBackground(true);
    QPalette p = header->palette();
    p.setColor(QPalette::Window, Qt::white);
    header->setPalette(p);
    auto* h = new QHBoxLayout(header);
    h->setContentsMargins(6, 2, 12, 2);
    auto* logo = new QLabel(header);
    logo->setObjectName(u"Image1"_s);
    logo->setPixmap(Picture(u"logo"_s));
    h->addWidget(logo);
    auto* caption = NamedLabel(u"lbCaption"_s, QString(), header);
    caption->setText(u"player, SD card and firmware"_s);
    SetTextColor(caption, QColor(90, 90, 120));
    h->addWidget(caption, 1);
    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    auto* lbVer = NamedLabel(u"lbVer"_s, u"version: "_s + FileVersionText(true), header);
    lbVer->setAlignment(Qt::AlignRight);
    auto* lbWeb = NamedLabel(u"lbWeb"_s, kWebAddress, header);
    lbWeb->setAlignment(Qt::AlignRight);
    lbWeb->setCursor(Qt::PointingHandCursor);
    SetTextColor(lbWeb, kGrey);
    lbWeb->installEventFilter(this);
    right->addWidget(lbVer);
    right->addWidget(lbWeb);
    h->addLayout(right);
    return header;
}

QWidget* TForm1::BuildPlayerTab()
{
    auto* tab = new QWidget;
    tab->setObjectName(u"TabSheet1"_s);
    auto* grid = new QHBoxLayout(tab);

    auto* left = new QVBoxLayout;
    auto* action = new QGroupBox(u" action "_s, tab);
    action->setObjectName(u"GroupBox1"_s);
    auto* ah = new QHBoxLayout(action);
    const QString names[4] = {u"Stop"_s, u"Pause"_s, u"Play"_s, u"Next"_s};
    const QString captions[4] = {u"stop"_s, u"pause"_s, u"play"_s, u"next"_s};
    for (int i = 0; i < 4; ++i) {
        auto* col = new QVBoxLayout;
        auto* pic = new TPressPicture(Picture(captions[i], {48, 48}), action);
        pic->setObjectName(u"img"_s + names[i]);
        pic->Tag = i;
        auto* lb = NamedLabel(u"lb"_s + names[i], captions[i], action);
        lb->setAlignment(Qt::AlignHCenter);
        SetTextColor(lb, kGrey);
        if (i == 2)
            lbPlay = lb;
        pic->OnMouseDown = [this](TPressPicture* p) { PressLook(p, true); };
        pic->OnMouseUp = [this](TPressPicture* p) { PressLook(p, false); };
        if (i == 0)
            pic->OnClick = [this](TPressPicture*) { RvComPort1->SendString(DeviceCmd::PlayOff()); };
        else if (i == 2)
            pic->OnClick = [this](TPressPicture*) { RvComPort1->SendString(DeviceCmd::PlayOn()); };
        else if (i == 3)
            pic->OnClick = [this](TPressPicture*) { RvComPort1->SendString(DeviceCmd::Next()); };
        col->addWidget(pic, 0, Qt::AlignHCenter);
        col->addWidget(lb);
        ah->addLayout(col);
    }
    auto* fish = new TPressPicture(Picture(u"fish"_s), action, Picture(u"fish_pressed"_s));
    fish->setObjectName(u"btnFish"_s);
    ah->addWidget(fish, 0, Qt::AlignVCenter);
    auto* rec = NamedLabel(u"lbRec"_s, u"rec"_s, action);
    rec->hide();
    ah->addWidget(rec);
    ah->addStretch(1);
    left->addWidget(action);

    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(new QLabel(u"TITLE: "_s, tab));
    edWavName = new QLineEdit(tab);
    edWavName->setObjectName(u"edWavName"_s);
    edWavName->setEnabled(false);
    titleRow->addWidget(edWavName, 1);
    left->addLayout(titleRow);

    auto* volume = new QGroupBox(u" VOLUME "_s, tab);
    volume->setObjectName(u"GroupBox2"_s);
    auto* vh = new QHBoxLayout(volume);
    TrackBar1 = new QSlider(Qt::Horizontal, volume);
    TrackBar1->setObjectName(u"TrackBar1"_s);
    TrackBar1->setRange(0, 255);
    TrackBar1->setValue(110);
    TrackBar1->setTickInterval(10);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    Label1 = NamedLabel(u"Label1"_s, u"110"_s, volume);
    Label1->setMinimumWidth(28);
    CheckBox1 = new QCheckBox(u"AUTO FADE"_s, volume);
    CheckBox1->setObjectName(u"CheckBox1"_s);
    CheckBox2 = new QCheckBox(u"MUTE"_s, volume);
    CheckBox2->setObjectName(u"CheckBox2"_s);
    vh->addWidget(TrackBar1, 1);
    vh->addWidget(Label1);
    vh->addWidget(CheckBox1);
    vh->addWidget(CheckBox2);
    left->addWidget(volume);
    left->addStretch(1);
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int pos) {
        Label1->setText(QString::number(pos));
        if (!FSliderTag)
            Timer1->start();
    });
    connect(CheckBox1, &QCheckBox::clicked, this, [this](bool checked) {
        RvComPort1->SendString(DeviceCmd::FadeVolume(checked));
        if (!checked)
            SetSliderSilently(FLastVolume);
    });
    connect(CheckBox2, &QCheckBox::clicked, this,
            [this](bool checked) { RvComPort1->SendString(DeviceCmd::Mute(checked)); });
    grid->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    auto* sd = new TPressPicture(Picture(u"sdcard"_s), tab);
    sd->setObjectName(u"Image6"_s);
    sd->PressShift = false;
    sd->OnClick = [this](TPressPicture*) {
        if (RvComPort1->Connected())
            FSd->OpenFileList();
    };
    auto* lbSdFiles = NamedLabel(u"lbSdFiles"_s, u"SD Files"_s, tab);
    lbSdFiles->setAlignment(Qt::AlignHCenter);
    lbSdFiles->setCursor(Qt::PointingHandCursor);
    lbSdFiles->installEventFilter(this);
    auto* qr = new QLabel(tab);
    qr->setObjectName(u"Image7"_s);
    qr->setPixmap(Picture(u"qrcode"_s, {84, 84}));
    auto* qrCaption = NamedLabel(u"lbQrCode"_s, u"QR CODE"_s, tab);
    qrCaption->setAlignment(Qt::AlignHCenter);
    right->addWidget(sd, 0, Qt::AlignHCenter);
    right->addWidget(lbSdFiles);
    right->addStretch(1);
    right->addWidget(qr, 0, Qt::AlignHCenter);
    right->addWidget(qrCaption);
    grid->addLayout(right);
    return tab;
}

QWidget* TForm1::BuildSettingsTab()
{
    auto* tab = new QWidget;
    tab->setObjectName(u"TabSheet3"_s);
    auto* v = new QVBoxLayout(tab);
    auto* group = new QGroupBox(u" COM port "_s, tab);
    group->setObjectName(u"GroupBox3"_s);
    auto* gh = new QHBoxLayout(group);
    auto* box = new TPortComboBox(group);
    box->setObjectName(u"ComboBox1"_s);
    QFont bold = box->font();
    bold.setBold(true);
    box->setFont(bold);
    box->setStyleSheet(u"QComboBox { color: blue; }"_s);
    box->setMinimumWidth(160);
    box->OnDropDown = [this, box] {
        box->clear();
        box->addItems(RvComPort1->AvailableComPorts());
    };
    ComboBox1 = box;
    auto* save = new QPushButton(u"Save"_s, group);
    save->setObjectName(u"BitBtn4"_s);
    connect(save, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
    Label14 = NamedLabel(u"Label14"_s, u"conn info"_s, group);
    Label14->setWordWrap(true);
    gh->addWidget(box);
    gh->addWidget(save);
    gh->addWidget(Label14, 1);
    v->addWidget(group);

    auto* rx = new QHBoxLayout;
    rx->addWidget(new QLabel(u"RX files folder:"_s, tab));
    edRxBinFilesFolder = new QLineEdit(RxBinFolder, tab);
    edRxBinFilesFolder->setObjectName(u"edRxBinFilesFolder"_s);
    edRxBinFilesFolder->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    btnSetRxBinFolder = new QPushButton(u"..."_s, tab);
    btnSetRxBinFolder->setObjectName(u"btnSetRxBinFolder"_s);
    btnSetRxBinFolder->setFixedWidth(32);
    connect(btnSetRxBinFolder, &QPushButton::clicked, this, [this] { ChooseRxFolder(); });
    rx->addWidget(edRxBinFilesFolder, 1);
    rx->addWidget(btnSetRxBinFolder);
    v->addLayout(rx);
    v->addStretch(1);
    return tab;
}

QWidget* TForm1::BuildTerminalTab()
{
    auto* tab = new QWidget;
    tab->setObjectName(u"TabSheet4"_s);
    auto* v = new QVBoxLayout(tab);
    Terminal = new TTerminalLog(tab);
    Terminal->setObjectName(u"Terminal"_s);
    v->addWidget(Terminal, 1);

    auto* counts = new QHBoxLayout;
    counts->addWidget(new QLabel(u"Lines count:"_s, tab));
    lbLinesCnt = NamedLabel(u"lbLinesCnt"_s, u"0"_s, tab);
    counts->addWidget(lbLinesCnt);
    counts->addSpacing(20);
    lbRxBin = NamedLabel(u"lbRxBin"_s, u"RX binary bytes:"_s, tab);
    lbRxBin->installEventFilter(this);
    lbBinRxBytes = NamedLabel(u"lbBinRxBytes"_s, u"0"_s, tab);
    SetTextColor(lbBinRxBytes, Qt::blue);
    counts->addWidget(lbRxBin);
    counts->addWidget(lbBinRxBytes);
    counts->addStretch(1);
    v->addLayout(counts);

    auto* row = new QHBoxLayout;
    edAtCMD = new QLineEdit(tab);
    edAtCMD->setObjectName(u"edAtCMD"_s);
    edAtCMD->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edAtCMD->setValidator(new TUpperCase(edAtCMD));
    auto* send = new QPushButton(u"wyślij"_s, tab);
    send->setObjectName(u"BitBtn12"_s);
    send->setDefault(true);
    CheckBox3 = new QCheckBox(u"Uppercase"_s, tab);
    CheckBox3->setObjectName(u"CheckBox3"_s);
    CheckBox3->setChecked(true);
    auto* clearLog = new QPushButton(u"clear LOG"_s, tab);
    clearLog->setObjectName(u"Button2"_s);
    auto* rxFolder = new QPushButton(u"RX Folder"_s, tab);
    rxFolder->setObjectName(u"Button3"_s);
    row->addWidget(edAtCMD, 1);
    row->addWidget(send);
    row->addWidget(CheckBox3);
    row->addWidget(clearLog);
    row->addWidget(rxFolder);
    v->addLayout(row);

    // The window's default button: Enter in the command box presses it.
    connect(edAtCMD, &QLineEdit::returnPressed, send, &QPushButton::click);
    connect(send, &QPushButton::clicked, this, [this] { SendAtCommand(); });
    connect(CheckBox3, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked) {
            edAtCMD->setValidator(new TUpperCase(edAtCMD));
            edAtCMD->setText(edAtCMD->text().toUpper());
        } else {
            delete edAtCMD->validator();
            edAtCMD->setValidator(nullptr);
        }
        edAtCMD->setFocus();
    });
    connect(clearLog, &QPushButton::clicked, this, [this] { Terminal->Clear(); });
    connect(rxFolder, &QPushButton::clicked, this, [this] { ExploreFolder(RxBinFolder); });
    FTerminalPaint = new TPaintThrottle(tab, 40);
    return tab;
}

void TForm1::BuildStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(u"StatusBar1"_s);
    bar->setSizeGripEnabled(true);
    const int widths[3] = {85, 140, 50};
    const QString texts[3] = {u"disconnected"_s, QString(), QString()};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QToolButton(bar);
        b->setObjectName(u"StatusPanel"_s + QString::number(i));
        b->setAutoRaise(true);
        b->setText(texts[i]);
        b->setMinimumWidth(widths[i]);
        if (i < 2)
            b->setMaximumWidth(widths[i]);
        else
            b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        FPanels[i] = b;
        bar->addWidget(b, i == 2 ? 1 : 0);
    }
    FPanels[1]->setToolTip(u"STOP receiving file"_s);
    connect(FPanels[0], &QToolButton::clicked, this, [this] { ConnectDisconnect(); });
    connect(FPanels[1], &QToolButton::clicked, this, [this] { FSd->StopReceiving(); });
    connect(FPanels[2], &QToolButton::clicked, this, [this] {
        // The update wizard arrives with the update service; until then the
        // product's page is where a newer version is found.
        if (FNewerVersion)
            OpenPath(kWebAddress);
        else
            ExploreFolder(RxBinFolder);
    });
    setStatusBar(bar);
}

// --- status bar -----------------------------------------------------------------

QToolButton* TForm1::StatusPanel(int index) const
{
    return index >= 0 && index < 3 ? FPanels[index] : nullptr;
}

void TForm1::SetPanelText(int index, const QString& text)
{
    if (QToolButton* b = StatusPanel(index))
        b->setText(text);
}

QString TForm1::PanelText(int index) const
{
    const QToolButton* b = StatusPanel(index);
    return b ? b->text() : QString();
}

void TForm1::SetBusyCursor(bool busy)
{
    if (busy) {
        if (!QApplication::overrideCursor())
            QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FLinkLoaded) {
        FLinkLoaded = true;
        QTimer::singleShot(0, this, [this] { RvComPort1->Loaded(); });
    }
    if (!FUpdateAsked)
        QMetaObject::invokeMethod(this, &TForm1::ApplyUpdateAnswer, Qt::QueuedConnection);
}

void TForm1::ApplyUpdateAnswer()
{
    if (FUpdateAsked)
        return;
    FUpdateAsked = true;
    IUpdateChecker::Answer answer;
    try {
        answer = FUpdateChecker->CheckForNewer();
    } catch (...) {
        answer = {};
    }
    QToolButton* p2 = FPanels[2];
    if (!answer.newer) {
        p2->setText(u"It's current ver. of QLS-WAV micro"_s);
        return;
    }
    FNewerVersion = true;
    // "&&" shows as one ampersand on a button.
    p2->setText(u"Click && get update: ver."_s + answer.version);
    QFont f = p2->font();
    f.setBold(true);
    p2->setFont(f);
    p2->setAutoRaise(false);
    auto* blink = new QTimer(p2);
    blink->setObjectName(u"UpdateBlink"_s);
    auto apply = [p2](bool on) {
        p2->setStyleSheet(on ? u"QToolButton { color: #2244ff; background: #303040; }"_s
                             : u"QToolButton { color: #303040; background: #303040; }"_s);
    };
    apply(true);
    connect(blink, &QTimer::timeout, p2, [apply, on = true]() mutable {
        on = !on;
        apply(on);
    });
    blink->start(600);
}

// --- the link -------------------------------------------------------------------

void TForm1::ConnectSelectedPort()
{
    if (Closing)
        return;
    const QString port = ComboBox1->currentText().trimmed();
    if (port.isEmpty())
        return;
    RvComPort1->SetComPort(port);
    RvComPort1->SetActive(true);
    RvComPort1->SetConnected(true);
    PumpDelay(100);
}

void TForm1::Timer3Timer()
{
    if (!Closing)
        ConnectSelectedPort();
    Timer3->setInterval(1000);
    Timer3->stop();
}

void TForm1::ConnectDisconnect()
{
    if (RvComPort1->Connected()) {
        RvComPort1->SetConnected(false);
        RvComPort1->SetActive(false);
        Timer3->stop();
        if (FileList && CloseFileList)
            CloseFileList();
        SetBusyCursor(false);
    } else {
        Timer3->setInterval(100);
        Timer3->start();
    }
}

void TForm1::SaveButtonClick()
{
    // Trimmed like the connect timer's port: a stray blank names no device.
    const QString port = ComboBox1->currentText().trimmed();
    RvComPort1->SetActive(false);
    RvComPort1->SetComPort(port);
    RvComPort1->SetActive(true);
    RvComPort1->SetConnected(true);
    RvFormSR1->SaveRegINI(u"comport"_s, port);
    PumpDelay(100);
}

void TForm1::RvComPort1Connected(QObject*)
{
    FLinkError.clear();
    FPanels[0]->setText(u"connected"_s);
    FPanels[0]->setToolTip(QString());
    if (FileList && FileListLinkText)
        FileListLinkText(u"connected"_s);
    Timer2->start();
    Label14->setText(u"connected on port "_s + RvComPort1->ComPort() + u"  baud: "_s +
                     RvComPort1->BaudRate());
}

void TForm1::RvComPort1Disconnected(QObject*)
{
    FPanels[0]->setText(u"disconnected"_s);
    if (FileList && FileListLinkText)
        FileListLinkText(u"disconnected"_s);
    Label14->setText(FLinkError.isEmpty() ? u"disconnected"_s : u"disconnected: "_s + FLinkError);
}

void TForm1::RvComPort1ComError(QObject*, int Error, const QString& Desc)
{
    // Kept until the next connection, so the disconnect that follows shows it too.
    FLinkError = Desc.trimmed().isEmpty() ? u"error "_s + QString::number(Error) : Desc.trimmed();
    FPanels[0]->setToolTip(FLinkError);
    if (FPanels[0]->text() != u"connected"_s)
        Label14->setText(u"disconnected: "_s + FLinkError);
}

// --- replies and commands ---------------------------------------------------------

void TForm1::RvComPort1RxString(QObject*, const QByteArray& ABuf)
{
    // Nothing may reach the serial worker, which waits for this handler.
    try {
        ReplyStep(ABuf);
    } catch (...) {
    }
}

void TForm1::ReplyStep(const QByteArray& ABuf)
{
    FTerminalPaint->Touch(); // before the log changes, so a burst paints in frames
    RxData = ABuf;
    QByteArray D = ABuf;
    QString S = FromWire(D);

    if (!FSd->DownloadRunning() && S.contains(u"+FREAD:"_s)) {
        if (FSd->HeaderStep(D, S))
            return;
    }
    if (FSd->DownloadRunning())
        FSd->DataStep(D);
    S = FromWire(D);
    const QString shown = FSd->TerminalText(S);

    Timer3->stop();
    lbLinesCnt->setText(QString::number(Terminal->AddLine(shown)));
    FSd->EndStep();
    Terminal->CutTo(kLogLimit);

    S = RemoveWhiteSpace(S);
    const QString trimmed = S.trimmed();
    if (trimmed == u"+LIST:"_s) {
        ListReading = true;
        SetBusyCursor(true);
        SetPanelText(1, u"reading DIR list, wait..."_s);
        FSd->ListStarted();
    }
    if (trimmed == u"+LIST_ERR:"_s) {
        SetPanelText(1, u"SD card missing"_s);
        FSd->ListError();
    }
    if (ListReading) {
        FSd->ListingStep(S);
        ListTmo->start();
        ScrollTerminal();
        return;
    }

    if (S.left(6) == u"+GCFG:"_s) {
        GcfgReply(S);
    } else if (S.left(7) == u"+PNAME:"_s) {
        QString rest = S;
        CutField(rest, u":"_s);
        edWavName->setText(rest);
        SetPanelText(1, rest);
        SetTextColor(lbPlay, kViolet);
    } else if (S.left(7) == u"+PSTOP:"_s) {
        edWavName->clear();
        SetTextColor(lbPlay, kGrey);
    }
    ScrollTerminal();
}

void TForm1::GcfgReply(const QString& S)
{
    const TGcfgReply r = TGcfgReply::Parse(S);
    FLastVolume = r.volume;
    SetSliderSilently(r.volume);
    SetCheckedSilently(CheckBox1, r.autoFade);
    if (r.autoFade)
        SetSliderSilently(r.fadeVolume);
    SetCheckedSilently(CheckBox2, r.mute);
    edWavName->setText(r.title);
    SetPanelText(1, r.title);
}

void TForm1::ScrollTerminal()
{
    Terminal->ScrollToEnd();
}

void TForm1::RvComPort1SendStr(QObject*, const QString& AString)
{
    try {
        FTerminalPaint->Touch();
        Terminal->AddLine(AString);
        ScrollTerminal();
        if (SentCommandStep)
            SentCommandStep(AString);
    } catch (...) {
    }
}

void TForm1::SendAtCommand()
{
    const QString text = edAtCMD->text();
    RvComPort1->SendString(text + u"\r"_s);
    RvFormSR1->SaveRegINI(u"last_at_cmd"_s, text);
}

void TForm1::SetSliderSilently(int position)
{
    FSliderTag = true;
    TrackBar1->setValue(position);
    FSliderTag = false;
}

void TForm1::PressLook(TPressPicture* picture, bool down)
{
    QLabel* labels[4] = {findChild<QLabel*>(u"lbStop"_s), findChild<QLabel*>(u"lbPause"_s), lbPlay,
                         findChild<QLabel*>(u"lbNext"_s)};
    const int tag = picture->Tag;
    if (tag < 0 || tag > 3)
        return;
    const bool titleEmpty = edWavName->text().trimmed().isEmpty();
    if (down) {
        if (tag != 2 || titleEmpty)
            SetTextColor(labels[tag], kGreen);
    } else if (tag != 2) {
        SetTextColor(labels[tag], kGrey);
    } else if (titleEmpty) {
        SetTextColor(lbPlay, kGrey);
    }
}

void TForm1::ChooseRxFolder()
{
    const QString chosen = BrowseForFolder(u"Get RX BIN Folder"_s, RxBinFolder, false);
    if (!chosen.isEmpty())
        edRxBinFilesFolder->setText(chosen);
    const QString text = edRxBinFilesFolder->text();
    if (!text.trimmed().isEmpty() && QDir(text.trimmed()).exists()) {
        RvFormSR1->SaveRegINI(u"rxbinfolder"_s, text);
        RxBinFolder = text.trimmed();
    } else {
        ShowMessageBox(u"Bad folder!"_s, u" BŁĄD !"_s, MB::Ok | MB::IconError);
        edRxBinFilesFolder->setFocus();
    }
}

void TForm1::PageChanged()
{
    if (FirmwarePage && FirmwarePage->parentWidget() != FFirmwareTab) {
        FirmwarePage->setParent(FFirmwareTab);
        FFirmwareTab->layout()->addWidget(FirmwarePage);
        FirmwarePage->show();
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (!label)
        return QMainWindow::eventFilter(watched, event);
    const QString name = label->objectName();
    const QEvent::Type t = event->type();
    if (t != QEvent::Enter && t != QEvent::Leave && t != QEvent::MouseButtonRelease)
        return QMainWindow::eventFilter(watched, event);
    const bool enter = t == QEvent::Enter;
    QFont f = label->font();
    if (name == u"lbWeb"_s) {
        if (t == QEvent::MouseButtonRelease) {
            OpenPath(kWebAddress);
        } else {
            f.setBold(enter);
            f.setUnderline(enter);
            label->setFont(f);
            SetTextColor(label, enter ? QColor(Qt::blue) : kGrey);
        }
    } else if (name == u"lbSdFiles"_s) {
        if (t == QEvent::MouseButtonRelease) {
            if (RvComPort1->Connected())
                FSd->OpenFileList();
        } else {
            f.setBold(enter);
            label->setFont(f);
        }
    } else if (name == u"lbRxBin"_s) {
        if (t == QEvent::MouseButtonRelease) {
            FSd->StopReceiving();
        } else {
            const bool live = enter && RvComPort1->RxBIN();
            f.setUnderline(live);
            label->setFont(f);
            label->setCursor(live ? Qt::PointingHandCursor : Qt::ArrowCursor);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- closing ----------------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* event)
{
    // The link's own close hook runs after this handler; the worker must be
    // gone before the rest of the sequence.
    RvComPort1->StopWorker(3010);
    Closing = true;
    Timer3->stop();
    if (RvComPort1->Connected()) {
        // Only until the link is down: there is no point in waiting longer.
        for (int round = 0; round < 60; ++round) {
            RvComPort1->SetConnected(false);
            PumpDelay(100);
            if (RvComPort1->Active())
                RvComPort1->SetActive(false);
            if (!RvComPort1->Connected() && !RvComPort1->Active())
                break;
        }
    }
    if (RvComPort1->Active())
        RvComPort1->SetActive(false);
    try {
        FSd->CloseDownloadFile();
    } catch (...) {
    }
    if (FileList && CloseFileList)
        CloseFileList();
    QMainWindow::closeEvent(event);
}
