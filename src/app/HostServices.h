#pragma once

#include <QString>
#include <memory>

// Message-box flags and answers, with the standard values of the message-box API
// the windows were designed with (callers test e.g. for 7, "No").
namespace MB {
constexpr int Ok = 0x0;
constexpr int OkCancel = 0x1;
constexpr int YesNoCancel = 0x3;
constexpr int YesNo = 0x4;
constexpr int IconError = 0x10;
constexpr int IconQuestion = 0x20;
constexpr int IconWarning = 0x30;
constexpr int IconInformation = 0x40;
constexpr int IdOk = 1;
constexpr int IdCancel = 2;
constexpr int IdYes = 6;
constexpr int IdNo = 7;
} // namespace MB

// What the program asks of the desktop: boxes, the folder picker, opening and
// exploring paths. One replaceable interface, so tests answer a box or record an
// "open" without a modal window.
class IHostServices
{
public:
    virtual ~IHostServices() = default;
    // Returns the code of the button pressed (MB::IdOk, MB::IdNo, ...).
    virtual int showMessageBox(const QString& text, const QString& caption, int flags) = 0;
    // The chosen folder, or empty when cancelled.
    virtual QString browseForFolder(const QString& title, const QString& startFolder,
                                    bool allowNewFolders) = 0;
    // Opens a file or a web address with its default application.
    virtual bool openPath(const QString& pathOrUrl) = 0;
    // Shows a folder in the file manager.
    virtual bool exploreFolder(const QString& path) = 0;
};

// Without windows: boxes go to stderr and answer their default button, the picker
// is cancelled, open and explore go to the desktop.
class TConsoleHostServices : public IHostServices
{
public:
    int showMessageBox(const QString& text, const QString& caption, int flags) override;
    QString browseForFolder(const QString& title, const QString& startFolder,
                            bool allowNewFolders) override;
    bool openPath(const QString& pathOrUrl) override;
    bool exploreFolder(const QString& path) override;
};

// The services in force; a console implementation until one is installed.
IHostServices& Host();
// Installs new services and returns the previous ones (tests put them back).
std::unique_ptr<IHostServices> SetHost(std::unique_ptr<IHostServices> host);

// Shortcuts through Host().
int ShowMessageBox(const QString& text, const QString& caption, int flags);
QString BrowseForFolder(const QString& title, const QString& startFolder, bool allowNewFolders);
bool ExploreFolder(const QString& path);
bool OpenPath(const QString& pathOrUrl);
