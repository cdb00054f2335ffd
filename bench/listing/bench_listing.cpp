// A 20,000-entry listing (200 folders) from a pty peer, unpaced, through the
// main window's reply handler into the explorer's tree; and the tree build alone.
#include "BenchPty.h"
#include "app/TForm1.h"
#include "app/Utils.h"
#include "sdexplorer/TSdSteps.h"
#include "sdexplorer/TSdTree.h"
#include "sdexplorer/TfrmFileList.h"
#include "serial/TRvComPort.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTextStream>
#include <QToolButton>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int Folders = 200;
constexpr int PerFolder = 100;

QByteArray listing()
{
    QByteArray b = "+LIST:\r\n";
    // Folders interleaved, so every entry needs a folder lookup.
    for (int f = 0; f < PerFolder; ++f)
        for (int d = 0; d < Folders; ++d)
            b += "/FOLDER" + QByteArray::number(Folders - d) + "/TRACK" +
                 QByteArray::number(f * 7919 % 10007) + ".WAV," + QByteArray::number(1000 + f * d) +
                 "\r\n";
    b += "+DIR_LIST_END:\r\n";
    return b;
}

void wait(int ms, const std::function<bool()>& until = {})
{
    QDeadlineTimer d(ms);
    while (!d.hasExpired() && !(until && until()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QByteArray text = listing();

    // The build alone: the tree model and the widget nodes.
    QStringList entries;
    for (const QByteArray& line : text.split('\n')) {
        const QString s = RemoveWhiteSpace(FromWire(line));
        if (!s.isEmpty() && s.startsWith(u'/'))
            entries << s;
    }

    BenchPty pty;
    if (pty.master < 0)
        return 1;
    const int master = pty.master;

    TForm1::Options o;
    o.port = pty.path;
    TForm1 form(o);
    form.show();
    form.ConnectSelectedPort();
    wait(5000, [&] { return form.RvComPort1->Connected(); });
    if (!form.RvComPort1->Connected()) {
        out << "cannot open " << o.port << Qt::endl;
        return 1;
    }
    form.Sd().OpenFileList();
    TfrmFileList* list = form.FileList;
    wait(300);
    // Drop what the explorer asked for; this peer only answers with the listing.
    char sink[4096];
    while (::read(master, sink, sizeof sink) == sizeof sink) {
    }

    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        const char* p = text.constData();
        qsizetype n = text.size();
        while (n > 0) {
            const ssize_t w =
                ::write(master, p, static_cast<size_t>(std::min<qsizetype>(n, 65536)));
            if (w <= 0)
                break;
            p += w;
            n -= w;
        }
    });
    wait(120000, [&] { return list->PanelText(1) == u"done"_s; });
    const double listingS = double(clock.nsecsElapsed()) / 1e9;
    writer.join();
    const bool ok = list->PanelText(1) == u"done"_s;

    QElapsedTimer build;
    build.start();
    TSdTree tree;
    tree.Build(entries);
    list->ShowTree(tree);
    const double buildMs = double(build.nsecsElapsed()) / 1e6;

    form.RvComPort1->SetConnected(false);
    form.RvComPort1->StopWorker(3000);
    if (!ok || tree.FileCount() != Folders * PerFolder) {
        out << "listing not complete" << Qt::endl;
        return 1;
    }
    // At 115200 baud, 10 bits per byte.
    const double lineS = double(text.size()) * 10.0 / 115200.0;
    out << "RESULT tree_build_ms=" << QString::number(buildMs, 'f', 1)
        << " listing_s=" << QString::number(listingS, 'f', 3)
        << " listing_speedup=" << QString::number(lineS / listingS, 'f', 1) << Qt::endl;
    return 0;
}
