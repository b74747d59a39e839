// The codec of requests through a bridge: routes, Unconnected Send and its
// answers, and the Port object.

#include "cipport.h"
#include "ciproute.h"
#include "unconnectedsend.h"

#include <QtTest>

Q_DECLARE_METATYPE(CIP::RoutedAnswer)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

CIP::CipRoute routeOf(const QString &text)
{
    CIP::CipRoute route;
    if (!text.isEmpty() && !CIP::CipRoute::fromText(text, &route))
        qFatal("tst_Bridge: a table's route \"%s\" does not read", qPrintable(text));
    return route;
}

QString requestText(const CIP::MessageRouterRequest &request)
{
    return QStringLiteral("%1 %2/%3/%4 %5")
        .arg(request.service, 0, 16)
        .arg(request.path.classId, 0, 16)
        .arg(request.path.instance, 0, 16)
        .arg(request.path.hasAttribute ? int(request.path.attribute) : -1)
        .arg(QString::fromLatin1(request.data.toHex()));
}

// One attribute of a port as a table writes it.
QString portText(const CIP::CipPortInstance &port, quint16 attribute)
{
    switch (attribute) {
    case CIP::CipPortInstance::Type:
        return QString::number(port.type, 16);
    case CIP::CipPortInstance::Number:
        return QString::number(port.number, 16);
    case CIP::CipPortInstance::LinkObject:
        return QString::fromLatin1(port.linkPath.toHex());
    case CIP::CipPortInstance::Name:
        return port.nameText();
    case CIP::CipPortInstance::NodeAddress:
        return QString::fromLatin1(port.nodePath.toHex());
    case CIP::CipPortInstance::NodeRange:
        return QStringLiteral("%1-%2").arg(port.nodeRangeMin).arg(port.nodeRangeMax);
    }
    return QStringLiteral("?");
}

QString presentText(const CIP::CipPortInstance &port)
{
    QStringList parts;
    for (const quint16 attribute : port.present)
        parts.append(QStringLiteral("%1:%2").arg(attribute).arg(portText(port, attribute)));
    return parts.join(' ');
}

// A SendRRData reply on session 7 that carries message, built with the
// codec's own writers (tst_enip checks them byte by byte).
ENIP::EncapMessage rrReply(const QByteArray &message, quint32 session = 7)
{
    ENIP::RRDataBody body;
    body.message = message;
    ENIP::EncapMessage reply(ENIP::SendRRData);
    body.serialize(&reply.data);
    reply.header.sessionHandle = session;
    return reply;
}

// An instance's Get_Attributes_All reply: a backplane port 1 whose own
// slot is 2, and the bytes at which each attribute ends.
const char backplaneHex[] = "0100"
                            "0100"
                            "0000"
                            "09"
                            "4261636B706C616E65"
                            "0100"
                            "0102";
const QList<int> backplaneEnds = {2, 4, 6, 16, 20};

} // namespace

class tst_Bridge : public QObject
{
    Q_OBJECT

private slots:
    void routeText_data();
    void routeText();
    void routeSegments_data();
    void routeSegments();
    void unconnectedSend_data();
    void unconnectedSend();
    void unconnectedSendRefused_data();
    void unconnectedSendRefused();
    void routeNotWritten_data();
    void routeNotWritten();
    void timeout_data();
    void timeout();
    void routedAnswer_data();
    void routedAnswer();
    void routedReplyCheck_data();
    void routedReplyCheck();
    void portAttribute_data();
    void portAttribute();
    void portGetAttributesAll_data();
    void portGetAttributesAll();
    void portClass_data();
    void portClass();
    void portTypeNames_data();
    void portTypeNames();
};

