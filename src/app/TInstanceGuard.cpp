#include "app/TInstanceGuard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

QString TInstanceGuard::LockPathFor(const QString& exePath)
{
    QFileInfo exe(exePath);
    QString canonical = exe.canonicalFilePath();
    if (canonical.isEmpty())
        canonical = exe.absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + u"/qls-wav-"_s + QString::fromLatin1(hash) + u".lock"_s;
}

TInstanceGuard::TInstanceGuard(const QString& exePath) : FPath(LockPathFor(exePath))
{
    QDir().mkpath(QFileInfo(FPath).absolutePath());
    const QByteArray name = QFile::encodeName(FPath);
    FFd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd < 0)
        return; // no lock file possible: better run than refuse to start
    if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(FFd);
        FFd = -2;
    }
}

TInstanceGuard::~TInstanceGuard()
{
    if (FFd >= 0)
        ::close(FFd);
}
