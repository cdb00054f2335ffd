#pragma once

#include <QString>
#include <QThread>
#include <atomic>

class TNoticeChannel;

// Numbered notices of the avrdude worker (the user-message range plus 101 up).
namespace AvrDudeNotice {
constexpr int Console = 1125;  // text: one chunk of the tool's output
constexpr int Progress = 1126; // number: percent of the current writing bar
constexpr int NeedReset = 1127;
constexpr int End = 1129;
constexpr int Status = 1130; // number: 0 success, -1 failure
} // namespace AvrDudeNotice

// Runs the fuse, flash and lock jobs of one programmer run, each as a child
// process, and reports through numbered notices. It touches nothing of its
// owner but the can-close flag.
class TAvrDudeThread : public QThread
{
    Q_OBJECT
public:
    // Sets *canClose to false now and back to true when the run is over.
    TAvrDudeThread(TNoticeChannel* dest, std::atomic<bool>* canClose, QString toolPath,
                   QString fuseLine, QString flashLine, QString lockLine,
                   QObject* parent = nullptr);
    ~TAvrDudeThread() override;

    // Text a job line must contain for the reset of the FT232R to be requested.
    static QString FT232RMark() { return QStringLiteral("QLS-FT232R"); }

protected:
    void run() override;

private:
    bool runJob(const QString& line);
    // One chunk of output; true when it shows an error.
    bool parseChunk(const QString& chunk);
    bool pause(int milliseconds);
    void postResetIfFT232R(const QString& line);

    TNoticeChannel* FDest;
    std::atomic<bool>* FCanClose;
    const QString FToolPath;
    const QString FFuseLine;
    const QString FFlashLine;
    const QString FLockLine;
    int FProgress = 0;
    bool FbStart = false;
    // The unfinished last line of the output so far, so that an error text
    // split across two reads is still seen.
    QString FLineRest;
};
