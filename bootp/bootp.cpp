#include "bootp.h"

namespace Bootp {

namespace {

quint16 read16(const uchar *p)
{
    return quint16((p[0] << 8) | p[1]);
}

quint32 read32(const uchar *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

void write16(QByteArray *out, quint16 value)
{
    out->append(char(value >> 8));
    out->append(char(value & 0xFF));
}

void write32(QByteArray *out, quint32 value)
{
    out->append(char(value >> 24));
    out->append(char((value >> 16) & 0xFF));
    out->append(char((value >> 8) & 0xFF));
    out->append(char(value & 0xFF));
}

void writeOption(QByteArray *out, quint8 code, const QByteArray &value)
{
    // Longer values would need RFC 3396 splitting; the server sends none.
    const int length = qMin(value.size(), 255);
    out->append(char(code));
    out->append(char(length));
    out->append(value.constData(), length);
}

QByteArray addressBytes(quint32 address)
{
    QByteArray bytes;
    write32(&bytes, address);
    return bytes;
}

QString optionText(const Option *option)
{
    if (!option)
        return QString();
    QByteArray value = option->value;
    // Some clients count a terminating NUL into the length.
    while (value.endsWith('\0'))
        value.chop(1);
    return QString::fromLatin1(value);
}

quint32 optionAddress(const Option *option)
{
    if (!option || option->value.size() != 4)
        return 0;
    return read32(reinterpret_cast<const uchar *>(option->value.constData()));
}

bool allZero(const uchar *p, int size)
{
    for (int i = 0; i < size; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

} // namespace

const Option *Message::option(quint8 code) const
{
    for (const Option &o : options) {
        if (o.code == code)
            return &o;
    }
    return nullptr;
}

MessageType Message::messageType() const
{
    const Option *type = option(MessageTypeOption);
    return type && type->value.size() == 1 ? MessageType(quint8(type->value.at(0))) : NoMessageType;
}

QString Message::hostName() const
{
    return optionText(option(HostNameOption));
}

QString Message::vendorClass() const
{
    return optionText(option(VendorClassOption));
}

quint32 Message::requestedAddress() const
{
    return optionAddress(option(RequestedAddressOption));
}

quint32 Message::serverIdentifier() const
{
    return optionAddress(option(ServerIdentifierOption));
}

DecodeError decodeRequest(const QByteArray &datagram, Message *message)
{
    *message = Message();
    const int size = datagram.size();
    if (size < MinRequestSize)
        return DecodeError::TooShort;
    const auto *p = reinterpret_cast<const uchar *>(datagram.constData());

    message->op = p[0];
    message->htype = p[1];
    message->hlen = p[2];
    message->hops = p[3];
    message->xid = read32(p + 4);
    message->secs = read16(p + 8);
    message->flags = read16(p + 10);
    message->ciaddr = read32(p + 12);
    message->yiaddr = read32(p + 16);
    message->siaddr = read32(p + 20);
    message->giaddr = read32(p + 24);
    message->chaddr = datagram.mid(28, 16);
    message->sname = datagram.mid(44, 64);
    message->file = datagram.mid(108, 128);
    if (message->op != BootRequest)
        return DecodeError::NotARequest;
    if ((message->htype == EthernetType && message->hlen != 6) || message->hlen > 16)
        return DecodeError::BadHardwareLength;

    // A BOOTP client of RFC 951 may leave its 64-byte vendor area empty;
    // anything else there must be options behind the cookie.
    if (read32(p + FixedSize) != MagicCookie) {
        if (!allZero(p + FixedSize, size - FixedSize))
            return DecodeError::BadMagicCookie;
        message->hasMagicCookie = false;
        return DecodeError::None;
    }

    // code, length, value; pad (0) and end (255) are a single byte.
    int at = MinRequestSize;
    while (at < size) {
        const quint8 code = p[at];
        if (code == EndOption) {
            const Option *type = message->option(MessageTypeOption);
            if (type && type->value.size() != 1)
                return DecodeError::BadMessageType;
            return DecodeError::None;
        }
        if (code == PadOption) {
            ++at;
            continue;
        }
        if (at + 1 >= size)
            return DecodeError::OptionPastEnd;
        const int length = p[at + 1];
        if (at + 2 + length > size)
            return DecodeError::OptionPastEnd;
        const QByteArray value = datagram.mid(at + 2, length);
        bool joined = false;
        for (Option &known : message->options) {
            if (known.code == code) {
                known.value += value;
                joined = true;
                break;
            }
        }
        if (!joined)
            message->options.append(Option{code, value});
        at += 2 + length;
    }
    return DecodeError::NoEndOption;
}

const char *decodeErrorText(DecodeError error)
{
    switch (error) {
    case DecodeError::None:
        return "well formed";
    case DecodeError::TooShort:
        return "shorter than 240 bytes";
    case DecodeError::NotARequest:
        return "not a BOOTREQUEST";
    case DecodeError::BadHardwareLength:
        return "bad hardware address length";
    case DecodeError::BadMagicCookie:
        return "wrong magic cookie";
    case DecodeError::OptionPastEnd:
        return "option runs past the end";
    case DecodeError::NoEndOption:
        return "no end option";
    case DecodeError::BadMessageType:
        return "message type option not one byte long";
    }
    return "unknown error";
}

quint32 prefixMask(int prefixLength)
{
    if (prefixLength <= 0)
        return 0;
    if (prefixLength >= 32)
        return 0xFFFFFFFF;
    return 0xFFFFFFFFu << (32 - prefixLength);
}

QByteArray encodeReply(const Message &request, ReplyKind kind, const ReplyParameters &parameters)
{
    const bool withAddress = kind == ReplyKind::BootpReply || kind == ReplyKind::Offer || kind == ReplyKind::Ack;
    // A client that already has an address gets it back in ciaddr; an
    // offer and a refusal give none (RFC 2131, table 3).
    const bool keepsCiaddr = kind != ReplyKind::Offer && kind != ReplyKind::Nak;

    QByteArray out;
    out.reserve(MinReplySize);
    out.append(char(BootReply));
    out.append(char(request.htype));
    out.append(char(request.hlen));
    out.append(char(0)); // hops
    write32(&out, request.xid);
    write16(&out, 0); // secs
    write16(&out, request.flags & BroadcastFlag);
    write32(&out, keepsCiaddr ? request.ciaddr : 0);
    write32(&out, withAddress ? parameters.yourAddress : 0);
    write32(&out, kind == ReplyKind::Nak ? 0 : parameters.serverAddress);
    write32(&out, request.giaddr);
    out.append(request.chaddr.leftJustified(16, '\0', true));
    out.append(QByteArray(64 + 128, '\0')); // sname, file
    write32(&out, MagicCookie);

    switch (kind) {
    case ReplyKind::BootpReply:
        break;
    case ReplyKind::Offer:
        writeOption(&out, MessageTypeOption, QByteArray(1, char(Offer)));
        break;
    case ReplyKind::Ack:
    case ReplyKind::InformAck:
        writeOption(&out, MessageTypeOption, QByteArray(1, char(Ack)));
        break;
    case ReplyKind::Nak:
        writeOption(&out, MessageTypeOption, QByteArray(1, char(Nak)));
        break;
    }
    if (kind != ReplyKind::BootpReply)
        writeOption(&out, ServerIdentifierOption, addressBytes(parameters.serverAddress));
    if (kind == ReplyKind::Offer || kind == ReplyKind::Ack)
        writeOption(&out, LeaseTimeOption, addressBytes(InfiniteLease));
    // A refusal carries nothing else.
    if (kind != ReplyKind::Nak) {
        writeOption(&out, SubnetMaskOption, addressBytes(prefixMask(parameters.prefixLength)));
        if (parameters.gateway != 0)
            writeOption(&out, RouterOption, addressBytes(parameters.gateway));
        if (!parameters.nameServers.isEmpty()) {
            QByteArray servers;
            for (const quint32 server : parameters.nameServers)
                servers += addressBytes(server);
            writeOption(&out, NameServerOption, servers);
        }
        if (!parameters.hostName.isEmpty())
            writeOption(&out, HostNameOption, parameters.hostName.toLatin1());
    }
    out.append(char(EndOption));
    if (out.size() < MinReplySize)
        out.append(QByteArray(MinReplySize - out.size(), '\0'));
    return out;
}

} // namespace Bootp
