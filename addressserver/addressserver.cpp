#include "addressserver.h"

#include "datagram.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <algorithm>

namespace {

// Requests read in one turn before the event loop gets its turn.
constexpr int RequestsPerTurn = 64;
// How long the card list read for one request serves the next ones.
constexpr qint64 CardsValidMs = 1000;

const char *kindText(const Bootp::Message &message)
{
    switch (message.messageType()) {
    case Bootp::NoMessageType:
        return "BOOTREQUEST";
    case Bootp::Discover:
        return "DHCPDISCOVER";
    case Bootp::Offer:
        return "DHCPOFFER";
    case Bootp::Request:
        return "DHCPREQUEST";
    case Bootp::Decline:
        return "DHCPDECLINE";
    case Bootp::Ack:
        return "DHCPACK";
    case Bootp::Nak:
        return "DHCPNAK";
    case Bootp::Release:
        return "DHCPRELEASE";
    case Bootp::Inform:
        return "DHCPINFORM";
    }
    return "DHCP message of unknown type";
}

const char *replyText(Bootp::ReplyKind kind)
{
    switch (kind) {
    case Bootp::ReplyKind::BootpReply:
        return "BOOTREPLY";
    case Bootp::ReplyKind::Offer:
        return "DHCPOFFER";
    case Bootp::ReplyKind::Ack:
        return "DHCPACK";
    case Bootp::ReplyKind::Nak:
        return "DHCPNAK";
    case Bootp::ReplyKind::InformAck:
        return "DHCPACK to DHCPINFORM";
    }
    return "reply";
}

} // namespace

QString AddressRequest::protocolText() const
{
    return dhcp ? QStringLiteral("DHCP") : QStringLiteral("BOOTP");
}

QString AddressRequest::stateText() const
{
    switch (state) {
    case State::Asking:
        return tr("Asking");
    case State::Offered:
        return tr("Offered %1").arg(ipv4ToString(address));
    case State::HasAddress:
        return tr("Has its address %1").arg(ipv4ToString(address));
    case State::Declined:
        return tr("Declined %1: the address is in use on the network").arg(ipv4ToString(address));
    case State::Released:
        return tr("Released its address");
    case State::Ignored:
        return tr("Ignored: %1").arg(ignoredReason);
    }
    return QString();
}

AddressServer::AddressServer(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<AddressRequest>();
    qRegisterMetaType<Bootp::ReplyKind>();
    continuation.setSingleShot(true);
    continuation.setInterval(0);
    connect(&continuation, &QTimer::timeout, this, &AddressServer::readPending);
}

AddressServer::~AddressServer()
{
    stop();
}

bool AddressServer::start()
{
    if (socket)
        return true;
    error.clear();
    auto *opened = new QUdpSocket(this);
    // Not shared: a second server on this computer makes the bind fail
    // instead of splitting the requests with it.
    if (!opened->bind(QHostAddress::Any, ServerPort, QAbstractSocket::DontShareAddress)) {
        switch (opened->error()) {
        case QAbstractSocket::AddressInUseError:
            error = tr("UDP port %1 is in use by another program, most likely another DHCP or BOOTP server on this "
                       "computer. Stop that server, then start the address server again.")
                        .arg(ServerPort);
            break;
        case QAbstractSocket::SocketAccessError:
#ifdef Q_OS_LINUX
            error = tr("The program may not open UDP port %1: ports below 1024 need privileges. Run it as root, or "
                       "give it the right once with: sudo setcap cap_net_bind_service=+ep %2")
                        .arg(ServerPort)
                        .arg(QCoreApplication::applicationFilePath());
#else
            error = tr("The program may not open UDP port %1. Run it with administrator rights.").arg(ServerPort);
#endif
            break;
        default:
            error = tr("UDP port %1 cannot be opened: %2").arg(ServerPort).arg(opened->errorString());
            break;
        }
        qDebug() << "AddressServer::start"
                 << ": Error:" << opened->error() << error;
        delete opened;
        return false;
    }
    socket = opened;
    connect(socket, &QUdpSocket::readyRead, this, &AddressServer::readPending);
    qDebug() << "AddressServer::start"
             << ":"
             << "Listening on UDP port" << ServerPort;
    emit runningChanged(true);
    return true;
}

