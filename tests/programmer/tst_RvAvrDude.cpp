#include "app/HostServices.h"
#include "programmer/TRvAvrDude.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <cerrno>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {
// A stand-in for the tool: logs its arguments and pid, then follows the
// actions found among them, in order: --out TEXT (backslash escapes allowed),
// --sleep MS, --exit N, --kill (dies by SIGKILL), --hang. Other options are
// ignored, so avrdude's own options can stand beside the actions.
const char kStandIn[] = R"(#!/usr/bin/env python3
import json, os, signal, sys, time
args = sys.argv[1:]
with open(os.environ["QLSWAV_STANDIN_LOG"], "a") as log:
    log.write(json.dumps({"pid": os.getpid(), "args": args}) + "\n")
i = 0
while i < len(args):
    a = args[i]
    if a == "--out":
        sys.stdout.write(args[i + 1].encode().decode("unicode_escape"))
        sys.stdout.flush()
        i += 1
    elif a == "--sleep":
        time.sleep(int(args[i + 1]) / 1000)
        i += 1
    elif a == "--exit":
        sys.exit(int(args[i + 1]))
    elif a == "--kill":
        os.kill(os.getpid(), signal.SIGKILL)
    elif a == "--hang":
        time.sleep(60)
    i += 1
)";

struct Invocation
{
    qint64 pid;
    QStringList args;
};

bool processGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

// Everything a run tells its owner, in order.
struct Recorder
{
    QStringList events; // "reset", "console", "progress:N", "end:ACT:STATUS"
    QString console;
    QList<int> progress;
    int ends = 0;
    int status = 99;
    int waits = 0;
    bool offMainThread = false;

    void attach(TRvAvrDude& runner)
    {
        auto onMain = [this] {
            if (QThread::currentThread() != qApp->thread())
                offMainThread = true;
        };
        runner.OnConsole = [this, onMain](const QString& text) {
            onMain();
            events << u"console"_s;
            console += text;
        };
        runner.OnProgress = [this, onMain](int p) {
            onMain();
            events << u"progress:"_s + QString::number(p);
            progress << p;
        };
        runner.OnNeedFT232RESET = [this, onMain] {
            onMain();
            events << u"reset"_s;
        };
        runner.OnWaitThreadEnd = [this] { ++waits; };
        runner.OnActionEnd = [this, onMain](TADaction act, int s) {
            onMain();
            events << u"end:%1:%2"_s.arg(static_cast<int>(act)).arg(s);
            ++ends;
            status = s;
        };
    }
    // Events other than console chunks, whose number depends on timing.
    QStringList withoutConsole() const
    {
        QStringList out = events;
        out.removeAll(u"console"_s);
        return out;
    }
};

class RecordingHost : public IHostServices
{
public:
    QStringList boxes;
    int showMessageBox(const QString& text, const QString&, int) override
    {
        boxes << text;
        return MB::IdOk;
    }
    QString browseForFolder(const QString&, const QString&, bool) override { return {}; }
    bool openPath(const QString&) override { return false; }
    bool exploreFolder(const QString&) override { return false; }
};
} // namespace

class TestRvAvrDude : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void startIgnoresBlankArguments_data();
    void startIgnoresBlankArguments();
    void flashOnlyRunCountsProgress();
    void failedFuseJobSkipsLaterJobs();
    void jobVerdict_data();
    void jobVerdict();
    void unusableTool_data();
    void unusableTool();
    void systemAvrDudeWithoutProgrammerFails();
    void closeWaitsForRunEnd();
    void destroyingDuringRunStopsTool();

private:
    QList<Invocation> invocations() const;
    bool waitEnd(const Recorder& rec, int ms = 15000);

    QTemporaryDir FDir;
    QString FTool;
    QString FLog;
    RecordingHost* FHost = nullptr;
    std::unique_ptr<IHostServices> FPreviousHost;
};

