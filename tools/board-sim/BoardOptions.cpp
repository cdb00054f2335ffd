#include "BoardOptions.h"

#include <charconv>
#include <string_view>

namespace {

template <typename T> bool toNumber(std::string_view text, T& out)
{
    if (text.empty())
        return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string BoardOptions::unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char e = text[++i];
        switch (e) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        case 'x':
            if (i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
                out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        default:
            out += e; // covers "\\"
            break;
        }
    }
    return out;
}

bool BoardOptions::parse(int argc, char** argv, std::string& error)
{
    std::string target;
    bool infoGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
            continue;
        }
        if (arg == "--bls-silent") {
            blsSilent = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value or unknown option: " + std::string(arg);
            return false;
        }
        const std::string value = argv[++i];
        auto number = [&](auto& out, long min) {
            long v = 0;
            if (!toNumber(value, v) || v < min) {
                error = "bad number for " + std::string(arg) + ": " + value;
                return false;
            }
            out = v;
            return true;
        };
        auto count = [&](std::optional<std::uint64_t>& out) {
            std::uint64_t v = 0;
            if (!toNumber(value, v)) {
                error = "bad number for " + std::string(arg) + ": " + value;
                return false;
            }
            out = v;
            return true;
        };
        bool ok = true;
        if (arg == "--link")
            link = value;
        else if (arg == "--card")
            card = value;
        else if (arg == "--baud")
            ok = number(baud, 1);
        else if (arg == "--play-ms") {
            long v = 0;
            ok = number(v, 0);
            playMs = v;
        } else if (arg == "--break-after")
            ok = count(breakAfter);
        else if (arg == "--hangup-after")
            ok = count(hangupAfter);
        else if (arg == "--bls-noise")
            blsNoise = unescape(value);
        else if (arg == "--bls-info") {
            blsInfo = unescape(value);
            infoGiven = true;
        } else if (arg == "--bls-target")
            target = value;
        else if (arg == "--bls-page-size")
            ok = number(blsPageSize, 1);
        else if (arg == "--bls-lose-pages")
            ok = number(blsLosePages, 0);
        else if (arg == "--bls-page-delay-us")
            ok = number(blsPageDelayUs, 0);
        else if (arg == "--bls-out")
            blsOut = value;
        else if (arg == "--make-sample-card")
            makeSampleCard = value;
        else {
            error = "unknown option: " + std::string(arg);
            return false;
        }
        if (!ok)
            return false;
    }
    if (!target.empty() && !infoGiven)
        blsInfo = "*64,0x7C00," + target + ",24000000,1&";
    return true;
}

std::string BoardOptions::usage()
{
    return "usage: qls-wav-board [options]\n"
           "  --link PATH              also make a symlink PATH to the port\n"
           "  --card DIR               folder standing for the SD card (default: no card)\n"
           "  --baud N                 pace what the board sends to N baud (10 bits a byte)\n"
           "  --play-ms N              play time of a file (default: its WAV length, else 3000)\n"
           "  --break-after N          break a file read off after N data bytes\n"
           "  --hangup-after N         hang up after N bytes sent in total\n"
           "  --bls-silent             the bootloader never answers\n"
           "  --bls-noise TEXT         bytes sent before the bootloader's \"?\"\n"
           "  --bls-info TEXT          the whole information reply\n"
           "  --bls-target NAME        the target name in the default information reply\n"
           "  --bls-page-size N        bytes of a page frame (default 128)\n"
           "  --bls-lose-pages N       the first N pages' requests are lost once each\n"
           "  --bls-page-delay-us N    page-write delay before each page request\n"
           "  --bls-out FILE           write the received pages to FILE at the end byte\n"
           "  --make-sample-card DIR   create a small sample card in DIR and exit\n"
           "TEXT may hold the escapes \\r \\n \\t \\0 \\xHH and \\\\.\n";
}
