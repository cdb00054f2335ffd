#include "TPtyPeer.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTest>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TPtyPeer::TPtyPeer(QObject* parent) : QObject(parent)
{
    char name[256] = {};
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) {
        FMaster = FSlave = -1;
        return;
    }
    termios tio{};
    ::tcgetattr(FSlave, &tio);
    cfmakeraw(&tio);
    ::tcsetattr(FSlave, TCSANOW, &tio);
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    FPath = QString::fromLocal8Bit(name);
    // The slave stays open here, so the program closing its end is no hang-up.
    FNotifier = new QSocketNotifier(FMaster, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { ReadAll(); });
}

TPtyPeer::~TPtyPeer()
{
    delete FNotifier;
    if (FMaster >= 0)
        ::close(FMaster);
    if (FSlave >= 0)
        ::close(FSlave);
}

void TPtyPeer::ReadAll()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n <= 0)
            break;
        FReceived.append(buf, n);
    }
}

void TPtyPeer::Write(const QByteArray& bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(5000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(FMaster, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else
            QTest::qWait(1); // the line is full: let the program read
    }
}

QByteArray TPtyPeer::Take()
{
    ReadAll();
    QByteArray r;
    r.swap(FReceived);
    return r;
}

bool TPtyPeer::WaitFor(const QByteArray& bytes, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        ReadAll();
        if (FReceived.contains(bytes))
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(2);
    }
}
