#include "BoardLog.h"

#include <poll.h>
#include <string>
#include <unistd.h>

void BoardLog::line(std::string_view text)
{
    pollfd p{STDERR_FILENO, POLLOUT, 0};
    if (::poll(&p, 1, 0) != 1 || !(p.revents & POLLOUT))
        return;
    std::string out = "qls-wav-board: ";
    out.append(text);
    out += '\n';
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, out.data(), out.size());
}
