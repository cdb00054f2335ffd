#include "serial/TRvComThread.h"

#include "serial/SerialErrors.h"
#include "serial/TRvComPort.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QSemaphore>
#include <cxxabi.h>

using namespace Qt::StringLiterals;

TRvComThread::TRvComThread(TRvComPort* parent,
                           std::function<std::unique_ptr<ISerialPort>()> factory)
    : FTParent(parent), FFactory(std::move(factory))
{
    // Runs on the main thread: the component is active from here on.
    FTParent->FActive = true;
    if (FTParent->OnActive)
        FTParent->OnActive(FTParent);
}

TRvComThread::~TRvComThread() = default;

void TRvComThread::AddSendString(const QString& str, int gc)
{
    QMutexLocker lock(&FTCS);
    FTSendBuffer.append(Entry{str, gc});
}

bool TRvComThread::InsertCheckCommand(const QString& str)
{
    QMutexLocker lock(&FTCS);
    if (!FTSendBuffer.isEmpty())
        return false;
    FTSendBuffer.prepend(Entry{str, 0});
    return true;
}

void TRvComThread::PurgeQueue()
{
    QMutexLocker lock(&FTCS);
    FTSendBuffer.clear();
}

int TRvComThread::QueueCount() const
{
    QMutexLocker lock(&FTCS);
    return static_cast<int>(FTSendBuffer.size());
}

QString TRvComThread::CrcStr() const
{
    QMutexLocker lock(&FTCS);
    return FTcrcStr;
}

void TRvComThread::SetConnected(bool value)
{
    if (!value)
        FTForceDisconnect = true;
}

bool TRvComThread::ClearStop()
{
    QMutexLocker lock(&FTCS);
    if (FStopCommitted)
        return false;
    FT_STOP = false;
    return true;
}

bool TRvComThread::StopNow()
{
    QMutexLocker lock(&FTCS);
    if (FT_STOP)
        FStopCommitted = true;
    return FStopCommitted;
}

void TRvComThread::SetStartStr(const QString& str)
{
    QMutexLocker lock(&FTCS);
    FStartStr = str;
}

void TRvComThread::RequestModemLines(bool dtrLevel, bool rtsLevel)
{
    FDtrLevel = dtrLevel;
    FRtsLevel = rtsLevel;
    FLinesPending = true;
}

QString TRvComThread::ChecksumFrame(const QString& command)
{
    quint64 sum = 0;
    for (const QChar c : command)
        sum += c.unicode();
    return u"$#"_s + QString::number(sum) + u'@' + command;
}

void TRvComThread::HandOff(std::function<void()> fn)
{
    // The token is released when the call has run, or when it is dropped
    // because the component is gone, so the worker never waits for ever.
    auto done = std::make_shared<QSemaphore>(0);
    std::shared_ptr<void> token(nullptr, [done](void*) { done->release(); });
    QMetaObject::invokeMethod(
        FTParent, [fn = std::move(fn), token]() mutable { fn(); }, Qt::QueuedConnection);
    token.reset();
    done->acquire();
}

void TRvComThread::ReportError(int code, const QString& text)
{
    FTLastError = code;
    FTLastErrorDesc = text;
    TRvComPort* p = FTParent;
    HandOff([p, code, text] { p->DoComError(code, text); });
}

void TRvComThread::Open()
{
    TRvComPort* p = FTParent;
    bool ok = false;
    int baud = p->BaudRate().trimmed().toInt(&ok);
    if (!ok)
        baud = 9600;
    int dataBits = p->DataBits().trimmed().toInt(&ok);
    if (!ok)
        dataBits = 8;
    static constexpr char parities[] = {'N', 'O', 'E', 'M', 'S'};
    const char parity = parities[static_cast<int>(p->ParityBits())];
    const int stopBits = p->StopBits() == TStopBits::sbTwoStopBits ? 2 : 1;

    FTSerial->purge();
    FTSerial->setWriteTimeout(1000);
    FTSerial->open(p->ComPort());
    if (FTSerial->lastError() != 0)
        ReportError(FTSerial->lastError(), FTSerial->lastErrorDesc());
    const bool configured = FTSerial->configure(baud, dataBits, parity, stopBits, false, false);
    const int error = FTSerial->lastError();
    const QString errorText = FTSerial->lastErrorDesc();
    FTSerial->purge();
    if (!configured || error != 0 || !FTSerial->isOpen()) {
        ReportError(error, errorText);
        FT_STOP = true;
        return;
    }
    FTSerial->setDTR(!p->DTR());
    FTSerial->setRTS(!p->RTS());
    FTConnected = true;
    FTTimeOut = false;
    HandOff([p] {
        if (p->OnConnected)
            p->OnConnected(p);
    });
}

