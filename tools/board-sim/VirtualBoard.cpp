#include "VirtualBoard.h"

#include "BoardLog.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

AppFirmware::Settings appSettings(const BoardOptions& o)
{
    return {o.card, o.playMs, o.breakAfter};
}

Bootloader::Settings blsSettings(const BoardOptions& o)
{
    return {o.blsSilent,    o.blsNoise,       o.blsInfo, o.blsPageSize,
            o.blsLosePages, o.blsPageDelayUs, o.blsOut};
}

} // namespace

VirtualBoard::VirtualBoard(const BoardOptions& options)
    : m_options(options), m_out(options.baud), m_in(options.baud),
      m_app(appSettings(options), m_out), m_bls(blsSettings(options), m_out)
{
    m_app.OnRestart = [this] {
        m_mode = Mode::Bootloader;
        m_bls.enter(PacedWriter::Clock::now());
    };
    m_bls.OnExit = [this] {
        m_mode = Mode::Application;
        m_app.reset();
    };
    if (options.hangupAfter)
        m_out.setByteLimit(*options.hangupAfter);
}

void VirtualBoard::onInput(const std::string& bytes)
{
    const auto now = PacedWriter::Clock::now();
    for (const char b : bytes) {
        if (m_mode == Mode::Application)
            m_app.onByte(b, now);
        else
            m_bls.onByte(static_cast<unsigned char>(b), now);
    }
}

void VirtualBoard::hangUp()
{
    // Let the client read what was sent before the line drops: the bytes reach
    // the slave's queue a moment after the write, and a hang-up discards them.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto until = PacedWriter::Clock::now() + std::chrono::seconds(2);
    while (m_pty.unreadBySlave() > 0 && PacedWriter::Clock::now() < until && !g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    BoardLog::line("hanging up after " + std::to_string(m_out.totalSent()) + " bytes");
    m_pty.close();
}

int VirtualBoard::run()
{
    std::string error;
    if (!m_pty.open(error)) {
        BoardLog::line(error);
        return 1;
    }
    if (!m_options.link.empty() && !m_pty.makeLink(m_options.link, error)) {
        BoardLog::line(error);
        return 1;
    }
    m_out.setFd(m_pty.masterFd());

    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Signals are only let in while waiting, so none is lost between the test and the wait.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);

    std::printf("%s\n", m_pty.slavePath().c_str());
    std::fflush(stdout);
    BoardLog::line(
        "serving " + m_pty.slavePath() +
        (m_options.card.empty() ? std::string(" without a card") : " with card " + m_options.card));

    char buf[4096];
    while (!g_stop) {
        auto now = PacedWriter::Clock::now();
        if (const std::string due = m_in.takeDue(now); !due.empty())
            onInput(due);
        if (m_mode == Mode::Application)
            m_app.tick(now);
        else
            m_bls.tick(now);
        m_out.flush(now);
        if (m_mode == Mode::Application)
            m_app.tick(now); // refill the file data the flush made room for
        if (m_out.limitReached()) {
            hangUp();
            return 0;
        }

        std::optional<PacedWriter::Clock::time_point> wake =
            m_mode == Mode::Application ? m_app.nextDeadline() : m_bls.nextDeadline();
        for (auto w : {m_out.nextWake(), m_in.nextWake()})
            if (w)
                wake = wake ? std::min(*wake, *w) : *w;
        timespec ts{};
        timespec* timeout = nullptr;
        if (wake) {
            const auto left = std::max<std::int64_t>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(*wake - now).count());
            ts.tv_sec = static_cast<time_t>(left / 1000000000);
            ts.tv_nsec = static_cast<long>(left % 1000000000);
            timeout = &ts;
        }
        pollfd p{m_pty.masterFd(),
                 static_cast<short>(POLLIN | (m_out.wantsPollOut() ? POLLOUT : 0)), 0};
        const int r = ::ppoll(&p, 1, timeout, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            BoardLog::line("poll failed");
            return 1;
        }
        if (r == 0)
            continue;
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(m_pty.masterFd(), buf, sizeof buf);
            if (n > 0)
                m_in.push(buf, static_cast<std::size_t>(n), PacedWriter::Clock::now());
            else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                BoardLog::line("read failed");
                return 1;
            }
        }
        if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN)) {
            // Our own slave fd keeps the line up; this only happens if it is gone.
            BoardLog::line("line hung up");
            return 0;
        }
    }
    BoardLog::line("stopped by signal");
    m_pty.close();
    return 0;
}
