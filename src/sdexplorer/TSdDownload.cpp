#include "sdexplorer/TSdDownload.h"

#include "app/Utils.h"

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {
// Packets are gathered and written in large blocks: no write per packet.
constexpr qsizetype FlushSize = 256 * 1024;
constexpr char EndByte = static_cast<char>(0xFF);
} // namespace

TSdDownload::TSdDownload() = default;

TSdDownload::~TSdDownload()
{
    Abandon();
}

QString TSdDownload::FileNameFromCommand(const QString& command)
{
    QString rest = command.toUpper();
    const qsizetype eq = rest.indexOf(u'=');
    rest = rest.mid(eq + 1);
    QString path = CutField(rest, u","_s);
    if (!rest.isEmpty()) {
        while (path.contains(u'/'))
            CutField(path, u"/"_s);
    }
    return path.trimmed();
}

bool TSdDownload::SafeFileName(const QString& name)
{
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    return !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

QString TSdDownload::JoinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + name;
    return folder + u'/' + name;
}

void TSdDownload::CommandSent(const QString& command)
{
    const QString upper = command.toUpper();
    if (upper.contains(u"AT+RXBINSTOP"_s))
        FFinished = true;
    if (upper.contains(u"AT+FREAD="_s)) {
        FFileName = FileNameFromCommand(command);
        if (!FReceiving)
            FReceived = 0;
    }
}

TSdDownload::THeader TSdDownload::Header(const QString& S)
{
    QString rest = S;
    CutField(rest, u":"_s);
    const QString mode = CutField(rest, u","_s);
    FPetit = mode == u"PET"_s;
    bool ok = false;
    const qint64 size = rest.toLongLong(&ok);
    FExpected = ok ? size : -1;
    FSizeText = rest;
    FMessage.clear();
    if (FExpected <= 0)
        return THeader::BadSize;
    if (FFileName.isEmpty() || ReceiveFolder.trimmed().isEmpty() ||
        !QFileInfo(ReceiveFolder).isDir())
        return THeader::NoTarget;
    if (!SafeFileName(FFileName)) {
        FMessage = u"Refused: unsafe file name \""_s + FFileName + u'"';
        return THeader::Refused;
    }

    // One header per read command: a stray header later must not write into
    // (and then replace) the same file.
    FActiveName = FFileName;
    FActivePath = JoinPath(ReceiveFolder, FFileName);
    FFileName.clear();
    FFile = std::make_unique<QFile>(PartPath());
    if (!FFile->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        FMessage = u"Cannot create "_s + PartPath() + u": "_s + FFile->errorString();
        FFile.reset();
        return THeader::Failed;
    }
    FBuffer.clear();
    FBuffer.reserve(FlushSize + 64 * 1024);
    FFinished = false;
    FWrite = true;
    FReceiving = true;
    FNonText = false;
    FFailed = false;
    FComplete = false;
    FFirstPacket = true;
    FReceived = 0;
    return THeader::Started;
}

void TSdDownload::Data(QByteArray& D, QByteArray& after)
{
    after.clear();
    if (!FReceiving)
        return;
    // The header's line ends in CR LF; the link consumed the CR, so an LF that
    // opens the first packet still belongs to the header, not to the file.
    if (FFirstPacket && !D.isEmpty()) {
        FFirstPacket = false;
        if (D.startsWith('\n'))
            D.remove(0, 1);
    }

    if (FWrite && !FFinished) {
        // Only the announced size is file data; in PetitFS mode the end byte
        // (counted in that size) closes the data earlier.
        const qint64 room = std::max<qint64>(0, FExpected - FReceived);
        qsizetype take = static_cast<qsizetype>(std::min<qint64>(room, D.size()));
        bool endByte = false;
        if (FPetit) {
            const qsizetype at = D.indexOf(EndByte);
            // The end byte may also follow the announced size directly.
            if (at >= 0 && at <= take) {
                take = at;
                endByte = true;
            }
        }
        const qsizetype skip = endByte ? take + 1 : take;
        if (skip < D.size()) {
            after = D.mid(skip);
            D.truncate(skip);
        }
        if (!WriteOut(D.constData(), take)) {
            Fail(u"Write error in "_s + PartPath() + u": "_s + FFile->errorString());
        } else if (endByte) {
            FFinished = true;
            FComplete = true;
            FMessage = u"PetitFS read OK"_s;
        }
    }

    // What the terminal shows: control bytes become 0xFF once the data is non-text.
    for (char& c : D) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 10)
            FNonText = true;
        if (b < 10 || (FNonText && b < 32))
            c = EndByte;
    }

    FReceived += D.size();
    if (FReceived >= FExpected && !FFinished) {
        FFinished = true;
        if (FWrite && !FFailed) {
            FComplete = true;
            FMessage = u"File received OK"_s;
        }
    }
}

