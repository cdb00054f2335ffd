#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The command-line tool's commands. Each Cmd*.cpp registers its commands with a
// static CliCommand object; main() dispatches on the first word.
struct CliContext
{
    QString port;     // --port, else the program's stored "comport"
    QStringList args; // the words after the command's name
    bool portGiven = false;
};

// Exit codes shared by every command.
namespace CliExit {
constexpr int Ok = 0;
constexpr int Usage = 1;
constexpr int PortFailed = 2;
} // namespace CliExit

class CliCommand
{
public:
    using Run = std::function<int(CliContext&)>;
    CliCommand(const char* name, const char* usage, Run run);

    static const CliCommand* Find(const QString& name);
    static QString UsageText();

    QString name;
    QString usage;
    Run run;
};

// Prints to stdout / stderr as UTF-8, one line each.
void Out(const QString& line);
void Err(const QString& line);
