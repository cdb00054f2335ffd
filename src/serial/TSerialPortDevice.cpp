#include "serial/TSerialPortDevice.h"

#include "serial/SerialErrors.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

int remainingMs(const QDeadlineTimer& d)
{
    return static_cast<int>(std::max<qint64>(0, d.remainingTime()));
}
} // namespace

TSerialPortDevice::TSerialPortDevice()
{
    FPort.setReadBufferSize(0);
}

TSerialPortDevice::~TSerialPortDevice()
{
    TSerialPortDevice::close();
}

void TSerialPortDevice::clearError()
{
    FLastError = 0;
    FLastErrorDesc.clear();
}

void TSerialPortDevice::setError(int code, const QString& text)
{
    FLastError = code;
    FLastErrorDesc = text;
}

void TSerialPortDevice::setErrorFromPort()
{
    const int savedErrno = errno;
    switch (FPort.error()) {
    case QSerialPort::NoError:
        return;
    case QSerialPort::DeviceNotFoundError:
        setError(ENOENT, OpenErrorText(FName, ENOENT));
        break;
    case QSerialPort::PermissionError:
        setError(
            SerialError::AlreadyInUse,
            u"%1 - Synaser Eror: %2 (%3: %4)"_s.arg(SerialError::AlreadyInUse)
                .arg(SerialError::Name(SerialError::AlreadyInUse), FName, FPort.errorString()));
        break;
    case QSerialPort::OpenError:
        setError(SerialError::AlreadyOwned, u"%1 is already open"_s.arg(FName));
        break;
    case QSerialPort::NotOpenError:
        setError(SerialError::PortNotOpen, u"%1 is not open"_s.arg(FName));
        break;
    case QSerialPort::TimeoutError:
        setError(SerialError::Timeout, u"Timeout on %1"_s.arg(FName));
        break;
    case QSerialPort::UnsupportedOperationError:
        setError(SerialError::WrongParameter, u"%1: %2"_s.arg(FName, FPort.errorString()));
        break;
    case QSerialPort::ResourceError:
        setError(EIO, u"%1: the device is gone (unplugged or hung up): %2"_s.arg(
                          FName, FPort.errorString()));
        break;
    default:
        setError(savedErrno ? savedErrno : EIO, u"%1: %2"_s.arg(FName, FPort.errorString()));
        break;
    }
    FPort.clearError();
}

QString TSerialPortDevice::OpenErrorText(const QString& name, int err)
{
    if (err == ENOENT)
        return u"Cannot open %1: no such device. Is the board plugged in, and is this its "
               u"port? (%2)"_s.arg(name, errnoText(err));
    if (err == EACCES || err == EPERM) {
        QString group = u"dialout"_s;
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(name).constData(), &st) == 0) {
            if (const struct group* g = ::getgrgid(st.st_gid); g && g->gr_name)
                group = QString::fromLocal8Bit(g->gr_name);
        }
        return u"Cannot open %1: permission denied. Your user must be in the \"%2\" group "
               u"(sudo usermod -aG %2 $USER), then log out and in again for it to take effect."_s
                   .arg(name, group);
    }
    return u"Cannot open %1: %2"_s.arg(name, errnoText(err));
}

bool TSerialPortDevice::open(const QString& name)
{
    clearError();
    close();
    FName = name;
    FOpenError = 0;
    FOpenErrorDesc.clear();
    const QByteArray path = QFile::encodeName(name);
    // Ask the system first so the reason is an errno a person can act on.
    if (::access(path.constData(), F_OK) != 0 || ::access(path.constData(), R_OK | W_OK) != 0) {
        const int err = errno;
        setError(err, OpenErrorText(name, err));
    }
    if (FLastError == 0) {
        FPort.setPortName(name);
        if (!FPort.open(QIODevice::ReadWrite)) {
            setErrorFromPort();
            if (FLastError == 0)
                setError(EIO, OpenErrorText(name, EIO));
        }
    }
    if (FLastError != 0) {
        FOpenError = FLastError;
        FOpenErrorDesc = FLastErrorDesc;
        return false;
    }
    FModemSupported = true;
    FKept.clear();
    FKeptPos = FScanned = 0;
    return true;
}

void TSerialPortDevice::close()
{
    if (FPort.isOpen()) {
        setModemLine(TIOCM_DTR, false);
        setModemLine(TIOCM_RTS, false);
        FPort.close();
    }
    FPort.clearError();
    FKept.clear();
    FKeptPos = FScanned = 0;
}

bool TSerialPortDevice::isOpen() const
{
    return FPort.isOpen();
}

