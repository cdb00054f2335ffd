#include "player/TPaintThrottle.h"

#include <QWidget>

TPaintThrottle::TPaintThrottle(QWidget* group, int ms) : QObject(group), FGroup(group)
{
    FTimer.setSingleShot(true);
    FTimer.setInterval(ms);
    connect(&FTimer, &QTimer::timeout, this, [this] { Frame(); });
}

void TPaintThrottle::Touch()
{
    if (!FTimer.isActive()) {
        FTimer.start(); // this change paints now; the next ones wait for the frame
        return;
    }
    if (FGroup->updatesEnabled())
        FGroup->setUpdatesEnabled(false);
}

void TPaintThrottle::Frame()
{
    if (FGroup->updatesEnabled())
        return;                      // nothing changed during the frame
    FGroup->setUpdatesEnabled(true); // repaints what changed
    FTimer.start();
}
