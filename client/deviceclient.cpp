#include "deviceclient.h"

#include "cipnames.h"
#include "encapsulation.h"
#include "unconnectedsend.h"

#include <QDebug>
#include <QPointer>
#include <QTcpSocket>

namespace {

QString hex(uint value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

// The request in a few words for the log: "service 0x0E class 0xF5
// instance 1 attribute 6".
QString requestText(const CIP::MessageRouterRequest &request)
{
    QString text = QStringLiteral("service %1 class %2 instance %3")
                       .arg(hex(request.service, 2), hex(request.path.classId, 2))
                       .arg(request.path.instance);
    if (request.path.hasAttribute)
        text += QStringLiteral(" attribute %1").arg(request.path.attribute);
    if (!request.data.isEmpty())
        text += QStringLiteral(" data %1").arg(QString::fromLatin1(request.data.toHex(' ')));
    return text;
}

// The route a log line ends with: " through route 1,3"; nothing for the
// device itself, so that those lines read as they always did.
QString routeText(const CIP::CipRoute &route)
{
    if (route.isEmpty())
        return QString();
    return QStringLiteral(" through route ") + route.toText();
}

} // namespace

DeviceReply::DeviceReply(int id, const CIP::MessageRouterRequest &request, const CIP::CipRoute &route)
    : requestId(id)
    , sent(request)
    , sentRoute(route)
{ }

DeviceReply::~DeviceReply() = default;

void DeviceReply::priv_finish(Error error, const QString &text, quint8 generalStatus,
                              const QVector<quint16> &additionalStatus, const QByteArray &data)
{
    done = true;
    fault = error;
    faultText = text;
    status = generalStatus;
    additional = additionalStatus;
    payload = data;
    emit finished();
}

DeviceClient::DeviceClient(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
    , deviceAddress(address)
    , devicePort(port)
    , socket(new QTcpSocket(this))
{
    qRegisterMetaType<DeviceClient::State>();
    timer.setSingleShot(true);
    // A coarse timer may fire 5 % early; 3 s are 3 s.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &DeviceClient::priv_onTimeout);
    kick.setSingleShot(true);
    kick.setInterval(0);
    connect(&kick, &QTimer::timeout, this, &DeviceClient::priv_process);
    connect(socket, &QTcpSocket::connected, this, &DeviceClient::priv_onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &DeviceClient::priv_onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &DeviceClient::priv_onDisconnected);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(socket, &QTcpSocket::errorOccurred, this, &DeviceClient::priv_onSocketError);
#else
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QAbstractSocket::error), this,
            &DeviceClient::priv_onSocketError);
#endif
}

DeviceClient::~DeviceClient()
{
    // No signal may reach anyone from a client that is going away; the
    // replies still waiting hear of it from the event loop.
    socket->disconnect(this);
    socket->abort();
    const QString text = tr("The connection to %1 was given up before the answer").arg(priv_deviceText());
    for (const QList<Pending> *list : {&inFlight, &queue}) {
        for (const Pending &request : *list) {
            DeviceReply *reply = request.reply;
            if (!reply)
                continue;
            reply->done = true;
            reply->fault = DeviceReply::Cancelled;
            reply->faultText = text;
            QMetaObject::invokeMethod(
                reply, [reply]() { emit reply->finished(); }, Qt::QueuedConnection);
        }
    }
}

void DeviceClient::setTimeout(int ms)
{
    timeoutMs = qMax(1, ms);
}

void DeviceClient::setMaxInFlight(int n)
{
    inFlightLimit = qMax(1, n);
    priv_schedule();
}

int DeviceClient::routedTimeoutMs()
{
    // The bridge's timeout and a second for the way there and back.
    return CIP::unconnectedSendTimeoutMs(CIP::UnconnectedSendTickTime, CIP::UnconnectedSendTimeoutTicks) + 1000;
}

DeviceReply *DeviceClient::send(const CIP::MessageRouterRequest &request, const CIP::CipRoute &route)
{
    Pending pending;
    pending.id = nextId++;
    pending.request = request;
    pending.route = route;
    pending.reply = new DeviceReply(pending.id, request, route);
    // The id, little-endian, in the 8 bytes the device echoes.
    pending.context = QByteArray(8, '\0');
    const quint64 id = quint64(pending.id);
    for (int i = 0; i < 8; ++i)
        pending.context[i] = char((id >> (8 * i)) & 0xFF);
    queue.append(pending);
    // Never from inside send(): the caller has its reply, and has connected
    // to it, before any signal about the request.
    priv_schedule();
    return pending.reply;
}

