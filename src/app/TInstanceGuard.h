#pragma once

#include <QString>

// One running copy per executable file: an exclusive lock on a file in the
// user's runtime folder, named from the executable's canonical path. The system
// drops the lock when the process ends, however it ends.
class TInstanceGuard
{
public:
    // exePath: the executable file; its canonical form names the lock.
    explicit TInstanceGuard(const QString& exePath);
    ~TInstanceGuard();
    TInstanceGuard(const TInstanceGuard&) = delete;
    TInstanceGuard& operator=(const TInstanceGuard&) = delete;

    // False when another process holds the lock.
    bool Acquired() const { return FFd >= 0; }
    QString LockPath() const { return FPath; }

    static QString LockPathFor(const QString& exePath);

private:
    QString FPath;
    int FFd = -1;
};
