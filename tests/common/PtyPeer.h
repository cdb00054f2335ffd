#pragma once

#include <QByteArray>
#include <QString>

// The far end of a pseudo-terminal for tests: the program opens slavePath()
// as its serial port, the test reads and writes the master side.
class PtyPeer
{
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool isValid() const { return FMaster >= 0; }
    QString slavePath() const { return FSlavePath; }

    // Writes everything (blocking).
    bool write(const QByteArray& bytes);
    // Master file descriptor, for tests that need raw access.
    int masterFd() const { return FMaster; }
    // Reads until `count` bytes arrived or ms passed; returns what came.
    QByteArray read(int count, int ms);
    // Reads until `terminator` arrived (included) or ms passed.
    QByteArray readUntil(const QByteArray& terminator, int ms);
    // Everything that arrives within ms.
    QByteArray readFor(int ms);
    // Waits until the program has taken every byte written so far.
    bool waitDrained(int ms);
    // Hangs up: the master side closes (as an unplugged device).
    void hangUp();

private:
    bool fill(int ms);

    int FMaster = -1;
    int FSlaveKeep = -1; // keeps the line up while the program reopens it
    QString FSlavePath;
    QByteArray FPending;
};
