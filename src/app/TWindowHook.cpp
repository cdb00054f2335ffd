#include "app/TWindowHook.h"

#include <QCoreApplication>
#include <QEvent>

TWindowHook::TWindowHook(QObject* window, QObject* parent) : QObject(parent), FWindow(window)
{
    if (FWindow) {
        FWindow->installEventFilter(this);
        connect(FWindow, &QObject::destroyed, this, [this] { FWindow = nullptr; });
    }
}

TWindowHook::~TWindowHook()
{
    if (FWindow)
        FWindow->removeEventFilter(this);
}

bool TWindowHook::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != FWindow)
        return false;
    const bool show = event->type() == QEvent::Show && OnShow;
    const bool close = event->type() == QEvent::Close && OnCloseQuery;
    if (!show && !close)
        return false;
    // Let the rest of the chain (other hooks, then the window itself) handle the
    // event first, then act on its outcome.
    watched->removeEventFilter(this);
    QCoreApplication::sendEvent(watched, event);
    if (FWindow)
        FWindow->installEventFilter(this);
    if (show) {
        OnShow();
    } else {
        const bool allowed = OnCloseQuery(event->isAccepted());
        event->setAccepted(allowed);
    }
    return true;
}
