#include "app/TRvRegStore.h"
#include "app/Utils.h"
#include "cli/CliCommand.h"
#include "sdexplorer/TSdDownload.h"
#include "sdexplorer/TSdListing.h"
#include "sdexplorer/TSdTree.h"
#include "serial/TRvComPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
namespace Exit {
constexpr int NoCard = 3;
constexpr int Silent = 4;
constexpr int Failed = 5;
} // namespace Exit

constexpr int SilenceMs = 5000;

// One session on the board's link: opens the port, runs `onConnected` once
// the link is up, hands every received line or packet to `onData`, and ends
// with the code given to Finish(), or Exit::Silent after 5 s without data.
class Session
{
public:
    explicit Session(const QString& port)
    {
        FPort.SetComPort(port);
        FPort.SetBaudRate(u"115200"_s);
        FPort.SetEnableCheckTimer(false);
        FSilence.setSingleShot(true);
        FSilence.setInterval(SilenceMs);
        QObject::connect(&FSilence, &QTimer::timeout, [this] {
            if (OnSilence)
                OnSilence();
            Finish(Exit::Silent);
        });
        FPort.OnConnected = [this](QObject*) {
            FSeenConnect = true;
            FSilence.start();
            if (OnConnected)
                OnConnected();
        };
        FPort.OnComError = [this](QObject*, int, const QString& desc) {
            if (!FSeenConnect) {
                Err(u"port "_s + FPort.ComPort() + u": "_s + desc.trimmed());
                Finish(CliExit::PortFailed);
            }
        };
        FPort.OnRxString = [this](QObject*, const QByteArray& data) {
            FSilence.start();
            if (OnData)
                OnData(data);
        };
    }

    int Run()
    {
        if (FPort.ComPort().isEmpty()) {
            Err(u"no port: give --port"_s);
            return CliExit::Usage;
        }
        FPort.SetActive(true);
        FPort.SetConnected(true);
        FSilence.start();
        if (!FDone)
            FLoop.exec();
        FPort.OnRxString = nullptr;
        FPort.OnComError = nullptr;
        FPort.SetConnected(false);
        FPort.StopWorker(3000);
        return FCode;
    }

    void Finish(int code)
    {
        if (FDone)
            return;
        FDone = true;
        FCode = code;
        FSilence.stop();
        FLoop.quit();
    }

    TRvComPort& Port() { return FPort; }

    std::function<void()> OnConnected;
    std::function<void(const QByteArray&)> OnData;
    std::function<void()> OnSilence;

private:
    TRvComPort FPort;
    QEventLoop FLoop;
    QTimer FSilence;
    bool FDone = false;
    bool FSeenConnect = false;
    int FCode = CliExit::Ok;
};

int runLs(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        Err(u"usage: qls-wav-cli ls"_s);
        return CliExit::Usage;
    }
    Session session(ctx.port);
    TSdListing listing;
    bool reading = false;
    // A listing that breaks off ends after 1 s of silence; its entries wait
    // for the next one, as in the explorer.
    QTimer listTmo;
    listTmo.setSingleShot(true);
    listTmo.setInterval(1000);
    QObject::connect(&listTmo, &QTimer::timeout, [&reading] { reading = false; });

    session.OnConnected = [&session] {
        session.Port().SendString(u"AT+STOP"_s);
        session.Port().SendString(u"AT+LIST"_s);
    };
    session.OnData = [&](const QByteArray& data) {
        const QString S = RemoveWhiteSpace(FromWire(data));
        if (TSdListing::IsListStart(S))
            reading = true;
        if (TSdListing::IsListError(S)) {
            Err(u"SD card missing"_s);
            session.Finish(Exit::NoCard);
            return;
        }
        if (!reading)
            return;
        listTmo.start();
        if (listing.Collect(S, data) != TSdListing::TLine::End)
            return;
        listTmo.stop();
        TSdTree tree;
        tree.Build(listing.pending);
        for (const TSdTree::Folder& folder : tree.folders) {
            QString path = folder.text;
            path.replace(u'\\', u'/');
            for (const TSdTree::File& file : folder.files)
                Out(path + u'/' + file.name + u'\t' + QString::number(file.size));
        }
        for (const TSdTree::File& file : tree.rootFiles)
            Out(file.name + u'\t' + QString::number(file.size));
        session.Finish(CliExit::Ok);
    };
    session.OnSilence = [] { Err(u"the board stopped answering"_s); };
    return session.Run();
}

