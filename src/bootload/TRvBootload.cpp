#include "bootload/TRvBootload.h"

#include "app/TNoticeChannel.h"
#include "app/TRvCloseGuard.h"
#include "app/Utils.h"
#include "bootload/TIntelHex.h"

#include <QFile>
#include <QIODevice>
#include <QStringConverter>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

TBootHeader TBootHeader::Parse(const QString& header)
{
    TBootHeader h;
    if (header.isEmpty())
        return h;
    QString rest = header;
    h.hinfo = CutField(rest, u","_s);
    h.hstart = CutField(rest, u","_s);
    h.hstop = CutField(rest, u","_s);
    h.hpage = CutField(rest, u","_s);
    h.hadr = CutField(rest, u","_s);
    h.bOwnHeader = true;
    return h;
}

TRvBootload::TRvBootload(QObject* owner)
    : QObject(owner), FNotices(new TNoticeChannel(this)),
      FGuard(new TRvCloseGuard(owner, u"Wait for RvBootloader Thread end"_s, this))
{
    FNotices->OnNotice = [this](int code, const QString& text, qint32 number) {
        onNotice(code, text, number);
    };
    FGuard->CanClose = [this] { return FCanClose.load(); };
    FGuard->OnWaitThreadEnd = [this] {
        if (OnWaitThreadEnd)
            OnWaitThreadEnd();
    };
}

TRvBootload::~TRvBootload()
{
    // The close guard should have prevented this; never leave a worker behind.
    if (FWorker) {
        FWorker->OnEnd = nullptr;
        FWorker->Stop = true;
        FWorker->requestInterruption();
        FWorker->wait();
        FWorker.reset();
    }
    FWiFiList.clear();
}

void TRvBootload::status(const QString& text, int code)
{
    if (OnStatus)
        OnStatus(text, code);
}

void TRvBootload::SetRemoteIP(const QString& ip)
{
    if (FWiFiActive && ip != FRemoteIP) {
        FChangeIpProblem = true;
        return;
    }
    FRemoteIP = ip;
    FChangeIpProblem = false;
}

void TRvBootload::SetRemotePort(const QString& port)
{
    if (FWiFiActive && port != FRemotePort) {
        FChangePortProblem = true;
        return;
    }
    FRemotePort = port;
    FChangePortProblem = false;
}

void TRvBootload::SetWiFiActive(bool active)
{
    if (!active) {
        if (!FWiFiActive)
            return;
        FWiFiActive = false;
        if (OnWiFiConnect) {
            OnWiFiConnect(false);
            status(u"WiFi Disconnected"_s, -215);
        }
        return;
    }
    if (WifiPassword.trimmed().isEmpty())
        WifiPassword = u"QX-B27MODULEPROBE"_s;
    if (WiFiCheck)
        WiFiCheck(FNotices, FRemoteIP, WifiPassword);
    else
        FNotices->Post(BootNotice::WiFiCheck, QString(), 0);
}

void TRvBootload::SetOwnerHeader(const QString& hd)
{
    FOwnerHeader = hd;
    FHeader = TBootHeader::Parse(hd);
}

QByteArray TRvBootload::StreamToString(QIODevice* aStream)
{
    if (!aStream)
        return QByteArray();
    if (!aStream->isSequential())
        aStream->seek(0);
    return aStream->readAll();
}

void TRvBootload::LoadBINfromStream(QIODevice* astream)
{
    FWsadBIN = StreamToString(astream);
    FWsadHEX.clear();
}

void TRvBootload::LoadHEXfromStream(QIODevice* astream)
{
    FWsadHEX = TIntelHex::Parse(StreamToString(astream));
    FWsadBIN.clear();
}

bool TRvBootload::ReadHexFromFile(const QString& fname)
{
    QFile f(fname);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return false;
    QByteArray raw = f.readAll();
    // A byte-order mark selects the encoding; otherwise one byte is one character.
    if (auto enc = QStringConverter::encodingForData(raw)) {
        QStringDecoder decode(*enc);
        const QString text = decode(raw);
        raw = ToWire(text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text);
    }
    FWsadHEX = TIntelHex::Parse(raw);
    FWsadBIN.clear();
    return true;
}

bool TRvBootload::ReadBinFromFile(const QString& fname)
{
    QFile f(fname);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return false;
    FWsadBIN = f.readAll();
    FWsadHEX.clear();
    return true;
}

bool TRvBootload::refused(bool wifiChecks)
{
    if (FWorker) {
        status(u"Thread is Active, try again"_s, -250);
        return true;
    }
    if (!wifiChecks)
        return false;
    if (UseVORIN_WIFI && !FWiFiActive) {
        status(u"WiFi not connected"_s, -200);
        return true;
    }
    if (FChangeIpProblem || FChangePortProblem) {
        status(u"Can't change IP address or port while WiFi is connected!"_s, -200);
        return true;
    }
    return false;
}

void TRvBootload::CheckBLS()
{
    start(_check_bls, true, false, false);
}

