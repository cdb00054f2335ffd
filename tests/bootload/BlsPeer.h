#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

// A scripted bootloader on a pseudo-terminal, for tests that need exact bytes
// or timing: it restarts into its BLS on "AT+RST?", prompts, answers the
// information request, asks for pages and records every byte it receives.
class BlsPeer
{
public:
    struct Script
    {
        bool silent = false; // never prompts
        QByteArray noise;    // sent before "?"
        QByteArray info = "*64,0x7C00,atmega328p,24000000,1&";
        int pageSize = 64;              // bytes per frame the peer expects
        std::map<int, int> junkBefore;  // request index -> stray bytes sent before it
        std::map<int, int> delayBefore; // request index -> ms withheld before it
        int requestLimit = -1;          // stop asking after this many requests
        int hangupAfterFrames = -1;     // close the line after this many frames
        int pageDelayUs = 0;            // per received page, before the next request
        int baud = 0;                   // pace what the peer sends (10 bits a byte)
    };

    explicit BlsPeer(Script script);
    ~BlsPeer();

    bool ok() const { return FMaster >= 0 || FHungUp; }
    QString path() const { return FPath; }

    QByteArray received() const;
    QList<QByteArray> frames() const;
    bool gotEnd() const { return FEnd.load(); }
    bool promptSent() const { return FPrompted.load(); }

private:
    void loop();
    void send(const QByteArray& bytes);
    void onByte(unsigned char c);

    Script FScript;
    int FMaster = -1;
    int FSlave = -1;
    QString FPath;
    std::thread FThread;
    std::atomic<bool> FQuit{false};
    std::atomic<bool> FEnd{false};
    std::atomic<bool> FPrompted{false};
    bool FHungUp = false;
    mutable std::mutex FLock;
    QByteArray FReceived;
    QList<QByteArray> FFrames;

    enum class State
    {
        App,
        Bls,
        Info,
        Ready,
        Transfer,
        Done
    } FState = State::App;
    QByteArray FLine;
    QByteArray FFrame;
    int FRequests = 0;
    bool FRequestDue = false;
    std::chrono::steady_clock::time_point FRequestAt;
};
