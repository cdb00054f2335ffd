// A 64 MiB file read from a pty peer in raw mode through the link and the
// download code, against a plain read of the same bytes from the pty.
#include "BenchPty.h"
#include "app/Utils.h"
#include "sdexplorer/TSdDownload.h"
#include "serial/TRvComPort.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 Size = 64LL * 1024 * 1024;

void writeAll(int fd, const char* p, qint64 n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, static_cast<size_t>(std::min<qint64>(n, 65536)));
        if (w <= 0)
            return;
        p += w;
        n -= w;
    }
}

void sendFile(int master, const QByteArray& header, const QByteArray& block)
{
    writeAll(master, header.constData(), header.size());
    for (qint64 sent = 0; sent < Size; sent += block.size())
        writeAll(master, block.constData(), std::min<qint64>(block.size(), Size - sent));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QByteArray block(1 << 20, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 31) % 256);

    // Plain: the bytes read straight from the pty.
    double plainMbps = 0;
    {
        BenchPty pty;
        if (pty.master < 0)
            return 1;
        QElapsedTimer t;
        t.start();
        std::thread writer(sendFile, pty.master, QByteArray(), block);
        QByteArray buf(65536, '\0');
        qint64 got = 0;
        while (got < Size) {
            const ssize_t n = ::read(pty.slave, buf.data(), static_cast<size_t>(buf.size()));
            if (n <= 0)
                break;
            got += n;
        }
        writer.join();
        plainMbps = double(got) / 1e6 / (double(t.nsecsElapsed()) / 1e9);
    }

    // The link in raw mode and the download writing to disk.
    double downloadMbps = 0;
    {
        BenchPty pty;
        if (pty.master < 0)
            return 1;
        QTemporaryDir dir(QDir::currentPath() + u"/bench_download_XXXXXX"_s);
        TRvComPort port;
        port.SetComPort(pty.path);
        port.SetBaudRate(u"115200"_s);
        TSdDownload download;
        download.ReceiveFolder = dir.path();
        download.CommandSent(u"AT+FREAD=/BIG.BIN,0,1000000000,0"_s);
        QElapsedTimer t;
        bool done = false, complete = false;
        port.OnRxString = [&](QObject*, const QByteArray& data) {
            if (!download.Receiving()) {
                if (FromWire(data).contains(u"+FREAD:"_s) &&
                    download.Header(FromWire(data)) == TSdDownload::THeader::Started)
                    port.SetRxBIN(true);
                return;
            }
            QByteArray D = data, after;
            download.Data(D, after);
            if (download.Finished()) {
                port.SetRxBIN(false);
                complete = download.End();
                done = true;
            }
        };
        bool connected = false;
        port.OnConnected = [&](QObject*) { connected = true; };
        port.SetActive(true);
        port.SetConnected(true);
        QDeadlineTimer wait(5000);
        while (!connected && !wait.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!connected) {
            out << "cannot open " << pty.path << Qt::endl;
            return 1;
        }
        t.start();
        std::thread writer(sendFile, pty.master,
                           QByteArray("+FREAD:NOR,") + QByteArray::number(Size) + "\r\n", block);
        QDeadlineTimer limit(120000);
        while (!done && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const double s = double(t.nsecsElapsed()) / 1e9;
        writer.join();
        port.SetConnected(false);
        port.StopWorker(3000);
        const qint64 size = QFileInfo(dir.filePath(u"BIG.BIN"_s)).size();
        if (!complete || size != Size) {
            out << "download incomplete: " << size << " bytes" << Qt::endl;
            return 1;
        }
        downloadMbps = double(Size) / 1e6 / s;
    }
    out << "RESULT download_mbps=" << QString::number(downloadMbps, 'f', 1)
        << " plain_mbps=" << QString::number(plainMbps, 'f', 1) << Qt::endl;
    return 0;
}
