#include "PacedInput.h"

#include "BoardLog.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr std::size_t kQueueCap = 1 << 20;
// Bytes are handed on in batches of about this much line time.
constexpr double kBatchNs = 1e6;
} // namespace

PacedInput::PacedInput(long baud) : m_base(Clock::now())
{
    if (baud > 0)
        m_byteNs = 10.0 * 1e9 / static_cast<double>(baud);
}

double PacedInput::nowNs(Clock::time_point t) const
{
    return std::chrono::duration<double, std::nano>(t - m_base).count();
}

void PacedInput::push(const char* data, std::size_t n, Clock::time_point now)
{
    const std::size_t queued = m_buf.size() - m_head;
    if (queued + n > kQueueCap) {
        if (!m_dropLogged)
            BoardLog::line("input faster than the line for too long: dropping input");
        m_dropLogged = true;
        return;
    }
    m_dropLogged = false;
    if (queued == 0) {
        m_buf.clear();
        m_head = 0;
        m_lineFreeNs = std::max(m_lineFreeNs, nowNs(now));
    }
    m_buf.append(data, n);
    m_lineFreeNs += static_cast<double>(n) * m_byteNs;
}

std::string PacedInput::takeDue(Clock::time_point now)
{
    const std::size_t queued = m_buf.size() - m_head;
    std::size_t due = queued;
    if (m_byteNs > 0 && queued > 0) {
        const double pending = std::ceil((m_lineFreeNs - nowNs(now)) / m_byteNs - 1e-9);
        if (pending > 0)
            due = queued - std::min(queued, static_cast<std::size_t>(pending));
    }
    std::string out = m_buf.substr(m_head, due);
    m_head += due;
    if (m_head == m_buf.size()) {
        m_buf.clear();
        m_head = 0;
    }
    return out;
}

std::optional<PacedInput::Clock::time_point> PacedInput::nextWake() const
{
    const std::size_t queued = m_buf.size() - m_head;
    if (queued == 0)
        return std::nullopt;
    const double headDue = m_lineFreeNs - static_cast<double>(queued - 1) * m_byteNs;
    const double at = std::min(m_lineFreeNs, headDue + kBatchNs);
    return m_base + std::chrono::nanoseconds(static_cast<std::int64_t>(at));
}
