#pragma once

#include "bootload/BootloadTypes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

class ISerialPort;
class TNoticeChannel;

// The bootloader worker: one action (check or upload) over its own serial port,
// reporting through numbered notices only. The component writes the settings
// before start() and only StopBadTarget (and Stop) while it runs.
class TUploadThread : public QThread
{
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<ISerialPort>()>;

    // header: the component's OwnerHeader, read once here. canClose: the
    // component's flag, cleared now and set when the run ends.
    TUploadThread(TNoticeChannel* notices, const QString& header, std::atomic<bool>* canClose,
                  PortFactory portFactory = {});
    ~TUploadThread() override;

    // Settings.
    QString ComPort;
    QString BaudRate;
    QByteArray WsadBin;
    QByteArray WsadHex;
    std::atomic<bool> Stop{false};
    bool UseCRinRSTcommand = true;
    bool UseSoftReset = true;
    bool UseBluetooth = false;
    QString SoftResetCmd;
    bool CheckBLS = false;
    bool UseVORIN_WIFI = false;
    bool GetWiFiList = false;
    QString WifiPassword;
    QString RemoteIP;
    QString RemotePort;
    QStringList ModsList;
    bool ResetDTR = false;
    bool ResetRTS = false;

    // -1 no answer yet, 0 go on, 1 stop.
    std::atomic<int> StopBadTarget{-1};

    // Queued on the notice channel after the last notice of the run.
    std::function<void()> OnEnd;

    const TBootHeader& Header() const { return FHeader; }

    // "01 m 05 s 042 ms"; hours are dropped.
    static QString ElapsedText(qint64 ms);

protected:
    void run() override;

private:
    void runSerial(ISerialPort& port);
    void runWiFi();
    bool stopRequested() const;
    void post(int code, const QString& text = QString(), qint32 number = 0);
    // Notice 1127 with the text and code, then 1133 with -1.
    void failWith(const QString& text, int code);
    void failWithPort(ISerialPort& port);

    TNoticeChannel* FNotices;
    TBootHeader FHeader;
    std::atomic<bool>* FCanClose;
    PortFactory FPortFactory;
    TBLSINFO FBLSInfo;
    QElapsedTimer FStart;
    qint64 FBytesSent = 0;
    int FProgress = 0;
    int FFailures = 0;
};
