#pragma once

#include <QObject>
#include <QString>
#include <functional>

// Carries numbered notices from a worker thread to the thread this object lives
// on (the main thread), in the order they were posted. A notice posted after
// the channel is gone is dropped.
class TNoticeChannel : public QObject
{
    Q_OBJECT
public:
    explicit TNoticeChannel(QObject* parent = nullptr);

    // Raised on the channel's thread for every notice.
    std::function<void(int code, const QString& text, qint32 number)> OnNotice;

    // Thread-safe.
    void Post(int code, const QString& text = QString(), qint32 number = 0);
};
