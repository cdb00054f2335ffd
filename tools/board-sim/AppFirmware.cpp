#include "AppFirmware.h"

#include "BoardLog.h"
#include "PacedWriter.h"

#include <charconv>

namespace {

constexpr std::size_t kMaxLine = 512;
constexpr std::size_t kMaxDeferred = 16;
constexpr std::size_t kStreamWindow = 16 * 1024;

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Text before the first separator; the rest stays in text.
std::string cut(std::string& text, char sep)
{
    const auto p = text.find(sep);
    std::string field = trim(text.substr(0, p));
    text = p == std::string::npos ? std::string() : text.substr(p + 1);
    return field;
}

template <typename T> std::optional<T> number(const std::string& text)
{
    T v{};
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

bool isWav(const std::string& name)
{
    return name.size() >= 4 && upper(name.substr(name.size() - 4)) == ".WAV";
}

} // namespace

AppFirmware::AppFirmware(Settings settings, PacedWriter& out)
    : m_settings(std::move(settings)), m_card(m_settings.card), m_out(out)
{}

void AppFirmware::reset()
{
    m_transfer.stop();
    m_out.dropStream();
    m_line.clear();
    m_lineTooLong = false;
    m_deferred.clear();
    m_volume = 110;
    m_fade = false;
    m_mute = false;
    m_playing = false;
    m_title.clear();
    m_playPath.clear();
}

void AppFirmware::onByte(char byte, Clock::time_point now)
{
    if (byte == '\n')
        return;
    if (byte != '\r') {
        if (m_line.size() < kMaxLine)
            m_line += byte;
        else
            m_lineTooLong = true;
        // A reset command is whole at its "?": a client that sends no CR after
        // it still gets the bootloader, and a CR that follows goes to the BLS.
        if (byte == '?' && !m_transfer.active() && upper(trim(m_line)) == "AT+RST?") {
            m_line.clear();
            command("AT+RST?", now);
        }
        return;
    }
    std::string line = trim(m_line);
    const bool tooLong = m_lineTooLong;
    m_line.clear();
    m_lineTooLong = false;
    if (tooLong) {
        BoardLog::line("command line too long, dropped");
        reply("ERROR");
        return;
    }
    if (line.empty())
        return;
    if (m_transfer.active() && upper(line) != "AT+RXBINSTOP") {
        // The line belongs to the file data now; answer once the transfer is over.
        if (m_deferred.size() < kMaxDeferred)
            m_deferred.push_back(line);
        return;
    }
    command(line, now);
}

void AppFirmware::reply(const std::string& line)
{
    m_out.enqueue(line + "\r\n");
}

std::vector<SdCard::Entry> AppFirmware::wavFiles() const
{
    std::vector<SdCard::Entry> out;
    for (auto& e : m_card.list())
        if (isWav(e.path))
            out.push_back(e);
    return out;
}

bool AppFirmware::startPlaying(const std::filesystem::path& file, Clock::time_point now)
{
    long ms = 3000;
    if (m_settings.playMs)
        ms = *m_settings.playMs;
    else if (auto d = SdCard::wavDurationMs(file))
        ms = *d;
    m_playing = true;
    m_title = file.filename().string();
    m_playEnd = now + std::chrono::milliseconds(ms);
    reply("+PNAME:" + m_title);
    return true;
}

void AppFirmware::command(const std::string& line, Clock::time_point now)
{
    const auto eq = line.find('=');
    const std::string name = upper(eq == std::string::npos ? line : line.substr(0, eq + 1));
    std::string arg = eq == std::string::npos ? std::string() : line.substr(eq + 1);

    if (name == "AT") {
        reply("OK");
    } else if (name == "ATI") {
        reply(identification());
    } else if ((name == "AT+GCFG=" && trim(arg) == "?") || name == "AT+GCFG?") {
        reply("+GCFG:" + std::to_string(m_volume) + "," + std::to_string(m_fade ? m_volume : 0) +
              "," + (m_mute ? "1" : "0") + ",0," + (m_playing ? "1" : "0") + "," +
              (m_playing ? m_title : std::string()));
    } else if (name == "AT+PLON") {
        if (m_playing) {
            reply("+PNAME:" + m_title);
            return;
        }
        auto file = m_playPath.empty() ? std::nullopt : m_card.find(m_playPath);
        if (!file) {
            const auto wavs = wavFiles();
            if (wavs.empty()) {
                reply("ERROR");
                return;
            }
            m_playPath = wavs.front().path;
            file = m_card.find(m_playPath);
        }
        if (file)
            startPlaying(*file, now);
        else
            reply("ERROR");
    } else if (name == "AT+PLOFF" || name == "AT+STOP") {
        if (m_playing) {
            m_playing = false;
            reply("+PSTOP:");
        } else {
            reply("OK");
        }
    } else if (name == "AT+NEXT") {
        const auto wavs = wavFiles();
        if (wavs.empty()) {
            reply("ERROR");
            return;
        }
        std::size_t i = 0;
        for (std::size_t k = 0; k < wavs.size(); ++k)
            if (upper(wavs[k].path) == upper(m_playPath))
                i = (k + 1) % wavs.size();
        m_playPath = wavs[i].path;
        if (auto file = m_card.find(m_playPath))
            startPlaying(*file, now);
        else
            reply("ERROR");
    } else if (name == "AT+VOL=") {
        const auto v = number<int>(trim(arg));
        if (!v || *v < 0 || *v > 255) {
            reply("ERROR");
            return;
        }
        m_volume = *v;
        reply("OK");
    } else if (name == "AT+FADEVOL=" || name == "AT+MUTE=") {
        const std::string v = trim(arg);
        if (v != "0" && v != "1") {
            reply("ERROR");
            return;
        }
        (name == "AT+MUTE=" ? m_mute : m_fade) = v == "1";
        reply("OK");
    } else if (name == "AT+PLAY=") {
        const auto vol = number<int>(cut(arg, ','));
        const std::string folder = cut(arg, ',');
        const std::string file = trim(arg);
        const std::string path = folder + "/" + file;
        const auto found = isWav(file) ? m_card.find(path) : std::nullopt;
        if (!found || (vol && (*vol < 0 || *vol > 255))) {
            reply("ERROR");
            return;
        }
        if (vol)
            m_volume = *vol;
        m_playPath = path;
        startPlaying(*found, now);
    } else if (name == "AT+LIST" || name == "AT+DIR=") {
        if (!m_card.present()) {
            reply("+LIST_ERR:");
            return;
        }
        // One block, so nothing else can land inside the listing.
        std::string block = "+LIST:\r\n";
        for (const auto& e : m_card.list())
            block += e.path + "," + std::to_string(e.size) + "\r\n";
        block += "+DIR_LIST_END:\r\n";
        m_out.enqueue(block);
    } else if (name == "AT+FREAD=") {
        freadCommand(arg);
    } else if (name == "AT+RXBINSTOP") {
        m_transfer.stop();
        m_out.dropStream();
        // A reader only notices its stop when data arrives; this line is that data.
        reply("OK");
    } else if (name == "AT+RST?") {
        reset();
        if (OnRestart)
            OnRestart();
    } else {
        reply("ERROR");
    }
}

void AppFirmware::freadCommand(const std::string& argument)
{
    std::string arg = argument;
    const std::string path = cut(arg, ',');
    const auto offset = number<std::uint64_t>(cut(arg, ','));
    const auto length = number<std::uint64_t>(cut(arg, ','));
    const bool petit = cut(arg, ',') == "1";
    const auto file = m_card.find(path);
    std::string header;
    if (file)
        header = m_transfer.start(*file, offset.value_or(0), length, petit, m_settings.breakAfter);
    if (header.empty()) {
        // A size that is not positive tells the reader that no data follows.
        reply("+FREAD:ERR,-1");
        return;
    }
    if (!m_out.enqueue(header + "\r\n"))
        m_transfer.stop();
}

void AppFirmware::tick(Clock::time_point now)
{
    while (m_transfer.streaming() && m_out.queued() < kStreamWindow) {
        const std::string chunk = m_transfer.next(kStreamWindow - m_out.queued());
        if (chunk.empty())
            break;
        m_out.enqueueStream(chunk);
    }
    if (m_transfer.active())
        return;
    if (m_playing && now >= m_playEnd) {
        m_playing = false;
        reply("+PSTOP:");
    }
    while (!m_deferred.empty() && !m_transfer.active()) {
        const std::string line = m_deferred.front();
        m_deferred.erase(m_deferred.begin());
        bool restarted = false;
        if (upper(line) == "AT+RST?")
            restarted = true;
        command(line, now);
        if (restarted)
            return;
    }
}

std::optional<AppFirmware::Clock::time_point> AppFirmware::nextDeadline() const
{
    if (m_playing && !m_transfer.active())
        return m_playEnd;
    return std::nullopt;
}
