#include "app/Utils.h"
#include "cli/CliCommand.h"
#include "cli/CliLink.h"
#include "player/DeviceCommands.h"
#include "player/TGcfgReply.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int kNoReply = 3;

bool ReadVolume(const QString& text, int& volume)
{
    bool ok = false;
    volume = text.trimmed().toInt(&ok);
    return ok && volume >= 0 && volume <= 255;
}

// Sends one command and prints whatever the board says back.
int SendAndShow(CliContext& ctx, const QString& command)
{
    CliLink link(ctx.port);
    if (!link.Open())
        return CliExit::PortFailed;
    link.Send(command);
    link.Follow(300, [](const QByteArray& line) {
        Out(FromWire(line));
        return false;
    });
    return CliExit::Ok;
}

int runInfo(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        Err(u"usage: qls-wav-cli info"_s);
        return CliExit::Usage;
    }
    CliLink link(ctx.port);
    if (!link.Open())
        return CliExit::PortFailed;
    link.Send(DeviceCmd::GetConfig());
    // Read as the player panel reads it: white space removed first.
    QString reply;
    link.Follow(2000, [&reply](const QByteArray& line) {
        const QString s = RemoveWhiteSpace(FromWire(line));
        if (s.left(6) == u"+GCFG:"_s)
            reply = s;
        return !reply.isEmpty();
    });
    if (reply.isEmpty()) {
        Err(u"no +GCFG: reply from the board"_s);
        return kNoReply;
    }
    const TGcfgReply r = TGcfgReply::Parse(reply);
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
