#include "cli/CliCommand.h"

#include <QSerialPortInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
int runPorts(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        Err(u"usage: qls-wav-cli ports"_s);
        return CliExit::Usage;
    }
    QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::sort(ports.begin(), ports.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.systemLocation().compare(b.systemLocation(), Qt::CaseInsensitive) < 0;
    });
    for (const QSerialPortInfo& p : ports) {
        QString desc = p.description();
        if (!p.manufacturer().isEmpty())
            desc += (desc.isEmpty() ? u""_s : u", "_s) + p.manufacturer();
        if (!p.serialNumber().isEmpty())
            desc += u" (serial "_s + p.serialNumber() + u')';
        if (desc.isEmpty())
            desc = u"Serial port"_s;
        Out(p.systemLocation() + u"  "_s + desc);
    }
    return CliExit::Ok;
}

const CliCommand ports("ports", "ports                      list the serial ports", runPorts);
} // namespace
