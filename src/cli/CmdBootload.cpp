#include "bootload/TRvBootload.h"
#include "cli/CliCommand.h"
#include "firmware/TmxStorage.h"

#include <QEventLoop>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
constexpr int Failed = 3;

// The firmware page's settings of the bootloader component.
void configure(TRvBootload& b, const QString& port)
{
    b.ComPort = port;
    b.Baudrate = u"115200"_s;
    b.UseSoftRST = true;
    b.SoftRSTCommand = u"AT+RST?"_s;
    b.UseCRafterSoftRST = true;
    b.HwRstDTR = false;
    b.HwRstRTS = false;
    b.SetOwnerHeader(u"!,*,&,128,0x7C00,"_s);
}

// The page's text for a wrong target: the name upper-cased, its 3rd to 6th
// characters made "mega" as far as it has them ("ATmega8"). Empty when the
// board named no target.
QString badTargetText(const QString& name)
{
    QString upper = name.toUpper();
    if (upper.trimmed().isEmpty())
        return QString();
    const QString mega = u"mega"_s;
    for (int i = 0; i < 4 && 2 + i < upper.size(); ++i)
        upper[2 + i] = mega.at(i);
    return u"Bad target microcontroller: "_s + upper;
}

bool goodTarget(const TBLSINFO& info)
{
    return info.Microcontroller.toLower() == u"atmega328p"_s;
}

struct Run
{
    bool infoSeen = false;
    bool portFailed = false;
    bool badTarget = false;
    QString failure;
    int status = -1;
};

// Runs one action to its end, reporting on stderr.
Run runAction(TRvBootload& b, const QString& port, const std::function<void()>& start,
              const std::function<void(const TBLSINFO&)>& onInfo)
{
    Run run;
    QEventLoop loop;
    b.OnInfoBLS = [&](const TBLSINFO& info, TMBaction, bool& stop) {
        run.infoSeen = true;
        if (onInfo)
            onInfo(info);
        if (!goodTarget(info)) {
            run.badTarget = true;
            stop = true;
            if (const QString text = badTargetText(info.Microcontroller); !text.isEmpty())
                Err(text);
        }
    };
    b.OnStatus = [&](const QString& text, int code) {
        if (code == 0)
            return;
        if (!run.infoSeen && text.startsWith(u"Port "_s + port + u" error # "_s))
            run.portFailed = true;
        run.failure = text;
        Err(text);
    };
    int lastShown = -1;
    b.OnUploadStart = [](int size) { Err(u"uploading... %1 bytes"_s.arg(size)); };
    b.OnUploadProgress = [&lastShown](const QString& time, int progress) {
        if (progress == lastShown)
            return;
        lastShown = progress;
        Err(u"%1% %2"_s.arg(progress, 3).arg(time));
    };
    b.OnUploadOK = [] { Err(u"Upload OK"_s); };
    b.OnActionEnd = [&](TMBaction, int status) {
        run.status = status;
        loop.quit();
    };
    start();
    loop.exec();
    return run;
}

int exitCode(const Run& run)
{
    if (run.portFailed)
        return CliExit::PortFailed;
    if (run.status != 0 || run.badTarget)
        return Failed;
    return CliExit::Ok;
}

bool needPort(const CliContext& ctx)
{
    if (!ctx.port.isEmpty())
        return true;
    Err(u"no serial port: give --port PORT"_s);
    return false;
}

int runCheckBls(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        Err(u"usage: qls-wav-cli [--port PORT] check-bls"_s);
        return CliExit::Usage;
    }
    if (!needPort(ctx))
        return CliExit::Usage;
    TRvBootload b;
    configure(b, ctx.port);
    const Run run = runAction(
        b, ctx.port, [&b] { b.CheckBLS(); },
        [](const TBLSINFO& info) {
            Out(u"page_size="_s + QString::number(info.PageSize));
            Out(u"address="_s + info.BLSAddress);
            Out(u"microcontroller="_s + info.Microcontroller);
            Out(u"f_cpu="_s + info.F_CPU);
            Out(u"version="_s + info.BLSVer);
        });
    return exitCode(run);
}

int runUpload(CliContext& ctx)
{
    if (ctx.args.size() > 1) {
        Err(u"usage: qls-wav-cli [--port PORT] upload [IMAGE.hex|IMAGE.bin]"_s);
        return CliExit::Usage;
    }
    if (!needPort(ctx))
        return CliExit::Usage;
    TRvBootload b;
    configure(b, ctx.port);
    bool hex = false;
    if (ctx.args.isEmpty()) {
        TmxStorage store;
        TmxStoredItem* item = store.ItemByName(u"QLS-WAV.bin"_s);
        auto stream = item ? item->GetAsStream() : nullptr;
        if (!stream) {
            Err(item ? item->LastError() : u"the carried firmware is missing"_s);
            return Failed;
        }
        b.SetWsadBIN(TRvBootload::StreamToString(stream.get()));
        b.SetWsadHEX(QByteArray());
    } else {
        const QString file = ctx.args.first();
        hex = QFileInfo(file).suffix().compare(u"hex"_s, Qt::CaseInsensitive) == 0;
        if (!(hex ? b.ReadHexFromFile(file) : b.ReadBinFromFile(file))) {
            Err(u"cannot read "_s + file);
            return Failed;
        }
        // A rejected HEX text would write an empty image: refuse it here.
        if (hex && b.WsadHEX().isEmpty()) {
            Err(file + u": not a valid Intel HEX image"_s);
            return Failed;
        }
    }
    const Run run = runAction(b, ctx.port, [&b, hex] { hex ? b.UploadHEX() : b.UploadBIN(); }, {});
    return exitCode(run);
}

const CliCommand checkBls("check-bls",
                          "check-bls                  ask the board's bootloader about itself",
                          runCheckBls);
const CliCommand upload("upload",
                        "upload [IMAGE]             write firmware (.hex or .bin; default: the "
                        "carried image) through the bootloader",
                        runUpload);
} // namespace
