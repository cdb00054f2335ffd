#include "sdexplorer/TSdSteps.h"

#include "app/HostServices.h"
#include "app/TForm1.h"
#include "app/Utils.h"
#include "sdexplorer/TSdTree.h"
#include "sdexplorer/TfrmFileList.h"
#include "serial/TRvComPort.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
constexpr int StopGraceMs = 1500;
}

TSdSteps::TSdSteps(TForm1& form) : FForm(form)
{
    FForm.SentCommandStep = [this](const QString& cmd) {
        FDownload.CommandSent(cmd);
        if (FDownload.Finished() && FDownload.Receiving())
            FStopGrace.start();
    };
    if (FForm.ListTmo)
        QObject::connect(FForm.ListTmo, &QTimer::timeout, &FForm, [this] { ListTimeOut(); });
    // A link that goes down ends a running download: whatever arrives after a
    // reconnection is not the file's data.
    if (FForm.RvComPort1) {
        auto previous = FForm.RvComPort1->OnDisconnected;
        FForm.RvComPort1->OnDisconnected = [this, previous](QObject* sender) {
            if (previous)
                previous(sender);
            if (FDownload.Receiving()) {
                FDownload.RequestStop();
                EndStep();
            }
        };
    }
    FStopGrace.setSingleShot(true);
    FStopGrace.setInterval(StopGraceMs);
    QObject::connect(&FStopGrace, &QTimer::timeout, &FForm, [this] {
        if (FDownload.Receiving() && FDownload.Finished())
            EndStep();
    });
}

TSdSteps::~TSdSteps()
{
    FForm.SentCommandStep = nullptr;
    FForm.FileListLinkText = nullptr;
    FForm.CloseFileList = nullptr;
    delete FFileList;
    FDownload.Abandon();
}

void TSdSteps::SetPanels(const QString& text)
{
    FForm.SetPanelText(1, text);
    if (FFileList)
        FFileList->SetPanelText(1, text);
}

bool TSdSteps::HeaderStep(const QByteArray& D, const QString& S)
{
    Q_UNUSED(D);
    FDownload.ReceiveFolder = FForm.RxBinFolder;
    const TSdDownload::THeader result = FDownload.Header(S);
    if (result == TSdDownload::THeader::BadSize) {
        TForm1::SetBusyCursor(false);
        if (FFileList)
            FFileList->HideProgress();
        return true;
    }
    if (FFileList)
        FFileList->ShowDownloadProgress(0);
    FForm.SetPanelText(1, FDownload.SizeText());
    switch (result) {
    case TSdDownload::THeader::Started:
        FForm.RvComPort1->SetRxBIN(true);
        FForm.SetPanelText(1, u"RX: "_s + ByteSizeText(quint64(FDownload.Expected())));
        return true;
    case TSdDownload::THeader::Refused:
    case TSdDownload::THeader::Failed:
        // The board would send the whole file as lines: ask it to stop.
        SetPanels(FDownload.Message());
        if (FFileList)
            FFileList->HideProgress();
        TForm1::SetBusyCursor(false);
        FForm.RvComPort1->SendString(u"AT+RXBINSTOP\r"_s);
        return false;
    default:
        return false;
    }
}

bool TSdSteps::DownloadRunning() const
{
    return FDownload.Receiving();
}

void TSdSteps::DataStep(QByteArray& D)
{
    QByteArray after;
    FDownload.Data(D, after);
    const QString T = ByteSizeText(quint64(FDownload.ReceivedCount()));
    if (FForm.lbBinRxBytes)
        FForm.lbBinRxBytes->setText(T);
    const QString progress = FDownload.FileName() + u" ("_s + T + u")"_s;
    FForm.SetPanelText(2, progress);
    if (FFileList) {
        FFileList->SetPanelText(1, progress);
        FFileList->ShowDownloadProgress(FDownload.Percent());
    }
    if (FDownload.Finished()) {
        FForm.RvComPort1->SetRxBIN(false);
        if (!FDownload.Message().isEmpty())
            FForm.SetPanelText(1, FDownload.Message());
        if (FDownload.Failed() && FFileList)
            FFileList->SetPanelText(1, FDownload.Message());
    }
    if (!after.isEmpty())
        HandOnLines(after);
}

