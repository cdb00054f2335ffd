#include "app/TRvRegStore.h"
#include "cli/CliCommand.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList words = QCoreApplication::arguments().mid(1);

    CliContext ctx;
    // --port may stand anywhere; everything else belongs to the command.
    for (qsizetype i = 0; i < words.size();) {
        if (words.at(i) == u"--port"_s) {
            if (i + 1 >= words.size()) {
                Err(u"--port needs a port name"_s);
                return CliExit::Usage;
            }
            ctx.port = words.at(i + 1);
            ctx.portGiven = true;
            words.remove(i, 2);
        } else if (words.at(i).startsWith(u"--port="_s)) {
            ctx.port = words.at(i).mid(7);
            ctx.portGiven = true;
            words.remove(i);
        } else {
            ++i;
        }
    }
    if (words.isEmpty() || words.first() == u"--help"_s || words.first() == u"-h"_s) {
        Err(CliCommand::UsageText());
        return words.isEmpty() ? CliExit::Usage : CliExit::Ok;
    }
    const CliCommand* command = CliCommand::Find(words.first());
    if (!command) {
        Err(u"unknown command: "_s + words.first());
        Err(CliCommand::UsageText());
        return CliExit::Usage;
    }
    if (!ctx.portGiven)
        ctx.port =
            TRvRegStore(TRvRegStore::ProgramName()).ReadRegINI(u"comport"_s, QString()).trimmed();
    ctx.args = words.mid(1);
    return command->run(ctx);
}
