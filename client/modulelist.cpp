#include "modulelist.h"

#include "cipnames.h"
#include "cipobjects.h"
#include "deviceclient.h"
#include "unconnectedsend.h"

#include <QDebug>

#include <algorithm>

namespace {

bool objectMissing(quint8 status)
{
    // Devices answer an object or instance they lack with either.
    return status == 0x16 || status == 0x05;
}

// The attributes read one by one when a port's Get_Attributes_All is
// refused or short; the link object is not needed.
const QList<quint16> &portSingles()
{
    static const QList<quint16> singles{CIP::CipPortInstance::Type, CIP::CipPortInstance::Number,
                                        CIP::CipPortInstance::Name, CIP::CipPortInstance::NodeAddress};
    return singles;
}

} // namespace

QString ModuleSlot::resultKey(Result result)
{
    switch (result) {
    case Module:
        return QStringLiteral("module");
    case Bridge:
        return QStringLiteral("bridge");
    case NoModule:
        return QStringLiteral("no_module");
    case NoAnswer:
        return QStringLiteral("no_answer");
    case Error:
        break;
    }
    return QStringLiteral("error");
}

ModuleListReader::ModuleListReader(const QHostAddress &address, QObject *parent)
    : ModuleListReader(address, 44818, parent)
{ }

ModuleListReader::ModuleListReader(const QHostAddress &address, quint16 port, QObject *parent)
    : ModuleListReader(new DeviceClient(address, port), parent)
{
    client->setParent(this);
    ownsClient = true;
}

ModuleListReader::ModuleListReader(DeviceClient *sharedClient, QObject *parent)
    : QObject(parent)
    , client(sharedClient)
    , ownsClient(false)
{
    qRegisterMetaType<ModuleList>();
    // The slot requests go out together on the one session, each told
    // apart by its sender context: a slot that never answers costs one
    // bridge timeout, not one per slot.
    client->setMaxInFlight(std::max(client->maxInFlight(), SlotsInFlight));
}

ModuleListReader::~ModuleListReader()
{
    priv_dropReplies();
}

void ModuleListReader::priv_dropReplies()
{
    qDeleteAll(replies);
    replies.clear();
}

template<typename Handler> void ModuleListReader::priv_ask(DeviceReply *reply, Handler handle)
{
    replies.append(reply);
    ++pendingRequests;
    connect(reply, &DeviceReply::finished, this, [this, reply, handle]() {
        replies.removeOne(reply);
        reply->deleteLater();
        --pendingRequests;
        if (!done)
            handle(reply);
    });
}

void ModuleListReader::start()
{
    // A reading under way is given up: its answers are dropped.
    priv_dropReplies();
    pendingRequests = 0;
    done = false;
    probing = false;
    unsent.clear();
    askAgain.clear();
    roundAnswers = 0;
    noPortSlots = 0;
    list = ModuleList();
    list.address = client->address();
    portReads.clear();
    classAttributes = CIP::CipPortClassAttributes();
    qDebug() << "ModuleListReader::start"
             << ":"
             << "Reading the ports and modules of" << list.address.toString();
    // The class attributes one by one: the class's Get_Attributes_All
    // differs between revisions of the object.
    for (const quint16 attribute : {CIP::CipPortClassAttributes::MaxInstance, CIP::CipPortClassAttributes::EntryPort}) {
        priv_ask(client->getAttributeSingle(CIP::PortClass, 0, attribute), [this, attribute](DeviceReply *reply) {
            if (priv_sessionFailed(reply))
                return;
            if (reply->generalStatus() == 0)
                classAttributes.setAttribute(attribute, reply->data());
            if (pendingRequests == 0)
                priv_onClassDone();
        });
    }
}

bool ModuleListReader::priv_sessionFailed(DeviceReply *reply)
{
    if (reply->answered())
        return false;
    switch (reply->error()) {
    case DeviceReply::InvalidAnswer:
        priv_fail(ModuleList::InvalidAnswer, reply->errorString());
        break;
    case DeviceReply::SessionRefused:
        priv_fail(ModuleList::Refused, reply->errorString());
        break;
    default:
        priv_fail(ModuleList::NoAnswer, reply->errorString());
        break;
    }
    return true;
}

void ModuleListReader::priv_onClassDone()
{
    const quint16 highest =
        classAttributes.has(CIP::CipPortClassAttributes::MaxInstance) ? classAttributes.maxInstance : quint16(0);
    if (highest == 0) {
        qDebug() << "ModuleListReader::priv_onClassDone"
                 << ":" << list.address.toString() << "has no Port object; trying port" << FallbackPort << "slots 0 to"
                 << FallbackLastSlot;
        priv_readFallback();
        return;
    }
    list.portObject = true;
    portReads.resize(qMin<int>(highest, MaxPortInstances));
    priv_readPorts();
}

