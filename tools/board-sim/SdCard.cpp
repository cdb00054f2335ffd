#include "SdCard.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool visible(const fs::directory_entry& e)
{
    const std::string name = e.path().filename().string();
    return !name.empty() && name[0] != '.';
}

std::vector<fs::directory_entry> sortedEntries(const fs::path& dir)
{
    std::vector<fs::directory_entry> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (visible(*it))
            out.push_back(*it);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return upper(a.path().filename().string()) < upper(b.path().filename().string());
    });
    return out;
}

std::uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

SdCard::SdCard(fs::path root) : m_root(std::move(root)) {}

bool SdCard::present() const
{
    std::error_code ec;
    return !m_root.empty() && fs::is_directory(m_root, ec);
}

std::vector<SdCard::Entry> SdCard::list() const
{
    std::vector<Entry> out;
    if (!present())
        return out;
    std::vector<fs::directory_entry> folders;
    std::error_code ec;
    for (const auto& e : sortedEntries(m_root)) {
        if (e.is_symlink(ec))
            continue;
        if (e.is_regular_file(ec))
            out.push_back({"/" + e.path().filename().string(), e.file_size(ec)});
        else if (e.is_directory(ec))
            folders.push_back(e);
    }
    for (const auto& d : folders)
        for (const auto& e : sortedEntries(d.path()))
            if (!e.is_symlink(ec) && e.is_regular_file(ec))
                out.push_back(
                    {"/" + d.path().filename().string() + "/" + e.path().filename().string(),
                     e.file_size(ec)});
    return out;
}

std::optional<fs::path> SdCard::child(const fs::path& dir, const std::string& name,
                                      bool wantDir) const
{
    if (name.empty() || name == "." || name == "..")
        return std::nullopt;
    const std::string key = upper(name);
    std::error_code ec;
    for (const auto& e : sortedEntries(dir)) {
        if (upper(e.path().filename().string()) != key || e.is_symlink(ec))
            continue;
        if (wantDir ? e.is_directory(ec) : e.is_regular_file(ec))
            return e.path();
    }
    return std::nullopt;
}

std::optional<fs::path> SdCard::find(const std::string& cardPath) const
{
    if (!present())
        return std::nullopt;
    std::vector<std::string> parts;
    std::string part;
    for (char c : cardPath + "/") {
        if (c == '/' || c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (parts.empty() || parts.size() > 2)
        return std::nullopt;
    fs::path dir = m_root;
    if (parts.size() == 2) {
        auto folder = child(m_root, parts[0], true);
        if (!folder)
            return std::nullopt;
        dir = *folder;
    }
    return child(dir, parts.back(), false);
}

std::optional<long> SdCard::wavDurationMs(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char head[12];
    if (!in.read(reinterpret_cast<char*>(head), 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::uint32_t byteRate = 0;
    for (int chunks = 0; chunks < 64; ++chunks) {
        unsigned char ch[8];
        if (!in.read(reinterpret_cast<char*>(ch), 8))
            return std::nullopt;
        const std::uint32_t size = le32(ch + 4);
        if (std::memcmp(ch, "fmt ", 4) == 0) {
            unsigned char fmt[16];
            if (size < 16 || !in.read(reinterpret_cast<char*>(fmt), 16))
                return std::nullopt;
            byteRate = le32(fmt + 8);
            in.seekg(size - 16 + (size & 1), std::ios::cur);
        } else if (std::memcmp(ch, "data", 4) == 0) {
            if (byteRate == 0)
                return std::nullopt;
            return static_cast<long>(static_cast<std::uint64_t>(size) * 1000 / byteRate);
        } else {
            in.seekg(size + (size & 1), std::ios::cur);
        }
    }
    return std::nullopt;
}