void TestRvAvrDude::initTestCase()
{
    QVERIFY(FDir.isValid());
    if (QStandardPaths::findExecutable(u"python3"_s).isEmpty())
        QSKIP("python3 is needed for the stand-in tool");
    FTool = FDir.filePath(u"standin"_s);
    QFile tool(FTool);
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write(kStandIn);
    tool.close();
    QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    FLog = FDir.filePath(u"invocations.log"_s);
    qputenv("QLSWAV_STANDIN_LOG", FLog.toLocal8Bit());
    auto host = std::make_unique<RecordingHost>();
    FHost = host.get();
    FPreviousHost = SetHost(std::move(host));
}

void TestRvAvrDude::init()
{
    QFile::remove(FLog);
    FHost->boxes.clear();
}

void TestRvAvrDude::cleanupTestCase()
{
    if (FPreviousHost)
        SetHost(std::move(FPreviousHost));
}

QList<Invocation> TestRvAvrDude::invocations() const
{
    QList<Invocation> out;
    QFile log(FLog);
    if (!log.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QStringList args;
        for (const QJsonValue& v : o.value(u"args"_s).toArray())
            args << v.toString();
        out << Invocation{o.value(u"pid"_s).toInteger(), args};
    }
    return out;
}

bool TestRvAvrDude::waitEnd(const Recorder& rec, int ms)
{
    QDeadlineTimer deadline(ms);
    while (rec.ends == 0 && !deadline.hasExpired())
        QTest::qWait(20);
    // Anything queued behind the end would show up now.
    QCoreApplication::processEvents();
    return rec.ends == 1 && !rec.events.isEmpty() && rec.events.last().startsWith(u"end:"_s);
}

void TestRvAvrDude::startIgnoresBlankArguments_data()
{
    QTest::addColumn<QString>("pathProperty");
    QTest::addColumn<QString>("pathArgument");
    QTest::addColumn<QString>("line");

    QTest::newRow("no tool path") << u"  "_s << u" "_s << u" --exit 0"_s;
    QTest::newRow("no command line") << u"standin"_s << QString() << u"  "_s;
}

void TestRvAvrDude::startIgnoresBlankArguments()
{
    QFETCH(QString, pathProperty);
    QFETCH(QString, pathArgument);
    QFETCH(QString, line);

    TRvAvrDude runner;
    Recorder rec;
    rec.attach(runner);
    runner.AvrDudePathName = pathProperty == u"standin"_s ? FTool : pathProperty;
    runner.AvrDudeParams = line;
    runner.AvrFuseBits = line;
    runner.AvrLockBits = line;
    QVERIFY(!runner.AVRDUDE_START(pathArgument, line));
    QVERIFY(!runner.Running());
    QVERIFY(runner.RvAvrDudeCanClose());
    QCOMPARE(runner.Action(), TADaction::adNone);
    QTest::qWait(50);
    QVERIFY(rec.events.isEmpty());
}

void TestRvAvrDude::flashOnlyRunCountsProgress()
{
    TRvAvrDude runner;
    Recorder rec;
    rec.attach(runner);
    // The arguments of the start win over the properties.
    runner.AvrDudePathName = u"/nonexistent/avrdude"_s;
    runner.AvrDudeParams = u" --exit 1"_s;
    const QString line =
        u" -p atmega328p -c USBASP   -V -U \"flash:w:/tmp/a dir/Bootloader.hex:i\" "
        u"--out \"Writing | ####\" --sleep 400 --out \"#####################\" --sleep 400 "
        u"--out \" | 100%\\n\\nReading | ##############################\" --exit 0"_s;
    QVERIFY(runner.AVRDUDE_START(FTool, line));
    QVERIFY(runner.Running());
    QVERIFY(!runner.RvAvrDudeCanClose());
    QVERIFY(waitEnd(rec));

    QCOMPARE(rec.status, 0);
    QVERIFY(!rec.offMainThread);
    // A reading bar after a full writing bar keeps counting past 100.
    QCOMPARE(rec.progress, (QList<int>{8, 50, 110}));
    QCOMPARE(rec.withoutConsole(),
             (QStringList{u"progress:8"_s, u"progress:50"_s, u"progress:110"_s, u"end:1:0"_s}));
    QCOMPARE(rec.console,
             u"Writing | ######################### | 100%\n\nReading | "_s + QString(30, u'#'));
    const QList<Invocation> calls = invocations();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().args.mid(0, 6),
             (QStringList{u"-p"_s, u"atmega328p"_s, u"-c"_s, u"USBASP"_s, u"-V"_s, u"-U"_s}));
    QCOMPARE(calls.first().args.at(6), u"flash:w:/tmp/a dir/Bootloader.hex:i"_s);
    QVERIFY(!runner.Running());
    QVERIFY(runner.RvAvrDudeCanClose());
    QCOMPARE(runner.Action(), TADaction::adUpload);
}