void tst_Bridge::routeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    // The text the route gives back, and its port segments.
    QTest::addColumn<QString>("canonical");
    QTest::addColumn<QByteArray>("segments");

    QTest::newRow("backplane slot 3") << "1,3" << true << "1,3" << hex("0103");
    QTest::newRow("slot 0") << "1,0" << true << "1,0" << hex("0100");
    QTest::newRow("slot 255") << "1,255" << true << "1,255" << hex("01FF");
    QTest::newRow("spaces around fields") << " 1 , 03 " << true << "1,3" << hex("0103");
    QTest::newRow("port 14, the highest in the nibble") << "14,3" << true << "14,3" << hex("0E03");
    QTest::newRow("port 15, extended") << "15,3" << true << "15,3" << hex("0F0F0003");
    QTest::newRow("port 65535") << "65535,1" << true << "65535,1" << hex("0FFFFF01");
    QTest::newRow("address, even") << "2,10.0.0.5" << true << "2,10.0.0.5"
                                   << hex("1208"
                                          "31302E302E302E35");
    QTest::newRow("address, odd, padded") << "2,10.0.0.50" << true << "2,10.0.0.50"
                                          << hex("1209"
                                                 "31302E302E302E3530"
                                                 "00");
    QTest::newRow("address with leading zeros") << "2,010.000.0.05" << true << "2,10.0.0.5"
                                                << hex("1208"
                                                       "31302E302E302E35");
    QTest::newRow("extended port and address") << "20,10.0.0.50" << true << "20,10.0.0.50"
                                               << hex("1F091400"
                                                      "31302E302E302E3530"
                                                      "00");
    QTest::newRow("two hops") << "1,2,2,10.0.0.5" << true << "1,2,2,10.0.0.5"
                              << hex("0102"
                                     "1208"
                                     "31302E302E302E35");
    QTest::newRow("two slots") << "1,3,1,4" << true << "1,3,1,4" << hex("01030104");
    QStringList hopFields;
    for (int i = 0; i < 255; ++i)
        hopFields << "1"
                  << "3";
    QTest::newRow("255 hops, 510 bytes") << hopFields.join(',') << true << hopFields.join(',')
                                         << hex("0103").repeated(255);
    const QString tooLong = hopFields.join(',') + ",1,3";
    QTest::newRow("256 hops") << tooLong << false << "" << QByteArray();

    QTest::newRow("empty") << "" << false << "" << QByteArray();
    QTest::newRow("spaces") << "  " << false << "" << QByteArray();
    QTest::newRow("port only") << "1" << false << "" << QByteArray();
    QTest::newRow("three fields") << "1,3,2" << false << "" << QByteArray();
    QTest::newRow("trailing comma") << "1,3," << false << "" << QByteArray();
    QTest::newRow("empty port") << ",3" << false << "" << QByteArray();
    QTest::newRow("empty link") << "1,,1,3" << false << "" << QByteArray();
    QTest::newRow("port 0") << "0,3" << false << "" << QByteArray();
    QTest::newRow("port 65536") << "65536,3" << false << "" << QByteArray();
    QTest::newRow("slot 256") << "1,256" << false << "" << QByteArray();
    QTest::newRow("slot 99999999999") << "1,99999999999" << false << "" << QByteArray();
    QTest::newRow("negative slot") << "1,-1" << false << "" << QByteArray();
    QTest::newRow("plus sign") << "1,+3" << false << "" << QByteArray();
    QTest::newRow("hexadecimal slot") << "1,0x03" << false << "" << QByteArray();
    QTest::newRow("other digits") << QString::fromUtf8("1,\u0663") << false << "" << QByteArray();
    QTest::newRow("semicolon") << "1;3" << false << "" << QByteArray();
    QTest::newRow("space inside a field") << "1,3 4" << false << "" << QByteArray();
    QTest::newRow("host name") << "2,plc.local" << false << "" << QByteArray();
    QTest::newRow("address of three numbers") << "2,10.0.0" << false << "" << QByteArray();
    QTest::newRow("address of five numbers") << "2,10.0.0.5.6" << false << "" << QByteArray();
    QTest::newRow("address number 256") << "2,10.0.0.256" << false << "" << QByteArray();
    QTest::newRow("address with empty number") << "2,10..0.5" << false << "" << QByteArray();
    QTest::newRow("address with port") << "2,10.0.0.5:44818" << false << "" << QByteArray();
}

void tst_Bridge::routeText()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, canonical);
    QFETCH(QByteArray, segments);

    const CIP::CipRoute sentinel({CIP::CipRouteHop(9, 9)});
    CIP::CipRoute route = sentinel;
    QString error;
    QCOMPARE(CIP::CipRoute::fromText(text, &route, &error), ok);
    if (!ok) {
        QCOMPARE(route, sentinel);
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY(error.isEmpty());
    QCOMPARE(route.toText(), canonical);
    QCOMPARE(route.encodedSize(), segments.size());
    QByteArray written;
    QVERIFY(route.serialize(&written));
    QCOMPARE(written.toHex(), segments.toHex());

    CIP::CipRoute read;
    QVERIFY(read.deserialize(segments));
    QCOMPARE(read, route);
    CIP::CipRoute again;
    QVERIFY(CIP::CipRoute::fromText(route.toText(), &again));
    QCOMPARE(again, route);
}

