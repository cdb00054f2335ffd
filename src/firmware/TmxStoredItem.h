#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;

// One file of the store. A compressed item's block is a 32-bit little-endian
// length N and N bytes of a zlib stream holding a 32-bit little-endian size and
// the file's bytes; it is inflated once, on first use.
class TmxStoredItem
{
public:
    TmxStoredItem(const QString& name, const QByteArray& block, bool compressed, qint64 fileSize);

    QString Name;
    QString FileName;
    qint64 FileSize = 0;
    qint64 StoredSize = 0;
    // Stored size / file size * 100, six decimals and "%".
    QString Ratio;

    // A stream over the file's bytes at its start, or null when the block is
    // damaged (LastError() tells why).
    std::unique_ptr<QIODevice> GetAsStream();
    // Creates or empties the file and writes the bytes. False with LastError().
    bool SaveToFile(const QString& path);

    QString LastError() const { return FLastError; }
    bool Inflated() const { return !FCompressed; }

    // A compressed block for these bytes (what the build stores).
    static QByteArray Pack(const QByteArray& file);

private:
    bool ensureInflated();

    QByteArray FData;
    bool FCompressed;
    QString FLastError;
};