DeviceReply *DeviceClient::getAttributesAll(quint16 classId, quint16 instance, const CIP::CipRoute &route)
{
    return send(CIP::MessageRouterRequest(CIP::GetAttributesAll, CIP::CipPath(classId, instance)), route);
}

DeviceReply *DeviceClient::getAttributeSingle(quint16 classId, quint16 instance, quint16 attribute,
                                              const CIP::CipRoute &route)
{
    return send(CIP::MessageRouterRequest(CIP::GetAttributeSingle, CIP::CipPath(classId, instance, attribute)), route);
}

DeviceReply *DeviceClient::setAttributeSingle(quint16 classId, quint16 instance, quint16 attribute,
                                              const QByteArray &data, const CIP::CipRoute &route)
{
    return send(CIP::MessageRouterRequest(CIP::SetAttributeSingle, CIP::CipPath(classId, instance, attribute), data),
                route);
}

DeviceReply *DeviceClient::reset(quint8 type, const CIP::CipRoute &route)
{
    return send(
        CIP::MessageRouterRequest(CIP::ResetService, CIP::CipPath(CIP::IdentityClass, 1), QByteArray(1, char(type))),
        route);
}

void DeviceClient::close()
{
    closeWanted = true;
    priv_schedule();
}

QString DeviceClient::priv_deviceText() const
{
    return deviceAddress.toString();
}

QString DeviceClient::priv_secondsText() const
{
    return QString::number(timeoutMs / 1000.0);
}

void DeviceClient::priv_schedule()
{
    if (!kick.isActive())
        kick.start();
}

void DeviceClient::priv_setState(State state)
{
    if (current == state)
        return;
    current = state;
    emit stateChanged(state);
}

void DeviceClient::priv_process()
{
    // Requests whose replies are gone before they went out are not sent:
    // nobody waits for their answers.
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->reply) {
            ++it;
            continue;
        }
        qDebug() << "DeviceClient::priv_process"
                 << ":"
                 << "Request" << it->id << "dropped: its reply was deleted before it was sent";
        it = queue.erase(it);
    }
    if (current == UnconnectedState) {
        if (!queue.isEmpty())
            priv_connect();
        else if (closeWanted)
            priv_finishClose();
        return;
    }
    if (current == ConnectedState)
        priv_writeNext();
}

void DeviceClient::priv_writeNext()
{
    QPointer<DeviceClient> self(this);
    while (self && current == ConnectedState && inFlight.size() < inFlightLimit && !queue.isEmpty()) {
        Pending next = queue.takeFirst();
        const QByteArray frame = priv_frame(next);
        if (frame.isEmpty()) {
            // A route the Unconnected Send cannot carry: nothing goes out.
            qDebug() << "DeviceClient::priv_writeNext"
                     << ": Error:"
                     << "Request" << next.id << "not sent: route" << next.route.toText() << "cannot be written";
            if (next.reply)
                next.reply->priv_finish(
                    DeviceReply::InvalidAnswer,
                    tr("The route %1 cannot be sent to %2").arg(next.route.toText(), priv_deviceText()));
            continue;
        }
        // Some devices drop a connection whose request arrives in pieces, so
        // each request goes out in one write.
        socket->write(frame);
        if (next.reply)
            next.reply->written = true;
        // A routed request waits at least as long as the bridge waits for
        // the module, so that the bridge's own answer comes first.
        next.deadline =
            QDeadlineTimer(next.route.isEmpty() ? timeoutMs : qMax(timeoutMs, routedTimeoutMs()), Qt::PreciseTimer);
        inFlight.append(next);
        qDebug() << "DeviceClient::priv_writeNext"
                 << ":"
                 << "Request" << next.id << "sent to" << priv_deviceText() << ":"
                 << requestText(next.request) + routeText(next.route);
    }
    if (!self)
        return;
    priv_armTimer();
    if (inFlight.isEmpty() && queue.isEmpty() && closeWanted) {
        priv_setState(ClosingState);
        socket->write(ENIP::unRegisterSessionRequest(session));
        qDebug() << "DeviceClient::priv_writeNext"
                 << ":"
                 << "UnRegisterSession sent to" << priv_deviceText();
        timer.start(timeoutMs);
        socket->disconnectFromHost();
    }
}

