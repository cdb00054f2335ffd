#pragma once

#include <QString>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A raw pseudo-terminal for a benchmark: the program opens `path`, the
// benchmark writes (or reads) the master side. `master` is -1 when none
// could be made.
struct BenchPty
{
    int master = -1;
    int slave = -1;
    QString path;

    BenchPty()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            master = slave = -1;
            return;
        }
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        path = QString::fromLocal8Bit(name);
    }
    ~BenchPty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    BenchPty(const BenchPty&) = delete;
    BenchPty& operator=(const BenchPty&) = delete;
};
