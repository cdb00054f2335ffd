#include "cli/CliCommand.h"
#include "cli/CliLink.h"

using namespace Qt::StringLiterals;

namespace {
int runSend(CliContext& ctx)
{
    QStringList args = ctx.args;
    int waitMs = 1000;
    const qsizetype w = args.indexOf(u"--wait"_s);
    if (w >= 0) {
        bool ok = false;
        waitMs = w + 1 < args.size() ? args.at(w + 1).toInt(&ok) : 0;
        if (!ok || waitMs < 0) {
            Err(u"--wait takes milliseconds; usage: qls-wav-cli --port PORT send TEXT [--wait MS]"_s);
            return CliExit::Usage;
        }
        args.remove(w, 2);
    }
    if (args.size() != 1) {
        Err(u"usage: qls-wav-cli --port PORT send TEXT [--wait MS]"_s);
        return CliExit::Usage;
    }
    CliLink link(ctx.port);
    if (!link.Open())
        return CliExit::PortFailed;
    link.Send(args.first());
    link.Follow(waitMs, [](const QByteArray& line) {
        Out(QString::fromLatin1(line));
        return false;
    });
    return CliExit::Ok;
}

const CliCommand send("send", "send TEXT [--wait MS]      send a command, print the replies",
                      runSend);
} // namespace