QByteArray TRvComThread::Receive(const TRvComPort::WorkerView& v, int& emptyCount)
{
    if (!v.autoCR || v.rxBIN) {
        // Up to 5 s for a packet, in slices, so a stop request is not kept waiting.
        QByteArray packet;
        QDeadlineTimer deadline(5000);
        do {
            packet = FTSerial->readAvailable(int(std::min<qint64>(50, deadline.remainingTime())));
        } while (packet.isEmpty() && !FT_STOP && !deadline.hasExpired());
        // Raw packets go out exactly as read, a lone LF too: inside a file it is
        // data, and the reader of a header line knows to skip its LF.
        return packet;
    }
    QByteArray line = FTSerial->readUntil('\r', 100);
    if (v.checkDoubleCRend) {
        if (!line.isEmpty()) {
            emptyCount = 0;
        } else if (emptyCount < 3) {
            ++emptyCount;
            if (emptyCount == 2)
                line = v.doubleCRstring.toLatin1();
        }
    }
    CleanLine(line);
    return line;
}

void TRvComThread::CleanLine(QByteArray& line)
{
    if (line.startsWith('\n'))
        line.remove(0, 1);
    if (line.contains("\r\r"))
        line.replace("\r\r", "\r");
}

void TRvComThread::DeliverLines(const TRvComPort::WorkerView& v, QByteArray first)
{
    // Complete lines already kept behind this one go in the same hand-off, one
    // handler call each. The handler may change the mode, or stop the link, at
    // any line: the rest then stays with the port and is read afresh.
    QList<QByteArray> more;
    if (v.autoCR && !v.rxBIN && !v.checkDoubleCRend) {
        const QByteArray kept = FTSerial->peekKept(4096);
        qsizetype from = 0;
        for (qsizetype cr; more.size() < 256 && (cr = kept.indexOf('\r', from)) >= 0; from = cr + 1)
            more.append(kept.mid(from, cr - from));
    }
    TRvComPort* p = FTParent;
    TRvComThread* self = this;
    int taken = 0;
    HandOff([p, self, &first, &more, &taken] {
        p->DoRxString(first);
        for (QByteArray& line : more) {
            if (self->FT_STOP || p->FWorker != self || !p->FAutoCR || p->FRxBIN ||
                p->FCheckDoubleCRend)
                break;
            ++taken;
            CleanLine(line);
            if (!line.isEmpty())
                p->DoRxString(line);
        }
    });
    for (int i = 0; i < taken; ++i)
        FTSerial->readUntil('\r', 0);
}

void TRvComThread::SendHead(int& sendErrors)
{
    Entry head;
    QString startStr;
    {
        QMutexLocker lock(&FTCS);
        if (FTSendBuffer.isEmpty())
            return;
        head = FTSendBuffer.first();
        startStr = FStartStr;
    }
    const TRvComPort::WorkerView v = FTParent->View();
    QString address;
    if (v.useRS485) {
        bool ok = false;
        int adr = v.rs485adr.trimmed().toInt(&ok);
        if (!ok)
            adr = 16;
        address = head.mark == 1 ? QString(QChar(0x00FF)) : QString(QChar(adr));
    }

    int error = 0;
    QString errorText;
    if (v.useCRC) {
        const QString frame = address + ChecksumFrame(head.text);
        {
            QMutexLocker lock(&FTCS);
            FTcrcStr = frame;
        }
        FTSerial->write((frame + u'\r').toLatin1());
        error = FTSerial->lastError();
        errorText = FTSerial->lastErrorDesc();
    } else {
        const QString frame = address + head.text;
        {
            QMutexLocker lock(&FTCS);
            FTcrcStr = frame;
        }
        if (FTSerial->canWrite(100)) {
            QString wire = startStr + frame;
            if (v.autoCR)
                wire += u'\r';
            FTSerial->write(wire.toLatin1());
            error = FTSerial->lastError();
            errorText = FTSerial->lastErrorDesc();
            // Each command leaves the driver before the next is taken.
            while (!FT_STOP && FTSerial->isOpen() && !FTSerial->canWrite(100))
                QThread::msleep(1);
            if (error != 0) {
                const QString text =
                    error > SerialError::AlreadyOwned
                        ? QString::number(error) + u" - Synaser Eror: "_s + SerialError::Name(error)
                        : u"err - "_s + errorText;
                ReportError(error, text);
            }
        }
    }

    TRvComPort* p = FTParent;
    if (error != 0) {
        ++sendErrors;
        if (error == SerialError::Frame || sendErrors <= 3)
            return; // stays at the head and goes again on the next pass
        sendErrors = 0;
        const QString text = error > SerialError::AlreadyOwned ? u"999 - Synaser ErrFrame"_s
                                                               : u"err - "_s + errorText;
        ReportError(error, text);
        {
            QMutexLocker lock(&FTCS);
            if (!FTSendBuffer.isEmpty())
                FTSendBuffer.removeFirst();
        }
        HandOff([p] { p->DoDisconnected(); });
        return;
    }
    int left = 0;
    {
        QMutexLocker lock(&FTCS);
        if (!FTSendBuffer.isEmpty())
            FTSendBuffer.removeFirst();
        left = static_cast<int>(FTSendBuffer.size());
    }
    HandOff([p, left] {
        if (p->OnTxProgress)
            p->OnTxProgress(p, left);
    });
}

