#pragma once

#include "app/HostServices.h"

#include <QStringList>

// Host services for tests: boxes are answered at once and recorded, as are the
// paths the program asks to open or explore.
class RecordingHost : public IHostServices
{
public:
    QStringList boxes;
    QStringList captions;
    QStringList opened;
    QStringList explored;
    int answer = MB::IdOk; // the button every box is answered with
    QString folderAnswer;  // what the folder picker returns

    int showMessageBox(const QString& text, const QString& caption, int) override
    {
        boxes << text;
        captions << caption;
        return answer;
    }
    QString browseForFolder(const QString&, const QString&, bool) override { return folderAnswer; }
    bool openPath(const QString& path) override
    {
        opened << path;
        return true;
    }
    bool exploreFolder(const QString& path) override
    {
        explored << path;
        return true;
    }
};
