#include "serial/TRvComPort.h"

#include "app/TWindowHook.h"
#include "app/Utils.h"
#include "serial/TRvComThread.h"
#include "serial/TSerialPortDevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QSerialPortInfo>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

TRvComPort::TRvComPort(QObject* owner) : QObject(owner), FOwner(owner)
{
    FPortFactory = [] { return std::make_unique<TSerialPortDevice>(); };
    FCheckTimer.setInterval(FCheckInterval);
    FTimeoutTimer.setInterval(static_cast<int>(std::lround(FCheckInterval + FCheckInterval / 4.0)));
    connect(&FCheckTimer, &QTimer::timeout, this, &TRvComPort::CheckTimerTick);
    connect(&FTimeoutTimer, &QTimer::timeout, this, &TRvComPort::TimeoutTimerTick);
    if (FEnableCheckTimer) {
        FCheckTimer.start();
        FTimeoutTimer.start();
    }
}

TRvComPort::~TRvComPort()
{
    FCheckTimer.stop();
    FTimeoutTimer.stop();
    delete FCloseHook;
    FCloseHook = nullptr;
    // The owner is being torn down: no more events reach it. The worker reads
    // this object, so it must be gone before the object is.
    OnActive = OnConnected = OnDisconnected = OnGetCTS = OnGetDSR = OnGetDCD = OnGetRING =
        OnATTimeOut = nullptr;
    OnComError = nullptr;
    OnRxString = nullptr;
    OnSendStr = nullptr;
    OnTxProgress = nullptr;
    StopWorker(3010);
}

void TRvComPort::Loaded()
{
    if (FOwner && FOwner->isWidgetType() && !FCloseHook) {
        FCloseHook = new TWindowHook(FOwner);
        FCloseHook->OnCloseQuery = [this](bool canClose) { return CloseQuery(canClose); };
    }
    SetActive(FActive);
    SetRTS(FRTS);
    SetDTR(FDTR);
}

bool TRvComPort::CloseQuery(bool canClose)
{
    if (canClose && FWorker)
        StopWorker(3010);
    return canClose;
}

bool TRvComPort::StopWorker(int ms)
{
    if (!FWorker)
        return true;
    FWorker->RequestStop();
    // 10 ms steps, serving events so the worker's hand-offs can run.
    QDeadlineTimer deadline(ms);
    while (FWorker && !FWorker->isFinished() && !deadline.hasExpired())
        PumpDelay(10);
    if (!FWorker)
        return true;
    TRvComThread* w = FWorker;
    const bool ended = w->wait(0);
    if (!ended) {
        w->terminate();
        w->wait();
        // Whatever the killed thread was doing with its port is undefined now.
        w->AbandonPort();
        // Hand-offs it left behind would run against a worker that is gone.
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    }
    FWorker = nullptr;
    FActive = false;
    delete w;
    return ended;
}

void TRvComPort::SetActive(bool value)
{
    if (!value) {
        FCheckTimer.stop();
        FTimeoutTimer.stop();
        FActive = false;
        // The wait lets a worker's last events run; without one there is none.
        if (FWorker) {
            FWorker->RequestStop();
            PumpDelay(200);
        }
        return;
    }
    if (FWorker && FWorker->ClearStop()) {
        FActive = true;
        return; // the worker that was told to stop carries on
    }
    auto* worker = new TRvComThread(this, FPortFactory);
    FWorker = worker;
    connect(worker, &QThread::finished, this, [this, guard = QPointer<TRvComThread>(worker)] {
        if (guard)
            WorkerFinished(guard);
    });
    {
        QMutexLocker lock(&FLock);
        worker->SetStartStr(StartStr);
    }
    worker->RequestModemLines(FDTR, FRTS);
    worker->start();
}

void TRvComPort::WorkerFinished(TRvComThread* worker)
{
    if (FWorker == worker)
        FWorker = nullptr;
    worker->wait();
    worker->deleteLater();
}

