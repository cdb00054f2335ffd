#include "app/TForm1.h"
#include "app/TInstanceGuard.h"
#include "app/TWidgetHostServices.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {
QString ExecutablePath(const char* argv0)
{
    const QFileInfo self(u"/proc/self/exe"_s);
    if (self.exists())
        return self.canonicalFilePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
}
} // namespace

// qls-wav [--port PATH]
//   --port PATH       pre-fills the port box for this run (nothing is stored)
//   --quit-when-shown prints "shown" once the window is up and quits (start-up timing)
int main(int argc, char* argv[])
{
    // Before anything else: a second copy ends at once, without a word.
    TInstanceGuard guard(ExecutablePath(argc > 0 ? argv[0] : "qls-wav"));
    if (!guard.Acquired())
        return 0;

    QApplication app(argc, argv);
    SetHost(std::make_unique<TWidgetHostServices>());

    TForm1::Options options;
    bool quitWhenShown = false;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args.at(i) == u"--port"_s && i + 1 < args.size())
            options.port = args.at(++i);
        else if (args.at(i).startsWith(u"--port="_s))
            options.port = args.at(i).mid(7);
        else if (args.at(i) == u"--quit-when-shown"_s)
            quitWhenShown = true;
    }

    TForm1 form(options);
    form.show();
    if (quitWhenShown) {
        QTimer::singleShot(0, &form, [&form] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            form.close();
        });
    }
    return app.exec();
}
