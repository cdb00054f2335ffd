#include "BoardPeer.h"

#include <QDeadlineTimer>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

BoardPeer::~BoardPeer()
{
    closePort();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString BoardPeer::executable()
{
    return qEnvironmentVariable("QLSWAV_BOARD_SIM");
}

bool BoardPeer::start(const QStringList& args, QString* error)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(executable(), args);
    if (!m_process.waitForStarted(5000)) {
        if (error)
            *error = u"cannot start "_s + executable();
        return false;
    }
    QDeadlineTimer deadline(5000);
    while (!m_process.canReadLine() && !deadline.hasExpired())
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (m_path.isEmpty()) {
        if (error)
            *error = u"the board printed no port"_s;
        return false;
    }
    return openPort();
}

bool BoardPeer::openPort()
{
    m_fd = ::open(m_path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return false;
    termios tio{};
    ::tcgetattr(m_fd, &tio);
    cfmakeraw(&tio);
    ::tcsetattr(m_fd, TCSANOW, &tio);
    m_hungUp = false;
    return true;
}

void BoardPeer::closePort()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buf.clear();
}

bool BoardPeer::send(const QByteArray& bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(3000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
    return done == bytes.size();
}

bool BoardPeer::fill(int ms)
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0)
        return false;
    char buf[4096];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n > 0) {
        m_buf.append(buf, n);
        return true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR))
        m_hungUp = true;
    return false;
}

QByteArray BoardPeer::readLine(int ms, bool* timedOut)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        const qsizetype end = m_buf.indexOf("\r\n");
        if (end >= 0) {
            const QByteArray line = m_buf.left(end);
            m_buf.remove(0, end + 2);
            if (timedOut)
                *timedOut = false;
            return line;
        }
        if (deadline.hasExpired() || m_hungUp)
            break;
        fill(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    if (timedOut)
        *timedOut = true;
    return {};
}

QByteArray BoardPeer::readExactly(qsizetype n, int ms)
{
    QDeadlineTimer deadline(ms);
    while (m_buf.size() < n && !deadline.hasExpired() && !m_hungUp)
        fill(int(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray out = m_buf.left(n);
    m_buf.remove(0, out.size());
    return out;
}

QByteArray BoardPeer::readFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && !m_hungUp)
        fill(int(qMax<qint64>(1, deadline.remainingTime())));
    QByteArray out;
    out.swap(m_buf);
    return out;
}

bool BoardPeer::waitHangUp(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!m_hungUp && !deadline.hasExpired())
        fill(int(qMax<qint64>(1, deadline.remainingTime())));
    return m_hungUp;
}
