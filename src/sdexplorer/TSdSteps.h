#pragma once

#include "sdexplorer/TSdDownload.h"
#include "sdexplorer/TSdListing.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

class TForm1;
class TfrmFileList;

// The SD explorer's share of the main window's reply handler, the status bar
// and the closing sequence: the listing, the tree and the download. The main
// window calls these at the matching points; none of them throws.
class TSdSteps
{
public:
    explicit TSdSteps(TForm1& form);
    ~TSdSteps();
    TSdSteps(const TSdSteps&) = delete;
    TSdSteps& operator=(const TSdSteps&) = delete;

    // A line holding "+FREAD:" while no download runs (the handler tests that).
    // True: the handler stops here and the line is not shown.
    bool HeaderStep(const QByteArray& D, const QString& S);
    bool DownloadRunning() const;
    // Called while a download runs; replaces control bytes in D for display.
    void DataStep(QByteArray& D);
    // The text the terminal shows for this line or packet.
    QString TerminalText(const QString& S) const;
    // After the terminal line has been added, for every received line.
    void EndStep();
    // "+LIST:" seen, after the main window's own part.
    void ListStarted();
    // "+LIST_ERR:" seen, after the main window's own part.
    void ListError();
    // A line while the listing flag is set (white space removed).
    void ListingStep(const QString& S);
    // Status panel 1 clicked (and the explorer's panel 1 during a download).
    void StopReceiving();
    // The main window is closing.
    void CloseDownloadFile();
    // The SD card picture or "SD Files" clicked while connected.
    void OpenFileList();

    TfrmFileList* FileList() const { return FFileList; }
    const TSdDownload& Download() const { return FDownload; }

private:
    void SetPanels(const QString& text);
    void HandOnLines(const QByteArray& bytes);
    void ListTimeOut();

    TForm1& FForm;
    TfrmFileList* FFileList = nullptr; // cleared when the window is destroyed
    TSdDownload FDownload;
    TSdListing FListing;
    // A stop takes effect on the next data; a board that has gone silent sends
    // none, so the end step then runs after this grace time.
    QTimer FStopGrace;
};
