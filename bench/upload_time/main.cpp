// The carried firmware through the virtual board at 115200 baud with a 4.5 ms
// page write, against the least time the same exchange can take.
#include "bootload/TRvBootload.h"
#include "firmware/TmxStorage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
constexpr int Baud = 115200;
constexpr int PageDelayUs = 4500;
constexpr int PageSize = 128;
const QByteArray Info = "*64,0x7C00,atmega328p,24000000,1&";

void say(const QString& s)
{
    std::printf("%s\n", s.toUtf8().constData());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    TmxStorage store;
    const QByteArray fw = store.ItemByName(u"QLS-WAV.bin"_s)->GetAsStream()->readAll();
    const qint64 pages = (fw.size() + PageSize - 1) / PageSize;

    // The bound: every byte each way at 10 bits, every page write, and the
    // pauses the protocol prescribes (50 ms before opening, 50 ms before and
    // after "u", the 1000 ms drain that finds nothing waiting).
    const qint64 toBoard = 8 /* AT+RST?\r */ + 1 + 1 + 1 /* u ! w */ + pages * (1 + PageSize) + 1;
    const qint64 toHost = 1 /* ? */ + Info.size() + pages /* @ */;
    const double bound =
        double(toBoard + toHost) * 10.0 / Baud + pages * PageDelayUs / 1e6 + 0.050 + 0.100 + 1.000;

    double best = 0;
    double sum = 0;
    for (int i = 0; i < runs; ++i) {
        QProcess board;
        board.start(QStringLiteral(QLSWAV_BOARD),
                    {u"--baud"_s, QString::number(Baud), u"--bls-page-delay-us"_s,
                     QString::number(PageDelayUs)});
        if (!board.waitForStarted(5000)) {
            say(u"cannot start the virtual board"_s);
            return 1;
        }
        while (!board.canReadLine() && board.waitForReadyRead(5000)) {
        }
        const QString port = QString::fromLocal8Bit(board.readLine().trimmed());

        TRvBootload b;
        b.ComPort = port;
        b.Baudrate = u"115200"_s;
        b.SetOwnerHeader(u"!,*,&,128,0x7C00,"_s);
        b.SetWsadBIN(fw);
        int status = -1;
        QString failure;
        QEventLoop loop;
        b.OnStatus = [&failure](const QString& t, int) { failure = t; };
        b.OnActionEnd = [&](TMBaction, int s) {
            status = s;
            loop.quit();
        };
        QElapsedTimer t;
        t.start();
        b.UploadBIN();
        loop.exec();
        const double secs = t.nsecsElapsed() / 1e9;
        board.terminate();
        board.waitForFinished(3000);
        if (status != 0) {
            say(u"upload failed: "_s + failure);
            return 1;
        }
        say(u"run %1: %2 s"_s.arg(i + 1).arg(secs, 0, 'f', 3));
        best = i == 0 ? secs : std::min(best, secs);
        sum += secs;
    }
    say(u"image %1 bytes, %2 pages; mean %3 s"_s.arg(fw.size()).arg(pages).arg(sum / runs, 0, 'f',
                                                                               3));
    say(u"RESULT upload_s=%1 bound_s=%2 ratio=%3"_s.arg(best, 0, 'f', 3)
            .arg(bound, 0, 'f', 3)
            .arg(best / bound, 0, 'f', 3));
    return 0;
}
