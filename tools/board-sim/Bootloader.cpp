#include "Bootloader.h"

#include "BoardLog.h"
#include "PacedWriter.h"

#include <cstdio>
#include <fstream>
#include <string_view>

namespace {
// A lost page request is asked again after this; the client waits 200 ms for
// each one, so every lost request costs it exactly one failed wait.
constexpr auto kRetry = std::chrono::milliseconds(280);
// A frame shorter than the page size is taken once the line has been quiet this long.
constexpr auto kShortFrameGap = std::chrono::milliseconds(25);
// Without any byte for this long the BLS starts the application again.
constexpr auto kIdleExit = std::chrono::seconds(5);
} // namespace

Bootloader::Bootloader(Settings settings, PacedWriter& out) : m_s(std::move(settings)), m_out(out)
{}

void Bootloader::enter(Clock::time_point now)
{
    m_text.clear();
    m_frame.clear();
    m_pages.clear();
    m_frameSize = m_s.pageSize;
    m_lostLeft = m_s.losePages;
    m_pagesDone = 0;
    m_lostThisPage = false;
    m_endAfterRequest = false;
    m_requestAt.reset();
    m_lastRx = now;
    if (m_s.silent) {
        m_state = State::Silent;
        BoardLog::line("bootloader entered (silent)");
        return;
    }
    m_state = State::Prompted;
    m_out.enqueue(m_s.noise + "?");
    BoardLog::line("bootloader entered");
}

bool Bootloader::restartRequested(unsigned char byte)
{
    if (byte == '\r') {
        const bool rst = m_text.size() >= 7 && m_text.compare(m_text.size() - 7, 7, "AT+RST?") == 0;
        m_text.clear();
        return rst;
    }
    if (byte >= 0x20 && byte < 0x7F) {
        m_text += static_cast<char>(byte);
        if (m_text.size() > 16)
            m_text.erase(0, m_text.size() - 16);
    } else {
        m_text.clear();
    }
    return false;
}

void Bootloader::onByte(unsigned char byte, Clock::time_point now)
{
    m_lastRx = now;
    if (m_state == State::Frame) {
        m_frame += static_cast<char>(byte);
        if (static_cast<long>(m_frame.size()) == m_frameSize)
            pageDone(now);
        return;
    }
    if (restartRequested(byte)) {
        // A client that lost track resets the board again: prompt again.
        enter(now);
        return;
    }
    switch (m_state) {
    case State::Silent:
    case State::Frame:
        break;
    case State::Prompted:
        if (byte == 'u')
            m_state = State::Unlocked;
        break;
    case State::Unlocked:
        // The request byte is the client's choice ("i", "!", ...); what cannot be
        // one is the unlock byte again or the text of a reset command.
        if (std::string_view("uAT+RS?\r\n", 10).find(static_cast<char>(byte)) ==
                std::string_view::npos &&
            byte != 0x00) {
            m_infoRequest = byte;
            m_out.enqueue(m_s.info);
            m_state = State::InfoSent;
        }
        break;
    case State::InfoSent:
        if (byte == 'w') {
            m_state = State::AwaitFrame;
            requestPage(now);
        } else if (byte == m_infoRequest) {
            m_out.enqueue(m_s.info);
        }
        break;
    case State::AwaitFrame:
        if (byte == 0x01 && !m_requestAt) {
            m_frame.clear();
            m_state = State::Frame;
        } else if (byte == 0x00) {
            if (m_requestAt)
                m_endAfterRequest = true; // still writing the last page
            else
                finish();
        }
        break;
    }
}

void Bootloader::requestPage(Clock::time_point now)
{
    m_requestAt.reset();
    if (m_lostLeft > 0 && !m_lostThisPage && !m_endAfterRequest) {
        --m_lostLeft;
        m_lostThisPage = true;
        m_requestAt = now + kRetry;
        return;
    }
    m_lostThisPage = false;
    m_out.enqueue("@");
    if (m_endAfterRequest)
        finish();
}

void Bootloader::pageDone(Clock::time_point now)
{
    m_pages += m_frame;
    m_frame.clear();
    ++m_pagesDone;
    m_state = State::AwaitFrame;
    if (m_s.pageDelayUs > 0)
        m_requestAt = now + std::chrono::microseconds(m_s.pageDelayUs);
    else
        requestPage(now);
}

void Bootloader::finish()
{
    BoardLog::line("bootloader: " + std::to_string(m_pagesDone) + " pages (" +
                   std::to_string(m_pages.size()) + " bytes) written");
    if (!m_s.outFile.empty()) {
        // Written whole and then renamed, so a reader never sees half an image.
        const std::string tmp = m_s.outFile + ".part";
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(m_pages.data(), static_cast<std::streamsize>(m_pages.size()));
        out.close();
        if (!out || std::rename(tmp.c_str(), m_s.outFile.c_str()) != 0)
            BoardLog::line("cannot write " + m_s.outFile);
    }
    m_requestAt.reset();
    m_state = State::Silent;
    if (OnExit)
        OnExit();
}

void Bootloader::tick(Clock::time_point now)
{
    if (m_requestAt && now >= *m_requestAt) {
        requestPage(now);
        return;
    }
    if (m_state == State::Frame && !m_frame.empty() && now - m_lastRx >= kShortFrameGap) {
        // The client's pages are shorter than ours: learn its size.
        BoardLog::line("bootloader: page size " + std::to_string(m_frame.size()));
        m_frameSize = static_cast<long>(m_frame.size());
        pageDone(now);
        return;
    }
    if (!m_requestAt && now - m_lastRx >= kIdleExit) {
        BoardLog::line("bootloader: idle, starting the application");
        m_state = State::Silent;
        if (OnExit)
            OnExit();
    }
}

std::optional<Bootloader::Clock::time_point> Bootloader::nextDeadline() const
{
    if (m_requestAt)
        return m_requestAt;
    if (m_state == State::Frame && !m_frame.empty())
        return m_lastRx + kShortFrameGap;
    return m_lastRx + kIdleExit;
}
