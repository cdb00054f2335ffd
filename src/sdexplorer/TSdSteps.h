#pragma once

#include <QByteArray>
#include <QString>

class TForm1;

// The SD explorer's share of the main window's reply handler, the status bar
// and the closing sequence. The main window calls these at the matching points;
// none of them may throw.
class TSdSteps
{
public:
    explicit TSdSteps(TForm1& form);

    // A line holding "+FREAD:" while no download runs (the handler tests that).
    // True: the handler stops here and the line is not shown.
    bool HeaderStep(const QByteArray& D, const QString& S);
    bool DownloadRunning() const;
    // Called while a download runs; may replace control bytes in D for display.
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
    // Status panel 1 clicked.
    void StopReceiving();
    // The main window is closing.
    void CloseDownloadFile();
    // The SD card picture or "SD Files" clicked while connected.
    void OpenFileList();

private:
    TForm1& FForm;
};