void AddressServer::stop()
{
    if (!socket)
        return;
    continuation.stop();
    delete socket;
    socket = nullptr;
    qDebug() << "AddressServer::stop"
             << ":"
             << "Stopped";
    emit runningChanged(false);
}

void AddressServer::setAssignment(const AddressAssignment &assignment)
{
    assigned.insert(assignment.mac, Assigned{assignment, false});
}

bool AddressServer::removeAssignment(const QByteArray &mac)
{
    return assigned.remove(mac) > 0;
}

QVector<AddressAssignment> AddressServer::assignments() const
{
    QVector<AddressAssignment> result;
    for (const Assigned &entry : assigned)
        result.append(entry.assignment);
    std::sort(result.begin(), result.end(),
              [](const AddressAssignment &a, const AddressAssignment &b) { return a.mac < b.mac; });
    return result;
}

const AddressAssignment *AddressServer::assignment(const QByteArray &mac) const
{
    const auto found = assigned.constFind(mac);
    return found == assigned.constEnd() ? nullptr : &found->assignment;
}

bool AddressServer::isDeclined(const QByteArray &mac) const
{
    return assigned.value(mac).declined;
}

QVector<AddressRequest> AddressServer::requests() const
{
    QVector<AddressRequest> result;
    result.reserve(listed.size());
    for (const AddressRequest &row : listed)
        result.append(row);
    std::sort(result.begin(), result.end(), [](const AddressRequest &a, const AddressRequest &b) {
        return a.lastSeen != b.lastSeen ? a.lastSeen > b.lastSeen : a.mac < b.mac;
    });
    return result;
}

const AddressRequest *AddressServer::request(const QByteArray &mac) const
{
    const auto found = listed.constFind(mac);
    return found == listed.constEnd() ? nullptr : &found.value();
}

void AddressServer::readPending()
{
    for (int turn = 0; socket && turn < RequestsPerTurn && socket->hasPendingDatagrams(); ++turn) {
        QByteArray datagram;
        QHostAddress sender;
        quint16 senderPort = 0;
        int interfaceIndex = 0;
        if (!readPendingDatagram(socket, &datagram, &sender, &senderPort, &interfaceIndex))
            return;
        priv_handleRequest(datagram, interfaceIndex);
    }
    if (socket && socket->hasPendingDatagrams())
        continuation.start();
}

bool AddressServer::priv_card(int index, Card *card)
{
    if (index <= 0)
        return false;
    if (!cardsRead.isValid() || cardsRead.elapsed() > CardsValidMs) {
        cards.clear();
        cardsRead.start();
    }
    auto found = cards.constFind(index);
    if (found == cards.constEnd()) {
        const QNetworkInterface itfc = QNetworkInterface::interfaceFromIndex(index);
        Card read;
        if (itfc.isValid()) {
            read.index = index;
            read.name = itfc.humanReadableName();
            read.addresses = cardSubnets(itfc);
        }
        found = cards.insert(index, read);
    }
    *card = found.value();
    return card->index > 0;
}

AddressRequest *AddressServer::priv_listRequest(const Bootp::Message &message, const Card &card)
{
    const QByteArray mac = message.hardwareAddress();
    auto found = listed.find(mac);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool isNew = found == listed.end();
    if (isNew) {
        if (listed.size() >= MaxRequests) {
            auto quietest = listed.begin();
            for (auto it = listed.begin(); it != listed.end(); ++it) {
                if (it->lastSeen < quietest->lastSeen)
                    quietest = it;
            }
            const QByteArray gone = quietest.key();
            listed.erase(quietest);
            emit requestRemoved(gone);
        }
        AddressRequest row;
        row.mac = mac;
        row.macText = AddressAssignments::macText(mac);
        row.firstSeen = now;
        found = listed.insert(mac, row);
    }
    AddressRequest &row = found.value();
    row.cardIndex = card.index;
    row.cardName = card.name;
    row.dhcp = message.isDhcp();
    const QString hostName = message.hostName();
    if (!hostName.isEmpty())
        row.hostName = hostName;
    const QString vendorClass = message.vendorClass();
    if (!vendorClass.isEmpty())
        row.vendorClass = vendorClass;
    ++row.count;
    row.lastSeen = now;
    if (isNew)
        emit requestListed(row);
    return &row;
}

