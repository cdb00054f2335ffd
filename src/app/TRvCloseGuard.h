#pragma once

#include <QObject>
#include <QString>
#include <functional>

class TWindowHook;

// Keeps a window open while a component's worker runs: a close request is
// refused, the window is disabled and made translucent and the user is told to
// wait; when the worker ends the window is given back and closed.
class TRvCloseGuard : public QObject
{
    Q_OBJECT
public:
    // waitText e.g. "Wait for RvAvrDude Thread end". The window may be null.
    TRvCloseGuard(QObject* window, QString waitText, QObject* parent = nullptr);
    ~TRvCloseGuard() override;

    // True when no worker runs (the component's "can close" flag).
    std::function<bool()> CanClose;
    // Raised when a close is refused.
    std::function<void()> OnWaitThreadEnd;

    // The component calls this once its worker has ended: a refused close is
    // carried out now.
    void WorkerEnded();

    bool WaitOnClose() const { return FWaitOnClose; }

private:
    bool closeQuery(bool canClose);

    QObject* FWindow;
    QString FWaitText;
    TWindowHook* FHook = nullptr;
    bool FWaitOnClose = false;
};
