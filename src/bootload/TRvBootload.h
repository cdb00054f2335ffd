#pragma once

#include "bootload/BootloadTypes.h"
#include "bootload/TUploadThread.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QIODevice;
class TNoticeChannel;
class TRvCloseGuard;

// Writes a firmware image through the board's serial bootloader (the BLS). One
// worker per action; its notices come back as events on this object's thread.
// While a worker runs, the owner window cannot be closed.
class TRvBootload : public QObject
{
    Q_OBJECT
public:
    explicit TRvBootload(QObject* owner = nullptr);
    ~TRvBootload() override;

    // Images: exactly one is held; setting one empties the other only through
    // the loaders (direct assignment sets just the one).
    void SetWsadBIN(const QByteArray& bytes) { FWsadBIN = bytes; }
    void SetWsadHEX(const QByteArray& digits) { FWsadHEX = digits; }
    // Read access for the owner and tests.
    QByteArray WsadBIN() const { return FWsadBIN; }
    QByteArray WsadHEX() const { return FWsadHEX; }

    bool UseVORIN_WIFI = false;
    QString WifiPassword;
    QString LocalIP;
    QString ComPort;
    QString Baudrate;
    bool UseBluetooth = false;
    bool UseSoftRST = true;
    bool UseCRafterSoftRST = true;
    QString SoftRSTCommand = QStringLiteral("AT+RST?");
    bool HwRstDTR = false;
    bool HwRstRTS = false;

    QString RemoteIP() const { return FRemoteIP; }
    void SetRemoteIP(const QString& ip);
    QString RemotePort() const { return FRemotePort; }
    void SetRemotePort(const QString& port);

    bool WiFiActive() const { return FWiFiActive; }
    // false drops the connection; true starts a connection check through
    // WiFiCheck, whose answer arrives as notice 1132.
    void SetWiFiActive(bool active);
    // The WiFi module query, supplied by the WiFi path: (notice channel,
    // address, keyword). Without one a check fails at once.
    std::function<void(TNoticeChannel*, const QString&, const QString&)> WiFiCheck;

    static QString Version() { return QStringLiteral("1.1"); }

    void SetOwnerHeader(const QString& hd);
    QString GetOwnerHeader() const { return FOwnerHeader; }
    const TBootHeader& Header() const { return FHeader; }

    static QByteArray StreamToString(QIODevice* aStream);
    void LoadBINfromStream(QIODevice* astream);
    void LoadHEXfromStream(QIODevice* astream);
    bool ReadHexFromFile(const QString& fname);
    bool ReadBinFromFile(const QString& fname);

    void CheckBLS();
    void UploadHEX();
    void UploadBIN();
    void GetWiFiModulesList();

    // Events, on this object's thread; unset ones are skipped.
    std::function<void(const QString& Description, int Error)> OnStatus;
    std::function<void(const TBLSINFO& InfoBLS, TMBaction mbAction, bool& StopBadTarget)> OnInfoBLS;
    std::function<void(int UploadSize)> OnUploadStart;
    std::function<void(const QString& UploadTime, int Progress)> OnUploadProgress;
    std::function<void()> OnUploadOK;
    std::function<void(const QList<TWIFIitem>& WiFiList, int cnt)> OnGetWiFiList;
    std::function<void(bool Success)> OnWiFiConnect;
    std::function<void()> OnWaitThreadEnd;
    std::function<void(TMBaction action, int status)> OnActionEnd;

    // Where workers get their port; tests put a failing port here.
    void SetPortFactory(TUploadThread::PortFactory factory) { FPortFactory = std::move(factory); }

    bool Busy() const { return FWorker != nullptr; }
    bool RvBootCanClose() const { return FCanClose.load(); }
    TMBaction Action() const { return FAction; }
    int ActionStatus() const { return FActionStatus; }
    const QList<TWIFIitem>& WiFiList() const { return FWiFiList; }
    // Where workers and WiFi queries post their notices.
    TNoticeChannel* Notices() const { return FNotices; }

private:
    void start(TMBaction action, bool check, bool hex, bool bin);
    bool refused(bool wifiChecks);
    void status(const QString& text, int code);
    void onNotice(int code, const QString& text, qint32 number);
    void onInfoBLS(const QString& text);
    void onWiFiList(const QString& text, int count);
    void onWiFiCheck(bool found);
    void workerEnded();

    QByteArray FWsadBIN;
    QByteArray FWsadHEX;
    QString FRemoteIP;
    QString FRemotePort;
    bool FWiFiActive = false;
    bool FChangeIpProblem = false;
    bool FChangePortProblem = false;
    TMBaction FAction = _none;
    int FActionStatus = 0;
    bool FStopBadTarget = false;
    QString FOwnerHeader;
    TBootHeader FHeader;
    QList<TWIFIitem> FWiFiList;
    std::atomic<bool> FCanClose{true};
    std::unique_ptr<TUploadThread> FWorker;
    TUploadThread::PortFactory FPortFactory;
    TNoticeChannel* FNotices;
    TRvCloseGuard* FGuard;
};
