#include "app/TNoticeChannel.h"

TNoticeChannel::TNoticeChannel(QObject* parent) : QObject(parent) {}

void TNoticeChannel::Post(int code, const QString& text, qint32 number)
{
    // Queued calls to one receiver run in posting order.
    QMetaObject::invokeMethod(
        this,
        [this, code, text, number] {
            if (OnNotice)
                OnNotice(code, text, number);
        },
        Qt::QueuedConnection);
}
