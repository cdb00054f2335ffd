// Serial link throughput over a pseudo-terminal, unpaced: the component against a
// plain blocking read loop on the same kind of line.
#include "BenchPty.h"
#include "serial/TRvComPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 RawBytes = 64LL * 1024 * 1024;
constexpr int Lines = 1000000;
const QByteArray LineBytes = "+PSTOP:\r\n";

// Writes `total` bytes of `pattern` repeated, in large blocks.
std::thread writer(int fd, const QByteArray& pattern, qint64 total)
{
    return std::thread([fd, pattern, total] {
        QByteArray block;
        while (block.size() < 65536)
            block += pattern;
        block.truncate((65536 / pattern.size()) * pattern.size());
        qint64 left = total;
        while (left > 0) {
            const qint64 n = std::min<qint64>(left, block.size());
            qint64 done = 0;
            while (done < n) {
                const ssize_t w = ::write(fd, block.constData() + done, size_t(n - done));
                if (w <= 0)
                    return;
                done += w;
            }
            left -= n;
        }
    });
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Plain blocking reads: bytes per second, and lines (CR count) per second.
double plainRead(const QByteArray& pattern, qint64 total, qint64* crs)
{
    BenchPty pty;
    QElapsedTimer t;
    t.start();
    std::thread w = writer(pty.master, pattern, total);
    qint64 got = 0;
    qint64 cr = 0;
    char buf[65536];
    while (got < total) {
        const ssize_t n = ::read(pty.slave, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            cr += buf[i] == '\r';
        got += n;
    }
    const double s = double(t.nsecsElapsed()) / 1e9;
    w.join();
    if (crs)
        *crs = cr;
    return s;
}

// Through TRvComPort; returns seconds until everything arrived.
double component(bool raw, const QByteArray& pattern, qint64 total, qint64 expectCount, double* cpu)
{
    BenchPty pty;
    TRvComPort port;
    port.SetComPort(pty.path);
    port.SetBaudRate(u"115200"_s);
    port.SetRxBIN(raw);
    bool connected = false;
    qint64 count = 0;
    port.OnConnected = [&](QObject*) { connected = true; };
    if (raw)
        port.OnRxString = [&](QObject*, const QByteArray& p) { count += p.size(); };
    else
        port.OnRxString = [&](QObject*, const QByteArray&) { ++count; };
    port.SetActive(true);
    port.SetConnected(true);
    while (!connected)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    std::thread w = writer(pty.master, pattern, total);
    while (count < expectCount && t.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double s = double(t.nsecsElapsed()) / 1e9;
    *cpu = cpuSeconds() - cpu0;
    w.join();
    if (count < expectCount)
        std::fprintf(stderr, "only %lld of %lld arrived\n", (long long)count,
                     (long long)expectCount);
    port.OnRxString = nullptr;
    port.SetActive(false);
    return s;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const double mb = double(RawBytes) / 1e6;

    const double plainRawS = plainRead(QByteArray("0123456789abcdef\n\r\xff"), RawBytes, nullptr);
    double rawCpu = 0;
    const double rawS =
        component(true, QByteArray("0123456789abcdef\n\r\xff"), RawBytes, RawBytes, &rawCpu);

    const qint64 lineBytes = qint64(Lines) * LineBytes.size();
    qint64 crs = 0;
    const double plainLinesS = plainRead(LineBytes, lineBytes, &crs);
    double lineCpu = 0;
    const double linesS = component(false, LineBytes, lineBytes, Lines, &lineCpu);

    const double rawMbps = mb / rawS;
    const double plainMbps = mb / plainRawS;
    std::printf("raw packets: %.1f MB in %.3f s through the component, %.3f s plain\n", mb, rawS,
                plainRawS);
    std::printf("lines: %d in %.3f s through the component, %.3f s plain\n", Lines, linesS,
                plainLinesS);
    std::printf("RESULT raw_mbps=%.1f plain_mbps=%.1f raw_ratio=%.3f lines_per_s=%.0f "
                "plain_lines_per_s=%.0f cpu_s_per_mb=%.4f\n",
                rawMbps, plainMbps, rawMbps / plainMbps, Lines / linesS, double(crs) / plainLinesS,
                rawCpu / mb);
    return 0;
}
