#include "firmware/TWorkFolder.h"

#include "firmware/TmxStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {
void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}
} // namespace

QString TWorkFolder::Path(QString* error)
{
    const QString path = QDir::tempPath() + u"/qls-wav-"_s + QString::number(::getuid());
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        setError(error,
                 u"Cannot create %1: %2"_s.arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return QString();
    }
    // Someone else's folder or a link planted in the shared temporary folder
    // must not be used.
    struct stat st
    {
    };
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        setError(error, u"%1 is not a folder of this user"_s.arg(path));
        return QString();
    }
    if ((st.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        setError(error, u"Cannot make %1 private"_s.arg(path));
        return QString();
    }
    return path + u'/';
}

bool TWorkFolder::Unpack(const QByteArray& zipBytes, const QString& folder, QString* error)
{
    zip_error_t zerr;
    zip_error_init(&zerr);
    zip_source_t* src = zip_source_buffer_create(
        zipBytes.constData(), static_cast<zip_uint64_t>(zipBytes.size()), 0, &zerr);
    zip_t* archive = src ? zip_open_from_source(src, ZIP_RDONLY, &zerr) : nullptr;
    if (!archive) {
        setError(error, u"Damaged archive: "_s + QString::fromUtf8(zip_error_strerror(&zerr)));
        if (src)
            zip_source_free(src);
        zip_error_fini(&zerr);
        return false;
    }
    zip_error_fini(&zerr);
    bool ok = true;
    const QDir dir(folder);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && ok; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
            ok = false;
            break;
        }
        const QString name = QString::fromUtf8(st.name);
        const QString target = QDir::cleanPath(dir.absoluteFilePath(name));
        if (name.startsWith(u'/') || !target.startsWith(dir.absolutePath() + u'/')) {
            setError(error, u"Refused archive entry: "_s + name);
            ok = false;
            break;
        }
        if (name.endsWith(u'/')) {
            dir.mkpath(target);
            continue;
        }
        QByteArray data(static_cast<qsizetype>(st.size), Qt::Uninitialized);
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        const zip_int64_t got = f ? zip_fread(f, data.data(), st.size) : -1;
        if (f)
            zip_fclose(f);
        QSaveFile out(target);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (got != static_cast<zip_int64_t>(st.size) || !out.open(QIODevice::WriteOnly) ||
            out.write(data) != data.size() || !out.commit()) {
            setError(error, u"Cannot unpack %1 into %2"_s.arg(name, folder));
            ok = false;
            break;
        }
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, static_cast<zip_uint64_t>(i), 0, &opsys,
                                             &attributes) == 0 &&
            opsys == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0111)) {
            ::chmod(QFile::encodeName(target).constData(), 0700);
        }
    }
    zip_close(archive);
    return ok;
}

QString TWorkFolder::CarriedAvrDude(QString* error)
{
    const QString folder = Path(error);
    if (folder.isEmpty())
        return QString();
    TmxStorage store;
    TmxStoredItem* item = store.ItemByName(u"avrdude.zip"_s);
    std::unique_ptr<QIODevice> stream = item ? item->GetAsStream() : nullptr;
    if (!stream) {
        setError(error, u"The avrdude archive is not carried"_s);
        return QString();
    }
    if (!Unpack(stream->readAll(), folder, error))
        return QString();
    QString tool = folder + u"avrdude"_s;
    // The launcher runs from here whatever the archive said about its mode.
    QFile::setPermissions(tool,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return tool;
}

QString TWorkFolder::SaveCarried(const QString& name, QString* error)
{
    const QString folder = Path(error);
    if (folder.isEmpty())
        return QString();
    TmxStorage store;
    TmxStoredItem* item = store.ItemByName(name);
    if (!item) {
        setError(error, name + u" is not carried"_s);
        return QString();
    }
    QString path = folder + item->Name;
    if (!item->SaveToFile(path)) {
        setError(error, item->LastError());
        return QString();
    }
    return path;
}
