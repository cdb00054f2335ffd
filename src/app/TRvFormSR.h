#pragma once

#include "app/TRvRegStore.h"

#include <QObject>
#include <QString>
#include <memory>

class QSettings;
class QWidget;
class TWindowHook;

enum class TApplicationIniName
{
    asAppIniName,
    asCustom
};

// Remembers its window's placement between runs (restored on every show, saved
// on a permitted close and when the window is destroyed) and offers the named
// settings of the program. Make it a child of its window.
class TRvFormSR : public QObject
{
    Q_OBJECT
public:
    static QString AppIniPlaceholder() { return QStringLiteral("[ApplicationExeName.ini]"); }

    explicit TRvFormSR(QWidget* owner);
    ~TRvFormSR() override;

    // End of the window's setup: chains into its show and close request.
    void Loaded();

    QString IniFileName() const { return FIniFileName; }
    void SetIniFileName(const QString& value);
    TApplicationIniName TypeIniName() const { return FTypeIniName; }
    void SetTypeIniName(TApplicationIniName value);
    bool UseRegistry = true;
    bool RestoreOnlyPosition = false;
    QString Version() const { return QStringLiteral("1.2"); }

    // "Software/<E>" and "Software/<E>/<window>"
    QString MainKey() const { return FStore.MainKey(); }
    QString WindowKey() const;

    bool ReadRegINI(const QString& key, bool defaultValue) const
    {
        return FStore.ReadRegINI(key, defaultValue);
    }
    QString ReadRegINI(const QString& key, const QString& defaultValue) const
    {
        return FStore.ReadRegINI(key, defaultValue);
    }
    QString ReadRegINI(const QString& key, const char* defaultValue) const
    {
        return FStore.ReadRegINI(key, defaultValue);
    }
    int ReadRegINI(const QString& key, int defaultValue) const
    {
        return FStore.ReadRegINI(key, defaultValue);
    }
    bool SaveRegINI(const QString& key, bool value) const { return FStore.SaveRegINI(key, value); }
    bool SaveRegINI(const QString& key, const QString& value) const
    {
        return FStore.SaveRegINI(key, value);
    }
    bool SaveRegINI(const QString& key, const char* value) const
    {
        return FStore.SaveRegINI(key, value);
    }
    bool SaveRegINI(const QString& key, int value) const { return FStore.SaveRegINI(key, value); }

    void SavePos();
    void RestorePos();

private:
    int readPlacement(const QString& name, int defaultValue) const;

    QWidget* FMaster;
    TRvRegStore FStore;
    QString FIniFileName;
    TApplicationIniName FTypeIniName = TApplicationIniName::asAppIniName;
    TWindowHook* FHook = nullptr;
    std::unique_ptr<QSettings> FIni;
};
