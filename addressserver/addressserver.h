#ifndef ADDRESSSERVER_H
#define ADDRESSSERVER_H

#include "addressassignment.h"
#include "bootp.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

QT_BEGIN_NAMESPACE
class QUdpSocket;
QT_END_NAMESPACE

// One hardware address that asked for an address, as the server lists it.
struct AddressRequest
{
    Q_DECLARE_TR_FUNCTIONS(AddressRequest)

public:
    enum class State {
        Asking, // asked; not answered (yet)
        Offered, // a DHCP OFFER was sent
        HasAddress, // its DHCP ACK or BOOTP reply was sent
        Declined, // it found its address in use
        Released, // it gave its address back
        Ignored // not answered, for the reason in ignoredReason
    };

    QByteArray mac; // chaddr's first hlen bytes
    QString macText; // "00:1D:9C:C7:B0:70"
    int cardIndex = 0;
    QString cardName;
    bool dhcp = false; // false: BOOTP
    QString hostName; // option 12 as last sent
    QString vendorClass; // option 60 as last sent
    int count = 0;
    QDateTime firstSeen; // UTC
    QDateTime lastSeen; // UTC
    State state = State::Asking;
    QString ignoredReason;
    quint32 address = 0; // what it was offered or given; 0: nothing

    // "BOOTP" or "DHCP".
    QString protocolText() const;
    // The state in a few words, the reason included for Ignored.
    QString stateText() const;
};

// The BOOTP/DHCP server for commissioning: while started it listens on UDP
// port 67 of every card, lists every hardware address that asks, and
// answers only those the user gave an address to (setAssignment). Every
// other request is listed and logged, never answered, so that it can run on
// a live plant network beside the plant's own servers.
class AddressServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 ServerPort = 67;
    static constexpr quint16 ClientPort = 68;
    // The list holds this many hardware addresses; beyond it the one
    // quiet for longest goes.
    static constexpr int MaxRequests = 1024;

    explicit AddressServer(QObject *parent = nullptr);
    ~AddressServer() override;

    // Opens port 67 for this server alone, so that another server on this
    // computer is noticed rather than shared with. False, with the reason
    // and what to do in errorString(), when the port is taken or the
    // program lacks the right to it.
    bool start();
    void stop();
    bool isRunning() const { return socket != nullptr; }
    QString errorString() const { return error; }

    // Gives the MAC (six bytes) its address, replacing what it had; an
    // assignment its device declined is offered again only after this.
    // The caller checks it first (AddressAssignments::check); at each
    // request the server checks it again against the card it came in on.
    void setAssignment(const AddressAssignment &assignment);
    bool removeAssignment(const QByteArray &mac);
    QVector<AddressAssignment> assignments() const;
    // Null when the MAC has none.
    const AddressAssignment *assignment(const QByteArray &mac) const;
    // True when the MAC's device declined its assignment.
    bool isDeclined(const QByteArray &mac) const;

    // Newest activity first.
    QVector<AddressRequest> requests() const;
    // Null when the MAC is not listed.
    const AddressRequest *request(const QByteArray &mac) const;

signals:
    void runningChanged(bool running);
    // A MAC was listed for the first time.
    void requestListed(const AddressRequest &request);
    // A listed MAC asked again, or its state changed.
    void requestChanged(const AddressRequest &request);
    // Every well-formed request as it arrives, once its row is listed and
    // before it is answered or ignored.
    void requestReceived(const AddressRequest &request);
    // The MAC left the list to make room for a new one.
    void requestRemoved(const QByteArray &mac);
    void answered(const AddressRequest &request, Bootp::ReplyKind kind);
    void ignored(const AddressRequest &request, const QString &reason);

private:
    struct Card
    {
        int index = 0;
        QString name;
        QVector<Ipv4Subnet> addresses;
    };
    struct Assigned
    {
        AddressAssignment assignment;
        bool declined = false;
    };

    void readPending();
    void priv_handleRequest(const QByteArray &datagram, int interfaceIndex);
    AddressRequest *priv_listRequest(const Bootp::Message &message, const Card &card);
    void priv_ignore(AddressRequest *row, const QString &reason);
    void priv_answer(AddressRequest *row, const Bootp::Message &message, Bootp::ReplyKind kind, const Card &card,
                     const AddressAssignment &assignment, quint32 serverAddress);
    bool priv_card(int index, Card *card);

    QUdpSocket *socket = nullptr;
    QString error;
    QHash<QByteArray, Assigned> assigned;
    QHash<QByteArray, AddressRequest> listed;
    // The cards by index, read again when older than a second.
    QHash<int, Card> cards;
    QElapsedTimer cardsRead;
    // A flood of requests is read in turns, so that the event loop runs
    // between them.
    QTimer continuation;
};

Q_DECLARE_METATYPE(AddressRequest)
Q_DECLARE_METATYPE(Bootp::ReplyKind)

#endif // ADDRESSSERVER_H
