#include "player/TTerminalLog.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

// The log's document, once flushed, must hold exactly what adding and cutting
// line by line would have left, however the edits were grouped into frames.
class TestTerminalLog : public QObject
{
    Q_OBJECT

    static QStringList Lines(const QString& text)
    {
        QString t = text;
        t.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        return t.split(u'\n');
    }

    static QStringList DocumentLines(TTerminalLog& log)
    {
        log.Flush();
        if (log.document()->isEmpty() && log.LineCount() == 0)
            return {};
        QStringList out;
        for (QTextBlock b = log.document()->begin(); b.isValid(); b = b.next())
            out << b.text();
        return out;
    }

private Q_SLOTS:
    void matchesLineByLine_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("flushEvery"); // operations between flushes
        QTest::newRow("limit 5, flush each") << 5 << 1;
        QTest::newRow("limit 5, frames of 7") << 5 << 7;
        QTest::newRow("limit 5, frames of 40") << 5 << 40;
        QTest::newRow("limit 1, frames of 3") << 1 << 3;
        QTest::newRow("limit 30, frames of 13") << 30 << 13;
    }
    void matchesLineByLine()
    {
        QFETCH(int, limit);
        QFETCH(int, flushEvery);
        TTerminalLog log;
        QStringList model;
        QRandomGenerator rng(limit * 1000 + flushEvery);
        for (int op = 1; op <= 600; ++op) {
            const int kind = rng.bounded(10);
            if (kind < 6) {
                // Received: add, then the limit.
                QString text = u"rx"_s + QString::number(op);
                if (kind == 0)
                    text += u"\r"_s; // a command's own CR: one more (empty) line
                if (kind == 2)
                    text += u"\r\nx\ry"_s; // a packet holding line ends
                if (kind == 1)
                    text = QString();
                model << Lines(text);
                QCOMPARE(log.AddLine(text), model.size());
                log.CutTo(limit);
                while (model.size() > limit)
                    model.removeFirst();
            } else if (kind < 9) {
                // Sent: added without the limit.
                const QString text = u"tx"_s + QString::number(op);
                model << text;
                log.AddLine(text);
            } else if (rng.bounded(8) == 0) {
                log.Clear();
                model.clear();
            }
            QCOMPARE(log.LineCount(), int(model.size()));
            if (op % flushEvery == 0)
                QCOMPARE(DocumentLines(log), model);
        }
        QCOMPARE(DocumentLines(log), model);
    }

    void flushesByItself()
    {
        TTerminalLog log;
        log.AddLine(u"first"_s);
        log.ScrollToEnd();
        QTRY_COMPARE(log.document()->lastBlock().text(), u"first"_s);
        for (int i = 0; i < 50; ++i)
            log.AddLine(u"line"_s + QString::number(i));
        log.ScrollToEnd();
        QTRY_COMPARE_WITH_TIMEOUT(log.document()->lastBlock().text(), u"line49"_s, 1000);
        QCOMPARE(log.textCursor().blockNumber(), 50);
    }
};

QTEST_MAIN(TestTerminalLog)
#include "tst_terminallog.moc"