QString defaultReceiveFolder()
{
    QString docs = KnownFolderPath(KnownFolder::Documents);
    if (docs.isEmpty())
        docs = QDir::homePath();
    QString folder = QDir::cleanPath(docs) + u"/QLS-WAV/bin_folder/"_s;
    folder = TRvRegStore(TRvRegStore::ProgramName()).ReadRegINI(u"rxbinfolder"_s, folder).trimmed();
    return folder;
}

int runGet(CliContext& ctx)
{
    const QString usage = u"usage: qls-wav-cli get PATH [-o DIR] [--petit]"_s;
    QString path;
    QString folder;
    bool petit = false;
    for (qsizetype i = 0; i < ctx.args.size(); ++i) {
        const QString& a = ctx.args.at(i);
        if (a == u"-o"_s && i + 1 < ctx.args.size()) {
            folder = ctx.args.at(++i);
        } else if (a == u"--petit"_s) {
            petit = true;
        } else if (path.isEmpty() && !a.startsWith(u'-')) {
            path = a;
        } else {
            Err(usage);
            return CliExit::Usage;
        }
    }
    if (path.isEmpty()) {
        Err(usage);
        return CliExit::Usage;
    }
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    if (folder.isEmpty()) {
        folder = defaultReceiveFolder();
        QDir().mkpath(folder);
    }
    if (!QFileInfo(folder).isDir()) {
        Err(u"Bad folder! "_s + folder);
        return CliExit::Usage;
    }
    // The explorer's rule: PetitFS only for text and CSV files.
    const bool text = path.endsWith(u".TXT"_s) || path.endsWith(u".CSV"_s);
    const QString command =
        u"AT+FREAD="_s + path + u",0,1000000000"_s + ((petit && text) ? u",1"_s : u",0"_s);

    Session session(ctx.port);
    TSdDownload download;
    download.ReceiveFolder = folder;
    int lastPercent = -1;
    session.Port().OnSendStr = [&download](QObject*, const QString& sent) {
        download.CommandSent(sent);
    };
    session.OnConnected = [&] { session.Port().SendString(command); };
    auto finishDownload = [&] {
        session.Port().SetRxBIN(false);
        const bool complete = download.End();
        Err(download.Message());
        if (complete)
            Out(download.FilePath());
        session.Finish(complete ? CliExit::Ok : Exit::Failed);
    };
    session.OnData = [&](const QByteArray& data) {
        if (!download.Receiving()) {
            const QString S = FromWire(data);
            if (!S.contains(u"+FREAD:"_s))
                return;
            switch (download.Header(S)) {
            case TSdDownload::THeader::Started:
                session.Port().SetRxBIN(true);
                Err(u"RX: "_s + ByteSizeText(quint64(download.Expected())).trimmed());
                return;
            case TSdDownload::THeader::BadSize:
                Err(u"no such file on the card (size "_s + download.SizeText() + u")"_s);
                break;
            case TSdDownload::THeader::NoTarget:
                Err(u"no file name in "_s + path);
                break;
            default:
                Err(download.Message());
                break;
            }
            session.Port().SendString(u"AT+RXBINSTOP\r"_s);
            session.Finish(Exit::Failed);
            return;
        }
        QByteArray D = data;
        QByteArray after;
        download.Data(D, after);
        const int percent = download.Percent();
        if (percent != lastPercent) {
            lastPercent = percent;
            Err(QString::number(percent) + u"% "_s +
                ByteSizeText(quint64(download.ReceivedCount())).trimmed());
        }
        if (download.Finished())
            finishDownload();
    };
    session.OnSilence = [&] {
        if (download.Receiving()) {
            session.Port().SendString(u"AT+RXBINSTOP\r"_s);
            download.Abandon();
            Err(u"the board stopped sending: incomplete, kept as "_s + download.PartPath());
        } else {
            Err(u"the board did not answer"_s);
        }
    };
    return session.Run();
}

const CliCommand ls("ls", "ls                         list the SD card's files", runLs);
const CliCommand get("get",
                     "get PATH [-o DIR] [--petit] download a file from the SD card (PATH as "
                     "/NAME or /FOLDER/NAME)",
                     runGet);
} // namespace
