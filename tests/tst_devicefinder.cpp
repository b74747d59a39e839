#include "cipnames.h"
#include "devicefinder.h"
#include "deviceprotocol.h"
#include "rigsupport.h"

#include <QDebug>
#include <QHostAddress>
#include <QSignalSpy>
#include <QtTest>

// The discovery engine without a window, in a network namespace of its own
// with only loopback: each run has nothing to send, so its round ends at
// once, and the test hands the engine the replies of each round itself.
class tst_DeviceFinder : public QObject
{
    Q_OBJECT

private slots:
    void rounds_data();
    void rounds();
    void plainFindStartsAnewWatchKeeps();
    void replyLogLines_data();
    void replyLogLines();
};

namespace {

// The identities that answer in the tables: A, B another device (a
// replaced module), a the same device as A with new firmware.
Rig::Identity identity(QChar name)
{
    Rig::Identity id;
    id.vendorId = 1;
    id.productCode = 4;
    id.serialNumber = name == QLatin1Char('B') ? 0xB0B : 0xA1A;
    id.revisionMajor = name == QLatin1Char('a') ? 2 : 1;
    id.productName = name == QLatin1Char('B') ? "Drive B" : "Drive A";
    return id;
}

const quint32 Subnet = 0xC0000200; // 192.0.2.0

// One reply: "10A" is identity A answering from 192.0.2.10, "20t" a text
// device at 192.0.2.20.
void answer(DeviceFinder &finder, const QString &token)
{
    const QHostAddress sender(Subnet + token.left(token.size() - 1).toUInt());
    const QChar kind = token.back();
    if (kind == QLatin1Char('t'))
        finder.takeReply(TextProbePort, "Marovenda unit", sender, TextProbePort, 0);
    else
        finder.takeReply(ListIdentityPort, Rig::identityReply(identity(kind), sender.toIPv4Address()), sender,
                         ListIdentityPort, 0);
}

QString eventName(DeviceFinder::Event event)
{
    return QString::fromLatin1(QMetaEnum::fromType<DeviceFinder::Event>().valueToKey(event)).toLower();
}

} // namespace

void tst_DeviceFinder::rounds_data()
{
    QTest::addColumn<QString>("rounds");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("marks");

    // rounds: the replies of each round, rounds separated by "|". events:
    // "<round> <event> <last octet>" in the order given. marks: each entry
    // at the end as "<octet>:<serial>/<revision>" and flags: o offline,
    // c conflict, h changed.
    QTest::newRow("answers every round") << "10A|10A|10A|10A" << QStringList{"1 found 10"} << "10:A1A/1";
    QTest::newRow("offline after exactly three missed rounds")
        << "10A|-|-|-|-" << QStringList{"1 found 10", "4 offline 10"} << "10:A1A/1 o";
    QTest::newRow("two missed rounds are not offline") << "10A|-|-|10A|-|-" << QStringList{"1 found 10"} << "10:A1A/1";
    QTest::newRow("back when it answers again")
        << "10A|-|-|-|10A|10A" << QStringList{"1 found 10", "4 offline 10", "5 back 10"} << "10:A1A/1";
    QTest::newRow("offline, back and offline again")
        << "10A|-|-|-|10A|-|-|-" << QStringList{"1 found 10", "4 offline 10", "5 back 10", "8 offline 10"}
        << "10:A1A/1 o";
    QTest::newRow("text device goes offline too")
        << "20t 10A|10A|10A|10A" << QStringList{"1 found 20", "1 found 10", "4 offline 20"} << "20:text o|10:A1A/1";
    QTest::newRow("new device later gets the next number")
        << "10A|10A 11B|-" << QStringList{"1 found 10", "2 found 11"} << "10:A1A/1|11:B0B/1";
    QTest::newRow("replaced module is changed, not a conflict")
        << "10A|10B|10B" << QStringList{"1 found 10", "2 changed 10"} << "10:B0B/1 h";
    QTest::newRow("new firmware is changed") << "10A|10a" << QStringList{"1 found 10", "2 changed 10"} << "10:A1A/2 h";
    QTest::newRow("two identities in one round are a conflict")
        << "10A 10B|10A 10B" << QStringList{"1 found 10", "1 conflict 10"} << "10:A1A/1 c";
    QTest::newRow("conflict clears after three rounds with one identity")
        << "10A 10B|10A|10A|10A" << QStringList{"1 found 10", "1 conflict 10"} << "10:A1A/1";
    QTest::newRow("two quiet rounds keep the conflict")
        << "10A 10B|10A|10A|10A 10B|10A|10A" << QStringList{"1 found 10", "1 conflict 10"} << "10:A1A/1 c";
    QTest::newRow("conflict left by the other identity is a change")
        << "10A 10B|10B|10B|10B" << QStringList{"1 found 10", "1 conflict 10", "4 changed 10"} << "10:B0B/1 h";
    QTest::newRow("text device's conflict clears too")
        << "20t 20A 20B|20t 20B|20t 20B|20t 20B" << QStringList{"1 found 20", "1 conflict 20"} << "20:text";
    QTest::newRow("silent rounds neither clear nor keep a conflict")
        << "10A 10B|10A|-|10A|10A" << QStringList{"1 found 10", "1 conflict 10"} << "10:A1A/1";
}