void tst_Bridge::routeSegments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");

    QTest::newRow("nothing: the device itself") << QByteArray() << true << "";
    QTest::newRow("slot") << hex("0103") << true << "1,3";
    QTest::newRow("one-byte link in the extended form") << hex("12010500") << true << "2,5";
    QTest::newRow("extended port below 15") << hex("0F010003") << true << "1,3";
    QTest::newRow("link that is not text") << hex("12020102") << true << "2,0x0102";
    QTest::newRow("pad byte not 0") << hex("1203414243FF") << true << "2,ABC";
    QTest::newRow("one byte") << hex("01") << false << "";
    QTest::newRow("port 0") << hex("0003") << false << "";
    QTest::newRow("logical segment") << hex("2006") << false << "";
    QTest::newRow("network segment") << hex("4301") << false << "";
    QTest::newRow("link size missing") << hex("12") << false << "";
    QTest::newRow("link size 0") << hex("1200") << false << "";
    QTest::newRow("link cut") << hex("1205414243") << false << "";
    QTest::newRow("pad missing") << hex("1203414243") << false << "";
    QTest::newRow("extended port cut") << hex("0F14") << false << "";
    QTest::newRow("extended port 0") << hex("0F000003") << false << "";
    QTest::newRow("second hop cut") << hex("010301") << false << "";
}

void tst_Bridge::routeSegments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, text);

    const CIP::CipRoute sentinel({CIP::CipRouteHop(9, 9)});
    CIP::CipRoute route = sentinel;
    QCOMPARE(route.deserialize(bytes), ok);
    QCOMPARE(route.toText(), ok ? text : sentinel.toText());
}

void tst_Bridge::unconnectedSend_data()
{
    QTest::addColumn<quint8>("service");
    QTest::addColumn<quint16>("classId");
    QTest::addColumn<quint16>("attribute"); // 0 for none
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("identity of slot 3, even length")
        << quint8(0x01) << quint16(0x01) << quint16(0) << QByteArray() << "1,3"
        << hex("52"
               "0220062401"
               "07"
               "07"
               "0600"
               "010220012401"
               "01"
               "00"
               "0103");
    QTest::newRow("odd length, padded") << quint8(0x10) << quint16(0xF5) << quint16(8) << hex("01") << "1,3"
                                        << hex("52"
                                               "0220062401"
                                               "0707"
                                               "0900"
                                               "100320F524013008"
                                               "01"
                                               "00"
                                               "01"
                                               "00"
                                               "0103");
    QTest::newRow("two hops") << quint8(0x01) << quint16(0x01) << quint16(0) << QByteArray() << "1,2,2,10.0.0.5"
                              << hex("52"
                                     "0220062401"
                                     "0707"
                                     "0600"
                                     "010220012401"
                                     "06"
                                     "00"
                                     "0102"
                                     "1208"
                                     "31302E302E302E35");
    QTest::newRow("extended link, padded")
        << quint8(0x0E) << quint16(0xF4) << quint16(8) << QByteArray() << "2,10.0.0.50"
        << hex("52"
               "0220062401"
               "0707"
               "0800"
               "0E0320F424013008"
               "06"
               "00"
               "1209"
               "31302E302E302E3530"
               "00");
    QTest::newRow("extended port") << quint8(0x01) << quint16(0x01) << quint16(0) << QByteArray() << "20,3"
                                   << hex("52"
                                          "0220062401"
                                          "0707"
                                          "0600"
                                          "010220012401"
                                          "02"
                                          "00"
                                          "0F140003");
    QTest::newRow("no route: the request itself")
        << quint8(0x01) << quint16(0x01) << quint16(0) << QByteArray() << "" << hex("010220012401");
}

