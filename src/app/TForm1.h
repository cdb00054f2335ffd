#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

class IUpdateChecker;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class QTimer;
class QToolButton;
class TPaintThrottle;
class TPressPicture;
class TRvComPort;
class TRvFormSR;
class TSdSteps;
class TTerminalLog;
class TfrmFileList;

// The main window: header, the four tabs, the status bar with its three button
// panels, the one serial link and the handler of everything the board sends.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    struct Options
    {
        // Pre-fills the port box for this run only (nothing is stored).
        QString port;
        // Null: the built-in checker, which knows of no newer version yet.
        std::shared_ptr<IUpdateChecker> updateChecker;
    };

    explicit TForm1(const Options& options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // --- shared with the SD explorer and the firmware page ---------------------
    TRvComPort* RvComPort1 = nullptr;
    TRvFormSR* RvFormSR1 = nullptr;
    TfrmFileList* FileList = nullptr; // the SD explorer while it exists
    QTimer* Timer1 = nullptr;         // volume send, 50 ms
    QTimer* Timer2 = nullptr;         // configuration query, 500 ms after connecting
    QTimer* Timer3 = nullptr;         // connect timer
    QTimer* ListTmo = nullptr;        // listing time-out; its handler is the explorer's
    bool ListReading = false;         // the listing flag
    bool OpenAfterRead = true;
    bool Closing = false;
    QString ProgramFolder; // ends with a separator
    QString RxBinFolder;   // the receive folder
    QByteArray RxData;     // the data the reply handler is working on, as received

    QComboBox* ComboBox1 = nullptr;
    QLabel* Label14 = nullptr;
    QLineEdit* edRxBinFilesFolder = nullptr;
    QPushButton* btnSetRxBinFolder = nullptr;
    QLabel* lbRxBin = nullptr;
    QLabel* lbBinRxBytes = nullptr;
    TTerminalLog* Terminal = nullptr;

    // Status bar panels 0..2 (null for any other index).
    QToolButton* StatusPanel(int index) const;
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;

    // Hooks the SD explorer fills while it exists; skipped when empty.
    std::function<void(const QString& text)> FileListLinkText; // "connected" / "disconnected"
    std::function<void()> CloseFileList;                       // close the explorer
    std::function<void(const QString& cmd)> SentCommandStep;   // every accepted command

    // The firmware page, moved into the "Firmware" tab at the first tab change.
    QWidget* FirmwarePage = nullptr;

    void ConnectDisconnect();
    void ConnectSelectedPort();
    // The busy cursor over the whole program, or back to normal.
    static void SetBusyCursor(bool busy);

    // --- event handlers ---------------------------------------------------------
    void RvComPort1RxString(QObject* Sender, const QByteArray& ABuf);
    void RvComPort1SendStr(QObject* Sender, const QString& AString);
    void RvComPort1Connected(QObject* Sender);
    void RvComPort1Disconnected(QObject* Sender);
    void RvComPort1ComError(QObject* Sender, int Error, const QString& Desc);

    // The reply step for "+GCFG:"; S without white space.
    void GcfgReply(const QString& S);

    TSdSteps& Sd() { return *FSd; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildHeader();
    QWidget* BuildPlayerTab();
    QWidget* BuildSettingsTab();
    QWidget* BuildTerminalTab();
    void BuildStatusBar();
    void ApplyUpdateAnswer();
    void ReplyStep(const QByteArray& ABuf);
    void ScrollTerminal();
    void SetSliderSilently(int position);
    void PressLook(TPressPicture* picture, bool down);
    void SendAtCommand();
    void ChooseRxFolder();
    void Timer3Timer();
    void SaveButtonClick();
    void PageChanged();

    std::unique_ptr<TSdSteps> FSd;
    std::shared_ptr<IUpdateChecker> FUpdateChecker;
    QString FLinkError; // why the last attempt failed, until the next one
    int FLastVolume = 0;
    bool FSliderTag = false;
    bool FUpdateAsked = false;
    bool FLinkLoaded = false;
    bool FNewerVersion = false;

    QTabWidget* PageControl1 = nullptr;
    QWidget* FFirmwareTab = nullptr;
    QToolButton* FPanels[3] = {};
    QLineEdit* edWavName = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QLabel* lbPlay = nullptr;
    QLabel* lbLinesCnt = nullptr;
    QLineEdit* edAtCMD = nullptr;
    TPaintThrottle* FTerminalPaint = nullptr;
};
