#pragma once

#include "serial/ISerialPort.h"
#include "serial/TATCommands.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

class TRvComThread;
class TWindowHook;

enum class TParityBits
{
    prNone,
    prOdd,
    prEven,
    prMark,
    prSpace
};

enum class TStopBits
{
    sbOneStopBit,
    sbTwoStopBits
};

// The serial link: one port turned into lines (or raw packets) in and a queue of
// commands out. All port I/O happens on the worker thread; every event reaches
// the owner on the main thread, and while a handler runs the worker waits.
class TRvComPort : public QObject
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TOnComError = std::function<void(QObject* Sender, int Error, const QString& Desc)>;
    using TOnRxString = std::function<void(QObject* Sender, const QByteArray& ABuf)>;
    using TOnSendStr = std::function<void(QObject* Sender, const QString& AString)>;
    using TOnTxBufProgress = std::function<void(QObject* Sender, int Position)>;
    using PortFactory = std::function<std::unique_ptr<ISerialPort>()>;

    explicit TRvComPort(QObject* owner = nullptr);
    ~TRvComPort() override;

    // End of the owner's setup: chains into the owner window's close request and
    // applies Active, _RTS and _DTR again.
    void Loaded();

    // --- properties -------------------------------------------------------
    bool Active() const { return FActive; }
    void SetActive(bool value);
    bool Connected() const { return FConnected; }
    void SetConnected(bool value) { FConnected = value; }

    QString ComPort() const { return Locked(FComPort); }
    void SetComPort(const QString& value) { SetLocked(FComPort, value); }
    QString BaudRate() const { return Locked(FBaudRate); }
    void SetBaudRate(const QString& value) { SetLocked(FBaudRate, value); }
    QString DataBits() const { return Locked(FDataBits); }
    void SetDataBits(const QString& value) { SetLocked(FDataBits, value); }
    TParityBits ParityBits() const { return FParity; }
    void SetParityBits(TParityBits value) { FParity = value; }
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value) { FStopBits = value; }

    bool AutoCR() const { return FAutoCR; }
    void SetAutoCR(bool value) { FAutoCR = value; }
    bool RxBIN() const { return FRxBIN; }
    void SetRxBIN(bool value) { FRxBIN = value; }
    bool CheckDoubleCRend() const { return FCheckDoubleCRend; }
    void SetCheckDoubleCRend(bool value) { FCheckDoubleCRend = value; }
    QString DoubleCRstring() const { return Locked(FDoubleCRstring); }
    void SetDoubleCRstring(const QString& value) { SetLocked(FDoubleCRstring, value); }

    // Levels: true leaves the line de-asserted, false asserts it.
    bool RTS() const { return FRTS; }
    void SetRTS(bool value);
    bool DTR() const { return FDTR; }
    void SetDTR(bool value);

    bool AT_WORK() const { return FAtWork; }

    int CheckInterval() const { return FCheckInterval; }
    void SetCheckInterval(int ms);
    QString CheckCmd() const { return FCheckCmd; }
    void SetCheckCmd(const QString& value) { FCheckCmd = value; }
    bool EnableCheckTimer() const { return FEnableCheckTimer; }
    void SetEnableCheckTimer(bool value);

    bool UseCRC() const { return FUseCRC; }
    void SetUseCRC(bool value) { FUseCRC = value; }
    QString RS485adr() const { return Locked(FRS485adr); }
    void SetRS485adr(const QString& value) { SetLocked(FRS485adr, value); }
    bool UseRS485() const { return FUseRS485; }
    void SetUseRS485(bool value) { FUseRS485 = value; }
    bool GeneralCall() const { return FGeneralCall; }
    void SetGeneralCall(bool value) { FGeneralCall = value; }

    TATCommands& ATCommands() { return FATCommands; }
    void SetATCommands(const TATCommands& value) { FATCommands.Assign(value); }

    // Written in front of every command sent without checksum framing; the
    // worker uses its own copy, taken by SetStartStr.
    QString StartStr;

    // Last modem input states seen by the worker.
    bool CTS() const { return FCTS; }
    bool DSR() const { return FDSR; }
    bool DCD() const { return FDCD; }
    bool RING() const { return FRING; }

    // The serial ports present, enumerated afresh on every call.
    QStringList AvailableComPorts() const;

    // --- operations ---------------------------------------------------------
    void SendString(const QString& Adata, bool AsGeneralCall = false);
    void SendStringEx(const QString& str, const QString& atend, bool withCR);
    void PurgeTx();
    int GetQueue() const;
    QString GetLine() const;
    void SetStartStr(const QString& str);

    QByteArray LastRxLine() const { return FLastRx; }
    QString LastSentString() const { return FLastSent; }

    // Tests replace the port object; the factory runs on the worker thread.
    void SetPortFactory(PortFactory factory) { FPortFactory = std::move(factory); }

    // Sets the stop flag and waits, serving events, for the worker to end;
    // a worker still running after `ms` is killed. True when it ended by itself.
    bool StopWorker(int ms);

    // --- events ---------------------------------------------------------------
    TNotifyEvent OnActive;
    TNotifyEvent OnConnected;
    TNotifyEvent OnDisconnected;
    TOnComError OnComError;
    TOnRxString OnRxString;
    TOnSendStr OnSendStr;
    TOnTxBufProgress OnTxProgress;
    TNotifyEvent OnGetCTS;
    TNotifyEvent OnGetDSR;
    TNotifyEvent OnGetDCD;
    TNotifyEvent OnGetRING;
    TNotifyEvent OnATTimeOut;