void TSdSteps::HandOnLines(const QByteArray& bytes)
{
    // After this handler returns, ahead of anything the link reads next.
    QPointer<TRvComPort> port = FForm.RvComPort1;
    for (const QByteArray& line : TSdDownload::ReplyLines(bytes)) {
        QMetaObject::invokeMethod(
            &FForm,
            [port, line] {
                if (port && port->OnRxString)
                    port->OnRxString(port, line);
            },
            Qt::QueuedConnection);
    }
}

QString TSdSteps::TerminalText(const QString& S) const
{
    return FDownload.NonText() ? TSdDownload::BinText(ToWire(S)) : S;
}

void TSdSteps::EndStep()
{
    if (!FDownload.Finished())
        return;
    FStopGrace.stop();
    const bool wasReceiving = FDownload.Receiving();
    const bool complete = FDownload.End();
    if (FFileList)
        FFileList->HideProgress();
    TForm1::SetBusyCursor(false);
    FForm.RvComPort1->SetRxBIN(false);
    if (wasReceiving && !FDownload.Message().isEmpty())
        SetPanels(FDownload.Message());
    // Only a complete file is opened.
    if (complete && FForm.OpenAfterRead)
        OpenPath(FDownload.FilePath());
}

void TSdSteps::ListStarted()
{
    if (FFileList)
        FFileList->SetPanelText(1, u"reading DIR list, wait..."_s);
}

void TSdSteps::ListError()
{
    if (FFileList && FFileList->isVisible())
        FFileList->close();
}

void TSdSteps::ListingStep(const QString& S)
{
    if (!FFileList) {
        // Nothing to collect without the explorer: end at the listing's last line.
        if (FromWire(FForm.RxData) == u"+DIR_LIST_END:"_s) {
            FForm.ListReading = false;
            TForm1::SetBusyCursor(false);
        }
        return;
    }
    if (FListing.Collect(S, FForm.RxData) != TSdListing::TLine::End)
        return;
    FForm.ListReading = false;
    TSdTree tree;
    tree.Build(FListing.pending);
    FListing.pending.clear();
    FFileList->ShowTree(tree);
    TForm1::SetBusyCursor(false);
    SetPanels(u"done"_s);
}

void TSdSteps::ListTimeOut()
{
    FForm.ListTmo->stop();
    FForm.ListReading = false;
    TForm1::SetBusyCursor(false);
}

void TSdSteps::StopReceiving()
{
    FForm.RvComPort1->SendString(u"AT+RXBINSTOP\r"_s);
}

void TSdSteps::CloseDownloadFile()
{
    FStopGrace.stop();
    FDownload.Abandon();
}

void TSdSteps::OpenFileList()
{
    if (!FForm.RvComPort1->Connected())
        return;
    if (FFileList) {
        FFileList->show();
        FFileList->setWindowState(FFileList->windowState() & ~Qt::WindowMinimized);
        FFileList->raise();
        FFileList->activateWindow();
        return;
    }
    auto* list = new TfrmFileList(FForm, *this);
    FFileList = list;
    FForm.FileList = list;
    FListing.pending.clear();
    FForm.FileListLinkText = [this](const QString& text) {
        if (FFileList)
            FFileList->SetPanelText(0, text);
    };
    FForm.CloseFileList = [this] {
        if (FFileList)
            FFileList->close();
    };
    QObject::connect(list, &QObject::destroyed, &FForm, [this] {
        FFileList = nullptr;
        FForm.FileList = nullptr;
        FForm.FileListLinkText = nullptr;
        FForm.CloseFileList = nullptr;
        FListing.pending.clear();
    });
    list->show();
    FForm.RvComPort1->SendString(u"AT+PLOFF"_s);
    FForm.RvComPort1->SendString(u"AT+DIR= "_s);
    list->ShowListingProgress();
    list->SetPanelText(0, FForm.RvComPort1->Connected() ? u"connected"_s : u"disconnected"_s);
}
