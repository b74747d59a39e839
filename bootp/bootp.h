#ifndef BOOTP_H
#define BOOTP_H

#include <QByteArray>
#include <QString>
#include <QVector>

// BOOTP (RFC 951) and DHCP (RFC 2131, options of RFC 2132) messages, as the
// address server reads requests and writes replies. Plain values; nothing
// here knows of sockets.
//
//   0      op, htype, hlen, hops
//   4      xid (4)
//   8      secs (2), flags (2)
//   12     ciaddr, yiaddr, siaddr, giaddr (4 each)
//   28     chaddr (16)
//   44     sname (64)
//   108    file (128)
//   236    magic cookie 63 82 53 63, then options up to the end option
//
// Multi-byte fields are big-endian; addresses are kept here in host byte
// order, first octet in the most significant byte.
namespace Bootp {

constexpr int FixedSize = 236;
constexpr int MinRequestSize = 240; // fixed part and magic cookie
constexpr int MinReplySize = 300; // some devices take nothing shorter
constexpr quint32 MagicCookie = 0x63825363;
constexpr quint16 BroadcastFlag = 0x8000;
constexpr quint8 BootRequest = 1;
constexpr quint8 BootReply = 2;
constexpr quint8 EthernetType = 1;
constexpr quint32 InfiniteLease = 0xFFFFFFFF;

enum OptionCode : quint8 {
    PadOption = 0,
    SubnetMaskOption = 1,
    RouterOption = 3,
    NameServerOption = 6,
    HostNameOption = 12,
    RequestedAddressOption = 50,
    LeaseTimeOption = 51,
    MessageTypeOption = 53,
    ServerIdentifierOption = 54,
    VendorClassOption = 60,
    EndOption = 255
};

// Option 53. A request without it is a plain BOOTP request.
enum MessageType : quint8 {
    NoMessageType = 0,
    Discover = 1,
    Offer = 2,
    Request = 3,
    Decline = 4,
    Ack = 5,
    Nak = 6,
    Release = 7,
    Inform = 8
};

// Why a request was not read. Nothing is answered to any of these.
enum class DecodeError {
    None,
    TooShort, // under 240 bytes
    NotARequest, // op is not BOOTREQUEST
    BadHardwareLength, // htype 1 (Ethernet) with hlen other than 6, or hlen over 16
    BadMagicCookie, // options present behind a cookie that is not 63 82 53 63
    OptionPastEnd, // an option's length runs past the datagram
    NoEndOption, // the options stop without the end option
    BadMessageType // option 53 not one byte long
};

struct Option
{
    quint8 code = 0;
    QByteArray value;
};

struct Message
{
    quint8 op = BootRequest;
    quint8 htype = EthernetType;
    quint8 hlen = 6;
    quint8 hops = 0;
    quint32 xid = 0;
    quint16 secs = 0;
    quint16 flags = 0;
    quint32 ciaddr = 0;
    quint32 yiaddr = 0;
    quint32 siaddr = 0;
    quint32 giaddr = 0;
    QByteArray chaddr = QByteArray(16, '\0'); // always 16 bytes
    QByteArray sname = QByteArray(64, '\0'); // always 64 bytes
    QByteArray file = QByteArray(128, '\0'); // always 128 bytes
    // False for a BOOTP request whose vendor area is all zeros.
    bool hasMagicCookie = true;
    // In the order they came; an option sent more than once is joined into
    // one, as RFC 3396 says.
    QVector<Option> options;

    const Option *option(quint8 code) const;
    // Option 53, or NoMessageType for BOOTP.
    MessageType messageType() const;
    bool isDhcp() const { return messageType() != NoMessageType; }
    // Options 12 and 60 as text (Latin-1, trailing NULs dropped); empty
    // when not sent.
    QString hostName() const;
    QString vendorClass() const;
    // Options 50 and 54; 0 when absent or not four bytes long.
    quint32 requestedAddress() const;
    quint32 serverIdentifier() const;
    // The client's hardware address: the first hlen bytes of chaddr.
    QByteArray hardwareAddress() const { return chaddr.left(qMin<int>(hlen, 16)); }
};

// Reads a request. Every read is bounded by the datagram's size; on an
// error the message is left in an unspecified but initialised state.
DecodeError decodeRequest(const QByteArray &datagram, Message *message);
// The error in a few words, for the log.
const char *decodeErrorText(DecodeError error);

// What a reply is for; each kind carries a different set of options.
enum class ReplyKind {
    BootpReply, // to a BOOTP request
    Offer, // to DISCOVER
    Ack, // to REQUEST
    Nak, // to a REQUEST for an address not assigned to the client
    InformAck // to INFORM: the options, no address
};

// What a reply tells the client.
struct ReplyParameters
{
    quint32 yourAddress = 0; // yiaddr; not sent for NAK and INFORM-ACK
    quint32 serverAddress = 0; // siaddr and option 54: the card's own address
    int prefixLength = 24; // option 1
    quint32 gateway = 0; // option 3 when not 0
    QVector<quint32> nameServers; // option 6 when not empty
    QString hostName; // option 12 when not empty
};

// The reply to a request: xid, flags, giaddr and chaddr (with htype and
// hlen) copied from it, the magic cookie, the options of the kind and the
// end option, padded with zeros to at least 300 bytes.
QByteArray encodeReply(const Message &request, ReplyKind kind, const ReplyParameters &parameters);

// Netmask of a prefix length (0 to 32).
quint32 prefixMask(int prefixLength);

} // namespace Bootp

#endif // BOOTP_H
