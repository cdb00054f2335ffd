#include "SampleCard.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>

namespace fs = std::filesystem;

namespace {

void put32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void put16(std::string& s, std::uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

bool writeFile(const fs::path& path, const std::string& bytes, std::string& error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

} // namespace

std::string SampleCard::toneWav(double hz, long ms)
{
    constexpr std::uint32_t rate = 8000;
    const auto samples = static_cast<std::uint32_t>(rate * ms / 1000);
    std::string w = "RIFF";
    put32(w, 36 + samples);
    w += "WAVEfmt ";
    put32(w, 16);
    put16(w, 1); // PCM
    put16(w, 1); // mono
    put32(w, rate);
    put32(w, rate); // bytes a second
    put16(w, 1);
    put16(w, 8);
    w += "data";
    put32(w, samples);
    for (std::uint32_t i = 0; i < samples; ++i)
        w += static_cast<char>(128 +
                               std::lround(100 * std::sin(2 * std::numbers::pi * hz * i / rate)));
    return w;
}

bool SampleCard::create(const fs::path& dir, std::string& error)
{
    std::error_code ec;
    fs::create_directories(dir / "MUSIC", ec);
    if (ec) {
        error = "cannot create " + (dir / "MUSIC").string() + ": " + ec.message();
        return false;
    }
    return writeFile(dir / "BEEP.WAV", toneWav(1000, 300), error) &&
           writeFile(dir / "LOG.TXT",
                     "QLS-WAV sample card\r\nline 2: 0123456789\r\nline 3: end\r\n", error) &&
           writeFile(dir / "MUSIC" / "TONE440.WAV", toneWav(440, 500), error) &&
           writeFile(dir / "MUSIC" / "TONE880.WAV", toneWav(880, 400), error);
}