TRvComPort::WorkerView TRvComPort::View() const
{
    WorkerView v{FConnected, FAutoCR, FRxBIN, FCheckDoubleCRend, FUseCRC, FUseRS485, {}, {}};
    QMutexLocker lock(&FLock);
    v.doubleCRstring = FDoubleCRstring;
    v.rs485adr = FRS485adr;
    return v;
}

void TRvComPort::SetRTS(bool value)
{
    FRTS = value;
    // The port belongs to the worker: it drives the line on its next pass.
    if (FWorker && FWorker->PortOpen())
        FWorker->RequestModemLines(FDTR, FRTS);
}

void TRvComPort::SetDTR(bool value)
{
    FDTR = value;
    if (FWorker && FWorker->PortOpen())
        FWorker->RequestModemLines(FDTR, FRTS);
}

void TRvComPort::SetCheckInterval(int ms)
{
    FCheckInterval = ms;
    FTimeoutTimer.setInterval(ms * 3);
}

void TRvComPort::SetEnableCheckTimer(bool value)
{
    FEnableCheckTimer = value;
    if (value) {
        FCheckTimer.start();
        FTimeoutTimer.start();
    } else {
        FCheckTimer.stop();
        FTimeoutTimer.stop();
    }
}

QStringList TRvComPort::AvailableComPorts() const
{
    QStringList ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos) {
        const QString name = info.systemLocation().trimmed();
        if (!name.isEmpty())
            ports.append(name);
    }
    std::sort(ports.begin(), ports.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return ports;
}

void TRvComPort::SendString(const QString& Adata, bool AsGeneralCall)
{
    if (!FActive || !FConnected || !FWorker || !FWorker->PortOpen())
        return; // dropped while the link is down
    FLastSent = Adata;
    if (OnSendStr)
        OnSendStr(this, Adata);
    if (FWorker)
        FWorker->AddSendString(Adata, (FGeneralCall || AsGeneralCall) ? 1 : 0);
}

void TRvComPort::SendStringEx(const QString& str, const QString& atend, bool withCR)
{
    SetAutoCR(withCR);
    SetCheckDoubleCRend(!atend.isEmpty());
    SetDoubleCRstring(atend);
    SendString(str, false);
}

void TRvComPort::PurgeTx()
{
    if (FActive && FConnected && FWorker && FWorker->PortOpen())
        FWorker->PurgeQueue();
}

int TRvComPort::GetQueue() const
{
    return FWorker ? FWorker->QueueCount() : -1;
}

QString TRvComPort::GetLine() const
{
    if (!FWorker || FWorker->QueueCount() == 0)
        return QString();
    return FWorker->CrcStr();
}

void TRvComPort::SetStartStr(const QString& str)
{
    Q_UNUSED(str);
    if (FWorker)
        FWorker->SetStartStr(StartStr);
}

void TRvComPort::DoComError(int code, const QString& text)
{
    if (FWorker && OnComError)
        OnComError(this, code, text);
}

void TRvComPort::DoRxString(const QByteArray& line)
{
    FLastRx = line;
    if (OnRxString)
        OnRxString(this, line);
    FTimeoutTimer.stop();
    FCheckTimer.stop();
    if (FEnableCheckTimer)
        FCheckTimer.start();
    FTimeoutTimer.start();
}

void TRvComPort::DoDisconnected()
{
    FConnected = false;
    FAtWork = false;
    if (OnDisconnected)
        OnDisconnected(this);
}

void TRvComPort::CheckTimerTick()
{
    if (!FWorker)
        return;
    FCheckTimer.setInterval(FCheckInterval);
    FWorker->InsertCheckCommand(FCheckCmd);
}

void TRvComPort::TimeoutTimerTick()
{
    const bool checking = FCheckTimer.isActive();
    if (FActive && FConnected && FWorker && checking)
        FWorker->SetTimeOut();
    if (checking && OnATTimeOut)
        OnATTimeOut(this);
}