void AddressServer::priv_ignore(AddressRequest *row, const QString &reason)
{
    row->state = AddressRequest::State::Ignored;
    row->ignoredReason = reason;
    qDebug() << "AddressServer::priv_ignore"
             << ":"
             << "Not answered:" << reason << ", mac =" << row->macText;
    emit requestChanged(*row);
    emit ignored(*row, reason);
}

void AddressServer::priv_handleRequest(const QByteArray &datagram, int interfaceIndex)
{
    Bootp::Message message;
    const Bootp::DecodeError decodeError = Bootp::decodeRequest(datagram, &message);
    if (decodeError != Bootp::DecodeError::None) {
        qDebug() << "AddressServer::priv_handleRequest"
                 << ": Error:"
                 << "Malformed request:" << Bootp::decodeErrorText(decodeError) << ", size =" << datagram.size()
                 << ". Ignore!";
        return;
    }
    Card card;
    const bool cardKnown = priv_card(interfaceIndex, &card);
    if (!cardKnown)
        card.name = QStringLiteral("?");
    AddressRequest *row = priv_listRequest(message, card);
    qDebug() << "AddressServer::priv_handleRequest"
             << ":"
             << "Request from" << row->macText << ", card =" << card.name << ", kind =" << kindText(message);
    emit requestReceived(*row);

    if (!cardKnown) {
        priv_ignore(row, tr("the card it came in on is not known"));
        return;
    }
    if (message.giaddr != 0) {
        priv_ignore(row, tr("it came through the relay agent %1").arg(ipv4ToString(message.giaddr)));
        return;
    }
    const Bootp::MessageType type = message.messageType();
    if (type == Bootp::Offer || type == Bootp::Ack || type == Bootp::Nak || type > Bootp::Inform) {
        priv_ignore(row, tr("%1 is no client message").arg(QLatin1String(kindText(message))));
        return;
    }
    // What a device says of its address is shown whether it was assigned
    // one or not.
    if (type == Bootp::Release) {
        row->state = AddressRequest::State::Released;
        emit requestChanged(*row);
        return;
    }
    const auto own = assigned.find(message.hardwareAddress());
    const bool isAssigned = own != assigned.end() && message.htype == Bootp::EthernetType;
    if (type == Bootp::Decline) {
        row->state = AddressRequest::State::Declined;
        row->address = message.requestedAddress();
        if (isAssigned && (row->address == 0 || row->address == own->assignment.address)) {
            own->declined = true;
            row->address = own->assignment.address;
        }
        qDebug() << "AddressServer::priv_handleRequest"
                 << ":"
                 << "Address declined, in use on the network =" << ipv4ToString(row->address)
                 << ", mac =" << row->macText;
        emit requestChanged(*row);
        return;
    }
    // The safety rule: whoever was not given an address is never answered.
    if (!isAssigned) {
        if (row->state == AddressRequest::State::Ignored)
            row->state = AddressRequest::State::Asking;
        emit requestChanged(*row);
        return;
    }
    if (own->declined) {
        // The row keeps saying declined until the user assigns anew.
        row->state = AddressRequest::State::Declined;
        row->address = own->assignment.address;
        qDebug() << "AddressServer::priv_handleRequest"
                 << ":"
                 << "Not answered: declined its address before, mac =" << row->macText;
        emit requestChanged(*row);
        return;
    }

    const AddressAssignment &assignment = own->assignment;
    QVector<AddressAssignment> others;
    for (const Assigned &entry : qAsConst(assigned))
        others.append(entry.assignment);
    const AssignmentCheck check = AddressAssignments::check(assignment, card.addresses, others);
    if (!check.ok() && !check.isWarning()) {
        priv_ignore(row, tr("the assignment does not fit the card %1: %2").arg(card.name, check.text));
        return;
    }
    quint32 serverAddress = 0;
    for (const Ipv4Subnet &entry : qAsConst(card.addresses)) {
        if (entry.prefixLength >= 1 && entry.prefixLength <= 30 && entry.contains(assignment.address)) {
            serverAddress = entry.address;
            break;
        }
    }

    switch (type) {
    case Bootp::NoMessageType:
        priv_answer(row, message, Bootp::ReplyKind::BootpReply, card, assignment, serverAddress);
        break;
    case Bootp::Discover:
        priv_answer(row, message, Bootp::ReplyKind::Offer, card, assignment, serverAddress);
        break;
    case Bootp::Request: {
        const quint32 server = message.serverIdentifier();
        if (server != 0 && server != serverAddress) {
            priv_ignore(row, tr("it asks the server %1").arg(ipv4ToString(server)));
            return;
        }
        // Selecting (option 50) or renewing (ciaddr).
        const quint32 wanted = message.requestedAddress() ? message.requestedAddress() : message.ciaddr;
        const bool other = wanted != 0 && wanted != assignment.address;
        priv_answer(row, message, other ? Bootp::ReplyKind::Nak : Bootp::ReplyKind::Ack, card, assignment,
                    serverAddress);
        break;
    }
    case Bootp::Inform:
        priv_answer(row, message, Bootp::ReplyKind::InformAck, card, assignment, serverAddress);
        break;
    default:
        break;
    }
}

