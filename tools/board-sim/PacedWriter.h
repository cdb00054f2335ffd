#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Everything the board sends goes through here: a queue written to the
// non-blocking pty master, paced at a baud rate (10 bits a byte) in short
// bursts scheduled on the monotonic clock.
class PacedWriter
{
public:
    using Clock = std::chrono::steady_clock;

    explicit PacedWriter(long baud);

    void setFd(int fd) { m_fd = fd; }
    // Stop writing once this many bytes have gone out in total.
    void setByteLimit(std::uint64_t limit) { m_limit = limit; }

    // Queues bytes; a reply that would overflow the queue is dropped (false).
    bool enqueue(std::string_view bytes);
    // Queues part of a file transfer; such bytes can be withdrawn while unsent.
    void enqueueStream(std::string_view bytes);
    void dropStream();

    std::size_t queued() const { return m_buf.size() - m_head; }
    // Unpaced, anything queued waits only for the line to take it; paced, the
    // clock wakes the writer unless the line itself is full.
    bool wantsPollOut() const { return queued() > 0 && (m_blocked || m_byteNs == 0); }
    // When the pacing next allows a write; empty when nothing is waiting for the clock.
    std::optional<Clock::time_point> nextWake() const;
    void flush(Clock::time_point now);

    std::uint64_t totalSent() const { return m_sent; }
    bool limitReached() const { return m_limit && m_sent >= *m_limit; }

private:
    void compact();
    void startLineIfIdle();

    int m_fd = -1;
    double m_byteNs = 0; // 0: unpaced
    Clock::time_point m_base;
    double m_lineFreeNs = 0; // when the line can take the next byte, from m_base
    std::string m_buf;
    std::size_t m_head = 0;
    std::size_t m_streamTail = 0;
    bool m_blocked = false;
    std::uint64_t m_sent = 0;
    std::optional<std::uint64_t> m_limit;
    bool m_dropLogged = false;
};
