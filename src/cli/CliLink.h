#pragma once

#include "serial/TRvComPort.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

// The board's serial link for a command-line command: opened at 115200 8N1,
// lines collected while the event loop runs.
class CliLink
{
public:
    explicit CliLink(const QString& port);
    ~CliLink();

    // Opens the port; prints the reason and returns false when it cannot.
    bool Open(int timeoutMs = 5000);
    void Send(const QString& command);

    // Collects received lines until `quietMs` pass without one, or until
    // `done` says a line was the last one wanted (then that line is included).
    QList<QByteArray> Collect(int quietMs, const std::function<bool(const QByteArray&)>& done = {});
    // Calls `onLine` for every line as it arrives, same ending rules.
    void Follow(int quietMs, const std::function<bool(const QByteArray&)>& onLine);

    TRvComPort& Port() { return FPort; }

private:
    TRvComPort FPort;
    QList<QByteArray> FPending;
    bool FError = false;
    QString FErrorText;
};