QByteArray DeviceClient::priv_frame(const Pending &request) const
{
    // A request through a bridge goes in an Unconnected Send with its
    // route; one the Unconnected Send cannot carry is not written at all.
    CIP::MessageRouterRequest sent;
    if (!CIP::routedRequest(request.request, request.route, &sent))
        return QByteArray();
    QByteArray bytes = ENIP::sendRRDataRequest(session, sent);
    if (bytes.size() >= ENIP::ENIPEncapHeader::Size)
        bytes.replace(12, 8, request.context);
    return bytes;
}

void DeviceClient::priv_armTimer()
{
    if (current != ConnectedState)
        return;
    if (inFlight.isEmpty()) {
        timer.stop();
        return;
    }
    qint64 remaining = inFlight.first().deadline.remainingTime();
    for (const Pending &request : qAsConst(inFlight))
        remaining = qMin(remaining, request.deadline.remainingTime());
    timer.start(int(qMax<qint64>(0, remaining)));
}

void DeviceClient::priv_connect()
{
    priv_setState(ConnectingState);
    session = 0;
    received.clear();
    qDebug() << "DeviceClient::priv_connect"
             << ":"
             << "Connecting to" << priv_deviceText() << "port" << devicePort;
    // The system's own connection attempts go on for minutes; the timer
    // gives up after the timeout.
    timer.start(timeoutMs);
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->connectToHost(deviceAddress, devicePort);
}

void DeviceClient::priv_onConnected()
{
    if (current != ConnectingState)
        return;
    priv_setState(RegisteringState);
    socket->write(ENIP::registerSessionRequest());
    timer.start(timeoutMs);
    qDebug() << "DeviceClient::priv_onConnected"
             << ":"
             << "RegisterSession sent to" << priv_deviceText();
}

void DeviceClient::priv_onReadyRead()
{
    QPointer<DeviceClient> self(this);
    received.append(socket->readAll());
    while (self && socket->state() != QAbstractSocket::UnconnectedState && !received.isEmpty()) {
        int size = 0;
        const ENIP::Frame frame = ENIP::frameOf(received, &size);
        if (frame == ENIP::Frame::Incomplete)
            return;
        if (frame == ENIP::Frame::TooLong) {
            const int length = quint8(received.at(2)) | quint8(received.at(3)) << 8;
            priv_fail(DeviceReply::InvalidAnswer,
                      tr("%1 announced an answer of %2 bytes, far more than any answer to this request")
                          .arg(priv_deviceText())
                          .arg(length));
            return;
        }
        const QByteArray message = received.left(size);
        received.remove(0, size);
        priv_handleMessage(message);
    }
}

