#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The command line of the virtual board.
class BoardOptions
{
public:
    std::string link;
    std::string card;
    long baud = 0; // 0: unpaced
    std::optional<long> playMs;
    std::optional<std::uint64_t> breakAfter;
    std::optional<std::uint64_t> hangupAfter;
    bool blsSilent = false;
    std::string blsNoise;
    std::string blsInfo = "*64,0x7C00,atmega328p,24000000,1&";
    long blsPageSize = 128;
    long blsLosePages = 0;
    long blsPageDelayUs = 0;
    std::string blsOut;
    std::string makeSampleCard;
    bool help = false;

    // Fills the options from argv; on a bad command line returns false and sets error.
    bool parse(int argc, char** argv, std::string& error);

    static std::string usage();
    // Turns the escapes \\ \r \n \t \0 and \xHH of a command-line text into bytes.
    static std::string unescape(const std::string& text);
};
