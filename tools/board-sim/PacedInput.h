#pragma once

#include <chrono>
#include <optional>
#include <string>

// What the client sends reaches the board at the line's pace too: a pty hands
// over a whole frame at once, a real line takes 10 bit times a byte. Without a
// baud rate every byte is due at once.
class PacedInput
{
public:
    using Clock = std::chrono::steady_clock;

    explicit PacedInput(long baud);

    void push(const char* data, std::size_t n, Clock::time_point now);
    // The bytes that have fully arrived by now.
    std::string takeDue(Clock::time_point now);
    std::optional<Clock::time_point> nextWake() const;

private:
    double nowNs(Clock::time_point t) const;

    double m_byteNs = 0;
    Clock::time_point m_base;
    double m_lineFreeNs = 0; // when the last queued byte has arrived, from m_base
    std::string m_buf;
    std::size_t m_head = 0;
    bool m_dropLogged = false;
};
