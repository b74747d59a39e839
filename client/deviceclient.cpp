#include "deviceclient.h"

#include "cipnames.h"
#include "encapsulation.h"

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

} // namespace

DeviceClient::DeviceClient(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
    , deviceAddress(address)
    , devicePort(port)
    , socket(new QTcpSocket(this))
{
    qRegisterMetaType<DeviceReply>();
    timer.setSingleShot(true);
    // A coarse timer may fire 5 % early; 3 s are 3 s.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &DeviceClient::priv_onTimeout);
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
    // No signal may reach anyone from a client that is going away.
    socket->disconnect(this);
    socket->abort();
}

int DeviceClient::send(const CIP::MessageRouterRequest &request)
{
    const int id = nextId++;
    queue.append({id, request});
    if (state == State::Unconnected)
        priv_connect();
    else if (state == State::Ready)
        // Never from inside send(): the caller gets its id before any
        // signal about the request.
        QTimer::singleShot(0, this, &DeviceClient::priv_writeNext);
    return id;
}

int DeviceClient::getAttributesAll(quint16 classId, quint16 instance)
{
    return send(CIP::MessageRouterRequest(CIP::GetAttributesAll, CIP::CipPath(classId, instance)));
}

int DeviceClient::getAttributeSingle(quint16 classId, quint16 instance, quint16 attribute)
{
    return send(CIP::MessageRouterRequest(CIP::GetAttributeSingle, CIP::CipPath(classId, instance, attribute)));
}

int DeviceClient::setAttributeSingle(quint16 classId, quint16 instance, quint16 attribute, const QByteArray &data)
{
    return send(CIP::MessageRouterRequest(CIP::SetAttributeSingle, CIP::CipPath(classId, instance, attribute), data));
}

int DeviceClient::reset(quint8 type)
{
    return send(
        CIP::MessageRouterRequest(CIP::ResetService, CIP::CipPath(CIP::IdentityClass, 1), QByteArray(1, char(type))));
}

void DeviceClient::close()
{
    closeWanted = true;
    if (state == State::Unconnected && !busy())
        QTimer::singleShot(0, this, &DeviceClient::priv_finishClose);
    else if (state == State::Ready)
        QTimer::singleShot(0, this, &DeviceClient::priv_writeNext);
}

QString DeviceClient::priv_deviceText() const
{
    return deviceAddress.toString();
}

void DeviceClient::priv_connect()
{
    state = State::Connecting;
    session = 0;
    received.clear();
    qDebug() << "DeviceClient::priv_connect"
             << ":"
             << "Connecting to" << priv_deviceText() << "port" << devicePort;
    // The system's own connection attempts go on for minutes; the timer
    // gives up after 3 s.
    timer.start(TimeoutMs);
    // A connection that fails at once (no route, for example) reports its
    // error from inside connectToHost; from the event loop instead, the
    // caller of send() has its id before the reply to it arrives.
    QTimer::singleShot(0, this, [this]() {
        if (state == State::Connecting && socket->state() == QAbstractSocket::UnconnectedState)
            socket->connectToHost(deviceAddress, devicePort);
    });
}

void DeviceClient::priv_onConnected()
{
    if (state != State::Connecting)
        return;
    state = State::Registering;
    socket->write(ENIP::registerSessionRequest());
    timer.start(TimeoutMs);
    qDebug() << "DeviceClient::priv_onConnected"
             << ":"
             << "RegisterSession sent to" << priv_deviceText();
}

void DeviceClient::priv_writeNext()
{
    if (state != State::Ready || current >= 0)
        return;
    if (queue.isEmpty()) {
        if (!closeWanted)
            return;
        state = State::Closing;
        socket->write(ENIP::unRegisterSessionRequest(session));
        qDebug() << "DeviceClient::priv_writeNext"
                 << ":"
                 << "UnRegisterSession sent to" << priv_deviceText();
        timer.start(TimeoutMs);
        socket->disconnectFromHost();
        return;
    }
    const Pending next = queue.takeFirst();
    const QByteArray bytes = ENIP::sendRRDataRequest(session, next.request);
    current = next.id;
    currentRequest = next.request;
    // Some devices drop a connection whose request arrives in pieces, so
    // each request goes out in one write.
    socket->write(bytes);
    state = State::Waiting;
    timer.start(TimeoutMs);
    qDebug() << "DeviceClient::priv_writeNext"
             << ":"
             << "Request" << current << "sent to" << priv_deviceText() << ":" << requestText(currentRequest);
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

    if (state == State::Registering) {
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
        state = State::Ready;
        qDebug() << "DeviceClient::priv_handleMessage"
                 << ":"
                 << "Session" << session << "registered with" << device;
        priv_writeNext();
        return;
    }
    if (state != State::Waiting) {
        // Nobody asked: the stream is no longer what this program expects.
        if (state != State::Closing)
            priv_fail(DeviceReply::InvalidAnswer, tr("%1 sent a message that answers no request").arg(device));
        return;
    }

    DeviceReply reply;
    reply.request = currentRequest;
    CIP::MessageRouterResponse response;
    const ENIP::ReplyFault fault = ENIP::readSendRRDataReply(message, session, currentRequest.service, &response);
    if (fault == ENIP::ReplyFault::Status) {
        reply.error = DeviceReply::SessionRefused;
        reply.errorText =
            tr("%1 refused the request: %2 (%3)")
                .arg(device, CIP::encapsulationStatusName(message.header.status), hex(message.header.status, 4));
    } else if (fault != ENIP::ReplyFault::None) {
        invalid(fault);
        return;
    } else {
        reply.generalStatus = response.generalStatus;
        reply.additionalStatus = response.additionalStatus;
        reply.data = response.data;
        if (response.generalStatus != 0)
            reply.errorText = CIP::generalStatusMessage(response.generalStatus);
    }
    timer.stop();
    state = State::Ready;
    priv_answer(reply);
}

void DeviceClient::priv_answer(const DeviceReply &reply)
{
    const int id = current;
    current = -1;
    if (reply.answered())
        qDebug() << "DeviceClient::priv_answer"
                 << ":"
                 << "Answer" << id << "from" << priv_deviceText() << ": status"
                 << CIP::generalStatusText(reply.generalStatus) << "," << reply.data.size() << "bytes of data";
    else
        qDebug() << "DeviceClient::priv_answer"
                 << ": Error:"
                 << "Request" << id << ":" << reply.errorText;
    QPointer<DeviceClient> self(this);
    emit replied(id, reply);
    if (self)
        priv_writeNext();
}

void DeviceClient::priv_fail(DeviceReply::Error error, const QString &text)
{
    qDebug() << "DeviceClient::priv_fail"
             << ": Error:" << text;
    timer.stop();
    QList<Pending> failed;
    if (current >= 0)
        failed.append({current, currentRequest});
    failed += queue;
    queue.clear();
    current = -1;
    state = State::Unconnected;
    session = 0;
    received.clear();
    socket->abort();

    QPointer<DeviceClient> self(this);
    for (const Pending &request : qAsConst(failed)) {
        DeviceReply reply;
        reply.request = request.request;
        reply.error = error;
        reply.errorText = text;
        qDebug() << "DeviceClient::priv_fail"
                 << ": Error:"
                 << "Request" << request.id << "not answered";
        emit replied(request.id, reply);
        if (!self)
            return;
    }
    if (closeWanted && state == State::Unconnected && !busy())
        priv_finishClose();
}

void DeviceClient::priv_onTimeout()
{
    const QString device = priv_deviceText();
    switch (state) {
    case State::Connecting:
        priv_fail(DeviceReply::ConnectFailed,
                  tr("No connection to %1 on TCP port %2 within 3 s").arg(device).arg(devicePort));
        break;
    case State::Registering:
    case State::Waiting:
        priv_fail(DeviceReply::Timeout, tr("No answer from %1 on TCP port %2 within 3 s").arg(device).arg(devicePort));
        break;
    case State::Closing:
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
    switch (state) {
    case State::Unconnected:
        return;
    case State::Closing:
        socket->abort();
        priv_finishClose();
        return;
    case State::Connecting:
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
        if (state == State::Ready && current < 0 && queue.isEmpty()) {
            // Devices close idle sessions; the next request opens a new one.
            qDebug() << "DeviceClient::priv_onSocketError"
                     << ":" << device << "closed the idle connection";
            state = State::Unconnected;
            socket->abort();
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
    if (state == State::Closing) {
        priv_finishClose();
        return;
    }
    // A close without an error signal (an orderly one while idle).
    if (state != State::Unconnected)
        priv_onSocketError();
}

void DeviceClient::priv_finishClose()
{
    if (state == State::Closing)
        qDebug() << "DeviceClient::priv_finishClose"
                 << ":"
                 << "Session with" << priv_deviceText() << "closed";
    timer.stop();
    state = State::Unconnected;
    closeWanted = false;
    emit closed();
}
