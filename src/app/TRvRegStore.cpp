#include "app/TRvRegStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(TRvRegStore::StoreFilePath(), QSettings::IniFormat);
}

bool readRaw(const QString& path, QString& out)
{
    auto s = openStore();
    if (s->status() != QSettings::NoError || !s->contains(path))
        return false;
    const QVariant v = s->value(path);
    if (v.typeId() == QMetaType::QStringList)
        return false; // a list is no single value
    out = v.toString();
    return true;
}

bool writeRaw(const QString& path, const QString& value)
{
    const QString file = TRvRegStore::StoreFilePath();
    QDir().mkpath(QFileInfo(file).absolutePath());
    auto s = openStore();
    s->setValue(path, value);
    s->sync();
    return s->status() == QSettings::NoError;
}
} // namespace

QString TRvRegStore::ApplicationName()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty())
        name = QCoreApplication::applicationName();
    // Only a real ".exe" extension goes; Linux executables have none.
    if (name.endsWith(u".exe"_s, Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

QString TRvRegStore::StoreFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/QLS-WAV/registry.ini"_s;
}

TRvRegStore::TRvRegStore(const QString& applicationName)
    : FMainKey(u"Software/"_s + applicationName)
{}

bool TRvRegStore::ReadRegINI(const QString& key, bool defaultValue) const
{
    QString text;
    if (key.isEmpty() || !readRaw(FMainKey + u'/' + key, text))
        return defaultValue;
    // Only a value written as a Boolean (0/1) counts; anything else is another kind.
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || text.trimmed() != text)
        return defaultValue;
    return n != 0;
}

QString TRvRegStore::ReadRegINI(const QString& key, const QString& defaultValue) const
{
    QString text;
    if (key.isEmpty() || !readRaw(FMainKey + u'/' + key, text))
        return defaultValue;
    return text;
}

int TRvRegStore::ReadRegINI(const QString& key, int defaultValue) const
{
    QString text;
    if (key.isEmpty() || !readRaw(FMainKey + u'/' + key, text))
        return defaultValue;
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : defaultValue;
}

bool TRvRegStore::SaveRegINI(const QString& key, bool value) const
{
    return !key.isEmpty() && writeRaw(FMainKey + u'/' + key, value ? u"1"_s : u"0"_s);
}

bool TRvRegStore::SaveRegINI(const QString& key, const QString& value) const
{
    return !key.isEmpty() && writeRaw(FMainKey + u'/' + key, value);
}

bool TRvRegStore::SaveRegINI(const QString& key, int value) const
{
    return !key.isEmpty() && writeRaw(FMainKey + u'/' + key, QString::number(value));
}

bool TRvRegStore::ReadText(const QString& path, QString& value)
{
    return readRaw(path, value);
}

bool TRvRegStore::WriteText(const QString& path, const QString& value)
{
    return writeRaw(path, value);
}
