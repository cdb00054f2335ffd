#pragma once

#include <string>

// The pseudo-terminal the board serves. The board keeps its own slave fd open
// so that a client closing and reopening the port is not seen as a hang-up.
class PtyLink
{
public:
    PtyLink() = default;
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    bool open(std::string& error);
    // A symlink to the slave; an existing symlink at path is replaced.
    bool makeLink(const std::string& path, std::string& error);
    void close();

    int masterFd() const { return m_master; }
    const std::string& slavePath() const { return m_slavePath; }
    // Bytes written to the line that the client has not read yet (-1 unknown).
    int unreadBySlave() const;

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_link;
};