void DeviceClient::priv_handleMessage(const QByteArray &bytes)
{
    ENIP::EncapMessage message;
    if (!message.deserialize(bytes)) {
        priv_fail(DeviceReply::InvalidAnswer, tr("%1 sent an answer this program cannot read").arg(priv_deviceText()));
        return;
    }
    const QString device = priv_deviceText();
    const auto invalid = [&](ENIP::ReplyFault fault) {
        QString text;
        switch (fault) {
        case ENIP::ReplyFault::Command:
            text = tr("%1 answered with another command (%2) than the request")
                       .arg(device, hex(message.header.command, 4));
            break;
        case ENIP::ReplyFault::Session:
            text = tr("%1 answered for another session than this one").arg(device);
            break;
        case ENIP::ReplyFault::Service:
            text = tr("%1 answered another request than the one sent").arg(device);
            break;
        default:
            text = tr("%1 sent an answer that is cut short or malformed").arg(device);
            break;
        }
        priv_fail(DeviceReply::InvalidAnswer, text);
    };

    if (current == RegisteringState) {
        quint32 handle = 0;
        const ENIP::ReplyFault fault = ENIP::readRegisterSessionReply(message, &handle);
        if (fault == ENIP::ReplyFault::Status) {
            priv_fail(
                DeviceReply::SessionRefused,
                tr("%1 refused a session: %2 (%3)")
                    .arg(device, CIP::encapsulationStatusName(message.header.status), hex(message.header.status, 4)));
            return;
        }
        if (fault != ENIP::ReplyFault::None) {
            invalid(fault);
            return;
        }
        timer.stop();
        session = handle;
        QPointer<DeviceClient> self(this);
        priv_setState(ConnectedState);
        if (!self)
            return;
        qDebug() << "DeviceClient::priv_handleMessage"
                 << ":"
                 << "Session" << session << "registered with" << device;
        priv_process();
        return;
    }
    if (current != ConnectedState || inFlight.isEmpty()) {
        // Nobody asked: the stream is no longer what this program expects.
        if (current != ClosingState)
            priv_fail(DeviceReply::InvalidAnswer, tr("%1 sent a message that answers no request").arg(device));
        return;
    }

    // The device echoes each request's sender context in its answer.
    const QByteArray context(reinterpret_cast<const char *>(message.header.senderContext), 8);
    int index = 0;
    while (index < inFlight.size() && inFlight.at(index).context != context)
        ++index;
    if (index == inFlight.size()) {
        priv_fail(DeviceReply::InvalidAnswer,
                  tr("%1 sent an answer that belongs to none of the requests sent").arg(device));
        return;
    }

    const CIP::CipRoute route = inFlight.at(index).route;
    CIP::MessageRouterResponse response;
    CIP::RoutingError routing;
    const ENIP::ReplyFault fault = route.isEmpty()
        ? ENIP::readSendRRDataReply(message, session, inFlight.at(index).request.service, &response)
        : ENIP::readRoutedSendRRDataReply(message, session, inFlight.at(index).request.service, route, &response,
                                          &routing);
    // The answer to a routed request may be cut or of another service
    // because the module behind the bridge sent it so: when the
    // encapsulation itself is sound (command, session, its items), only
    // that request fails.
    if (!route.isEmpty() && (fault == ENIP::ReplyFault::Service || fault == ENIP::ReplyFault::Data)) {
        const Pending request = inFlight.takeAt(index);
        priv_armTimer();
        priv_answer(request, DeviceReply::InvalidAnswer,
                    fault == ENIP::ReplyFault::Service
                        ? tr("The module at route %1 behind %2 answered another request than the one sent")
                              .arg(route.toText(), device)
                        : tr("The module at route %1 behind %2 sent an answer that is cut short or malformed")
                              .arg(route.toText(), device),
                    0, {}, QByteArray());
        return;
    }
    // Any other fault says the stream cannot be trusted, and ends the
    // session.
    if (fault != ENIP::ReplyFault::None && fault != ENIP::ReplyFault::Status) {
        invalid(fault);
        return;
    }
    const Pending request = inFlight.takeAt(index);
    priv_armTimer();
    if (fault == ENIP::ReplyFault::None && routing.failed()) {
        if (request.reply)
            request.reply->notDelivered = true;
        priv_answer(request, DeviceReply::NoError,
                    CIP::routingErrorText(routing.generalStatus, routing.additionalStatus), routing.generalStatus,
                    routing.additionalStatus, QByteArray());
        return;
    }
    if (fault == ENIP::ReplyFault::Status) {
        priv_answer(
            request, DeviceReply::SessionRefused,
            tr("%1 refused the request: %2 (%3)")
                .arg(device, CIP::encapsulationStatusName(message.header.status), hex(message.header.status, 4)),
            0, {}, QByteArray());
        return;
    }
    priv_answer(request, DeviceReply::NoError,
                response.generalStatus != 0 ? CIP::generalStatusMessage(response.generalStatus) : QString(),
                response.generalStatus, response.additionalStatus, response.data);
}

void DeviceClient::priv_answer(const Pending &request, DeviceReply::Error error, const QString &text,
                               quint8 generalStatus, const QVector<quint16> &additionalStatus, const QByteArray &data)
{
    if (error == DeviceReply::NoError)
        qDebug() << "DeviceClient::priv_answer"
                 << ":"
                 << "Answer" << request.id << "from" << priv_deviceText() << ": status"
                 << CIP::generalStatusText(generalStatus) << "," << data.size()
                 << (request.route.isEmpty() ? QStringLiteral("bytes of data")
                                             : QStringLiteral("bytes of data") + routeText(request.route));
    else if (request.route.isEmpty())
        qDebug() << "DeviceClient::priv_answer"
                 << ": Error:"
                 << "Request" << request.id << ":" << text;
    else
        qDebug() << "DeviceClient::priv_answer"
                 << ": Error:"
                 << "Request" << request.id << "through route" << qUtf8Printable(request.route.toText()) << ":" << text;
    QPointer<DeviceClient> self(this);
    if (request.reply)
        request.reply->priv_finish(error, text, generalStatus, additionalStatus, data);
    else
        qDebug() << "DeviceClient::priv_answer"
                 << ":"
                 << "Answer" << request.id << "dropped: its reply was deleted";
    if (self)
        priv_process();
}

