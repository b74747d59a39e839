#include "ciproute.h"

#include "wirecheck.h"

#include <QCoreApplication>
#include <QStringList>

namespace CIP {

namespace {

constexpr quint8 SegmentTypeMask = 0xE0; // port segments have 000 in the top three bits
constexpr quint8 ExtendedLinkFlag = 0x10;
constexpr quint8 PortMask = 0x0F;
constexpr quint8 ExtendedPort = 0x0F;

QString translated(const char *text)
{
    return QCoreApplication::translate("CIP", text);
}

// A field of digits only, as a number up to max; false for anything else.
bool readNumber(const QString &field, uint max, uint *value)
{
    if (field.isEmpty() || field.size() > 5)
        return false;
    for (const QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    const uint read = field.toUInt(&ok);
    if (!ok || read > max)
        return false;
    *value = read;
    return true;
}

// A dotted IPv4 address, four numbers from 0 to 255, written back without
// leading zeros, as bridges compare the text.
bool readAddress(const QString &field, QByteArray *text)
{
    const QStringList parts = field.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    QStringList canonical;
    for (const QString &part : parts) {
        uint octet = 0;
        if (part.size() > 3 || !readNumber(part, 255, &octet))
            return false;
        canonical.append(QString::number(octet));
    }
    *text = canonical.join(QLatin1Char('.')).toLatin1();
    return true;
}

bool printable(const QByteArray &link)
{
    for (const char c : link) {
        if (c <= ' ' || c > '~' || c == ',')
            return false;
    }
    return true;
}

// A hop's segment size in bytes without its pad; -1 when it cannot be
// written.
int unpaddedSize(const CipRouteHop &hop)
{
    if (hop.port == 0 || hop.link.isEmpty() || hop.link.size() > 0xFF)
        return -1;
    const int size = 1 + (hop.port >= ExtendedPort ? 2 : 0);
    return size + (hop.isSlot() ? 1 : 1 + hop.link.size());
}

bool setError(QString *error, const char *text, const QString &field = QString())
{
    if (error)
        *error = field.isNull() ? translated(text) : translated(text).arg(field);
    return false;
}

} // namespace

bool CipRoute::fromText(const QString &text, CipRoute *route, QString *error)
{
    if (text.trimmed().isEmpty())
        return setError(error, QT_TRANSLATE_NOOP("CIP", "The route is empty"));
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() % 2)
        return setError(error, QT_TRANSLATE_NOOP("CIP", "A route is pairs of port and link: %1"), text);
    CipRoute read;
    for (int i = 0; i < fields.size(); i += 2) {
        const QString portField = fields.at(i).trimmed();
        const QString linkField = fields.at(i + 1).trimmed();
        uint port = 0;
        if (!readNumber(portField, 0xFFFF, &port) || port == 0)
            return setError(error, QT_TRANSLATE_NOOP("CIP", "Not a port number from 1 to 65535: \"%1\""), portField);
        uint slot = 0;
        QByteArray address;
        if (readNumber(linkField, 0xFF, &slot))
            read.hops.append(CipRouteHop(quint16(port), quint8(slot)));
        else if (readAddress(linkField, &address))
            read.hops.append(CipRouteHop(quint16(port), address));
        else
            return setError(error, QT_TRANSLATE_NOOP("CIP", "Not a slot from 0 to 255 nor an IPv4 address: \"%1\""),
                            linkField);
    }
    if (read.encodedSize() < 0)
        return setError(error, QT_TRANSLATE_NOOP("CIP", "The route is too long: %1"), text);
    *route = read;
    return true;
}

QString CipRoute::toText() const
{
    QStringList fields;
    for (const CipRouteHop &hop : hops) {
        fields.append(QString::number(hop.port));
        if (hop.isSlot())
            fields.append(QString::number(hop.slot()));
        else if (printable(hop.link))
            fields.append(QString::fromLatin1(hop.link));
        else
            fields.append(QStringLiteral("0x") + QString::fromLatin1(hop.link.toHex()));
    }
    return fields.join(QLatin1Char(','));
}

int CipRoute::encodedSize() const
{
    int size = 0;
    for (const CipRouteHop &hop : hops) {
        const int segment = unpaddedSize(hop);
        if (segment < 0)
            return -1;
        size += segment + segment % 2;
    }
    return size <= MaxEncodedSize ? size : -1;
}

bool CipRoute::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    QByteArray bytes;
    if (!readExactly(stream, bytesLeft(stream), &bytes))
        return false;
    CipRoute read;
    int at = 0;
    while (at < bytes.size()) {
        const int start = at;
        const quint8 type = quint8(bytes.at(at++));
        if (type & SegmentTypeMask)
            return false;
        int linkSize = 1;
        if (type & ExtendedLinkFlag) {
            if (at >= bytes.size())
                return false;
            linkSize = quint8(bytes.at(at++));
            if (linkSize == 0)
                return false;
        }
        CipRouteHop hop;
        hop.port = type & PortMask;
        if (hop.port == ExtendedPort) {
            if (at + 2 > bytes.size())
                return false;
            hop.port = quint16(quint8(bytes.at(at)) | quint8(bytes.at(at + 1)) << 8);
            at += 2;
        }
        if (hop.port == 0 || at + linkSize > bytes.size())
            return false;
        hop.link = bytes.mid(at, linkSize);
        at += linkSize;
        if ((at - start) % 2) {
            if (at >= bytes.size())
                return false;
            ++at;
        }
        read.hops.append(hop);
    }
    *this = read;
    return true;
}

bool CipRoute::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (encodedSize() < 0)
        return false;
    for (const CipRouteHop &hop : qAsConst(hops)) {
        const bool extendedPort = hop.port >= ExtendedPort;
        const quint8 type =
            quint8((extendedPort ? ExtendedPort : hop.port) | (hop.isSlot() ? quint8(0) : ExtendedLinkFlag));
        stream << type;
        if (!hop.isSlot())
            stream << quint8(hop.link.size());
        if (extendedPort)
            stream << hop.port;
        stream.writeRawData(hop.link.constData(), hop.link.size());
        if (unpaddedSize(hop) % 2)
            stream << quint8(0);
    }
    return true;
}

} // namespace CIP
