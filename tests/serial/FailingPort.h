#pragma once

#include "serial/ISerialPort.h"

#include <QMutex>
#include <QThread>
#include <atomic>

// A port that opens, hands out scripted reads and fails its writes on demand:
// for the send-error rules and exact read boundaries, which a real line cannot
// be made to show.
class FailingPort : public ISerialPort
{
public:
    struct Script
    {
        std::atomic<int> failWrites{0};   // writes still to fail
        std::atomic<int> errorCode{9997}; // the code they fail with
        std::atomic<bool> neverDrains{false};
        std::atomic<int> writes{0}; // write calls seen
        std::atomic<int> blockReadsMs{0};
        QMutex lock;
        QList<QByteArray> reads; // results the reads hand out, one each // the next canRead hangs
                                 // this long (a stuck worker)
    };

    explicit FailingPort(Script& s) : FScript(s) {}

    bool open(const QString&) override { return FOpen = true; }
    void close() override { FOpen = false; }
    bool isOpen() const override { return FOpen; }
    bool configure(int, int, char, int, bool, bool) override { return true; }
    void setWriteTimeout(int) override {}
    void purge() override { clear(); }
    bool canRead(int ms) override
    {
        clear();
        if (const int hang = FScript.blockReadsMs.exchange(0))
            QThread::msleep(static_cast<unsigned long>(hang));
        {
            QMutexLocker l(&FScript.lock);
            if (!FScript.reads.isEmpty())
                return true;
        }
        QThread::msleep(std::min(ms, 2));
        return false;
    }
    QByteArray readAvailable(int) override
    {
        QMutexLocker l(&FScript.lock);
        return FScript.reads.isEmpty() ? QByteArray() : FScript.reads.takeFirst();
    }
    QByteArray readUntil(char, int) override { return {}; }
    QByteArray readCount(int, int) override { return {}; }
    int readByte(int) override { return -1; }
    bool canWrite(int) override
    {
        clear();
        return !FScript.neverDrains;
    }
    qint64 write(const QByteArray& data) override
    {
        clear();
        ++FScript.writes;
        if (FScript.failWrites > 0) {
            --FScript.failWrites;
            FError = FScript.errorCode;
            FErrorDesc = QStringLiteral("write failed");
            return 0;
        }
        return data.size();
    }
    bool checkHealth() override { return FOpen; }
    ModemLines modemLines() override { return {}; }
    void setDTR(bool) override {}
    void setRTS(bool) override {}
    int lastError() const override { return FError; }
    QString lastErrorDesc() const override { return FErrorDesc; }

private:
    void clear()
    {
        FError = 0;
        FErrorDesc.clear();
    }
    Script& FScript;
    bool FOpen = false;
    int FError = 0;
    QString FErrorDesc;
};
