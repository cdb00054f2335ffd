#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class PacedWriter;

// The board's serial bootloader (BLS), entered on "AT+RST?": prompt "?", "u",
// an information request, "w", one "@" per page, frames of 0x01 and a page,
// the end byte 0x00.
class Bootloader
{
public:
    using Clock = std::chrono::steady_clock;

    struct Settings
    {
        bool silent = false;
        std::string noise;
        std::string info;
        long pageSize = 128;
        long losePages = 0;
        long pageDelayUs = 0;
        std::string outFile;
    };

    Bootloader(Settings settings, PacedWriter& out);

    // The BLS hands the board back to the application firmware.
    std::function<void()> OnExit;

    void enter(Clock::time_point now);
    void onByte(unsigned char byte, Clock::time_point now);
    void tick(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;

private:
    enum class State
    {
        Silent,
        Prompted,   // "?" sent, waiting for "u"
        Unlocked,   // "u" seen, waiting for the information request
        InfoSent,   // waiting for "w"
        AwaitFrame, // "@" sent (or due), waiting for 0x01 or 0x00
        Frame,      // collecting a page
    };

    void requestPage(Clock::time_point now);
    void pageDone(Clock::time_point now);
    void finish();
    bool restartRequested(unsigned char byte);

    Settings m_s;
    PacedWriter& m_out;
    State m_state = State::Silent;
    std::string m_text; // recent text, to notice "AT+RST?" sent to the BLS
    std::string m_frame;
    std::string m_pages;
    long m_frameSize = 128;
    long m_lostLeft = 0;
    long m_pagesDone = 0;
    bool m_lostThisPage = false;
    unsigned char m_infoRequest = 0;
    bool m_endAfterRequest = false;
    std::optional<Clock::time_point> m_requestAt;
    Clock::time_point m_lastRx;
};
