#include "cli/CliCommand.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
std::vector<const CliCommand*>& registry()
{
    static std::vector<const CliCommand*> commands;
    return commands;
}
} // namespace

CliCommand::CliCommand(const char* n, const char* u, Run r)
    : name(QString::fromUtf8(n)), usage(QString::fromUtf8(u)), run(std::move(r))
{
    registry().push_back(this);
}

const CliCommand* CliCommand::Find(const QString& n)
{
    for (const CliCommand* c : registry())
        if (c->name == n)
            return c;
    return nullptr;
}

QString CliCommand::UsageText()
{
    std::vector<const CliCommand*> sorted = registry();
    std::sort(sorted.begin(), sorted.end(),
              [](const CliCommand* a, const CliCommand* b) { return a->name < b->name; });
    QString text = QStringLiteral("usage: qls-wav-cli [--port PORT] COMMAND [ARGS]\ncommands:\n");
    for (const CliCommand* c : sorted)
        text += QStringLiteral("  ") + c->usage + QLatin1Char('\n');
    return text;
}

void Out(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Err(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