void TestRvAvrDude::failedFuseJobSkipsLaterJobs()
{
    TRvAvrDude runner;
    Recorder rec;
    rec.attach(runner);
    runner.AvrDudePathName = FTool;
    runner.AvrFuseBits =
        u" -c QLS-FT232R -P ft0 --out \"avrdude error: programmer not responding\\n\" --hang"_s;
    runner.AvrDudeParams = u" -c QLS-FT232R -P ft0 --out flash --exit 0"_s;
    runner.AvrLockBits = u" -c QLS-FT232R -P ft0 --out lock --exit 0"_s;
    QElapsedTimer clock;
    clock.start();
    // A path of blanks counts as none given.
    QVERIFY(runner.AVRDUDE_START(u"   "_s, QString()));
    QVERIFY(waitEnd(rec));

    QCOMPARE(rec.status, -1);
    // The hanging tool was ended as soon as its error showed.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    const QList<Invocation> calls = invocations();
    QCOMPARE(calls.size(), 1);
    QVERIFY(calls.first().args.contains(u"--hang"_s));
    QVERIFY(processGone(calls.first().pid));
    // The reset requests around the skipped jobs still come.
    QCOMPARE(rec.withoutConsole(),
             (QStringList{u"reset"_s, u"reset"_s, u"reset"_s, u"reset"_s, u"end:1:-1"_s}));
    QCOMPARE(rec.events.at(1), u"console"_s);
    QVERIFY(rec.console.contains(u"programmer not responding"_s));
}

void TestRvAvrDude::jobVerdict_data()
{
    QTest::addColumn<QString>("actions");
    QTest::addColumn<int>("status");

    QTest::newRow("error: with exit code 0")
        << u"--out \"avrdude error: no device\\n\" --exit 0"_s << -1;
    QTest::newRow("failed / rc=-1")
        << u"--out \"initialization failed, rc=-1\\n\" --exit 0"_s << -1;
    QTest::newRow("capital Error without colon")
        << u"--out \"Error reading fuse\\n\" --exit 0"_s << 0;
    QTest::newRow("silent, exit code 1") << u"--exit 1"_s << -1;
    QTest::newRow("killed by a signal") << u"--out \"Writing | ##\" --kill"_s << -1;
    QTest::newRow("error: split across two reads")
        << u"--out \"avrdude err\" --sleep 400 --out \"or: no device\\n\" --exit 0"_s << -1;
    QTest::newRow("error and colon on two lines")
        << u"--out \"no error\\n\" --sleep 400 --out \": none\\n\" --exit 0"_s << 0;
}

