#include "bootload/TIntelHex.h"

#include <QList>

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte at 1-based position pos (two digits), or -1.
int hexByte(const QByteArray& line, qsizetype pos)
{
    if (pos < 1 || pos + 1 > line.size())
        return -1;
    const int hi = hexDigit(line.at(pos - 1));
    const int lo = hexDigit(line.at(pos));
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}
} // namespace

int TIntelHex::LineCode(const QByteArray& line, QByteArray* data)
{
    if (line.isEmpty())
        return -4;
    if (line.at(0) != ':')
        return -1;
    const int count = hexByte(line, 2);
    const int adrHi = hexByte(line, 4);
    const int adrLo = hexByte(line, 6);
    const int type = hexByte(line, 8);
    if (count < 0 || adrHi < 0 || adrLo < 0 || type < 0)
        return -4;
    unsigned sum = count + adrHi + adrLo + type;
    qsizetype pos = 10;
    QByteArray digits;
    switch (type) {
    case 0:
    case 2:
    case 3:
    case 4:
    case 5:
        for (int i = 0; i < count; ++i, pos += 2) {
            const int b = hexByte(line, pos);
            if (b < 0)
                return -4;
            sum += b;
            if (type == 0)
                digits += line.mid(pos - 1, 2);
        }
        break;
    case 1:
        break;
    default:
        return -2;
    }
    const int check = hexByte(line, pos);
    if (check < 0)
        return -4;
    if (((sum + check) & 0xFF) != 0)
        return -3;
    if (type == 0 && data)
        *data += digits;
    return type == 1 ? 1 : 0;
}

QByteArray TIntelHex::Parse(const QByteArray& text, int* total)
{
    // CR, LF or CR LF end a line; a last line without an ending still counts.
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));

    int sum = 0;
    QByteArray digits;
    for (const QByteArray& line : std::as_const(lines))
        sum += LineCode(line, &digits);
    if (total)
        *total = sum;
    return sum == 1 ? digits : QByteArray();
}

QByteArray TIntelHex::DigitsToBytes(const QByteArray& digits)
{
    QByteArray out;
    out.reserve(digits.size() / 2);
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
        const int b = hexByte(digits, i + 1);
        if (b < 0)
            break;
        out.append(static_cast<char>(b));
    }
    return out;
}
