// Lines from a pseudo-terminal through the real main window (offscreen unless a
// display is chosen), with the terminal tab showing: lines handled per second,
// the longest time the event loop was blocked, and the program's start-up time.
#include "BenchPty.h"
#include "app/TForm1.h"
#include "app/TRvRegStore.h"
#include "player/TTerminalLog.h"
#include "serial/TRvComPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int kLines = 40000;

// Writes every line to the master side from its own thread, blocking when the
// line is full, so the program sets the pace.
void WriteLines(int fd)
{
    std::string all;
    for (int i = 1; i <= kLines; ++i)
        all += "+DATA:" + std::to_string(i) + " the quick brown fox,1234\r\n";
    size_t done = 0;
    while (done < all.size()) {
        const ssize_t n = ::write(fd, all.data() + done, all.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (errno != EINTR && errno != EAGAIN)
            return;
    }
}

double StartupMs()
{
    QList<double> runs;
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(QLSWAV_APP_EXE), {u"--quit-when-shown"_s});
        double ms = -1;
        while (p.waitForReadyRead(5000)) {
            if (p.readAll().contains("shown")) {
                ms = double(t.nsecsElapsed()) / 1e6;
                break;
            }
        }
        p.waitForFinished(5000);
        if (ms < 0)
            return -1;
        runs << ms;
    }
    std::sort(runs.begin(), runs.end());
    return runs.at(2);
}
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and folders of this run stay out of the user's own.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + u"/config"_s));
    QApplication app(argc, argv);

    BenchPty pty;
    if (pty.master < 0) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    TForm1::Options options;
    options.port = pty.path;
    TForm1 form(options);
    form.show();
    if (!QCoreApplication::arguments().contains(u"--player-tab"_s))
        form.findChild<QTabWidget*>(u"PageControl1"_s)->setCurrentIndex(3);

    form.StatusPanel(0)->click();
    QElapsedTimer wait;
    wait.start();
    while (form.PanelText(0) != u"connected"_s && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (form.PanelText(0) != u"connected"_s) {
        std::fprintf(stderr, "the window did not connect\n");
        return 1;
    }

    // A 1 ms heartbeat: the largest gap between beats is the longest block.
    qint64 maxGapNs = 0;
    QElapsedTimer beat;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(1);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        maxGapNs = std::max(maxGapNs, beat.nsecsElapsed());
        beat.restart();
    });

    // --link-only: the window's handler is bypassed, which shows the link's own pace.
    const bool linkOnly = QCoreApplication::arguments().contains(u"--link-only"_s);
    int counted = 0;
    if (linkOnly)
        form.RvComPort1->OnRxString = [&](QObject*, const QByteArray&) { ++counted; };

    const QString last = u"+DATA:"_s + QString::number(kLines) + u" the quick brown fox,1234"_s;
    QElapsedTimer run;
    beat.start();
    heart.start();
    run.start();
    std::thread writer(WriteLines, pty.master);
    auto done = [&] {
        return linkOnly ? counted >= kLines : form.Terminal->document()->lastBlock().text() == last;
    };
    while (!done() && run.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const double seconds = double(run.nsecsElapsed()) / 1e9;
    heart.stop();
    writer.join();
    const bool complete = done();
    const int held = form.Terminal->LineCount();
    form.close();

    const double startup = StartupMs();
    std::printf("lines=%d complete=%d held=%d seconds=%.3f\n", kLines, complete ? 1 : 0, held,
                seconds);
    std::printf("RESULT lines_per_s=%.0f max_block_ms=%.1f startup_ms=%.1f\n",
                complete ? kLines / seconds : 0.0, double(maxGapNs) / 1e6, startup);
    return complete ? 0 : 1;
}