void AddressServer::priv_answer(AddressRequest *row, const Bootp::Message &message, Bootp::ReplyKind kind,
                                const Card &card, const AddressAssignment &assignment, quint32 serverAddress)
{
    Bootp::ReplyParameters parameters;
    parameters.yourAddress = assignment.address;
    parameters.serverAddress = serverAddress;
    parameters.prefixLength = assignment.prefixLength;
    parameters.gateway = assignment.gateway;
    parameters.nameServers = assignment.nameServers.mid(0, 2);
    parameters.hostName = assignment.hostName;
    const QByteArray reply = Bootp::encodeReply(message, kind, parameters);
    // A slot of an earlier signal of this request may have stopped the server.
    if (!socket)
        return;

    // A client that has an address takes the reply there; one without
    // takes it as a broadcast on its link. A refusal is always broadcast.
    const bool unicast = message.ciaddr != 0 && kind != Bootp::ReplyKind::Nak;
    const quint32 destination = unicast ? message.ciaddr : 0xFFFFFFFF;
    QNetworkDatagram datagram(reply, QHostAddress(destination), ClientPort);
    // Out through the card the request came in on, whatever the routing
    // table says. On Linux a dual-stack socket takes the interface only
    // together with the card's own IPv4 address as the sender.
    datagram.setInterfaceIndex(uint(card.index));
    datagram.setSender(QHostAddress(serverAddress));
    const qint64 written = socket->writeDatagram(datagram);
    if (written != reply.size()) {
        qDebug() << "AddressServer::priv_answer"
                 << ": Error:"
                 << "Sending" << replyText(kind) << "failed:" << socket->error() << ", mac =" << row->macText
                 << ", card =" << card.name;
        return;
    }
    qDebug() << "AddressServer::priv_answer"
             << ":" << replyText(kind) << "to" << row->macText
             << ", ip =" << ipv4ToString(kind == Bootp::ReplyKind::Nak ? 0 : assignment.address)
             << ", card =" << card.name << ", to =" << ipv4ToString(destination);
    switch (kind) {
    case Bootp::ReplyKind::Offer:
        row->state = AddressRequest::State::Offered;
        row->address = assignment.address;
        break;
    case Bootp::ReplyKind::BootpReply:
    case Bootp::ReplyKind::Ack:
        row->state = AddressRequest::State::HasAddress;
        row->address = assignment.address;
        break;
    case Bootp::ReplyKind::Nak:
        row->state = AddressRequest::State::Asking;
        row->address = 0;
        break;
    case Bootp::ReplyKind::InformAck:
        break;
    }
    emit requestChanged(*row);
    emit answered(*row, kind);
}