void ModuleListReader::priv_readPorts()
{
    for (int index = 0; index < portReads.size(); ++index) {
        const quint16 instance = quint16(index + 1);
        priv_ask(client->getAttributesAll(CIP::PortClass, instance),
                 [this, index](DeviceReply *reply) { priv_onPortAll(reply, index); });
        // Not in the Get_Attributes_All reply of every revision: on its own.
        priv_ask(client->getAttributeSingle(CIP::PortClass, instance, CIP::CipPortInstance::NodeRange),
                 [this, index](DeviceReply *reply) { priv_onNodeRange(reply, index); });
    }
}

void ModuleListReader::priv_onPortAll(DeviceReply *reply, int index)
{
    if (priv_sessionFailed(reply))
        return;
    PortRead &port = portReads[index];
    const quint8 status = reply->generalStatus();
    QList<quint16> singles;
    if (status == 0) {
        CIP::CipPortInstance read;
        read.deserialize(reply->data());
        for (const quint16 attribute : read.present) {
            if (attribute != CIP::CipPortInstance::NodeRange)
                port.values.present.append(attribute);
        }
        port.values.type = read.type;
        port.values.number = read.number;
        port.values.linkPath = read.linkPath;
        port.values.name = read.name;
        port.values.nodePath = read.nodePath;
        // What an older revision's shorter answer left out, the node
        // address (the bridge's own slot) among it.
        for (const quint16 attribute : portSingles()) {
            if (!read.has(attribute))
                singles.append(attribute);
        }
    } else if (objectMissing(status) || reply->routingFailed()) {
        port.missing = true;
    } else {
        singles = portSingles();
    }
    for (const quint16 attribute : singles) {
        priv_ask(client->getAttributeSingle(CIP::PortClass, quint16(index + 1), attribute),
                 [this, index, attribute](DeviceReply *single) { priv_onPortSingle(single, index, attribute); });
    }
    if (pendingRequests == 0)
        priv_onPortsDone();
}

void ModuleListReader::priv_onPortSingle(DeviceReply *reply, int index, quint16 attribute)
{
    if (priv_sessionFailed(reply))
        return;
    PortRead &port = portReads[index];
    if (reply->generalStatus() == 0)
        port.values.setAttribute(attribute, reply->data());
    else if (objectMissing(reply->generalStatus()) && attribute == CIP::CipPortInstance::Type)
        port.missing = true;
    if (pendingRequests == 0)
        priv_onPortsDone();
}

void ModuleListReader::priv_onNodeRange(DeviceReply *reply, int index)
{
    if (priv_sessionFailed(reply))
        return;
    if (reply->generalStatus() == 0)
        portReads[index].values.setAttribute(CIP::CipPortInstance::NodeRange, reply->data());
    if (pendingRequests == 0)
        priv_onPortsDone();
}

void ModuleListReader::priv_onPortsDone()
{
    using P = CIP::CipPortInstance;
    const bool entryKnown = classAttributes.has(CIP::CipPortClassAttributes::EntryPort);
    QList<int> chassis;
    bool anyRange = false;
    for (int index = 0; index < portReads.size(); ++index) {
        const PortRead &read = portReads.at(index);
        if (read.missing || !read.values.has(P::Type))
            continue;
        BridgePort port;
        port.instance = quint16(index + 1);
        port.type = read.values.type;
        port.number = read.values.has(P::Number) ? read.values.number : port.instance;
        port.name = read.values.nameText();
        port.entryPort = entryKnown && classAttributes.entryPort == port.instance;
        // A range that is upside down is not one.
        port.hasNodeRange = read.values.has(P::NodeRange) && read.values.nodeRangeMin <= read.values.nodeRangeMax;
        // A slot is one byte of a route: a range is read up to 255 at most,
        // and one that starts beyond it has no slot to read.
        bool readable = false;
        if (port.hasNodeRange) {
            port.firstSlot = read.values.nodeRangeMin;
            readable = port.firstSlot <= MaxSlot;
            port.lastSlot = readable
                ? qMin<int>(qMin<int>(read.values.nodeRangeMax, MaxSlot), port.firstSlot + MaxSlotsPerPort - 1)
                : read.values.nodeRangeMax;
            // The port a request came in through says nothing of slots
            // behind the bridge.
            anyRange = anyRange || !port.entryPort;
        }
        CIP::CipRouteHop own;
        if (read.values.nodeAddressHop(&own) && own.isSlot()) {
            port.hasOwnSlot = true;
            port.ownSlot = own.slot();
        }
        const bool leadsToSlots =
            !port.entryPort && port.type != CIP::PortEndsInDevice && port.type != CIP::PortNotConfigured && readable;
        if (leadsToSlots)
            chassis.append(list.ports.size());
        list.ports.append(port);
    }
    qDebug() << "ModuleListReader::priv_onPortsDone"
             << ":" << list.address.toString() << "has" << list.ports.size() << "ports," << chassis.size()
             << "leading to slots";
    if (!chassis.isEmpty()) {
        for (const int portIndex : chassis)
            priv_addSlots(portIndex);
        priv_sendProbe();
        return;
    }
    if (!anyRange) {
        // The ports do not say where the slots are: try the usual place.
        list.portObject = false;
        priv_readFallback();
        return;
    }
    priv_fail(ModuleList::NoSlots, tr("%1 has no port that leads to slots").arg(list.address.toString()));
}

