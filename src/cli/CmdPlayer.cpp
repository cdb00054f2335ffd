#include "app/Utils.h"
#include "cli/CliCommand.h"
#include "player/DeviceCommands.h"
#include "player/TGcfgReply.h"
#include "serial/TRvComPort.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace {
constexpr int kNoReply = 3;

// One use of the board's link: open, send, gather the lines that come back.
class TPlayerSession
{
public:
    // Exit code: CliExit::Ok when the link is up, else PortFailed (reason on stderr).
    int Open(const QString& port)
    {
        if (port.trimmed().isEmpty()) {
            Err(u"no port: give --port PATH (or save one in the program's settings)"_s);
            return CliExit::PortFailed;
        }
        FLink.SetComPort(port.trimmed());
        FLink.SetBaudRate(u"115200"_s);
        FLink.SetDataBits(u"8"_s);
        FLink.SetEnableCheckTimer(false);
        FLink.OnConnected = [this](QObject*) { FUp = true; };
        FLink.OnComError = [this](QObject*, int code, const QString& desc) {
            if (FError.isEmpty())
                FError = desc.isEmpty() ? u"serial error "_s + QString::number(code) : desc;
        };
        FLink.OnRxString = [this](QObject*, const QByteArray& line) {
            FLines.append(FromWire(line));
            FQuiet.restart();
        };
        FLink.SetActive(true);
        FLink.SetConnected(true);
        QDeadlineTimer deadline(5000);
        while (!FUp && FError.isEmpty() && !deadline.hasExpired())
            PumpDelay(5);
        if (FUp)
            return CliExit::Ok;
        Err(FError.isEmpty() ? u"cannot open "_s + port + u": no answer from the port"_s : FError);
        return CliExit::PortFailed;
    }

    ~TPlayerSession()
    {
        FLink.OnRxString = nullptr;
        FLink.SetConnected(false);
        FLink.StopWorker(3010);
    }

    void Send(const QString& command) { FLink.SendString(command); }

    // Lines until `done` says so, or until the line has been quiet for quietMs
    // (counted from the last line or from now), at most maxMs in all.
    QStringList Collect(int quietMs, int maxMs,
                        const std::function<bool(const QStringList&)>& done = {})
    {
        FQuiet.start();
        QDeadlineTimer deadline(maxMs);
        while (!deadline.hasExpired() && FQuiet.elapsed() < quietMs) {
            if (done && done(FLines))
                break;
            PumpDelay(5);
        }
        QStringList lines;
        lines.swap(FLines);
        return lines;
    }

private:
    TRvComPort FLink;
    QStringList FLines;
    QString FError;
    QElapsedTimer FQuiet;
    bool FUp = false;
};

bool ReadVolume(const QString& text, int& volume)
{
    bool ok = false;
    volume = text.trimmed().toInt(&ok);
    return ok && volume >= 0 && volume <= 255;
}

// Sends one command and prints whatever the board says back.
int SendAndShow(CliContext& ctx, const QString& command)
{
    TPlayerSession session;
    if (const int rc = session.Open(ctx.port); rc != CliExit::Ok)
        return rc;
    session.Send(command);
    for (const QString& line : session.Collect(300, 2000))
        Out(line);
    return CliExit::Ok;
}

int runInfo(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        Err(u"usage: qls-wav-cli info"_s);
        return CliExit::Usage;
    }
    TPlayerSession session;
    if (const int rc = session.Open(ctx.port); rc != CliExit::Ok)
        return rc;
    session.Send(DeviceCmd::GetConfig());
    auto gcfg = [](const QString& line) { return RemoveWhiteSpace(line).left(6) == u"+GCFG:"_s; };
    const QStringList lines = session.Collect(2000, 3000, [&](const QStringList& got) {
        return std::any_of(got.begin(), got.end(), gcfg);
    });
    const auto it = std::find_if(lines.begin(), lines.end(), gcfg);
    if (it == lines.end()) {
        Err(u"no +GCFG: reply from the board"_s);
        return kNoReply;
    }
    const TGcfgReply r = TGcfgReply::Parse(RemoveWhiteSpace(*it));
    Out(u"volume="_s + QString::number(r.volume));
    Out(u"fade="_s + r.fadeField);
    Out(u"mute="_s + (r.mute ? u"1"_s : u"0"_s));
    Out(u"playing="_s + (r.playing ? u"1"_s : u"0"_s));
    Out(u"title="_s + r.title);
    return CliExit::Ok;
}

int runPlay(CliContext& ctx)
{
    const QString usage = u"usage: qls-wav-cli play FOLDER FILE [--vol N]"_s;
    QStringList words = ctx.args;
    int volume = 110;
    for (qsizetype i = 0; i < words.size();) {
        if (words.at(i) == u"--vol"_s) {
            if (i + 1 >= words.size() || !ReadVolume(words.at(i + 1), volume)) {
                Err(u"--vol needs a volume from 0 to 255"_s);
                return CliExit::Usage;
            }
            words.remove(i, 2);
        } else {
            ++i;
        }
    }
    if (words.size() != 2 || words.at(1).trimmed().isEmpty()) {
        Err(usage);
        return CliExit::Usage;
    }
    QString folder = words.at(0).trimmed();
    while (folder.startsWith(u'/'))
        folder.remove(0, 1);
    while (folder.endsWith(u'/'))
        folder.chop(1);
    if (!folder.isEmpty())
        folder.prepend(u'/');
    return SendAndShow(ctx, DeviceCmd::Play(volume, folder, words.at(1).trimmed()));
}

int runNoArgs(CliContext& ctx, const QString& name, const QString& command)
{
    if (!ctx.args.isEmpty()) {
        Err(u"usage: qls-wav-cli "_s + name);
        return CliExit::Usage;
    }
    return SendAndShow(ctx, command);
}

int runVol(CliContext& ctx)
{
    int volume = 0;
    if (ctx.args.size() != 1 || !ReadVolume(ctx.args.first(), volume)) {
        Err(u"usage: qls-wav-cli vol N   (N from 0 to 255)"_s);
        return CliExit::Usage;
    }
    return SendAndShow(ctx, DeviceCmd::Volume(volume));
}

const CliCommand info("info",
                      "info                       the player's state: volume, fade, mute, "
                      "playing, title",
                      runInfo);
const CliCommand play("play",
                      "play FOLDER FILE [--vol N] play a file (FOLDER \"\" for the root; "
                      "volume 110 unless given)",
                      runPlay);
const CliCommand stop("stop", "stop                       stop playing",
                      [](CliContext& c) { return runNoArgs(c, u"stop"_s, DeviceCmd::PlayOff()); });
const CliCommand next("next", "next                       play the next file",
                      [](CliContext& c) { return runNoArgs(c, u"next"_s, DeviceCmd::Next()); });
const CliCommand vol("vol", "vol N                      set the volume (0..255)", runVol);
} // namespace
