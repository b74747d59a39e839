#ifndef CIPREADINGS_H
#define CIPREADINGS_H

#include <QByteArray>
#include <QString>

#include <optional>

// What the bytes of an answer could mean, for a person looking at data of
// an object this program does not know.
namespace CIP {

// The bytes from offset 0 read as each elementary CIP type, little-endian
// as CIP sends them. A reading is absent when the data is too short for it;
// a string is absent too when its length runs past the data.
struct Readings
{
    std::optional<quint8> usintValue;
    std::optional<quint16> uintValue;
    std::optional<quint32> udintValue;
    std::optional<qint16> intValue;
    std::optional<qint32> dintValue;
    std::optional<float> realValue;
    // Whether the REAL is a number: false for NaN and the infinities, which
    // JSON cannot hold.
    bool realFinite = false;
    // The REAL as text: the shortest decimal of at most nine digits that
    // reads back to the same value ("0.1", "1e-45"), or "NaN",
    // "Infinity", "-Infinity"; empty without a REAL.
    QString realText;
    // SHORT_STRING (one length byte) and STRING (a UINT length), their
    // characters as ISO 8859-1.
    std::optional<QString> shortString;
    std::optional<QString> string;
};

Readings readings(const QByteArray &data);

// "01 02 0a": lower-case byte pairs separated by single spaces; empty for
// no data.
QString hexText(const QByteArray &data);

// A hex dump, 16 bytes a line, each line the offset in four hexadecimal
// digits, two spaces, the bytes in lower-case pairs, two spaces and the
// bytes as printable ASCII ('.' for the others):
//
//   0000  48 65 6c 6c 6f 00                                Hello.
//
// Lines end with '\n'; empty for no data.
QString hexDump(const QByteArray &data);

} // namespace CIP

#endif // CIPREADINGS_H
