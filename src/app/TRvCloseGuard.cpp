#include "app/TRvCloseGuard.h"

#include "app/HostServices.h"
#include "app/TWindowHook.h"

#include <QVariant>

TRvCloseGuard::TRvCloseGuard(QObject* window, QString waitText, QObject* parent)
    : QObject(parent), FWindow(window), FWaitText(std::move(waitText))
{
    if (FWindow && FWindow->isWidgetType()) {
        FHook = new TWindowHook(FWindow, this);
        FHook->OnCloseQuery = [this](bool canClose) { return closeQuery(canClose); };
        connect(FWindow, &QObject::destroyed, this, [this] { FWindow = nullptr; });
    }
}

TRvCloseGuard::~TRvCloseGuard() = default;

bool TRvCloseGuard::closeQuery(bool canClose)
{
    if (!canClose)
        return false;
    if (!CanClose || CanClose())
        return true;
    FWaitOnClose = true;
    if (OnWaitThreadEnd)
        OnWaitThreadEnd();
    // Widget properties, set by name: this library has no widget headers.
    FWindow->setProperty("enabled", false);
    FWindow->setProperty("windowOpacity", 230.0 / 255.0);
    ShowMessageBox(FWaitText, QString(), MB::Ok | MB::IconInformation);
    return false;
}

void TRvCloseGuard::WorkerEnded()
{
    if (!FWaitOnClose)
        return;
    FWaitOnClose = false;
    if (!FWindow)
        return;
    FWindow->setProperty("enabled", true);
    FWindow->setProperty("windowOpacity", 1.0);
    QMetaObject::invokeMethod(FWindow, "close", Qt::QueuedConnection);
}
