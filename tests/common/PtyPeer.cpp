#include "PtyPeer.h"

#include <QDeadlineTimer>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    FMaster = master;
    FSlaveKeep = slave;
    FSlavePath = QString::fromLocal8Bit(name);
}

PtyPeer::~PtyPeer()
{
    hangUp();
}

void PtyPeer::hangUp()
{
    if (FSlaveKeep >= 0)
        ::close(FSlaveKeep);
    if (FMaster >= 0)
        ::close(FMaster);
    FSlaveKeep = FMaster = -1;
}

bool PtyPeer::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(10000);
    while (done < bytes.size() && FMaster >= 0) {
        const ssize_t n = ::write(FMaster, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        pollfd p{FMaster, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return done == bytes.size();
}

bool PtyPeer::fill(int ms)
{
    if (FMaster < 0)
        return false;
    char buf[65536];
    const ssize_t n = ::read(FMaster, buf, sizeof buf);
    if (n > 0) {
        FPending.append(buf, n);
        return true;
    }
    pollfd p{FMaster, POLLIN, 0};
    ::poll(&p, 1, std::max(0, ms));
    return false;
}

QByteArray PtyPeer::read(int count, int ms)
{
    QDeadlineTimer deadline(ms);
    while (FPending.size() < count && !deadline.hasExpired())
        fill(int(std::min<qint64>(20, deadline.remainingTime())));
    const QByteArray out = FPending.left(count);
    FPending.remove(0, out.size());
    return out;
}

QByteArray PtyPeer::readUntil(const QByteArray& terminator, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        const qsizetype at = FPending.indexOf(terminator);
        if (at >= 0) {
            const QByteArray out = FPending.left(at + terminator.size());
            FPending.remove(0, out.size());
            return out;
        }
        if (deadline.hasExpired() || FMaster < 0)
            break;
        fill(int(std::min<qint64>(20, deadline.remainingTime())));
    }
    const QByteArray out = FPending;
    FPending.clear();
    return out;
}

QByteArray PtyPeer::readFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && FMaster >= 0)
        fill(int(std::min<qint64>(20, deadline.remainingTime())));
    const QByteArray out = FPending;
    FPending.clear();
    return out;
}

bool PtyPeer::waitDrained(int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        int waiting = 0;
        if (FSlaveKeep < 0 || ::ioctl(FSlaveKeep, FIONREAD, &waiting) != 0)
            return false;
        if (waiting == 0)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::usleep(200);
    }
}