void tst_Bridge::unconnectedSend()
{
    QFETCH(quint8, service);
    QFETCH(quint16, classId);
    QFETCH(quint16, attribute);
    QFETCH(QByteArray, data);
    QFETCH(QString, route);
    QFETCH(QByteArray, expected);

    const CIP::CipPath path = attribute ? CIP::CipPath(classId, 1, attribute) : CIP::CipPath(classId, 1);
    const CIP::MessageRouterRequest request(service, path, data);
    const CIP::CipRoute hops = routeOf(route);
    CIP::MessageRouterRequest sent;
    QVERIFY(CIP::routedRequest(request, hops, &sent));
    QByteArray written;
    QVERIFY(sent.serialize(&written));
    QCOMPARE(written.toHex(), expected.toHex());

    // What a bridge reads of it.
    CIP::UnconnectedSendRequest send;
    QCOMPARE(CIP::unwrapRoutedRequest(sent, &send), !hops.isEmpty());
    if (hops.isEmpty())
        return;
    QCOMPARE(requestText(send.request), requestText(request));
    QCOMPARE(send.route, hops);
    QCOMPARE(int(send.tickTime), int(CIP::UnconnectedSendTickTime));
    QCOMPARE(int(send.timeoutTicks), int(CIP::UnconnectedSendTimeoutTicks));

    // Every truncation and a byte more are refused, the value unchanged.
    for (int size = 0; size <= sent.data.size() + 1; ++size) {
        if (size == sent.data.size())
            continue;
        const QByteArray bytes = size < sent.data.size() ? sent.data.left(size) : sent.data + hex("00");
        CIP::UnconnectedSendRequest cut;
        cut.tickTime = 0x99;
        QVERIFY2(!cut.deserialize(bytes), qPrintable(QString::number(size)));
        QCOMPARE(int(cut.tickTime), 0x99);
        QVERIFY(cut.route.isEmpty());
    }
}

void tst_Bridge::unconnectedSendRefused_data()
{
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("another service") << hex("53"
                                            "0220062401"
                                            "07070600010220012401"
                                            "01000103");
    QTest::newRow("another instance") << hex("52"
                                             "0220062402"
                                             "07070600010220012401"
                                             "01000103");
    QTest::newRow("route of a logical segment") << hex("52"
                                                       "0220062401"
                                                       "07070600010220012401"
                                                       "01002006");
    QTest::newRow("route size past the end") << hex("52"
                                                    "0220062401"
                                                    "07070600010220012401"
                                                    "02000103");
    QTest::newRow("embedded request longer than the data") << hex("52"
                                                                  "0220062401"
                                                                  "07072000010220012401"
                                                                  "01000103");
    QTest::newRow("embedded path longer than the request") << hex("52"
                                                                  "0220062401"
                                                                  "07070600010520012401"
                                                                  "01000103");
    QTest::newRow("embedded request empty") << hex("52"
                                                   "0220062401"
                                                   "07070000"
                                                   "01000103");
}

void tst_Bridge::unconnectedSendRefused()
{
    QFETCH(QByteArray, request);

    CIP::MessageRouterRequest outer;
    QVERIFY(outer.deserialize(request));
    CIP::UnconnectedSendRequest send;
    QVERIFY(!CIP::unwrapRoutedRequest(outer, &send));
    QVERIFY(send.route.isEmpty());
}

void tst_Bridge::routeNotWritten_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("link");

    QTest::newRow("port 0") << 0 << hex("03");
    QTest::newRow("empty link") << 1 << QByteArray();
    QTest::newRow("link of 255") << 2 << QByteArray(255, 'a');
    QTest::newRow("link of 256") << 2 << QByteArray(256, 'a');
}

void tst_Bridge::routeNotWritten()
{
    QFETCH(int, port);
    QFETCH(QByteArray, link);

    // A link of 255 bytes is the longest a segment holds, and with its
    // size, pad and port 258 bytes, it fits the route.
    const bool fits = port != 0 && !link.isEmpty() && link.size() <= 255;
    const CIP::CipRoute route({CIP::CipRouteHop(quint16(port), link)});
    QCOMPARE(route.encodedSize(), fits ? 2 + link.size() + link.size() % 2 : -1);
    CIP::MessageRouterRequest sent(0x77, CIP::CipPath(1, 1));
    QCOMPARE(CIP::routedRequest(CIP::MessageRouterRequest(0x01, CIP::CipPath(1, 1)), route, &sent), fits);
    QCOMPARE(int(sent.service), fits ? 0x52 : 0x77);
    QByteArray written("old");
    QCOMPARE(CIP::CipRoute(route).serialize(&written), fits);
    if (!fits)
        QCOMPARE(written, QByteArray("old"));
}

