#include "programmer/TAvrDudeCommandLines.h"

using namespace Qt::StringLiterals;

bool TAvrDudeCommandLines::IsUSBasp(const QString& programmerEntry)
{
    return programmerEntry.toLower().contains(u"usbasp"_s);
}

bool TAvrDudeCommandLines::IsFT232R(const QString& programmerEntry)
{
    return programmerEntry.toLower().contains(u"ft232r"_s);
}

TAvrDudeCommandLines::TAvrDudeCommandLines(const QString& programmerEntry, const QString& hexPath)
{
    // The pieces and their blanks are kept as the tool has always been given
    // them; the empty pieces stand where extra options would go.
    QString programmer;
    if (IsUSBasp(programmerEntry))
        programmer = u"USBASP "_s;
    else if (IsFT232R(programmerEntry))
        programmer = u"QLS-FT232R -P ft0 "_s;
    // Only the fuse line carries the bit clock: the FT232R's bit-bang clock
    // is much slower.
    const QString bitClock = IsFT232R(programmerEntry) ? u" -B 2400 "_s : u" -B 93 "_s;
    const QString head = u" -p atmega328p -c "_s + programmer + u" "_s;
    const QString none;

    Flash = head + none + u"   -V -U flash:w:"_s + u'"' + hexPath + u'"' + u":i "_s;
    Lock = head + none + u" -V  -U lock:w:0x3C:m"_s;
    Fuse = head + bitClock + u" -V -u  -U lfuse:w:0xF7:m -U hfuse:w:0xDE:m -U efuse:w:0x05:m "_s;
}