void tst_DeviceFinder::rounds()
{
    QFETCH(QString, rounds);
    QFETCH(QStringList, events);
    QFETCH(QString, marks);

    DeviceFinder finder;
    qint64 clock = 1000000;
    finder.setClock([&clock]() { return clock; });
    int round = 0;
    QStringList seen;
    connect(&finder, &DeviceFinder::deviceEvent, this, [&](DeviceFinder::Event event, int index) {
        seen.append(
            QStringLiteral("%1 %2 %3").arg(round).arg(eventName(event)).arg(finder.record(index).address & 0xFF));
    });
    // The first round has nothing to send and is over at once.
    finder.setWatching(true);
    QVERIFY(finder.isWatching());
    QVERIFY(!finder.probesSentOk());

    for (const QString &replies : rounds.split(QLatin1Char('|'))) {
        ++round;
        clock += 5000;
        for (const QString &token : replies.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (token != QLatin1String("-"))
                answer(finder, token);
        }
        // The next round ends this one.
        finder.find();
    }
    QCOMPARE(seen, events);

    QStringList entries;
    int offline = 0;
    int conflicts = 0;
    for (const DeviceRecord &record : finder.devices()) {
        QString entry = QString::number(record.address & 0xFF) + QLatin1Char(':');
        if (record.protocol == DeviceProtocol::Text)
            entry += QLatin1String("text");
        else
            entry += CIP::serialNumberText(record.identity().identity.serialNumber) + QLatin1Char('/')
                + QString::number(record.identity().identity.revisionMajor);
        QString flags;
        if (record.offline)
            flags += QLatin1Char('o');
        if (record.hasConflict())
            flags += QLatin1Char('c');
        if (record.changedAt > 0)
            flags += QLatin1Char('h');
        if (!flags.isEmpty())
            entry += QLatin1Char(' ') + flags;
        entries.append(entry);
        offline += record.offline ? 1 : 0;
        conflicts += record.hasConflict() ? 1 : 0;
        // The line shows the identity the entry has now, under its number.
        if (record.protocol == DeviceProtocol::ListIdentity)
            QVERIFY2(record.line().contains(CIP::serialNumberText(record.identity().identity.serialNumber)),
                     qPrintable(record.line()));
    }
    QCOMPARE(entries.join(QLatin1Char('|')), marks);
    QCOMPARE(finder.offline(), offline);
    QCOMPARE(finder.conflicts(), conflicts);
    QString count = QStringLiteral("Watching: %1 device(s) online").arg(finder.count() - offline);
    if (offline > 0)
        count += QStringLiteral(", %1 offline").arg(offline);
    if (conflicts > 0)
        count += QStringLiteral(", %1 with an IP address conflict").arg(conflicts);
    QCOMPARE(finder.countText(), count);
}

