#pragma once

#include "app/HostServices.h"

// The desktop's own boxes and folder picker, for the windowed program.
class TWidgetHostServices : public TConsoleHostServices
{
public:
    int showMessageBox(const QString& text, const QString& caption, int flags) override;
    QString browseForFolder(const QString& title, const QString& startFolder,
                            bool allowNewFolders) override;

private:
    QString FLastStartFolder;
};