void TestRvAvrDude::jobVerdict()
{
    QFETCH(QString, actions);
    QFETCH(int, status);

    TRvAvrDude runner;
    Recorder rec;
    rec.attach(runner);
    runner.AvrDudePathName = FTool;
    runner.AvrDudeParams = u" -p atmega328p "_s + actions;
    // A lock job runs only after a good flash job.
    runner.AvrLockBits = u" --out lock-job --exit 0"_s;
    QVERIFY(runner.AVRDUDE_START(QString(), QString()));
    QVERIFY(waitEnd(rec));
    QCOMPARE(rec.status, status);
    QCOMPARE(invocations().size(), status == 0 ? 2 : 1);
}

void TestRvAvrDude::unusableTool_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("note");

    QTest::newRow("missing") << u"/nonexistent/dir/avrdude"_s << u"not found"_s;
    QTest::newRow("not executable") << u"log"_s << u"cannot be executed"_s;
}

void TestRvAvrDude::unusableTool()
{
    QFETCH(QString, tool);
    QFETCH(QString, note);
    if (tool == u"log"_s) {
        tool = FDir.filePath(u"plain.txt"_s);
        QFile f(tool);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a program\n");
    }

    TRvAvrDude runner;
    Recorder rec;
    rec.attach(runner);
    runner.AvrDudePathName = tool;
    runner.AvrDudeParams = u" -p atmega328p"_s;
    QVERIFY(runner.AVRDUDE_START(QString(), QString()));
    QVERIFY(waitEnd(rec));
    QCOMPARE(rec.status, -1);
    QVERIFY2(rec.console.contains(note) && rec.console.contains(tool), qPrintable(rec.console));
}

void TestRvAvrDude::systemAvrDudeWithoutProgrammerFails()
{
    const QString avrdude = QStandardPaths::findExecutable(u"avrdude"_s);
    if (avrdude.isEmpty())
        QSKIP("avrdude is not installed");

    TRvAvrDude runner;
    Recorder rec;
    rec.attach(runner);
    runner.AvrDudePathName = avrdude;
    // A lock line alone runs; no USBasp is attached here.
    runner.AvrLockBits = u" -p atmega328p -c USBASP  -V  -U lock:w:0x3C:m"_s;
    QVERIFY(runner.AVRDUDE_START(QString(), QString()));
    QVERIFY(waitEnd(rec, 30000));
    QCOMPARE(rec.status, -1);
    QVERIFY2(rec.console.contains(u"error:"_s), qPrintable(rec.console));
}

void TestRvAvrDude::closeWaitsForRunEnd()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* runner = new TRvAvrDude(&window);
    Recorder rec;
    rec.attach(*runner);
    runner->AvrDudePathName = FTool;
    runner->AvrDudeParams = u" --sleep 800 --exit 0"_s;
    QVERIFY(runner->AVRDUDE_START(QString(), QString()));
    // No second run beside the first.
    QVERIFY(!runner->AVRDUDE_START(QString(), QString()));

    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QVERIFY(!window.isEnabled());
    QCOMPARE(window.windowOpacity(), 230.0 / 255.0);
    QCOMPARE(FHost->boxes, QStringList{u"Wait for RvAvrDude Thread end"_s});
    QCOMPARE(rec.waits, 1);

    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 15000);
    QCOMPARE(rec.ends, 1);
    QCOMPARE(rec.status, 0);
    QVERIFY(window.isEnabled());
    QCOMPARE(invocations().size(), 1);
}

void TestRvAvrDude::destroyingDuringRunStopsTool()
{
    auto runner = std::make_unique<TRvAvrDude>();
    Recorder rec;
    rec.attach(*runner);
    runner->AvrDudePathName = FTool;
    runner->AvrDudeParams = u" --hang"_s;
    QVERIFY(runner->AVRDUDE_START(QString(), QString()));
    QTRY_COMPARE_WITH_TIMEOUT(invocations().size(), 1, 10000);

    QElapsedTimer clock;
    clock.start();
    runner.reset();
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(processGone(invocations().first().pid));
    QTest::qWait(50);
    QCOMPARE(rec.ends, 0);
}

QTEST_MAIN(TestRvAvrDude)
#include "tst_RvAvrDude.moc"