void ModuleListReader::priv_addSlots(int portIndex)
{
    BridgePort &port = list.ports[portIndex];
    port.moduleSlots.clear();
    for (int slot = port.firstSlot; slot <= port.lastSlot; ++slot) {
        ModuleSlot entry;
        entry.portNumber = port.number;
        entry.slot = slot;
        entry.route = CIP::CipRoute({CIP::CipRouteHop(port.number, quint8(slot))});
        port.moduleSlots.append(entry);
        unsent.append({portIndex, port.moduleSlots.size() - 1});
    }
}

void ModuleListReader::priv_sendProbe()
{
    // One slot first, alone: a device that does not route answers it 0x08,
    // and so costs one request, not one per slot. The bridge's own slot
    // when it is known, as the bridge answers for itself at once; a module
    // that never answers would hold the others back by the bridge's
    // timeout.
    int probe = 0;
    for (int i = 0; i < unsent.size(); ++i) {
        const BridgePort &port = list.ports.at(unsent.at(i).first);
        if (port.hasOwnSlot && port.moduleSlots.at(unsent.at(i).second).slot == port.ownSlot) {
            probe = i;
            break;
        }
    }
    probing = true;
    priv_sendSlot(unsent.takeAt(probe));
}

void ModuleListReader::priv_sendSlot(const QPair<int, int> &which)
{
    const int portIndex = which.first;
    const int slotIndex = which.second;
    const CIP::CipRoute route = list.ports.at(portIndex).moduleSlots.at(slotIndex).route;
    priv_ask(client->getAttributesAll(CIP::IdentityClass, 1, route),
             [this, portIndex, slotIndex](DeviceReply *reply) { priv_onSlot(reply, portIndex, slotIndex); });
}

void ModuleListReader::priv_readFallback()
{
    int index = -1;
    for (int i = 0; i < list.ports.size(); ++i) {
        if (list.ports.at(i).number == FallbackPort)
            index = i;
    }
    if (index < 0) {
        BridgePort port;
        port.number = FallbackPort;
        port.type = CIP::PortBackplane;
        list.ports.append(port);
        index = list.ports.size() - 1;
    }
    BridgePort &port = list.ports[index];
    port.moduleSlots.clear();
    port.firstSlot = 0;
    port.lastSlot = FallbackLastSlot;
    priv_addSlots(index);
    priv_sendProbe();
}