void tst_Bridge::timeout_data()
{
    QTest::addColumn<quint8>("tickTime");
    QTest::addColumn<quint8>("ticks");
    QTest::addColumn<int>("ms");

    QTest::newRow("as sent") << CIP::UnconnectedSendTickTime << CIP::UnconnectedSendTimeoutTicks << 896;
    QTest::newRow("32 ms x 31") << quint8(0x05) << quint8(31) << 992;
    QTest::newRow("1 ms x 1") << quint8(0x00) << quint8(1) << 1;
    QTest::newRow("priority bit ignored") << quint8(0x17) << quint8(7) << 896;
    QTest::newRow("longest") << quint8(0x0F) << quint8(255) << 32768 * 255;
}

void tst_Bridge::timeout()
{
    QFETCH(quint8, tickTime);
    QFETCH(quint8, ticks);
    QFETCH(int, ms);
    QCOMPARE(CIP::unconnectedSendTimeoutMs(tickTime, ticks), ms);
}

void tst_Bridge::routedAnswer_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<CIP::RoutedAnswer>("answer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("remaining");

    using A = CIP::RoutedAnswer;
    // Answers to Get_Attributes_All (0x01).
    QTest::newRow("module's reply") << "1,3" << hex("81000000") + "data" << A::Reply << "" << -1;
    QTest::newRow("module's refusal is its reply") << "1,3" << hex("81000800") << A::Reply << "" << -1;
    QTest::newRow("no route, device's reply") << "" << hex("81000000") << A::Reply << "" << -1;
    QTest::newRow("timed out") << "1,3"
                               << hex("D2000101"
                                      "0402")
                               << A::RoutingError << "the module did not answer in time (0x0204)" << -1;
    QTest::newRow("no such port") << "9,3"
                                  << hex("D2000101"
                                         "1103"
                                         "01")
                                  << A::RoutingError << "no such port on the bridge (0x0311)" << 1;
    QTest::newRow("no module") << "1,3"
                               << hex("D2000101"
                                      "1203"
                                      "01")
                               << A::RoutingError << "no module at that link address (0x0312)" << 1;
    QTest::newRow("bad segment") << "1,3,1,4"
                                 << hex("D2000101"
                                        "1503"
                                        "02")
                                 << A::RoutingError << "a bad segment in the route (0x0315)" << 2;
    QTest::newRow("extended status without a name")
        << "1,3"
        << hex("D2000101"
               "0701")
        << A::RoutingError << "the bridge could not deliver the request (0x01, extended status 0x0107)" << -1;
    QTest::newRow("two words, the first counts") << "1,3"
                                                 << hex("D2000102"
                                                        "1203"
                                                        "3412")
                                                 << A::RoutingError << "no module at that link address (0x0312)" << -1;
    QTest::newRow("0x01 without extended status")
        << "1,3" << hex("D2000100") << A::RoutingError << "the bridge could not deliver the request (0x01)" << -1;
    QTest::newRow("does not route") << "1,3" << hex("D2000800") << A::RoutingError
                                    << "the device does not route requests (0x08)" << -1;
    QTest::newRow("other general status")
        << "1,3" << hex("D2000500") << A::RoutingError
        << "the bridge refused to route the request: Path destination unknown (0x05)" << -1;
    QTest::newRow("0xD2 claiming success") << "1,3" << hex("D2000000") + "data" << A::Mismatch << "" << -1;
    QTest::newRow("0xD2 without a route") << "" << hex("D2000101 1203") << A::Mismatch << "" << -1;
    QTest::newRow("reply to another service") << "1,3" << hex("8E000000") << A::Mismatch << "" << -1;
    QTest::newRow("request echoed") << "1,3" << hex("01000000") << A::Mismatch << "" << -1;
    QTest::newRow("Unconnected Send echoed") << "1,3" << hex("52000100") << A::Mismatch << "" << -1;
}