void TRvComThread::run()
{
    TRvComPort* p = FTParent;
    try {
        FTSerial = FFactory ? FFactory() : nullptr;
        if (!FTSerial) {
            ReportError(SerialError::WrongParameter, u"No serial port object"_s);
            FT_STOP = true;
        } else {
            FTSerial->purge();
            if (p->Connected() && !FTConnected)
                Open();
        }
        p->FAtWork = false;
        int sendErrors = 0;
        int emptyCount = 0;
        while (!StopNow()) {
            if (FTTimeOut.exchange(false)) {
                FTConnected = false;
                FTSerial->purge();
                FTSerial->close();
                HandOff([p] { p->DoDisconnected(); });
            }
            if (!FTConnected && p->Connected())
                Open();
            if (!FTConnected) {
                if (!FT_STOP)
                    QThread::msleep(1);
                continue;
            }
            if (FLinesPending.exchange(false)) {
                FTSerial->setDTR(!FDtrLevel);
                FTSerial->setRTS(!FRtsLevel);
            }

            if (FTSerial->canRead(10)) {
                // The settings as they stand for this read (a handler may change them).
                const TRvComPort::WorkerView view = p->View();
                QByteArray result = Receive(view, emptyCount);
                if (!result.isEmpty()) {
                    DeliverLines(view, std::move(result));
                    p->FAtWork = true;
                }
            }

            if (!FTSerial->checkHealth()) {
                FT_STOP = true;
                ReportError(FTSerial->lastError(), FTSerial->lastErrorDesc());
                break;
            }

            const ISerialPort::ModemLines now = FTSerial->modemLines();
            auto modem = [&](bool value, std::atomic<bool>& stored,
                             TRvComPort::TNotifyEvent TRvComPort::*event) {
                if (value == stored)
                    return;
                stored = value;
                HandOff([p, event] {
                    if (p->*event)
                        (p->*event)(p);
                });
            };
            modem(now.cts, p->FCTS, &TRvComPort::OnGetCTS);
            modem(now.dsr, p->FDSR, &TRvComPort::OnGetDSR);
            modem(now.dcd, p->FDCD, &TRvComPort::OnGetDCD);
            modem(now.ring, p->FRING, &TRvComPort::OnGetRING);

            if (FTForceDisconnect.exchange(false)) {
                FTConnected = false;
                FTSerial->close();
                p->FConnected = false;
                HandOff([p] { p->DoDisconnected(); });
                p->FAtWork = false;
            }

            SendHead(sendErrors);
        }
        if (FTConnected) {
            FTSerial->close();
            FTConnected = false;
            HandOff([p] { p->DoDisconnected(); });
        }
        TRvComThread* self = this;
        HandOff([p, self] {
            if (p->FWorker == self)
                p->FActive = false;
            if (p->OnActive)
                p->OnActive(p);
        });
    } catch (abi::__forced_unwind&) {
        throw; // the thread is being killed: let it go
    } catch (...) {
        ReportError(-200, u"Thread exception"_s);
    }
    if (FTSerial)
        FTSerial->close();
    HandOff([p] { p->DoDisconnected(); });
    FTSerial.reset();
}