bool TSdDownload::WriteOut(const char* data, qsizetype size)
{
    if (!FFile)
        return false;
    FBuffer.append(data, size);
    if (FBuffer.size() >= FlushSize)
        return FlushBuffer();
    return true;
}

bool TSdDownload::FlushBuffer()
{
    if (!FFile)
        return false;
    const char* p = FBuffer.constData();
    qsizetype left = FBuffer.size();
    while (left > 0) {
        const qint64 n = FFile->write(p, left);
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    FBuffer.clear();
    return true;
}

void TSdDownload::Fail(const QString& text)
{
    FFailed = true;
    FComplete = false;
    FFinished = true;
    FWrite = false;
    FMessage = text;
}

bool TSdDownload::End()
{
    const bool wasReceiving = FReceiving;
    bool complete = FComplete && !FFailed;
    if (FFile) {
        if (!FFailed && !FlushBuffer()) {
            Fail(u"Write error in "_s + PartPath() + u": "_s + FFile->errorString());
            complete = false;
        }
        FFile->close();
        if (!FFailed && FFile->error() != QFileDevice::NoError) {
            Fail(u"Write error in "_s + PartPath() + u": "_s + FFile->errorString());
            complete = false;
        }
        FFile.reset();
    }
    FBuffer.clear();
    if (wasReceiving) {
        if (complete) {
            // rename() replaces an older copy in one step.
            const QByteArray from = QFile::encodeName(PartPath());
            const QByteArray to = QFile::encodeName(FilePath());
            if (std::rename(from.constData(), to.constData()) != 0) {
                FMessage = u"Cannot rename "_s + PartPath() + u": "_s +
                           QString::fromLocal8Bit(std::strerror(errno));
                complete = false;
            }
        } else if (!FFailed) {
            FMessage = u"Incomplete: kept as "_s + FActiveName + PartSuffix();
        } else {
            FMessage += u" (kept as "_s + FActiveName + PartSuffix() + u')';
        }
    }
    Reset();
    FComplete = complete && wasReceiving;
    return FComplete;
}

void TSdDownload::Abandon()
{
    if (FFile) {
        FlushBuffer();
        FFile->close();
        FFile.reset();
    }
    FBuffer.clear();
    const bool complete = FComplete;
    Reset();
    FComplete = complete;
}

void TSdDownload::Reset()
{
    FWrite = false;
    FFinished = false;
    FReceiving = false;
    FNonText = false;
    FFailed = false;
    FFirstPacket = false;
    FExpected = 0;
}

int TSdDownload::Percent() const
{
    if (FExpected <= 0)
        return 0;
    return static_cast<int>(std::min<qint64>(100, FReceived * 100 / FExpected));
}

QString TSdDownload::BinText(const QByteArray& D)
{
    QString text = u"BIN [ "_s + FromWire(D.left(30)) + u" ]"_s;
    if (D.size() > 30)
        text += u"..."_s;
    return text;
}

QList<QByteArray> TSdDownload::ReplyLines(const QByteArray& bytes)
{
    // The same framing the link applies in line mode; a last piece without its
    // CR is handed on as well, since the link will not see it again.
    QList<QByteArray> lines;
    for (QByteArray line : bytes.split('\r')) {
        if (line.startsWith('\n'))
            line.remove(0, 1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}
