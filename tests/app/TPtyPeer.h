#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A scripted far end of a serial line: a raw pseudo-terminal whose slave the
// program opens, while the test reads what it sent and writes exact bytes back.
class TPtyPeer : public QObject
{
    Q_OBJECT
public:
    explicit TPtyPeer(QObject* parent = nullptr);
    ~TPtyPeer() override;

    bool IsOpen() const { return FMaster >= 0; }
    QString Path() const { return FPath; }

    void Write(const QByteArray& bytes);
    // Everything received so far; Take() also forgets it.
    QByteArray Received() const { return FReceived; }
    QByteArray Take();
    // Serves events until `bytes` has been received (true) or the time is up.
    bool WaitFor(const QByteArray& bytes, int ms = 3000);

private:
    void ReadAll();

    int FMaster = -1;
    int FSlave = -1;
    QString FPath;
    QByteArray FReceived;
    QSocketNotifier* FNotifier = nullptr;
};
