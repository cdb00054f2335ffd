#include "bootload/TUploadThread.h"

#include "app/TNoticeChannel.h"
#include "app/Utils.h"
#include "bootload/TIntelHex.h"
#include "serial/SerialErrors.h"
#include "serial/TSerialPortDevice.h"

#include <QDeadlineTimer>
#include <cerrno>
#include <exception>

using namespace Qt::StringLiterals;

namespace {
constexpr char PromptByte = '?';
constexpr char PageRequest = 0x40;
constexpr int MaxPageWaitFailures = 50;

// Control characters and spaces off both ends.
QString trimControls(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

int decimalOr(const QString& text, int fallback)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : fallback;
}
} // namespace

TUploadThread::TUploadThread(TNoticeChannel* notices, const QString& header,
                             std::atomic<bool>* canClose, PortFactory portFactory)
    : FNotices(notices), FHeader(TBootHeader::Parse(header)), FCanClose(canClose),
      FPortFactory(std::move(portFactory))
{
    if (FCanClose)
        FCanClose->store(false);
}

TUploadThread::~TUploadThread()
{
    Stop = true;
    requestInterruption();
    wait();
}

QString TUploadThread::ElapsedText(qint64 ms)
{
    const qint64 minutes = (ms / 60000) % 60;
    const qint64 seconds = (ms / 1000) % 60;
    const qint64 millis = ms % 1000;
    return u"%1 m %2 s %3 ms"_s.arg(minutes, 2, 10, QChar(u'0'))
        .arg(seconds, 2, 10, QChar(u'0'))
        .arg(millis, 3, 10, QChar(u'0'));
}

bool TUploadThread::stopRequested() const
{
    return Stop.load() || isInterruptionRequested();
}

void TUploadThread::post(int code, const QString& text, qint32 number)
{
    if (FNotices)
        FNotices->Post(code, text, number);
}

void TUploadThread::failWith(const QString& text, int code)
{
    post(BootNotice::Status, text, code);
    post(BootNotice::ActionStatus, QString(), -1);
}

void TUploadThread::failWithPort(ISerialPort& port)
{
    const int code = port.lastError() != 0 ? port.lastError() : EIO;
    const QString desc =
        port.lastError() != 0 ? port.lastErrorDesc() : u"the port did not take the data"_s;
    failWith(u"Port "_s + ComPort + u" error # "_s + desc, code);
}

void TUploadThread::run()
{
    setPriority(QThread::HighestPriority);
    std::unique_ptr<ISerialPort> port;
    try {
        if (UseVORIN_WIFI) {
            runWiFi();
        } else {
            setPriority(QThread::HighPriority);
            port = FPortFactory ? FPortFactory() : std::make_unique<TSerialPortDevice>();
            runSerial(*port);
        }
    } catch (const std::exception& e) {
        failWith(u"UART_Bootloader Thread exception error: "_s + QString::fromLocal8Bit(e.what()),
                 -200);
    } catch (...) {
        failWith(u"UART_Bootloader Thread exception error: unknown fault"_s, -200);
    }
    if (port)
        port->close();
    if (FCanClose)
        FCanClose->store(true);
    post(BootNotice::Finished);
    if (FNotices && OnEnd)
        QMetaObject::invokeMethod(FNotices, OnEnd, Qt::QueuedConnection);
}

void TUploadThread::runWiFi()
{
    // The module transport is not part of this program; the component never
    // starts a WiFi action without a connected module.
    failWith(u"WiFi upload is not available in this program"_s, -200);
}