void tst_Bridge::routedAnswer()
{
    QFETCH(QString, route);
    QFETCH(QByteArray, response);
    QFETCH(CIP::RoutedAnswer, answer);
    QFETCH(QString, text);
    QFETCH(int, remaining);

    CIP::MessageRouterResponse read;
    QVERIFY(read.deserialize(response));
    CIP::RoutingError error;
    error.generalStatus = 0x99;
    QCOMPARE(CIP::readRoutedAnswer(read, CIP::GetAttributesAll, routeOf(route), &error), answer);
    QCOMPARE(CIP::readRoutedAnswer(read, CIP::GetAttributesAll, routeOf(route)), answer);
    if (answer != CIP::RoutedAnswer::RoutingError) {
        QCOMPARE(int(error.generalStatus), 0x99);
        return;
    }
    QVERIFY(error.failed());
    QCOMPARE(error.text(), text);
    QCOMPARE(CIP::routingErrorText(read.generalStatus, read.additionalStatus), text);
    QCOMPARE(error.remainingPathWords, remaining);
    QCOMPARE(int(error.extendedStatus()), int(read.additionalStatus.value(0)));
    // The reply a bridge gives for it.
    QByteArray written;
    QVERIFY(error.reply().serialize(&written));
    QCOMPARE(written.toHex(), response.toHex());
}

void tst_Bridge::routedReplyCheck_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<quint32>("session");
    QTest::addColumn<int>("fault");
    // The general status of the module's reply or, after "route", of the
    // bridge's.
    QTest::addColumn<QString>("result");

    const int none = int(ENIP::ReplyFault::None);
    QTest::newRow("module's reply") << "1,3" << hex("81000000") + "data" << 7u << none << "reply 0 64617461";
    QTest::newRow("no module") << "1,3" << hex("D20001011203") << 7u << none << "route 1 312";
    QTest::newRow("does not route") << "1,3" << hex("D2000800") << 7u << none << "route 8 ";
    QTest::newRow("no route, device's reply") << "" << hex("81000000") << 7u << none << "reply 0 ";
    QTest::newRow("no route, 0xD2") << "" << hex("D20001011203") << 7u << int(ENIP::ReplyFault::Service) << "";
    QTest::newRow("0xD2 claiming success") << "1,3" << hex("D2000000") << 7u << int(ENIP::ReplyFault::Service) << "";
    QTest::newRow("reply to another service") << "1,3" << hex("8E000000") << 7u << int(ENIP::ReplyFault::Service) << "";
    QTest::newRow("truncated, 3 bytes") << "1,3" << hex("D20001") << 7u << int(ENIP::ReplyFault::Data) << "";
    QTest::newRow("truncated, word missing")
        << "1,3" << hex("D2000102 1203") << 7u << int(ENIP::ReplyFault::Data) << "";
    QTest::newRow("another session") << "1,3" << hex("D20001011203") << 8u << int(ENIP::ReplyFault::Session) << "";
}

void tst_Bridge::routedReplyCheck()
{
    QFETCH(QString, route);
    QFETCH(QByteArray, message);
    QFETCH(quint32, session);
    QFETCH(int, fault);
    QFETCH(QString, result);

    CIP::MessageRouterResponse response;
    response.generalStatus = 0x99;
    CIP::RoutingError error;
    error.generalStatus = 0x98;
    QCOMPARE(int(ENIP::readRoutedSendRRDataReply(rrReply(message, session), 7, CIP::GetAttributesAll, routeOf(route),
                                                 &response, &error)),
             fault);
    if (fault != int(ENIP::ReplyFault::None)) {
        QCOMPARE(int(response.generalStatus), 0x99);
        QCOMPARE(int(error.generalStatus), 0x98);
        return;
    }
    QStringList words;
    for (const quint16 word : qAsConst(response.additionalStatus))
        words.append(QString::number(word, 16));
    const QString read = QStringLiteral("%1 %2 %3")
                             .arg(error.failed() ? "route" : "reply", QString::number(response.generalStatus, 16),
                                  error.failed() ? words.join(',') : QString::fromLatin1(response.data.toHex()));
    QCOMPARE(read, result);
    if (error.failed())
        QCOMPARE(int(error.generalStatus), int(response.generalStatus));
}