protected:
    virtual void DoComError(int code, const QString& text);
    virtual void DoRxString(const QByteArray& line);

private:
    friend class TRvComThread;

    // What the worker reads afresh on every pass, taken under one lock.
    struct WorkerView
    {
        bool connected;
        bool autoCR;
        bool rxBIN;
        bool checkDoubleCRend;
        bool useCRC;
        bool useRS485;
        QString doubleCRstring;
        QString rs485adr;
    };
    WorkerView View() const;

    // The strings the worker reads are taken and set under FLock.
    QString Locked(const QString& field) const
    {
        QMutexLocker lock(&FLock);
        return field;
    }
    void SetLocked(QString& field, const QString& value)
    {
        QMutexLocker lock(&FLock);
        field = value;
    }

    void DoDisconnected();
    void CheckTimerTick();
    void TimeoutTimerTick();
    void WorkerFinished(TRvComThread* worker);
    bool CloseQuery(bool canClose);

    QObject* FOwner;
    QPointer<TRvComThread> FWorker;
    PortFactory FPortFactory;
    TWindowHook* FCloseHook = nullptr;

    std::atomic<bool> FActive{false};
    std::atomic<bool> FConnected{false};
    std::atomic<bool> FAutoCR{true};
    std::atomic<bool> FRxBIN{false};
    std::atomic<bool> FCheckDoubleCRend{false};
    std::atomic<bool> FUseCRC{false};
    std::atomic<bool> FUseRS485{false};
    std::atomic<bool> FAtWork{false};
    std::atomic<bool> FCTS{false}, FDSR{false}, FDCD{false}, FRING{false};
    bool FRTS = true;
    bool FDTR = true;
    bool FGeneralCall = false;
    TParityBits FParity = TParityBits::prNone;
    TStopBits FStopBits = TStopBits::sbOneStopBit;

    mutable QMutex FLock; // guards the strings below
    QString FComPort = QStringLiteral("COM1");
    QString FBaudRate = QStringLiteral("9600");
    QString FDataBits = QStringLiteral("8");
    QString FDoubleCRstring = QStringLiteral("#5A5A#");
    QString FRS485adr;

    int FCheckInterval = 5000;
    QString FCheckCmd = QStringLiteral("AT");
    bool FEnableCheckTimer = false;
    TATCommands FATCommands;

    QByteArray FLastRx;
    QString FLastSent;
    QTimer FCheckTimer;
    QTimer FTimeoutTimer;
};