bool TSerialPortDevice::configure(int baudRate, int dataBits, char parity, int stopBits,
                                  bool softwareFlow, bool hardwareFlow)
{
    if (!FPort.isOpen()) {
        // Keep the reason the opening failed: it is what the user needs to see.
        if (FOpenError == 0)
            setError(SerialError::PortNotOpen, u"%1 is not open"_s.arg(FName));
        else
            setError(FOpenError, FOpenErrorDesc);
        return false;
    }
    clearError();
    QSerialPort::Parity p = QSerialPort::NoParity;
    switch (parity) {
    case 'O':
        p = QSerialPort::OddParity;
        break;
    case 'E':
        p = QSerialPort::EvenParity;
        break;
    case 'M':
        p = QSerialPort::MarkParity;
        break;
    case 'S':
        p = QSerialPort::SpaceParity;
        break;
    default:
        break;
    }
    const auto flow = hardwareFlow   ? QSerialPort::HardwareControl
                      : softwareFlow ? QSerialPort::SoftwareControl
                                     : QSerialPort::NoFlowControl;
    const bool ok =
        FPort.setBaudRate(baudRate) &&
        FPort.setDataBits(static_cast<QSerialPort::DataBits>(dataBits)) && FPort.setParity(p) &&
        FPort.setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        FPort.setFlowControl(flow);
    if (!ok) {
        setErrorFromPort();
        if (FLastError == 0)
            setError(SerialError::WrongParameter,
                     u"%1 - Synaser Eror: %2"_s.arg(SerialError::WrongParameter)
                         .arg(SerialError::Name(SerialError::WrongParameter)));
    }
    return ok;
}

void TSerialPortDevice::purge()
{
    clearError();
    FKept.clear();
    FKeptPos = FScanned = 0;
    if (FPort.isOpen()) {
        FPort.clear(QSerialPort::AllDirections);
        FPort.readAll();
        FPort.clearError();
    }
}

QByteArray TSerialPortDevice::takeKept(qsizetype n)
{
    QByteArray out = FKept.mid(FKeptPos, n);
    FKeptPos += n;
    if (FKeptPos >= FKept.size()) {
        FKept.clear();
        FKeptPos = 0;
    } else if (FKeptPos > 65536 && FKeptPos * 2 > FKept.size()) {
        // Drop what was consumed now and then, never per line.
        FKept.remove(0, FKeptPos);
        FKeptPos = 0;
    }
    FScanned = 0;
    return out;
}

bool TSerialPortDevice::fetch(int ms)
{
    if (!FPort.isOpen()) {
        setError(SerialError::PortNotOpen, u"%1 is not open"_s.arg(FName));
        return false;
    }
    if (FPort.bytesAvailable() == 0 && !FPort.waitForReadyRead(ms)) {
        if (FPort.error() == QSerialPort::TimeoutError)
            FPort.clearError();
        else
            setErrorFromPort();
        if (FPort.bytesAvailable() == 0)
            return false;
    }
    if (FKeptPos == FKept.size()) {
        FKept = FPort.readAll();
        FKeptPos = FScanned = 0;
    } else {
        FKept += FPort.readAll();
    }
    return true;
}

bool TSerialPortDevice::canRead(int ms)
{
    clearError();
    if (keptSize() > 0 || FPort.bytesAvailable() > 0)
        return true;
    return fetch(ms);
}

QByteArray TSerialPortDevice::readAvailable(int ms)
{
    clearError();
    if (keptSize() == 0 && !fetch(ms)) {
        if (FLastError == 0)
            setError(SerialError::Timeout, u"Timeout on %1"_s.arg(FName));
        return QByteArray();
    }
    if (FPort.bytesAvailable() > 0)
        fetch(0);
    return takeKept(keptSize());
}

QByteArray TSerialPortDevice::readUntil(char terminator, int ms)
{
    clearError();
    QDeadlineTimer idle(ms);
    for (;;) {
        const qsizetype at = FKept.indexOf(terminator, FKeptPos + FScanned);
        if (at >= 0) {
            QByteArray line = FKept.mid(FKeptPos, at - FKeptPos);
            takeKept(at - FKeptPos + 1);
            return line;
        }
        FScanned = keptSize();
        if (idle.hasExpired() && FPort.bytesAvailable() == 0)
            break;
        if (!fetch(remainingMs(idle)))
            break;
        idle.setRemainingTime(ms); // the time runs from the last new byte
    }
    if (FLastError == 0)
        setError(SerialError::Timeout, u"Timeout on %1"_s.arg(FName));
    return QByteArray();
}

