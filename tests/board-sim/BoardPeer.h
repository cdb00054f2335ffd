#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// The virtual board as a test sees it: the process, and its pty opened with
// plain POSIX calls the way a client opens a serial port.
class BoardPeer
{
public:
    BoardPeer() = default;
    ~BoardPeer();
    BoardPeer(const BoardPeer&) = delete;
    BoardPeer& operator=(const BoardPeer&) = delete;

    static QString executable();

    // Starts the board and opens the port it prints; false with error on failure.
    bool start(const QStringList& args, QString* error = nullptr);
    bool openPort();
    void closePort();
    bool send(const QByteArray& bytes);
    // One line without its CR LF; nullopt-like empty + timedOut on a time-out.
    QByteArray readLine(int ms, bool* timedOut = nullptr);
    QByteArray readExactly(qsizetype n, int ms);
    // Everything that arrives within ms (for "nothing more comes" checks).
    QByteArray readFor(int ms);
    // True when the line reports end of file or an error (hung up).
    bool waitHangUp(int ms);

    QProcess& process() { return m_process; }
    const QString& portPath() const { return m_path; }

private:
    bool fill(int ms);

    QProcess m_process;
    QString m_path;
    int m_fd = -1;
    QByteArray m_buf;
    bool m_hungUp = false;
};
