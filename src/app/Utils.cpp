#include "app/Utils.h"

#include "Version.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cmath>

using namespace Qt::StringLiterals;

void PumpDelay(int milliseconds)
{
    QDeadlineTimer deadline(std::max(0, milliseconds));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (deadline.hasExpired() || !QCoreApplication::instance() ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        // Off the main thread there is no event loop of ours to serve: just wait.
        if (!deadline.hasExpired())
            QThread::msleep(static_cast<unsigned long>(deadline.remainingTime()));
        return;
    }
    // A timer wakes the wait at the deadline so the loop never spins.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(deadline.remainingTime()));
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

QString CutField(QString& remainder, const QString& separator)
{
    auto trimBlanks = [](const QString& s) {
        qsizetype b = 0;
        qsizetype e = s.size();
        while (b < e && s.at(b) == u' ')
            ++b;
        while (e > b && s.at(e - 1) == u' ')
            --e;
        return s.mid(b, e - b);
    };
    QString field;
    const qsizetype at = separator.isEmpty() ? -1 : remainder.indexOf(separator);
    if (at >= 0) {
        field = remainder.left(at);
        remainder = remainder.mid(at + separator.size());
    } else {
        field = remainder;
        remainder.clear();
    }
    remainder = trimBlanks(remainder);
    return trimBlanks(field);
}

QString RemoveWhiteSpace(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0x09 || u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x20 ||
            u == 0x85 || u == 0xA0)
            continue;
        const auto cat = c.category();
        if (cat == QChar::Separator_Space || cat == QChar::Separator_Line ||
            cat == QChar::Separator_Paragraph)
            continue;
        out.append(c);
    }
    return out;
}

QString FormatPicture(double value, const QString& picture)
{
    const qsizetype dot = picture.indexOf(u'.');
    const QString intPic = dot >= 0 ? picture.left(dot) : picture;
    const QString fracPic = dot >= 0 ? picture.mid(dot + 1) : QString();
    int decimals = 0;
    for (const QChar c : fracPic)
        if (c == u'0' || c == u'#')
            ++decimals;

    // Round half away from zero to the shown decimals, then split the digits.
    const bool negative = value < 0;
    const long double scaled =
        std::round(std::fabs(static_cast<long double>(value)) * std::pow(10.0L, decimals));
    QString digits = QString::number(static_cast<qulonglong>(scaled));
    while (digits.size() <= decimals)
        digits.prepend(u'0');
    QString intDigits = digits.left(digits.size() - decimals);
    const QString fracDigits = digits.right(decimals);
    if (intDigits == u"0"_s)
        intDigits.clear(); // a lone zero is not significant; '0' positions bring it back

    // Integer part: lay the digits into the placeholders from the right.
    QString intOut;
    qsizetype next = intDigits.size() - 1;
    qsizetype firstPlaceholder = -1;
    for (qsizetype i = intPic.size() - 1; i >= 0; --i) {
        const QChar p = intPic.at(i);
        if (p == u'#' || p == u'0') {
            firstPlaceholder = i;
            if (next >= 0)
                intOut.prepend(intDigits.at(next--));
            else if (p == u'0')
                intOut.prepend(u'0');
        } else {
            intOut.prepend(p);
        }
    }
    // Digits that found no placeholder go in front of the leftmost one.
    if (next >= 0) {
        // Every placeholder holds a digit here, so output and picture line up.
        intOut.insert(firstPlaceholder, intDigits.left(next + 1));
    }

    QString fracOut;
    qsizetype f = 0;
    for (const QChar p : fracPic) {
        if (p == u'0' || p == u'#')
            fracOut.append(fracDigits.at(f++));
        else
            fracOut.append(p);
    }

    QString out = intOut;
    if (dot >= 0)
        out += QLocale().decimalPoint() + fracOut;
    if (negative && scaled != 0)
        out.prepend(u'-');
    return out;
}

QString ByteSizeText(quint64 size, bool withBytes)
{
    constexpr double k = 1024.0;
    const double v = static_cast<double>(size);
    if (size < 1024ULL)
        return FormatPicture(v, u"### ##0 bytes "_s);
    if (size < 1024ULL * 1000ULL) {
        QString s = FormatPicture(v / k, u"### ##0.0 KB "_s);
        if (withBytes)
            s += u"("_s + FormatPicture(v, u"### ### ##0 B )"_s);
        return s;
    }
    if (size < 1024ULL * 1000ULL * 1000ULL) {
        QString s = FormatPicture(v / k / k, u"### ##0.00 MB "_s);
        if (withBytes)
            s += u"("_s + FormatPicture(v, u"### ### ### ##0 B )"_s);
        return s;
    }
    if (size < 1024ULL * 1000ULL * 1000ULL * 1000ULL) {
        QString s = FormatPicture(v / k / k / k, u"### ##0.00 GB "_s);
        if (withBytes)
            s += u"("_s + FormatPicture(v, u"### ### ### ##0 B )"_s);
        return s;
    }
    return QString();
}

QString FileVersionText(bool withBuild)
{
    const QString base = QStringLiteral("%1.%2.%3")
                             .arg(QLSWAV_VERSION_MAJOR)
                             .arg(QLSWAV_VERSION_MINOR)
                             .arg(QLSWAV_VERSION_RELEASE);
    return withBuild ? base + u" build "_s + QString::number(QLSWAV_VERSION_BUILD)
                     : base + u"."_s + QString::number(QLSWAV_VERSION_BUILD);
}

QString FileVersionDotted()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(QLSWAV_VERSION_MAJOR)
        .arg(QLSWAV_VERSION_MINOR)
        .arg(QLSWAV_VERSION_RELEASE)
        .arg(QLSWAV_VERSION_BUILD);
}

QString ShortPathName(const QString& path)
{
    return QFileInfo::exists(path) ? path : u"error"_s;
}

QString TempFolderPath()
{
    QString t = QDir::tempPath();
    if (!t.endsWith(u'/'))
        t += u'/';
    return t;
}

QString KnownFolderPath(KnownFolder folder)
{
    switch (folder) {
    case KnownFolder::Documents:
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    return QString();
}
