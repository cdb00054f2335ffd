#include "programmer/TRvAvrDude.h"

#include "app/TNoticeChannel.h"
#include "app/TRvCloseGuard.h"
#include "programmer/TAvrDudeThread.h"

#include <QCoreApplication>

namespace {
bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}
} // namespace

TRvAvrDude::TRvAvrDude(QObject* owner)
    : QObject(owner), FChannel(new TNoticeChannel(this)),
      FGuard(new TRvCloseGuard(owner, WaitText(), this))
{
    FChannel->OnNotice = [this](int code, const QString& text, qint32 number) {
        onNotice(code, text, number);
    };
    FGuard->CanClose = [this] { return FCanClose.load(); };
    FGuard->OnWaitThreadEnd = [this] {
        if (OnWaitThreadEnd)
            OnWaitThreadEnd();
    };
}

TRvAvrDude::~TRvAvrDude()
{
    // Stops the worker (its child is killed); its notices are dropped.
    FWorker.reset();
}

bool TRvAvrDude::AVRDUDE_START(const QString& avrdude_pathname, const QString& avrdude_params)
{
    if (isBlank(AvrDudePathName) && isBlank(avrdude_pathname))
        return false;
    if (isBlank(AvrDudeParams) && isBlank(avrdude_params) && isBlank(AvrFuseBits) &&
        isBlank(AvrLockBits))
        return false;
    // Two runs at once would fight over the programmer and the close guard.
    if (FWorker)
        return false;
    FAction = TADaction::adUpload;
    FWorker = std::make_unique<TAvrDudeThread>(
        FChannel, &FCanClose, isBlank(avrdude_pathname) ? AvrDudePathName : avrdude_pathname,
        AvrFuseBits, isBlank(avrdude_params) ? AvrDudeParams : avrdude_params, AvrLockBits);
    // Queued after the worker's last notice, so it runs after all of them.
    TAvrDudeThread* worker = FWorker.get();
    connect(
        worker, &QThread::finished, this, [this, worker] { onWorkerFinished(worker); },
        Qt::QueuedConnection);
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, worker,
                [worker] { worker->requestInterruption(); });
    FWorker->start(QThread::TimeCriticalPriority);
    return true;
}

void TRvAvrDude::onNotice(int code, const QString& text, qint32 number)
{
    switch (code) {
    case AvrDudeNotice::Console:
        if (OnConsole)
            OnConsole(text);
        break;
    case AvrDudeNotice::Progress:
        if (OnProgress)
            OnProgress(number);
        break;
    case AvrDudeNotice::NeedReset:
        if (OnNeedFT232RESET)
            OnNeedFT232RESET();
        break;
    case AvrDudeNotice::End:
        FGuard->WorkerEnded();
        break;
    case AvrDudeNotice::Status:
        FActionStatus = number;
        break;
    default:
        break;
    }
}

void TRvAvrDude::onWorkerFinished(TAvrDudeThread* worker)
{
    if (FWorker.get() != worker)
        return;
    FWorker->wait();
    // The thread object is gone before the owner hears of the end, so the
    // owner may start the next run from OnActionEnd.
    FWorker.reset();
    if (OnActionEnd)
        OnActionEnd(FAction, FActionStatus);
}
