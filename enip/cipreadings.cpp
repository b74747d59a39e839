#include "cipreadings.h"

#include <cmath>
#include <cstring>

namespace CIP {

namespace {

// The first size bytes of data as a little-endian unsigned number; data
// holds at least size bytes.
quint32 littleEndian(const QByteArray &data, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(data.at(i));
    return value;
}

// Nine significant digits always read back to the same float; fewer often
// do, and read better: 0.1 rather than 0.100000001.
QString realText(float real)
{
    QString text;
    for (int digits = 1; digits <= 9; ++digits) {
        text = QString::number(double(real), 'g', digits);
        if (float(text.toDouble()) == real)
            break;
    }
    return text;
}

} // namespace

Readings readings(const QByteArray &data)
{
    Readings r;
    const int size = data.size();
    if (size >= 1) {
        r.usintValue = quint8(data.at(0));
        // A SHORT_STRING of length 0 is the single byte 00.
        const int length = quint8(data.at(0));
        if (1 + length <= size)
            r.shortString = QString::fromLatin1(data.constData() + 1, length);
    }
    if (size >= 2) {
        r.uintValue = quint16(littleEndian(data, 2));
        r.intValue = qint16(*r.uintValue);
        const int length = *r.uintValue;
        if (2 + length <= size)
            r.string = QString::fromLatin1(data.constData() + 2, length);
    }
    if (size >= 4) {
        r.udintValue = littleEndian(data, 4);
        r.dintValue = qint32(*r.udintValue);
        const quint32 bits = *r.udintValue;
        float real = 0;
        static_assert(sizeof real == sizeof bits, "REAL is a 32-bit IEEE 754 float");
        std::memcpy(&real, &bits, sizeof real);
        r.realValue = real;
        r.realFinite = std::isfinite(real);
        if (std::isnan(real))
            r.realText = QStringLiteral("NaN");
        else if (std::isinf(real))
            r.realText = real > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
        else
            r.realText = realText(real);
    }
    return r;
}

QString hexText(const QByteArray &data)
{
    return QString::fromLatin1(data.toHex(' '));
}

QString hexDump(const QByteArray &data)
{
    constexpr int PerLine = 16;
    QString dump;
    for (int offset = 0; offset < data.size(); offset += PerLine) {
        const QByteArray line = data.mid(offset, PerLine);
        QString ascii;
        for (const char byte : line)
            ascii += byte >= 0x20 && byte < 0x7F ? QLatin1Char(byte) : QLatin1Char('.');
        dump += QString::number(offset, 16).rightJustified(4, QLatin1Char('0')) + QStringLiteral("  ")
            + hexText(line).leftJustified(PerLine * 3 - 1, QLatin1Char(' ')) + QStringLiteral("  ") + ascii
            + QLatin1Char('\n');
    }
    return dump;
}

} // namespace CIP