void tst_Bridge::portAttribute_data()
{
    QTest::addColumn<int>("attribute");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("value");

    QTest::newRow("type backplane") << 1 << hex("0100") << true << "1";
    QTest::newRow("type not configured") << 1 << hex("FFFF") << true << "ffff";
    QTest::newRow("number") << 2 << hex("0200") << true << "2";
    QTest::newRow("number 0x1234") << 2 << hex("3412") << true << "1234";
    QTest::newRow("link object") << 3
                                 << hex("0200"
                                        "20F62401")
                                 << true << "20f62401";
    QTest::newRow("link object, empty path") << 3 << hex("0000") << true << "";
    QTest::newRow("link object, 0xFFFF words") << 3
                                               << hex("FFFF"
                                                      "20F62401")
                                               << false << "";
    QTest::newRow("name") << 4 << hex("09") + "Backplane" << true << "Backplane";
    QTest::newRow("name, empty") << 4 << hex("00") << true << "";
    QTest::newRow("name of 255") << 4 << hex("FF") + QByteArray(255, 'n') << true << QString(255, 'n');
    QTest::newRow("name longer than the data") << 4 << hex("0A") + "Backplane" << false << "";
    QTest::newRow("node address, slot 2") << 7
                                          << hex("0100"
                                                 "0102")
                                          << true << "0102";
    QTest::newRow("node address, IP text") << 7
                                           << hex("0500"
                                                  "1208"
                                                  "31302E302E302E35")
                                           << true << "120831302e302e302e35";
    QTest::newRow("node range") << 8
                                << hex("0000"
                                       "1000")
                                << true << "0-16";
    QTest::newRow("node range 3 bytes") << 8 << hex("000010") << false << "";
    QTest::newRow("attribute 5 is not read") << 5 << hex("0000") << false << "";
    QTest::newRow("attribute 9 is not read") << 9 << hex("0000") << false << "";
}

void tst_Bridge::portAttribute()
{
    QFETCH(int, attribute);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, value);

    CIP::CipPortInstance port;
    QCOMPARE(port.setAttribute(quint16(attribute), bytes), ok);
    QCOMPARE(port.has(quint16(attribute)), ok);
    if (!ok)
        return;
    QCOMPARE(portText(port, quint16(attribute)), value);
    QCOMPARE(port.attributeData(quint16(attribute)).toHex(), bytes.toHex());
    // Of the wrong length, the attribute counts as not read.
    QVERIFY(!port.setAttribute(quint16(attribute), bytes + hex("00")));
    QVERIFY(!port.has(quint16(attribute)));
    for (int size = 0; size < bytes.size(); ++size) {
        CIP::CipPortInstance cut;
        QVERIFY2(!cut.setAttribute(quint16(attribute), bytes.left(size)), qPrintable(QString::number(size)));
        QVERIFY(cut.present.isEmpty());
    }
}

void tst_Bridge::portGetAttributesAll_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Where attributes 1, 2, 3, 4 and 7 end in the bytes; -1 for one the
    // reply does not hold.
    QTest::addColumn<QList<int>>("ends");
    QTest::addColumn<QString>("text");
    // The node address as a route hop; empty when it is not one.
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("canonical");

    QTest::newRow("backplane") << hex(backplaneHex) << backplaneEnds << "1:1 2:1 3: 4:Backplane 7:0102"
                               << "1,2" << true;
    QTest::newRow("Ethernet port") << hex("0400"
                                          "0200"
                                          "0200"
                                          "20F62401"
                                          "08"
                                          "45746865726E6574"
                                          "0700"
                                          "120C"
                                          "3139322E3136382E312E3130")
                                   << QList<int>{2, 4, 10, 19, 35}
                                   << "1:4 2:2 3:20f62401 4:Ethernet 7:120c3139322e3136382e312e3130"
                                   << "2,192.168.1.10" << true;
    QTest::newRow("older revision, no node address")
        << hex(backplaneHex).left(16) << QList<int>{2, 4, 6, 16, -1} << "1:1 2:1 3: 4:Backplane"
        << "" << false;
    QTest::newRow("later revision, more after the node address")
        << hex(backplaneHex) + hex("00001000") << backplaneEnds << "1:1 2:1 3: 4:Backplane 7:0102"
        << "1,2" << false;
    QTest::newRow("node address of two segments") << hex(backplaneHex).left(16)
            + hex("0200"
                  "01020103") << QList<int>{2, 4, 6, 16, 22}
                                                  << "1:1 2:1 3: 4:Backplane 7:01020103"
                                                  << "" << true;
    QTest::newRow("node address not a port segment") << hex(backplaneHex).left(16)
            + hex("0100"
                  "2401") << QList<int>{2, 4, 6, 16, 20}
                                                     << "1:1 2:1 3: 4:Backplane 7:2401"
                                                     << "" << true;
}

