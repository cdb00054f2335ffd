#pragma once

#include <QByteArray>
#include <QString>

// The serial port object under the serial and bootloader workers: exactly the
// timed operations they need. It is created and used on one worker thread only.
// Every operation starts by clearing the last error; a failing one leaves its
// code (SerialErrors.h, else errno) and a text a person can act on.
class ISerialPort
{
public:
    struct ModemLines
    {
        bool cts = false;
        bool dsr = false;
        bool dcd = false;
        bool ring = false;
    };

    virtual ~ISerialPort() = default;

    // Opens the device by name (e.g. /dev/ttyUSB0). False with the error set.
    virtual bool open(const QString& name) = 0;
    // Closes the port; RTS and DTR drop. Harmless when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // parity: one of 'N', 'O', 'E', 'M', 'S'; stopBits 1 or 2.
    virtual bool configure(int baudRate, int dataBits, char parity, int stopBits, bool softwareFlow,
                           bool hardwareFlow) = 0;
    virtual void setWriteTimeout(int ms) = 0;

    // Drops the driver's input and output and any bytes kept from an earlier read.
    virtual void purge() = 0;

    // True when kept bytes exist or bytes arrive within ms.
    virtual bool canRead(int ms) = 0;
    // The kept bytes, else what waits in the driver, else what arrives within ms
    // (empty and ErrTimeout when nothing does).
    virtual QByteArray readAvailable(int ms) = 0;
    // Bytes up to (not including) the terminator, which is consumed; the bytes
    // after it are kept. When ms pass without a new byte: empty, partial data kept.
    virtual QByteArray readUntil(char terminator, int ms) = 0;
    // Up to `count` bytes, waiting at most ms in all; fewer on time-out (ErrTimeout).
    virtual QByteArray readCount(int count, int ms) = 0;
    // One byte within ms, or -1 (ErrTimeout).
    virtual int readByte(int ms) = 0;

    // Up to `max` of the bytes kept from earlier reads, without taking them. Lets
    // a reader see complete lines that are already here; none by default.
    virtual QByteArray peekKept(qsizetype max) const
    {
        Q_UNUSED(max);
        return QByteArray();
    }

    // True when the output queue is empty within ms.
    virtual bool canWrite(int ms) = 0;
    // Writes all bytes, waiting at most the write time-out; returns bytes written.
    virtual qint64 write(const QByteArray& data) = 0;

    // The comm-state query: false once the device is gone or hung up.
    virtual bool checkHealth() = 0;

    // Lines the device cannot report (a pseudo-terminal) read as false.
    virtual ModemLines modemLines() = 0;
    // true asserts the line.
    virtual void setDTR(bool asserted) = 0;
    virtual void setRTS(bool asserted) = 0;

    virtual int lastError() const = 0;
    virtual QString lastErrorDesc() const = 0;
};
