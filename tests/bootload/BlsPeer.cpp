#include "BlsPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

BlsPeer::BlsPeer(Script script) : FScript(std::move(script))
{
    char name[256] = {};
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) {
        FMaster = FSlave = -1;
        return;
    }
    termios t{};
    ::tcgetattr(FSlave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(FSlave, TCSANOW, &t);
    ::tcgetattr(FMaster, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(FMaster, TCSANOW, &t);
    FPath = QString::fromLocal8Bit(name);
    FThread = std::thread([this] { loop(); });
}

BlsPeer::~BlsPeer()
{
    FQuit = true;
    if (FThread.joinable())
        FThread.join();
    if (FMaster >= 0)
        ::close(FMaster);
    if (FSlave >= 0)
        ::close(FSlave);
}

QByteArray BlsPeer::received() const
{
    std::lock_guard<std::mutex> g(FLock);
    return FReceived;
}

QList<QByteArray> BlsPeer::frames() const
{
    std::lock_guard<std::mutex> g(FLock);
    return FFrames;
}

void BlsPeer::send(const QByteArray& bytes)
{
    if (FMaster < 0)
        return;
    for (char c : bytes) {
        if (::write(FMaster, &c, 1) != 1)
            return;
        if (FScript.baud > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(10'000'000 / FScript.baud));
    }
}

void BlsPeer::onByte(unsigned char c)
{
    using clock = std::chrono::steady_clock;
    switch (FState) {
    case State::App:
        FLine.append(static_cast<char>(c));
        if (FLine.endsWith("AT+RST?\r")) {
            FLine.clear();
            if (FScript.silent)
                break;
            FState = State::Bls;
            send(FScript.noise);
            send("?");
            FPrompted = true;
        }
        break;
    case State::Bls:
        if (c == 'u')
            FState = State::Info;
        break;
    case State::Info:
        send(FScript.info);
        FState = State::Ready;
        break;
    case State::Ready:
        if (c == 'w') {
            FState = State::Transfer;
            FRequestDue = true;
            FRequestAt = clock::now();
        }
        break;
    case State::Transfer:
        if (FFrame.isEmpty() && c == 0x00) {
            FEnd = true;
            FState = State::Done;
            break;
        }
        FFrame.append(static_cast<char>(c));
        if (FFrame.size() == 1 + FScript.pageSize) {
            {
                std::lock_guard<std::mutex> g(FLock);
                FFrames.append(FFrame);
            }
            FFrame.clear();
            if (FScript.hangupAfterFrames >= 0 && FFrames.size() >= FScript.hangupAfterFrames) {
                ::close(FMaster);
                ::close(FSlave);
                FMaster = FSlave = -1;
                FHungUp = true;
                break;
            }
            FRequestDue = true;
            FRequestAt = clock::now() + std::chrono::microseconds(FScript.pageDelayUs);
        }
        break;
    case State::Done:
        break;
    }
}

void BlsPeer::loop()
{
    using clock = std::chrono::steady_clock;
    while (!FQuit && FMaster >= 0) {
        if (FRequestDue && FScript.requestLimit >= 0 && FRequests >= FScript.requestLimit)
            FRequestDue = false;
        if (FRequestDue) {
            const auto delay = FScript.delayBefore.find(FRequests);
            const auto at =
                FRequestAt +
                std::chrono::milliseconds(delay == FScript.delayBefore.end() ? 0 : delay->second);
            if (clock::now() >= at) {
                const auto junk = FScript.junkBefore.find(FRequests);
                if (junk != FScript.junkBefore.end())
                    send(QByteArray(junk->second, 'x'));
                send("@");
                ++FRequests;
                FRequestDue = false;
            }
        }
        pollfd p{FMaster, POLLIN, 0};
        if (::poll(&p, 1, 1) <= 0)
            continue;
        unsigned char buf[512];
        const ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n <= 0)
            continue;
        {
            std::lock_guard<std::mutex> g(FLock);
            FReceived.append(reinterpret_cast<const char*>(buf), n);
        }
        for (ssize_t i = 0; i < n && FMaster >= 0; ++i)
            onByte(buf[i]);
    }
}
