#include "firmware/TmxStoredItem.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <zlib.h>

using namespace Qt::StringLiterals;

TmxStoredItem::TmxStoredItem(const QString& name, const QByteArray& block, bool compressed,
                             qint64 fileSize)
    : Name(name), FileName(name), FileSize(fileSize), StoredSize(block.size()), FData(block),
      FCompressed(compressed)
{
    const double ratio = fileSize > 0 ? double(StoredSize) / double(fileSize) * 100.0 : 0.0;
    Ratio = QString::number(ratio, 'f', 6) + u'%';
}

QByteArray TmxStoredItem::Pack(const QByteArray& file)
{
    QByteArray plain(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(file.size()), plain.data());
    plain += file;
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    QByteArray packed(static_cast<qsizetype>(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(plain.constData()),
                  static_cast<uLong>(plain.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        return QByteArray();
    packed.truncate(static_cast<qsizetype>(size));
    QByteArray block(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(size), block.data());
    return block + packed;
}

bool TmxStoredItem::ensureInflated()
{
    FLastError.clear();
    if (!FCompressed || FData.isEmpty())
        return true;
    if (FData.size() < 4) {
        FLastError = u"%1: decompression error (the stored block is cut short)"_s.arg(Name);
        return false;
    }
    const quint32 n = qFromLittleEndian<quint32>(FData.constData());
    if (n > static_cast<quint64>(FData.size() - 4)) {
        FLastError = u"%1: decompression error (the stored block is cut short)"_s.arg(Name);
        return false;
    }
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        FLastError = u"%1: decompression error (zlib would not start)"_s.arg(Name);
        return false;
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(FData.constData() + 4));
    zs.avail_in = n;
    QByteArray out;
    char chunk[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc == Z_OK || rc == Z_STREAM_END)
            out.append(chunk, static_cast<qsizetype>(sizeof chunk - zs.avail_out));
        if (rc == Z_BUF_ERROR && zs.avail_in == 0)
            break;
    }
    const QString msg = zs.msg ? QString::fromLatin1(zs.msg) : QString();
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) {
        FLastError = u"%1: decompression error (%2)"_s.arg(
            Name, msg.isEmpty() ? u"damaged or incomplete stream"_s : msg);
        return false;
    }
    if (out.size() < 4) {
        FLastError = u"%1: decompression error (no file size)"_s.arg(Name);
        return false;
    }
    const quint32 size = qFromLittleEndian<quint32>(out.constData());
    if (size > static_cast<quint64>(out.size() - 4)) {
        FLastError = u"%1: decompression error (the file is cut short)"_s.arg(Name);
        return false;
    }
    FData = out.mid(4, size);
    FCompressed = false;
    return true;
}

std::unique_ptr<QIODevice> TmxStoredItem::GetAsStream()
{
    if (!ensureInflated())
        return nullptr;
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(FData);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

bool TmxStoredItem::SaveToFile(const QString& path)
{
    if (!ensureInflated())
        return false;
    // The file ends up holding exactly these bytes, whatever was there before.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        FLastError = u"Cannot create %1: %2"_s.arg(path, file.errorString());
        return false;
    }
    if (file.write(FData) != FData.size() || !file.flush()) {
        FLastError = u"Cannot write %1: %2"_s.arg(path, file.errorString());
        file.close();
        return false;
    }
    file.close();
    return true;
}