void ModuleListReader::priv_onSlot(DeviceReply *reply, int portIndex, int slotIndex)
{
    BridgePort &port = list.ports[portIndex];
    ModuleSlot &slot = port.moduleSlots[slotIndex];
    // A slot asked again forgets what its lost session left.
    slot.error.clear();
    slot.hasIdentity = false;
    slot.hasState = false;
    const bool own = port.hasOwnSlot && port.ownSlot == slot.slot;
    if (!reply->answered()) {
        // A module's garbage fails its own request alone; anything else
        // ended the session, and every slot still waiting hears it too.
        slot.result = reply->error() == DeviceReply::InvalidAnswer && !reply->route().isEmpty() ? ModuleSlot::Error
                                                                                                : ModuleSlot::NoAnswer;
        slot.error = reply->errorString();
        if (probing && slot.result == ModuleSlot::NoAnswer) {
            priv_sessionFailed(reply);
            return;
        }
        if (slot.result == ModuleSlot::NoAnswer)
            askAgain.append({portIndex, slotIndex});
        else
            ++roundAnswers;
    } else if (reply->routingFailed()) {
        const CIP::RoutingError routing{reply->generalStatus(), reply->additionalStatus(), -1};
        // 0x08: the Connection Manager does not route. The first slot's
        // answer from the device itself with any status but a routing
        // fault (0x01), such as 0x05 from a device without a Connection
        // Manager, says the same of every slot.
        if (routing.generalStatus == 0x08 || (probing && routing.generalStatus != 0x01)) {
            priv_fail(
                ModuleList::NotRouting,
                tr("%1 does not route requests to modules: %2").arg(list.address.toString(), reply->errorString()));
            return;
        }
        slot.error = reply->errorString();
        if (routing.generalStatus == 0x01 && routing.extendedStatus() == CIP::RouteNoSuchPort)
            ++noPortSlots;
        if (routing.generalStatus == 0x01 && routing.extendedStatus() == CIP::RouteNoModule)
            slot.result = ModuleSlot::NoModule;
        else if (routing.generalStatus == 0x01 && routing.extendedStatus() == CIP::RouteTimedOut)
            slot.result = ModuleSlot::NoAnswer;
        else
            slot.result = ModuleSlot::Error;
    } else if (reply->generalStatus() != 0) {
        // Something is there, and does not give its identity this way.
        slot.result = own ? ModuleSlot::Bridge : ModuleSlot::Module;
        slot.error = reply->errorString();
    } else {
        // Attributes 1 to 7 at least; the state (8) only when a byte
        // follows the name. An identity cut short is not shown as zeros.
        CIP::CipIdentityAttributes identity;
        if (identity.deserialize(reply->data()) && identity.missing().isEmpty()) {
            slot.result = own ? ModuleSlot::Bridge : ModuleSlot::Module;
            slot.hasIdentity = true;
            slot.identity = identity.identity;
            slot.hasState = identity.has(CIP::CipIdentityAttributes::State);
        } else {
            slot.result = ModuleSlot::Error;
            slot.error = tr("an identity that is cut short or malformed (%1 bytes)").arg(reply->data().size());
        }
    }
    if (reply->answered())
        ++roundAnswers;
    if (own && slot.result != ModuleSlot::Module && slot.result != ModuleSlot::Bridge)
        slot.result = ModuleSlot::Bridge;
    if (probing) {
        // The device routes: the other slots, all at once, pipelined.
        probing = false;
        roundAnswers = 0;
        const QList<QPair<int, int>> rest = unsent;
        unsent.clear();
        for (const QPair<int, int> &which : rest)
            priv_sendSlot(which);
    }
    if (pendingRequests == 0 && !askAgain.isEmpty() && roundAnswers > 0) {
        // The session ended (the client's timeout) with slots still
        // waiting at a bridge that answered others meanwhile: one that
        // serves one request at a time, with silent modules ahead of them.
        // Those slots are asked again on a new session, for as long as
        // each round brings answers.
        qDebug() << "ModuleListReader::priv_onSlot"
                 << ":"
                 << "Asking" << askAgain.size() << "slots of" << list.address.toString() << "again";
        roundAnswers = 0;
        const QList<QPair<int, int>> again = askAgain;
        askAgain.clear();
        for (const QPair<int, int> &which : again)
            priv_sendSlot(which);
        return;
    }
    if (pendingRequests == 0)
        priv_onSlotsDone();
}

void ModuleListReader::priv_onSlotsDone()
{
    // Slots that all say "no such port" were on no port at all.
    int slotCount = 0;
    for (const BridgePort &port : qAsConst(list.ports))
        slotCount += port.moduleSlots.size();
    if (slotCount == 0 || noPortSlots == slotCount) {
        priv_fail(ModuleList::NoSlots, tr("%1 has no port that leads to slots").arg(list.address.toString()));
        return;
    }
    list.outcome = ModuleList::Read;
    priv_finish();
}

void ModuleListReader::priv_fail(ModuleList::Outcome outcome, const QString &text)
{
    if (done)
        return;
    qDebug() << "ModuleListReader::priv_fail"
             << ": Error:" << text;
    list.outcome = outcome;
    list.text = text;
    priv_finish();
}

void ModuleListReader::priv_finish()
{
    done = true;
    priv_dropReplies();
    pendingRequests = 0;
    if (ownsClient)
        client->close();
    qDebug() << "ModuleListReader::priv_finish"
             << ":"
             << "Read" << list.ports.size() << "ports of" << list.address.toString();
    emit finished(list);
}
