#pragma once

#include "serial/ISerialPort.h"
#include "serial/TRvComPort.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

// The worker of TRvComPort: opens and configures the port, frames what arrives
// into lines or raw packets, hands each to the main thread and waits until it
// has been handled, sends the queued commands one at a time, and watches the
// modem inputs and the port's health.
class TRvComThread : public QThread
{
    Q_OBJECT
public:
    struct Entry
    {
        QString text;
        int mark = 0; // 1 = general call
    };

    TRvComThread(TRvComPort* parent, std::function<std::unique_ptr<ISerialPort>()> factory);
    ~TRvComThread() override;

    // Appends under the queue lock; thread-safe.
    void AddSendString(const QString& str, int gc);
    // Puts a command at the head of the queue when the queue is empty.
    bool InsertCheckCommand(const QString& str);
    void PurgeQueue();
    int QueueCount() const;
    QString CrcStr() const;

    bool PortOpen() const { return FTConnected; }
    // Writing false asks the worker to close the port.
    void SetConnected(bool value);

    // Returns false when the worker has already committed to ending.
    bool ClearStop();
    void RequestStop() { FT_STOP = true; }
    void SetTimeOut() { FTTimeOut = true; }
    void SetStartStr(const QString& str);
    void RequestModemLines(bool dtrLevel, bool rtsLevel);
    // After the thread was killed: leaves the port object alone (leaks it).
    void AbandonPort() { (void)FTSerial.release(); }

    // Raw framing rules, shared with tests.
    static QString ChecksumFrame(const QString& command);
    // A line as the line mode delivers it: one opening LF dropped, CR CR -> CR.
    static void CleanLine(QByteArray& line);

protected:
    void run() override;

private:
    void Open();
    QByteArray Receive(const TRvComPort::WorkerView& v, int& emptyCount);
    void DeliverLines(const TRvComPort::WorkerView& v, QByteArray first);
    void SendHead(int& sendErrors);
    void HandOff(std::function<void()> fn);
    void ReportError(int code, const QString& text);
    bool StopNow();

    TRvComPort* FTParent;
    std::function<std::unique_ptr<ISerialPort>()> FFactory;
    std::unique_ptr<ISerialPort> FTSerial;

    std::atomic<bool> FT_STOP{false};
    std::atomic<bool> FTConnected{false};
    std::atomic<bool> FTForceDisconnect{false};
    std::atomic<bool> FTTimeOut{false};
    std::atomic<bool> FLinesPending{false};
    std::atomic<bool> FDtrLevel{true};
    std::atomic<bool> FRtsLevel{true};
    bool FStopCommitted = false; // under FTCS

    int FTLastError = 0;
    QString FTLastErrorDesc;

    mutable QMutex FTCS; // the queue lock
    QList<Entry> FTSendBuffer;
    QString FTcrcStr;
    QString FStartStr;
};
