#pragma once

#include <QByteArray>
#include <QString>

// Intel HEX images as the bootloader component keeps them: the data bytes of
// the data records as pairs of hex digits, joined in line order.
class TIntelHex
{
public:
    // The code of one line: 0 a good record, 1 a good end-of-file record,
    // -1 no leading ':', -2 an unknown record type, -3 a wrong checksum,
    // -4 an empty line or a field that is not hex or lies beyond the line.
    // Data digits of a good data record are appended to `data`.
    static int LineCode(const QByteArray& line, QByteArray* data);

    // The image's digit text, or empty when the codes of all lines do not add up
    // to exactly 1. `total` receives the sum when given.
    static QByteArray Parse(const QByteArray& text, int* total = nullptr);

    // Two digits at a time into bytes; a trailing odd digit or a non-hex pair
    // ends the conversion.
    static QByteArray DigitsToBytes(const QByteArray& digits);
};