void tst_DeviceFinder::plainFindStartsAnewWatchKeeps()
{
    DeviceFinder finder;
    QSignalSpy cleared(&finder, &DeviceFinder::listCleared);
    QSignalSpy listed(&finder, &DeviceFinder::devicesListed);

    // Without watch mode each run starts a new list, numbered from 1.
    finder.find();
    answer(finder, "10A");
    answer(finder, "10A");
    answer(finder, "11B");
    QCOMPARE(finder.count(), 2);
    QCOMPARE(listed.size(), 2);
    QCOMPARE(finder.countText(), QString("Found 2 device(s)"));
    finder.find();
    QCOMPARE(cleared.size(), 2);
    QCOMPARE(finder.count(), 0);
    answer(finder, "11B");
    QCOMPARE(finder.record(0).number, 1u);

    // Watch on: a new list; Find while watching keeps it.
    finder.setWatching(true);
    QCOMPARE(cleared.size(), 3);
    answer(finder, "10A");
    finder.find();
    answer(finder, "11B");
    finder.find();
    QCOMPARE(cleared.size(), 3);
    QCOMPARE(finder.count(), 2);
    QCOMPARE(finder.record(1).number, 2u);

    // Watch off keeps the list as it stands, and stops the rounds.
    finder.setWatching(false);
    QCOMPARE(finder.count(), 2);
    QCOMPARE(cleared.size(), 3);
    QCOMPARE(finder.countText(), QString("Found 2 device(s)"));
    finder.find();
    QCOMPARE(finder.count(), 0);
}

QTEST_GUILESS_MAIN(tst_DeviceFinder)
#include "tst_devicefinder.moc"

void tst_DeviceFinder::replyLogLines_data()
{
    QTest::addColumn<QByteArray>("productName");
    QTest::addColumn<quint32>("sockaddrIp");
    QTest::newRow("plain") << QByteArray("Drive A") << 0u;
    QTest::newRow("quote") << QByteArray("Say \"hi\"") << 0xC000020Au;
    QTest::newRow("backslash") << QByteArray("Unit\\2") << 0u;
    QTest::newRow("tab and control character") << QByteArray("tab\there\x01") << 0xFFFFFFFFu;
    QTest::newRow("hex digit after an escape") << QByteArray("\x7f"
                                                             "AB")
                                               << 0x0A000001u;
    QTest::newRow("beyond ASCII") << QByteArray("Caf\xc3\xa9 \xe9") << 0u;
    QTest::newRow("empty") << QByteArray() << 0u;
}

void tst_DeviceFinder::replyLogLines()
{
    // The reader's lines of a reply read as `qDebug() << ...` writes its
    // fields, whatever the product name holds.
    QFETCH(QByteArray, productName);
    QFETCH(quint32, sockaddrIp);
    Rig::LogCapture capture;
    DeviceFinder finder;
    finder.find();
    Rig::Identity id = identity(QLatin1Char('A'));
    id.productName = productName;
    finder.takeReply(ListIdentityPort, Rig::identityReply(id, sockaddrIp), QHostAddress(Subnet + 10), ListIdentityPort,
                     0);
    QCOMPARE(finder.count(), 1);

    const ENIP::ListIdentityItem &item = finder.record(0).identity();
    const CIP::CipSockaddr &sockaddr = item.sockaddr;
    QStringList expected{QString(), QString(), QString(), QString(), QString()};
    const char *const reader = "MainWindow::readyRead_opener";
    QDebug(&expected[0]) << reader << ":"
                         << "Item: Type =" << item.typeId;
    QDebug(&expected[1]) << reader << ":"
                         << "Identity item: Encap. protocol ver. = " << item.encapVersion;
    QDebug(&expected[2])
        << reader << ":"
        << "Identity item: Sockaddr: family =" << sockaddr.sinFamily << ", port =" << sockaddr.sinPort
        << ", addr =" << QHostAddress(sockaddr.sinAddr).toString() << ", zero ="
        << QByteArray(reinterpret_cast<const char *>(sockaddr.sinZero), sizeof sockaddr.sinZero).toHex(' ');
    QDebug(&expected[3]) << reader << ":"
                         << "Identity item: Identity object: Product name =" << item.identity.productName.toString();
    QDebug(&expected[4]) << reader << ":"
                         << "Device added to the list (Opener)";
    // QDebug writing to a string leaves the space after its last item.
    for (QString &line : expected)
        line.chop(1);
    QCOMPARE(Rig::LogCapture::linesStartingWith(QString::fromLatin1(reader)), expected);
}
