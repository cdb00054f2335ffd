#include "PacedWriter.h"

#include "BoardLog.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {
// Bytes may go out this far ahead of their place on a real line; keeps wake-ups
// at about one per millisecond without bursting noticeably.
constexpr double kBurstNs = 2e6;
// A late wake-up may catch up this much; a longer pause means the line was idle.
constexpr double kCatchUpNs = 5e6;
constexpr std::size_t kQueueCap = 1 << 20;
} // namespace

PacedWriter::PacedWriter(long baud) : m_base(Clock::now())
{
    if (baud > 0)
        m_byteNs = 10.0 * 1e9 / static_cast<double>(baud);
}

bool PacedWriter::enqueue(std::string_view bytes)
{
    if (queued() + bytes.size() > kQueueCap) {
        if (!m_dropLogged)
            BoardLog::line("nobody reads the line: dropping replies");
        m_dropLogged = true;
        return false;
    }
    m_dropLogged = false;
    startLineIfIdle();
    m_buf.append(bytes);
    m_streamTail = 0;
    return true;
}

void PacedWriter::enqueueStream(std::string_view bytes)
{
    startLineIfIdle();
    m_buf.append(bytes);
    m_streamTail += bytes.size();
}

void PacedWriter::dropStream()
{
    const std::size_t n = std::min(m_streamTail, queued());
    m_buf.resize(m_buf.size() - n);
    m_streamTail = 0;
}

std::optional<PacedWriter::Clock::time_point> PacedWriter::nextWake() const
{
    if (queued() == 0 || m_byteNs == 0 || m_blocked || limitReached())
        return std::nullopt;
    // Wake when a whole burst fits, not for every byte.
    return m_base + std::chrono::nanoseconds(static_cast<std::int64_t>(m_lineFreeNs));
}

void PacedWriter::flush(Clock::time_point now)
{
    m_blocked = false;
    if (queued() == 0 || m_fd < 0 || limitReached())
        return;
    std::size_t n = queued();
    if (m_limit)
        n = std::min<std::uint64_t>(n, *m_limit - m_sent);
    const double nowNs = std::chrono::duration<double, std::nano>(now - m_base).count();
    if (m_byteNs > 0) {
        m_lineFreeNs = std::max(m_lineFreeNs, nowNs - kCatchUpNs);
        const double room = nowNs + kBurstNs - m_lineFreeNs;
        if (room < m_byteNs)
            return;
        n = std::min<std::size_t>(n, static_cast<std::size_t>(room / m_byteNs));
    }
    const ssize_t w = ::write(m_fd, m_buf.data() + m_head, n);
    if (w < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            m_blocked = true;
        return;
    }
    const auto written = static_cast<std::size_t>(w);
    if (written < n)
        m_blocked = true;
    m_head += written;
    m_sent += written;
    const std::size_t unsentStream = std::min(m_streamTail, queued());
    m_streamTail = unsentStream;
    if (m_byteNs > 0)
        m_lineFreeNs += static_cast<double>(written) * m_byteNs;
    compact();
}

void PacedWriter::startLineIfIdle()
{
    // An idle line starts now; it does not bank the time it was unused.
    if (queued() == 0 && m_byteNs > 0) {
        const double nowNs =
            std::chrono::duration<double, std::nano>(Clock::now() - m_base).count();
        m_lineFreeNs = std::max(m_lineFreeNs, nowNs);
    }
}

void PacedWriter::compact()
{
    if (m_head == m_buf.size()) {
        m_buf.clear();
        m_head = 0;
    } else if (m_head > (1 << 16) && m_head > m_buf.size() / 2) {
        m_buf.erase(0, m_head);
        m_head = 0;
    }
}