void TUploadThread::runSerial(ISerialPort& port)
{
    // 1. The image.
    QByteArray image = !WsadBin.isEmpty() ? WsadBin : TIntelHex::DigitsToBytes(WsadHex);
    msleep(50);

    // 2. Open and configure, three attempts.
    const int baud = decimalOr(BaudRate, 9600);
    for (int attempt = 1;; ++attempt) {
        port.setWriteTimeout(1000);
        if (port.open(ComPort) && port.configure(baud, 8, 'N', 1, false, false))
            break;
        if (attempt == 3) {
            failWithPort(port);
            return;
        }
        port.close();
        msleep(500);
    }
    port.setWriteTimeout(5000);

    // 3. A stop before anything is sent.
    if (stopRequested()) {
        post(BootNotice::ActionStatus, QString(), -1);
        return;
    }

    // 4. Hardware reset pulses.
    if (ResetDTR) {
        port.setDTR(false);
        msleep(5);
        port.setDTR(true);
    }
    if (ResetRTS) {
        port.setRTS(false);
        msleep(5);
        port.setRTS(true);
    }

    // 5. Soft reset of the running application.
    if (UseSoftReset) {
        if (UseBluetooth)
            msleep(2000);
        QByteArray cmd = ToWire(SoftResetCmd.trimmed());
        if (UseCRinRSTcommand)
            cmd += '\r';
        port.write(cmd);
    }

    // 6. The prompt: a talking line keeps the wait open, a silent one ends it
    // after about 3.6 s.
    bool prompt = false;
    int polls = 0;
    int limit = 10;
    do {
        if (port.canRead(100)) {
            const int b = port.readByte(100);
            if (b == PromptByte) {
                prompt = true;
                break;
            }
            if (b > 0)
                polls = 0;
        } else {
            limit = 35;
        }
        ++polls;
    } while (polls <= limit);
    if (!prompt) {
        post(BootNotice::Status, ComPort + u" - no response from BLS"_s, -100);
        post(BootNotice::Action, QString(), _check_bls);
        post(BootNotice::ActionStatus, QString(), -1);
        return;
    }

    // 7. The information exchange.
    QString reply;
    msleep(50);
    bool sent = port.write(QByteArrayLiteral("u")) == 1 && port.lastError() == 0;
    msleep(50);
    const QByteArray info = ToWire(FHeader.hinfo.isEmpty() ? u"i"_s : FHeader.hinfo.left(1));
    sent = sent && port.write(info) == info.size() && port.lastError() == 0;
    if (sent && port.canRead(2000)) {
        const QByteArray stop = ToWire(FHeader.hstop.isEmpty() ? u"*"_s : FHeader.hstop);
        QDeadlineTimer deadline(5000);
        QByteArray got;
        qsizetype at = -1;
        while (!deadline.hasExpired()) {
            const QByteArray part =
                port.readAvailable(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            if (part.isEmpty() && port.lastError() != 0 && !port.checkHealth())
                break;
            got += part;
            at = got.indexOf(stop);
            if (at >= 0)
                break;
        }
        if (at >= 0)
            reply = FromWire(got.left(at));
    }

    // 8. Reading the reply.
    QString infoText;
    reply = trimControls(reply);
    if (!reply.isEmpty()) {
        QString rest = reply;
        CutField(rest, FHeader.hstart);
        QString page = CutField(rest, u","_s);
        QString address = CutField(rest, u","_s);
        const QString mcu = CutField(rest, u","_s);
        const QString clock = CutField(rest, u","_s);
        const QString version = CutField(rest, u","_s);
        int pageSize = decimalOr(page, -1);
        if (FHeader.bOwnHeader) {
            pageSize = decimalOr(FHeader.hpage, -1);
            address = FHeader.hadr;
        }
        FBLSInfo.PageSize = pageSize;
        if (pageSize >= 0) {
            FBLSInfo.BLSAddress = address;
            FBLSInfo.Microcontroller = mcu;
            FBLSInfo.F_CPU = clock;
            FBLSInfo.BLSVer = version;
            infoText = reply;
        }
    }

    // 9.
    if (FBLSInfo.PageSize <= 0) {
        failWith(u"ERROR - Bad PageSize from BLS ["_s + infoText + u"]"_s, -101);
        return;
    }

    // 10.
    post(BootNotice::InfoBLS, infoText);
    if (CheckBLS) {
        post(BootNotice::ActionStatus, QString(), 0);
        return;
    }

    // 11. The target decision, counted in pauses.
    int decision = 1;
    for (int i = 0; i < 100; ++i) {
        msleep(1);
        const int answer = StopBadTarget.load();
        if (answer == 0 || answer == 1) {
            decision = answer;
            break;
        }
    }

    // 12.
    if (decision == 1) {
        StopBadTarget = -1;
        failWith(u"\"Stop Bad Target - "_s + FBLSInfo.Microcontroller + u"\""_s, -112);
        return;
    }

    // 13. Whole pages only.
    const qsizetype pageSize = FBLSInfo.PageSize;
    if (image.size() % pageSize != 0)
        image.append(pageSize - image.size() % pageSize, '\xFF');
    const qsizetype total = image.size();
    post(BootNotice::UploadStart, QString(), static_cast<qint32>(total));

    // 14. Drain what the BLS has said so far.
    port.readAvailable(port.canRead(0) ? 0 : 1000);

    // 15.
    if (port.write(QByteArrayLiteral("w")) != 1 || port.lastError() != 0) {
        failWithPort(port);
        return;
    }
    FStart.start();
    FFailures = 0;
    FBytesSent = 0;

    // 16. One page per request.
    qsizetype offset = 0;
    while (offset < total) {
        if (stopRequested()) {
            post(BootNotice::ActionStatus, QString(), -1);
            return;
        }
        for (;;) {
            const int b = port.readByte(200);
            if (b == PageRequest)
                break;
            if (stopRequested()) {
                post(BootNotice::ActionStatus, QString(), -1);
                return;
            }
            // A port that is gone ends the transfer now instead of after 50 waits.
            if (b < 0 && port.lastError() != 0 && port.lastError() != SerialError::Timeout) {
                failWithPort(port);
                return;
            }
            if (b < 0 && !port.checkHealth()) {
                failWithPort(port);
                return;
            }
            if (++FFailures > MaxPageWaitFailures) {
                failWith(u"Timeout"_s, -200);
                return;
            }
        }
        QByteArray frame(1, '\x01');
        frame += image.mid(offset, pageSize);
        // A page the port did not take is a failed upload, never an OK.
        if (port.write(frame) != frame.size() || port.lastError() != 0) {
            failWithPort(port);
            return;
        }
        offset += pageSize;
        FBytesSent += pageSize;
        FProgress = static_cast<int>(FBytesSent * 100 / total);
        post(BootNotice::Progress, ElapsedText(FStart.elapsed()), FProgress);
    }

    // 17.
    if (port.write(QByteArray(1, '\0')) != 1 || port.lastError() != 0) {
        failWithPort(port);
        return;
    }
    post(BootNotice::UploadOK);
    post(BootNotice::ActionStatus, QString(), 0);
}
