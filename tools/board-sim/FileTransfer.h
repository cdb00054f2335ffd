#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

// One "AT+FREAD=" transfer, read from the card file a chunk at a time so a large
// file never sits in memory and an unread line never grows the queue.
class FileTransfer
{
public:
    // Opens the file and returns the "+FREAD:" header line (without CR LF), or
    // empty when the file cannot be read.
    std::string start(const std::filesystem::path& file, std::uint64_t offset,
                      std::optional<std::uint64_t> length, bool petit,
                      std::optional<std::uint64_t> breakAfter);
    // The next bytes to send, at most max; empty once all is sent or broken off.
    std::string next(std::size_t max);
    void stop();

    // Data still to go out (not yet broken off or finished).
    bool streaming() const { return m_active && !m_broken && (m_left > 0 || m_endBytePending); }
    // The transfer holds the line: streaming, or broken off and waiting for a stop.
    bool active() const { return m_active && (m_broken || streaming()); }

private:
    std::ifstream m_in;
    bool m_active = false;
    bool m_broken = false;
    bool m_endBytePending = false;
    std::uint64_t m_left = 0;
    std::optional<std::uint64_t> m_breakLeft;
};
