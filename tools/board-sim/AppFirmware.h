#pragma once

#include "FileTransfer.h"
#include "SdCard.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class PacedWriter;

// The board's application firmware: AT commands ended by CR, replies ended by CR LF.
class AppFirmware
{
public:
    using Clock = std::chrono::steady_clock;

    struct Settings
    {
        std::string card; // empty: no card
        std::optional<long> playMs;
        std::optional<std::uint64_t> breakAfter;
    };

    AppFirmware(Settings settings, PacedWriter& out);

    // "AT+RST?" arrived: the firmware restarts into its bootloader.
    std::function<void()> OnRestart;

    // Power-on state.
    void reset();
    void onByte(char byte, Clock::time_point now);
    // Play end, file data as the line takes it, commands held back by a transfer.
    void tick(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;

    static std::string identification() { return "QLS-WAV micro virtual board 1.0"; }

private:
    void command(const std::string& line, Clock::time_point now);
    void reply(const std::string& line);
    bool startPlaying(const std::filesystem::path& file, Clock::time_point now);
    std::vector<SdCard::Entry> wavFiles() const;
    void freadCommand(const std::string& arg);

    Settings m_settings;
    SdCard m_card;
    PacedWriter& m_out;
    FileTransfer m_transfer;
    std::string m_line;
    bool m_lineTooLong = false;
    std::vector<std::string> m_deferred;

    int m_volume = 110;
    bool m_fade = false;
    bool m_mute = false;
    bool m_playing = false;
    std::string m_title;
    std::string m_playPath; // card path of the last file played
    Clock::time_point m_playEnd;
};
