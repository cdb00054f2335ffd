#pragma once

#include "serial/ISerialPort.h"

#include <QSerialPort>

// The serial port object on QSerialPort, used through its blocking calls on the
// thread that created it. Pseudo-terminals work: lines they cannot report read
// as false, and a hang-up (master side closed, USB device unplugged) fails the
// health query.
class TSerialPortDevice : public ISerialPort
{
public:
    TSerialPortDevice();
    ~TSerialPortDevice() override;

    bool open(const QString& name) override;
    void close() override;
    bool isOpen() const override;
    bool configure(int baudRate, int dataBits, char parity, int stopBits, bool softwareFlow,
                   bool hardwareFlow) override;
    void setWriteTimeout(int ms) override { FWriteTimeout = ms; }
    void purge() override;
    bool canRead(int ms) override;
    QByteArray readAvailable(int ms) override;
    QByteArray readUntil(char terminator, int ms) override;
    QByteArray readCount(int count, int ms) override;
    int readByte(int ms) override;
    QByteArray peekKept(qsizetype max) const override { return FKept.mid(FKeptPos, max); }
    bool canWrite(int ms) override;
    qint64 write(const QByteArray& data) override;
    bool checkHealth() override;
    ModemLines modemLines() override;
    void setDTR(bool asserted) override;
    void setRTS(bool asserted) override;
    int lastError() const override { return FLastError; }
    QString lastErrorDesc() const override { return FLastErrorDesc; }

    // A text for a failed opening, with what to do about it ("dialout" etc.).
    static QString OpenErrorText(const QString& name, int err);

private:
    void clearError();
    void setError(int code, const QString& text);
    void setErrorFromPort();
    qsizetype keptSize() const { return FKept.size() - FKeptPos; }
    QByteArray takeKept(qsizetype n);
    // Moves what the driver holds into the kept bytes; waits up to ms when empty.
    bool fetch(int ms);
    bool setModemLine(int line, bool asserted);

    QSerialPort FPort;
    QString FName;
    int FWriteTimeout = 1000;
    int FLastError = 0;
    QString FLastErrorDesc;
    int FOpenError = 0;
    QString FOpenErrorDesc;
    QByteArray FKept;
    qsizetype FKeptPos = 0;
    qsizetype FScanned = 0; // kept bytes already searched for a terminator
    bool FModemSupported = true;
};
