#include "app/Utils.h"
#include "cli/CliCommand.h"
#include "programmer/TAvrDudeCommandLines.h"
#include "programmer/TRvAvrDude.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
constexpr int kRunFailed = 3;

const QString kUsage =
    u"usage: qls-wav-cli avrdude --hex FILE [--programmer usbasp|ft232r] [--tool PATH] "
    u"[--dry-run]"_s;

// "--name value" or "--name=value"; false when the value is missing.
bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value,
               bool& matched)
{
    matched = false;
    const QString& word = args.at(i);
    if (word == name) {
        matched = true;
        if (i + 1 >= args.size())
            return false;
        value = args.at(++i);
        return true;
    }
    if (word.startsWith(name + u'=')) {
        matched = true;
        value = word.mid(name.size() + 1);
    }
    return true;
}

int runAvrDude(CliContext& ctx)
{
    QString programmer = u"usbasp"_s;
    QString tool;
    QString hex;
    bool dryRun = false;
    for (qsizetype i = 0; i < ctx.args.size(); ++i) {
        bool matched = false;
        if (ctx.args.at(i) == u"--dry-run"_s) {
            dryRun = true;
            continue;
        }
        bool ok = true;
        for (const auto& [name, target] :
             {std::pair{u"--programmer"_s, &programmer}, std::pair{u"--tool"_s, &tool},
              std::pair{u"--hex"_s, &hex}}) {
            ok = takeValue(ctx.args, i, name, *target, matched);
            if (matched)
                break;
        }
        if (!matched || !ok) {
            Err(kUsage);
            return CliExit::Usage;
        }
    }
    programmer = programmer.toLower();
    if (programmer != u"usbasp"_s && programmer != u"ft232r"_s) {
        Err(u"unknown programmer: "_s + programmer);
        Err(kUsage);
        return CliExit::Usage;
    }
    if (hex.isEmpty()) {
        Err(u"--hex FILE is needed: the bootloader image to write"_s);
        Err(kUsage);
        return CliExit::Usage;
    }
    const QFileInfo hexInfo(hex);
    if (!hexInfo.isFile()) {
        Err(u"no such file: "_s + hex);
        return CliExit::Usage;
    }
    if (tool.isEmpty()) {
        tool = QStandardPaths::findExecutable(u"avrdude"_s);
        if (tool.isEmpty())
            tool = u"avrdude"_s; // the run then says it is missing
    }

    // The entry texts the programmer list of the firmware page holds.
    const QString entry = programmer == u"ft232r"_s ? u"QLS-FT232R"_s : u"USBasp"_s;
    const TAvrDudeCommandLines lines(entry, ShortPathName(hexInfo.absoluteFilePath()));
    Out(u"fuse:"_s + lines.Fuse);
    Out(u"flash:"_s + lines.Flash);
    Out(u"lock:"_s + lines.Lock);
    if (dryRun)
        return CliExit::Ok;

    TRvAvrDude runner;
    runner.AvrDudePathName = tool;
    runner.AvrFuseBits = lines.Fuse;
    runner.AvrDudeParams = lines.Flash;
    runner.AvrLockBits = lines.Lock;
    QEventLoop loop;
    int status = -1;
    runner.OnConsole = [](const QString& chunk) {
        const QByteArray bytes = chunk.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    };
    runner.OnProgress = [](int percent) { Out(u"progress: "_s + QString::number(percent)); };
    runner.OnNeedFT232RESET = [] {
        Err(u"(the target's reset is to be pulsed now; this tool does not drive the FT232R "
            u"pins)"_s);
    };
    runner.OnActionEnd = [&](TADaction, int s) {
        status = s;
        loop.quit();
    };
    if (!runner.AVRDUDE_START(QString(), QString())) {
        Err(u"nothing to run"_s);
        return kRunFailed;
    }
    loop.exec();
    Out(status == 0 ? u"result: ok"_s : u"result: failed"_s);
    return status == 0 ? CliExit::Ok : kRunFailed;
}

const CliCommand avrdude("avrdude",
                         "avrdude --hex FILE [--programmer usbasp|ft232r] [--tool PATH] "
                         "[--dry-run]\n"
                         "                             write the bootloader, fuses and lock "
                         "bits with avrdude",
                         runAvrDude);
} // namespace
