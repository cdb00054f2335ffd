#include "PtyLink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PtyLink::~PtyLink()
{
    close();
}

bool PtyLink::open(std::string& error)
{
    char name[256] = {};
    termios tio{};
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::openpty(&m_master, &m_slave, name, &tio, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    m_slavePath = name;
    // Output toward the client must never block the board.
    const int flags = ::fcntl(m_master, F_GETFL);
    ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    return true;
}

bool PtyLink::makeLink(const std::string& path, std::string& error)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = "link path exists and is not a symlink: " + path;
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(m_slavePath.c_str(), path.c_str()) != 0) {
        error = "symlink " + path + ": " + std::strerror(errno);
        return false;
    }
    m_link = path;
    return true;
}

void PtyLink::close()
{
    if (!m_link.empty()) {
        ::unlink(m_link.c_str());
        m_link.clear();
    }
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

int PtyLink::unreadBySlave() const
{
    int n = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &n) != 0)
        return -1;
    return n;
}
