#include "programmer/TAvrDudeThread.h"

#include "app/TNoticeChannel.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// Read size of one output chunk.
constexpr qint64 kChunkBytes = 2400;
// An unfinished line longer than this is cut from the front; the error texts
// are short, so a split one is still seen.
constexpr qsizetype kMaxLineRest = 2400;

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

// The program to start, or empty with the reason in `problem`.
QString resolveTool(const QString& path, QString& problem)
{
    if (isBlank(path)) {
        problem = u"avrdude not found: no tool path given"_s;
        return {};
    }
    QString program = path;
    if (!path.contains(u'/')) {
        program = QStandardPaths::findExecutable(path);
        if (program.isEmpty()) {
            problem = u"avrdude not found: "_s + path;
            return {};
        }
    }
    const QFileInfo info(program);
    if (!info.exists()) {
        problem = u"avrdude not found: "_s + path;
        return {};
    }
    if (info.isDir() || !info.isExecutable()) {
        problem = u"avrdude cannot be executed: "_s + path;
        return {};
    }
    return program;
}
} // namespace

TAvrDudeThread::TAvrDudeThread(TNoticeChannel* dest, std::atomic<bool>* canClose, QString toolPath,
                               QString fuseLine, QString flashLine, QString lockLine,
                               QObject* parent)
    : QThread(parent), FDest(dest), FCanClose(canClose), FToolPath(std::move(toolPath)),
      FFuseLine(std::move(fuseLine)), FFlashLine(std::move(flashLine)),
      FLockLine(std::move(lockLine))
{
    FCanClose->store(false);
}

TAvrDudeThread::~TAvrDudeThread()
{
    requestInterruption();
    wait();
}

void TAvrDudeThread::run()
{
    // A failed job skips the jobs after it, but the reset requests and pauses
    // around them still happen: the owner's reset pulses stay in step.
    auto steps = [this] {
        bool ok = true;
        postResetIfFT232R(FFuseLine);
        if (!pause(500))
            return;
        if (!isBlank(FFuseLine))
            ok = runJob(FFuseLine);
        postResetIfFT232R(FFuseLine);
        if (!pause(500))
            return;
        if (ok && !isBlank(FFlashLine))
            ok = runJob(FFlashLine);
        postResetIfFT232R(FFlashLine);
        if (!pause(500))
            return;
        if (ok && !isBlank(FLockLine))
            ok = runJob(FLockLine);
        postResetIfFT232R(FLockLine);
        FDest->Post(AvrDudeNotice::Status, QString(), ok ? 0 : -1);
    };
    try {
        steps();
    } catch (...) {
        // Nothing leaves the worker; the run ends without a status of its own.
    }
    FCanClose->store(true);
    FDest->Post(AvrDudeNotice::End);
}

void TAvrDudeThread::postResetIfFT232R(const QString& line)
{
    if (line.contains(FT232RMark()))
        FDest->Post(AvrDudeNotice::NeedReset);
}

bool TAvrDudeThread::pause(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        if (isInterruptionRequested())
            return false;
        msleep(static_cast<unsigned long>(std::min<qint64>(20, deadline.remainingTime())));
    }
    return !isInterruptionRequested();
}

bool TAvrDudeThread::runJob(const QString& line)
{
    FLineRest.clear();
    QString problem;
    const QString program = resolveTool(FToolPath, problem);
    if (program.isEmpty()) {
        FDest->Post(AvrDudeNotice::Console, problem + u'\n');
        return false;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProgram(program);
    // The line is options only; a double-quoted path stays one argument.
    process.setArguments(QProcess::splitCommand(line));
    process.setChildProcessModifier([] {
        // A higher priority for the tool, best effort.
        [[maybe_unused]] const int ignored = ::nice(-5);
    });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(10000)) {
        FDest->Post(AvrDudeNotice::Console, u"avrdude could not be started: "_s + FToolPath +
                                                u" ("_s + process.errorString() + u")\n"_s);
        return false;
    }

    bool error = false;
    for (;;) {
        const bool ended = process.state() == QProcess::NotRunning || process.waitForFinished(100);
        // The output waiting when the end was seen is read in the same pass.
        while (!error && process.bytesAvailable() > 0) {
            QByteArray bytes = process.read(kChunkBytes);
            const qsizetype zero = bytes.indexOf('\0');
            if (zero >= 0)
                bytes.truncate(zero);
            error = parseChunk(QString::fromLatin1(bytes));
        }
        if (error || ended || isInterruptionRequested())
            break;
    }

    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    if (error)
        return false;
    // Whatever it printed, a tool that reports failure has failed.
    if (process.exitStatus() != QProcess::NormalExit) {
        FDest->Post(AvrDudeNotice::Console, u"\navrdude was ended abnormally\n"_s);
        return false;
    }
    if (process.exitCode() != 0) {
        FDest->Post(AvrDudeNotice::Console, u"\navrdude ended with exit code "_s +
                                                QString::number(process.exitCode()) + u'\n');
        return false;
    }
    return true;
}

bool TAvrDudeThread::parseChunk(const QString& chunk)
{
    if (chunk.contains(u"Writing |"_s)) {
        FProgress = 0;
        FbStart = true;
    }
    // A full bar is 50 '#'; the count runs on across bars until the next
    // "Writing |", so values above 100 are passed on as they come.
    if (FbStart && chunk.contains(u'#')) {
        FProgress += static_cast<int>(chunk.count(u'#'));
        FDest->Post(AvrDudeNotice::Progress, QString(), FProgress * 100 / 50);
    }
    FDest->Post(AvrDudeNotice::Console, chunk);

    const QString text = FLineRest + chunk;
    const bool error =
        text.contains(u"error:"_s) || text.contains(u"failed"_s) || text.contains(u"rc=-1"_s);
    const qsizetype cut = std::max(text.lastIndexOf(u'\n'), text.lastIndexOf(u'\r'));
    FLineRest = text.mid(cut + 1);
    if (FLineRest.size() > kMaxLineRest)
        FLineRest = FLineRest.right(kMaxLineRest);
    return error;
}