void TRvBootload::UploadHEX()
{
    start(_upload, false, true, false);
}

void TRvBootload::UploadBIN()
{
    start(_upload, false, false, true);
}

void TRvBootload::start(TMBaction action, bool check, bool hex, bool bin)
{
    if (refused(true))
        return;
    FAction = action;
    auto worker =
        std::make_unique<TUploadThread>(FNotices, GetOwnerHeader(), &FCanClose, FPortFactory);
    worker->CheckBLS = check;
    worker->UseSoftReset = UseSoftRST;
    worker->ResetDTR = HwRstDTR;
    worker->ResetRTS = HwRstRTS;
    worker->SoftResetCmd = SoftRSTCommand;
    worker->UseCRinRSTcommand = UseCRafterSoftRST;
    worker->WsadHex = hex ? FWsadHEX : QByteArray();
    worker->WsadBin = bin ? FWsadBIN : QByteArray();
    worker->UseVORIN_WIFI = UseVORIN_WIFI;
    if (UseVORIN_WIFI) {
        worker->RemoteIP = FRemoteIP;
        worker->RemotePort = FRemotePort;
    } else {
        worker->ComPort = ComPort;
        worker->BaudRate = Baudrate;
        worker->UseBluetooth = UseBluetooth;
    }
    worker->OnEnd = [this] { workerEnded(); };
    FWorker = std::move(worker);
    FWorker->start();
}

void TRvBootload::GetWiFiModulesList()
{
    if (refused(false))
        return;
    FAction = _wifi_list;
    auto worker =
        std::make_unique<TUploadThread>(FNotices, GetOwnerHeader(), &FCanClose, FPortFactory);
    worker->UseVORIN_WIFI = true;
    worker->GetWiFiList = true;
    worker->WifiPassword = WifiPassword;
    worker->OnEnd = [this] { workerEnded(); };
    FWorker = std::move(worker);
    FWorker->start();
}

void TRvBootload::onNotice(int code, const QString& text, qint32 number)
{
    switch (code) {
    case BootNotice::Progress:
        if (OnUploadProgress)
            OnUploadProgress(text, std::min(number, 100));
        break;
    case BootNotice::InfoBLS:
        onInfoBLS(text);
        break;
    case BootNotice::Status:
        status(text, number);
        break;
    case BootNotice::UploadOK:
        if (OnUploadOK)
            OnUploadOK();
        break;
    case BootNotice::UploadStart:
        if (OnUploadStart)
            OnUploadStart(number);
        break;
    case BootNotice::Finished:
        FGuard->WorkerEnded();
        break;
    case BootNotice::WiFiList:
        onWiFiList(text, number);
        break;
    case BootNotice::WiFiCheck:
        onWiFiCheck(number == 1);
        break;
    case BootNotice::ActionStatus:
        FActionStatus = number;
        break;
    case BootNotice::Action:
        FAction = static_cast<TMBaction>(number);
        break;
    default:
        break;
    }
}

void TRvBootload::onInfoBLS(const QString& text)
{
    FStopBadTarget = false;
    QString rest = text;
    CutField(rest, FHeader.hstart);
    TBLSINFO info;
    bool ok = false;
    const QString page = CutField(rest, u","_s);
    info.PageSize = page.toInt(&ok, 10);
    if (!ok)
        info.PageSize = 128;
    info.BLSAddress = CutField(rest, u","_s);
    info.Microcontroller = CutField(rest, u","_s);
    info.F_CPU = CutField(rest, u","_s);
    info.BLSVer = CutField(rest, u","_s);
    if (OnInfoBLS)
        OnInfoBLS(info, FAction, FStopBadTarget);
    if (FWorker)
        FWorker->StopBadTarget = FStopBadTarget ? 1 : 0;
}

void TRvBootload::onWiFiList(const QString& text, int count)
{
    FWiFiList = QList<TWIFIitem>(std::max(0, count));
    const QStringList lines = text.split(u"\r\n"_s);
    for (int i = 0; i < FWiFiList.size() && i < lines.size(); ++i) {
        const QStringList f = lines.at(i).split(u',');
        if (f.size() < 6)
            break;
        FWiFiList[i] = TWIFIitem{f.at(0), f.at(1), f.at(2), f.at(3), f.at(4), f.at(5)};
    }
    if (OnGetWiFiList)
        OnGetWiFiList(FWiFiList, count);
}

void TRvBootload::onWiFiCheck(bool found)
{
    FWiFiActive = found;
    if (!found)
        status(u"WIFI Connection problem"_s, -200);
    if (OnWiFiConnect) {
        OnWiFiConnect(found);
        if (found)
            status(u"WiFi Connected Success"_s, 0);
        else
            status(u"WiFi Disconnected"_s, -215);
    }
}

void TRvBootload::workerEnded()
{
    if (FWorker) {
        FWorker->wait();
        FWorker.reset();
    }
    if (OnActionEnd)
        OnActionEnd(FAction, FActionStatus);
}
