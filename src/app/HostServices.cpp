#include "app/HostServices.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>

namespace {
std::unique_ptr<IHostServices>& current()
{
    static std::unique_ptr<IHostServices> host = std::make_unique<TConsoleHostServices>();
    return host;
}

QUrl toUrl(const QString& pathOrUrl)
{
    QUrl url(pathOrUrl);
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
}
} // namespace

int TConsoleHostServices::showMessageBox(const QString& text, const QString& caption, int flags)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
    switch (flags & 0xF) {
    case MB::YesNo:
    case MB::YesNoCancel:
        return MB::IdNo;
    case MB::OkCancel:
        return MB::IdCancel;
    default:
        return MB::IdOk;
    }
}

QString TConsoleHostServices::browseForFolder(const QString&, const QString&, bool)
{
    return QString();
}

bool TConsoleHostServices::openPath(const QString& pathOrUrl)
{
    return QDesktopServices::openUrl(toUrl(pathOrUrl));
}

bool TConsoleHostServices::exploreFolder(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

IHostServices& Host()
{
    return *current();
}

std::unique_ptr<IHostServices> SetHost(std::unique_ptr<IHostServices> host)
{
    std::unique_ptr<IHostServices> previous = std::move(current());
    current() = host ? std::move(host) : std::make_unique<TConsoleHostServices>();
    return previous;
}

int ShowMessageBox(const QString& text, const QString& caption, int flags)
{
    return Host().showMessageBox(text, caption, flags);
}

QString BrowseForFolder(const QString& title, const QString& startFolder, bool allowNewFolders)
{
    return Host().browseForFolder(title, startFolder, allowNewFolders);
}

bool ExploreFolder(const QString& path)
{
    return Host().exploreFolder(path);
}

bool OpenPath(const QString& pathOrUrl)
{
    return Host().openPath(pathOrUrl);
}