QByteArray TSerialPortDevice::readCount(int count, int ms)
{
    clearError();
    QDeadlineTimer deadline(ms);
    while (keptSize() < count) {
        if (!fetch(remainingMs(deadline)) || deadline.hasExpired())
            break;
    }
    const qsizetype n = std::min<qsizetype>(count, keptSize());
    if (n < count && FLastError == 0)
        setError(SerialError::Timeout, u"Timeout on %1"_s.arg(FName));
    return takeKept(n);
}

int TSerialPortDevice::readByte(int ms)
{
    const QByteArray b = readCount(1, ms);
    return b.isEmpty() ? -1 : static_cast<unsigned char>(b.at(0));
}

bool TSerialPortDevice::canWrite(int ms)
{
    clearError();
    if (!FPort.isOpen()) {
        setError(SerialError::PortNotOpen, u"%1 is not open"_s.arg(FName));
        return false;
    }
    QDeadlineTimer deadline(ms);
    while (FPort.bytesToWrite() > 0) {
        if (!FPort.waitForBytesWritten(remainingMs(deadline)) || deadline.hasExpired()) {
            if (FPort.error() == QSerialPort::TimeoutError)
                FPort.clearError();
            return FPort.bytesToWrite() == 0;
        }
    }
    for (;;) {
        int queued = 0;
        if (::ioctl(FPort.handle(), TIOCOUTQ, &queued) != 0 || queued == 0)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
}

qint64 TSerialPortDevice::write(const QByteArray& data)
{
    clearError();
    if (!FPort.isOpen()) {
        setError(SerialError::PortNotOpen, u"%1 is not open"_s.arg(FName));
        return 0;
    }
    const qint64 before = FPort.bytesToWrite();
    if (FPort.write(data) != data.size()) {
        setErrorFromPort();
        return 0;
    }
    QDeadlineTimer deadline(FWriteTimeout);
    while (FPort.bytesToWrite() > 0) {
        if (!FPort.waitForBytesWritten(remainingMs(deadline)) || deadline.hasExpired()) {
            if (FPort.error() == QSerialPort::TimeoutError ||
                FPort.error() == QSerialPort::NoError) {
                FPort.clearError();
                setError(SerialError::Timeout, u"Timeout writing to %1"_s.arg(FName));
            } else {
                setErrorFromPort();
            }
            break;
        }
    }
    return std::max<qint64>(0, data.size() - std::max<qint64>(0, FPort.bytesToWrite() - before));
}

bool TSerialPortDevice::checkHealth()
{
    clearError();
    if (!FPort.isOpen()) {
        setError(SerialError::PortNotOpen, u"%1 is not open"_s.arg(FName));
        return false;
    }
    if (FPort.error() == QSerialPort::ResourceError) {
        setErrorFromPort();
        return false;
    }
    pollfd p{FPort.handle(), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        // Bytes still waiting are read first; the hang-up counts once they are gone.
        int waiting = 0;
        if ((p.revents & POLLNVAL) || ::ioctl(FPort.handle(), FIONREAD, &waiting) != 0 ||
            waiting == 0) {
            setError(EIO, u"%1: the device is gone (unplugged or hung up): %2"_s.arg(
                              FName, errnoText(EIO)));
            return false;
        }
    }
    termios t{};
    if (::tcgetattr(FPort.handle(), &t) != 0) {
        const int err = errno;
        setError(err, u"%1: %2"_s.arg(FName, errnoText(err)));
        return false;
    }
    return true;
}

ISerialPort::ModemLines TSerialPortDevice::modemLines()
{
    clearError();
    ModemLines lines;
    if (!FPort.isOpen() || !FModemSupported)
        return lines;
    int status = 0;
    if (::ioctl(FPort.handle(), TIOCMGET, &status) != 0) {
        // Pseudo-terminals have no modem lines; that is no error.
        FModemSupported = false;
        return lines;
    }
    lines.cts = status & TIOCM_CTS;
    lines.dsr = status & TIOCM_DSR;
    lines.dcd = status & TIOCM_CAR;
    lines.ring = status & TIOCM_RNG;
    return lines;
}

bool TSerialPortDevice::setModemLine(int line, bool asserted)
{
    if (!FPort.isOpen() || !FModemSupported)
        return false;
    int bits = line;
    return ::ioctl(FPort.handle(), asserted ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

void TSerialPortDevice::setDTR(bool asserted)
{
    clearError();
    setModemLine(TIOCM_DTR, asserted);
}

void TSerialPortDevice::setRTS(bool asserted)
{
    clearError();
    setModemLine(TIOCM_RTS, asserted);
}
