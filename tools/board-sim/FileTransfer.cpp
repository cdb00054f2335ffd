#include "FileTransfer.h"

#include <algorithm>

std::string FileTransfer::start(const std::filesystem::path& file, std::uint64_t offset,
                                std::optional<std::uint64_t> length, bool petit,
                                std::optional<std::uint64_t> breakAfter)
{
    stop();
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(file, ec);
    if (ec)
        return {};
    m_in.open(file, std::ios::binary);
    if (!m_in)
        return {};
    const std::uint64_t from = std::min(offset, size);
    std::uint64_t n = size - from;
    if (length)
        n = std::min(n, *length);
    m_in.seekg(static_cast<std::streamoff>(from));
    m_left = n;
    m_endBytePending = petit;
    m_breakLeft = breakAfter;
    m_broken = false;
    m_active = true;
    // In PetitFS mode the announced size counts the end byte 0xFF, so a reader
    // that stops at the size has always seen the end byte inside the transfer.
    return petit ? "+FREAD:PET," + std::to_string(n + 1) : "+FREAD:NOR," + std::to_string(n);
}

std::string FileTransfer::next(std::size_t max)
{
    std::string out;
    if (!streaming() || max == 0)
        return out;
    std::uint64_t want = std::min<std::uint64_t>(m_left, max);
    if (m_breakLeft)
        want = std::min(want, *m_breakLeft);
    out.resize(want);
    m_in.read(out.data(), static_cast<std::streamsize>(want));
    const auto got = static_cast<std::uint64_t>(m_in.gcount());
    out.resize(got);
    if (got < want) // file shrank under us: what is missing is never sent
        m_left = got;
    m_left -= got;
    if (m_breakLeft) {
        *m_breakLeft -= got;
        if (*m_breakLeft == 0 && (m_left > 0 || m_endBytePending)) {
            m_broken = true;
            return out;
        }
    }
    if (m_left == 0 && m_endBytePending && out.size() < max) {
        out += static_cast<char>(0xFF);
        m_endBytePending = false;
    }
    if (!streaming() && !m_broken)
        stop();
    return out;
}

void FileTransfer::stop()
{
    if (m_in.is_open())
        m_in.close();
    m_in.clear();
    m_active = false;
    m_broken = false;
    m_endBytePending = false;
    m_left = 0;
    m_breakLeft.reset();
}
