#include "cli/CliLink.h"

#include "cli/CliCommand.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

CliLink::CliLink(const QString& port)
{
    FPort.SetComPort(port);
    FPort.SetBaudRate(u"115200"_s);
    FPort.SetDataBits(u"8"_s);
    FPort.SetParityBits(TParityBits::prNone);
    FPort.SetStopBits(TStopBits::sbOneStopBit);
    FPort.OnRxString = [this](QObject*, const QByteArray& line) { FPending.append(line); };
    FPort.OnComError = [this](QObject*, int code, const QString& text) {
        if (!FError)
            FErrorText = text.isEmpty() ? u"error %1"_s.arg(code) : text;
        FError = true;
    };
}

CliLink::~CliLink()
{
    FPort.OnRxString = nullptr;
    FPort.SetActive(false);
    FPort.StopWorker(3000);
}

bool CliLink::Open(int timeoutMs)
{
    if (FPort.ComPort().trimmed().isEmpty()) {
        Err(u"no port: give --port PORT (see 'qls-wav-cli ports')"_s);
        return false;
    }
    bool connected = false;
    FPort.OnConnected = [&connected](QObject*) { connected = true; };
    FPort.SetActive(true);
    FPort.SetConnected(true);
    QDeadlineTimer deadline(timeoutMs);
    while (!connected && !FError && FPort.Active() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    FPort.OnConnected = nullptr;
    if (!connected) {
        Err(u"cannot open "_s + FPort.ComPort() + u": "_s +
            (FErrorText.isEmpty() ? u"no answer from the port"_s : FErrorText));
        return false;
    }
    return true;
}

void CliLink::Send(const QString& command)
{
    FPort.SendString(command);
}

void CliLink::Follow(int quietMs, const std::function<bool(const QByteArray&)>& onLine)
{
    QDeadlineTimer quiet(quietMs);
    for (;;) {
        while (!FPending.isEmpty()) {
            const QByteArray line = FPending.takeFirst();
            quiet.setRemainingTime(quietMs);
            if (onLine && onLine(line))
                return;
        }
        if (quiet.hasExpired() || !FPort.Active())
            return;
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(int(std::max<qint64>(1, quiet.remainingTime())));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

QList<QByteArray> CliLink::Collect(int quietMs, const std::function<bool(const QByteArray&)>& done)
{
    QList<QByteArray> lines;
    Follow(quietMs, [&](const QByteArray& line) {
        lines.append(line);
        return done && done(line);
    });
    return lines;
}