void tst_Bridge::portGetAttributesAll()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, ends);
    QFETCH(QString, text);
    QFETCH(QString, node);
    QFETCH(bool, canonical);

    const QList<quint16> inReply = {1, 2, 3, 4, 7};
    const int end4 = ends.at(3);
    // The whole reply, then every truncation of it: the attributes that
    // end inside the bytes are read; the read succeeds when it ends after
    // the name or after the node address.
    for (int size = bytes.size(); size >= 0; --size) {
        CIP::CipPortInstance port;
        port.present = {0x99};
        QDataStream stream(bytes.left(size));
        const bool ok = port.deserialize(stream);
        QList<quint16> expected;
        for (int i = 0; i < ends.size(); ++i) {
            if (ends.at(i) >= 0 && ends.at(i) <= size)
                expected.append(inReply.at(i));
        }
        const QString tag = QString::number(size);
        QVERIFY2(port.present == expected, qPrintable(tag));
        const bool complete = size == end4 || (ends.at(4) >= 0 && size >= ends.at(4));
        QVERIFY2(ok == complete, qPrintable(tag));
        if (size < bytes.size())
            continue;
        QCOMPARE(presentText(port), text);
        CIP::CipRouteHop hop;
        const bool found = port.nodeAddressHop(&hop);
        QCOMPARE(found ? CIP::CipRoute({hop}).toText() : QString(), node);
        if (canonical) {
            QByteArray written;
            QVERIFY(port.serialize(&written));
            QCOMPARE(written.toHex(), bytes.toHex());
        }
        // The node range is never in this reply: it is read on its own, and
        // taking it keeps what the reply gave.
        QVERIFY(port.missing().contains(CIP::CipPortInstance::NodeRange));
        QVERIFY(port.setAttribute(CIP::CipPortInstance::NodeRange, hex("00001000")));
        QCOMPARE(presentText(port), text + " 8:0-16");
    }
}

void tst_Bridge::portClass_data()
{
    QTest::addColumn<int>("attribute");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("highest instance") << 2 << hex("0200") << true << 2;
    QTest::newRow("highest instance 0x0102") << 2 << hex("0201") << true << 0x0102;
    QTest::newRow("entry port") << 8 << hex("0100") << true << 1;
    QTest::newRow("one byte") << 2 << hex("02") << false << 0;
    QTest::newRow("three bytes") << 8 << hex("010000") << false << 0;
    QTest::newRow("empty") << 8 << QByteArray() << false << 0;
    QTest::newRow("attribute 3 is not read") << 3 << hex("0200") << false << 0;
}

void tst_Bridge::portClass()
{
    QFETCH(int, attribute);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, value);

    CIP::CipPortClassAttributes values;
    // Read once well, so that a refusal shows it takes the value back.
    values.setAttribute(quint16(attribute), hex("0900"));
    QCOMPARE(values.setAttribute(quint16(attribute), bytes), ok);
    QCOMPARE(values.has(quint16(attribute)), ok);
    if (ok)
        QCOMPARE(int(attribute == CIP::CipPortClassAttributes::MaxInstance ? values.maxInstance : values.entryPort),
                 value);
}

void tst_Bridge::portTypeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");

    QTest::newRow("0") << 0 << "Ends in this device";
    QTest::newRow("1") << 1 << "Backplane";
    QTest::newRow("2") << 2 << "ControlNet";
    QTest::newRow("4") << 4 << "EtherNet/IP";
    QTest::newRow("5") << 5 << "DeviceNet";
    QTest::newRow("65535") << 65535 << "Not configured";
    QTest::newRow("7") << 7 << "Port type 7";
    QTest::newRow("65534") << 65534 << "Port type 65534";
}

void tst_Bridge::portTypeNames()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QCOMPARE(CIP::portTypeName(quint16(type)), name);
}

QTEST_APPLESS_MAIN(tst_Bridge)

#include "tst_bridge.moc"
