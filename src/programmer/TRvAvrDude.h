#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class TAvrDudeThread;
class TNoticeChannel;
class TRvCloseGuard;

enum class TADaction
{
    adNone,
    adUpload,
    adFuses,
    adLockBits,
    adReset
};

// Runs the avrdude programmer for the fuse, flash and lock jobs, in this order,
// on a worker thread, and raises its events on the main thread. While a run is
// under way the owner window cannot be closed; a refused close is carried out
// when the run ends.
class TRvAvrDude : public QObject
{
    Q_OBJECT
public:
    explicit TRvAvrDude(QObject* owner = nullptr);
    ~TRvAvrDude() override;

    QString AvrDudePathName; // the tool
    QString AvrDudeParams;   // flash line
    QString AvrFuseBits;     // fuse line
    QString AvrLockBits;     // lock line

    // One chunk of the tool's output (or a note of the runner's on why a job
    // could not run or ended badly).
    std::function<void(const QString& ConsoleAdd)> OnConsole;
    // Percent of the current writing bar; may exceed 100.
    std::function<void(int Progress)> OnProgress;
    // The owner's close was refused because a run is under way.
    std::function<void()> OnWaitThreadEnd;
    // Last event of a run: status 0 success, -1 failure.
    std::function<void(TADaction act, int status)> OnActionEnd;
    // Pulse the reset line of the FT232R programmer now.
    std::function<void()> OnNeedFT232RESET;

    // Starts a run and returns at once. A blank argument means the matching
    // property. Does nothing (and returns false) without a tool path, without
    // any command line, or while a run is under way.
    bool AVRDUDE_START(const QString& avrdude_pathname, const QString& avrdude_params);

    bool Running() const { return FWorker != nullptr; }
    bool RvAvrDudeCanClose() const { return FCanClose.load(); }
    TADaction Action() const { return FAction; }
    int ActionStatus() const { return FActionStatus; }

    static QString WaitText() { return QStringLiteral("Wait for RvAvrDude Thread end"); }

private:
    void onNotice(int code, const QString& text, qint32 number);
    void onWorkerFinished(TAvrDudeThread* worker);

    TNoticeChannel* FChannel;
    TRvCloseGuard* FGuard;
    std::unique_ptr<TAvrDudeThread> FWorker;
    std::atomic<bool> FCanClose{true};
    TADaction FAction = TADaction::adNone;
    qint32 FActionStatus = 0;
};
