#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

// Limits how often a group of widgets repaints while data streams in: the
// first change paints at once, changes within the next `ms` are painted
// together when that time is up. A busy log then costs a few paints a second
// instead of one per line.
class TPaintThrottle : public QObject
{
    Q_OBJECT
public:
    TPaintThrottle(QWidget* group, int ms);

    // Call after every change to the group's contents.
    void Touch();

private:
    void Frame();

    QWidget* FGroup;
    QTimer FTimer;
};
