#pragma once

#include <QString>

class QSettings;

// The per-user store of named values that stands for the registry hive: one INI
// file under the XDG config folder, key paths "Software/<E>/<name>", Booleans
// as 0/1, integers as decimal text. Every call opens the file afresh; failures
// read as the default and save as false.
class TRvRegStore
{
public:
    // E of the running executable: its file name without a ".exe" extension.
    static QString ApplicationName();
    // The program's name, which the command-line tool shares settings with.
    static QString ProgramName() { return QStringLiteral("qls-wav"); }
    // The file that holds every value.
    static QString StoreFilePath();

    explicit TRvRegStore(const QString& applicationName = ApplicationName());

    // "Software/<E>"
    QString MainKey() const { return FMainKey; }

    bool ReadRegINI(const QString& key, bool defaultValue) const;
    QString ReadRegINI(const QString& key, const QString& defaultValue) const;
    QString ReadRegINI(const QString& key, const char* defaultValue) const
    {
        return ReadRegINI(key, QString::fromUtf8(defaultValue));
    }
    int ReadRegINI(const QString& key, int defaultValue) const;

    bool SaveRegINI(const QString& key, bool value) const;
    bool SaveRegINI(const QString& key, const QString& value) const;
    bool SaveRegINI(const QString& key, const char* value) const
    {
        return SaveRegINI(key, QString::fromUtf8(value));
    }
    bool SaveRegINI(const QString& key, int value) const;

    // Raw access below an absolute key path, as text; used for window placement.
    static bool ReadText(const QString& path, QString& value);
    static bool WriteText(const QString& path, const QString& value);

private:
    QString FMainKey;
};