void DeviceClient::priv_fail(DeviceReply::Error error, const QString &text)
{
    qDebug() << "DeviceClient::priv_fail"
             << ": Error:" << text;
    timer.stop();
    const QList<Pending> failed = inFlight + queue;
    inFlight.clear();
    queue.clear();
    session = 0;
    received.clear();
    QPointer<DeviceClient> self(this);
    // The state first, so that the socket's own signals find the session
    // ended.
    current = UnconnectedState;
    socket->abort();
    emit stateChanged(current);
    if (!self)
        return;

    for (const Pending &request : failed) {
        if (request.route.isEmpty())
            qDebug() << "DeviceClient::priv_fail"
                     << ": Error:"
                     << "Request" << request.id << "not answered";
        else
            qDebug() << "DeviceClient::priv_fail"
                     << ": Error:"
                     << "Request" << request.id << "through route" << qUtf8Printable(request.route.toText())
                     << "not answered";
        if (request.reply)
            request.reply->priv_finish(error, text);
        if (!self)
            return;
    }
    // Requests queued by the replies' slots open a new session.
    priv_schedule();
}

void DeviceClient::priv_onTimeout()
{
    const QString device = priv_deviceText();
    switch (current) {
    case ConnectingState:
        priv_fail(
            DeviceReply::ConnectFailed,
            tr("No connection to %1 on TCP port %2 within %3 s").arg(device).arg(devicePort).arg(priv_secondsText()));
        break;
    case ConnectedState: {
        bool expired = false;
        for (const Pending &request : qAsConst(inFlight))
            expired = expired || request.deadline.hasExpired();
        if (!expired) {
            priv_armTimer();
            break;
        }
    }
        Q_FALLTHROUGH();
    case RegisteringState:
        priv_fail(
            DeviceReply::Timeout,
            tr("No answer from %1 on TCP port %2 within %3 s").arg(device).arg(devicePort).arg(priv_secondsText()));
        break;
    case ClosingState:
        socket->abort();
        priv_finishClose();
        break;
    default:
        break;
    }
}

void DeviceClient::priv_onSocketError()
{
    const QString device = priv_deviceText();
    const QAbstractSocket::SocketError error = socket->error();
    switch (current) {
    case UnconnectedState:
        return;
    case ClosingState:
        socket->abort();
        priv_finishClose();
        return;
    case ConnectingState:
        if (error == QAbstractSocket::ConnectionRefusedError)
            priv_fail(DeviceReply::ConnectFailed,
                      tr("%1 refused the connection on TCP port %2: no EtherNet/IP server there")
                          .arg(device)
                          .arg(devicePort));
        else
            priv_fail(
                DeviceReply::ConnectFailed,
                tr("No connection to %1 on TCP port %2: %3").arg(device).arg(devicePort).arg(socket->errorString()));
        return;
    default:
        break;
    }
    if (error == QAbstractSocket::RemoteHostClosedError) {
        if (current == ConnectedState && inFlight.isEmpty()) {
            // Devices close idle sessions; the next request opens a new one.
            qDebug() << "DeviceClient::priv_onSocketError"
                     << ":" << device << "closed the idle connection";
            current = UnconnectedState;
            socket->abort();
            emit stateChanged(current);
            priv_schedule();
            return;
        }
        priv_fail(DeviceReply::ConnectionLost,
                  received.isEmpty() ? tr("%1 closed the connection without answering").arg(device)
                                     : tr("%1 closed the connection in the middle of its answer").arg(device));
        return;
    }
    priv_fail(DeviceReply::ConnectionLost, tr("The connection to %1 failed: %2").arg(device, socket->errorString()));
}

void DeviceClient::priv_onDisconnected()
{
    if (current == ClosingState) {
        priv_finishClose();
        return;
    }
    // A close without an error signal (an orderly one while idle).
    if (current != UnconnectedState)
        priv_onSocketError();
}

void DeviceClient::priv_finishClose()
{
    if (current == ClosingState)
        qDebug() << "DeviceClient::priv_finishClose"
                 << ":"
                 << "Session with" << priv_deviceText() << "closed";
    timer.stop();
    closeWanted = false;
    QPointer<DeviceClient> self(this);
    priv_setState(UnconnectedState);
    if (!self)
        return;
    emit closed();
    // Requests queued while the session closed open a new one.
    if (self && !queue.isEmpty())
        priv_schedule();
}
