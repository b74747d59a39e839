// The IP settings rules without a window: what typed settings are
// accepted, what of them is written to a device given what it has, and
// where a reset device is looked for.

#include "deviceresetter.h"
#include "ipsettingscheck.h"
#include "ipsettingsrows.h"

#include <QHostAddress>
#include <QtTest>

namespace {

quint32 ipv4(const QString &text)
{
    return QHostAddress(text).toIPv4Address();
}

// "10.0.0.20/24 10.0.0.1": address, prefix, gateway; domain "plant".
CIP::CipInterfaceConfiguration configurationOf(const QString &text)
{
    CIP::CipInterfaceConfiguration c;
    const QStringList parts = text.split(QLatin1Char(' '));
    c.ipAddress = ipv4(parts.at(0).section(QLatin1Char('/'), 0, 0));
    const int prefix = parts.at(0).section(QLatin1Char('/'), 1).toInt();
    c.netmask = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
    c.gateway = ipv4(parts.value(1));
    c.domainName.text = "plant";
    return c;
}

QString attributesText(const QVector<quint16> &attributes)
{
    QStringList numbers;
    for (const quint16 attribute : attributes)
        numbers << QString::number(attribute);
    return numbers.join(QLatin1Char(' '));
}

} // namespace

class tst_IpSettings : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void toWrite_data();
    void toWrite();
    void addressAfterReset_data();
    void addressAfterReset();
};

void tst_IpSettings::check_data()
{
    ipSettingsCheckRows();
}

void tst_IpSettings::check()
{
    QFETCH(int, method);
    QFETCH(QStringList, fields);
    QFETCH(QString, problem);
    QFETCH(QString, warning);
    QFETCH(QString, settings);

    const IpSettingsInput input = ipSettingsInputOf(method, fields);
    const QVector<quint32> others = {QHostAddress("10.0.0.8").toIPv4Address()};
    const IpSettingsCheck check = checkIpSettings(input, others);
    QCOMPARE(check.firstProblem(), problem);
    QCOMPARE(check.acceptable(), problem.isEmpty());
    QCOMPARE(check.warning, warning);
    if (!settings.isEmpty()) {
        const CIP::CipInterfaceConfiguration &c = check.settings.configuration;
        QCOMPARE(QStringLiteral("%1/%2 %3 %4 %5 %6 %7")
                     .arg(QHostAddress(c.ipAddress).toString(), QHostAddress(c.netmask).toString(),
                          QHostAddress(c.gateway).toString(), QHostAddress(c.nameServer).toString(),
                          QHostAddress(c.nameServer2).toString(), c.domainName.toString(),
                          check.settings.setHostName ? QString::fromLatin1(check.settings.hostName) : "-"),
                 settings);
        QCOMPARE(int(check.settings.method), method);
    }
}

void tst_IpSettings::toWrite_data()
{
    // The device's settings as read: method (-1: not read), configuration
    // (empty: not read), host name ("-": not read).
    QTest::addColumn<int>("hasMethod");
    QTest::addColumn<QString>("hasConfiguration");
    QTest::addColumn<QString>("hasHostName");
    // The wanted ones: method (-1: keep), configuration, host name ("-":
    // not set).
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<QString>("hostName");
    // The attributes written, in order.
    QTest::addColumn<QString>("written");

    const int s = IpSettings::Static;
    const int b = IpSettings::Bootp;
    const int d = IpSettings::Dhcp;
    const int keep = IpSettings::KeepMethod;
    const QString here = "10.0.0.20/24 10.0.0.1";
    QTest::newRow("unchanged, static") << s << here << "io-7" << s << here << "io-7"
                                       << "";
    QTest::newRow("unchanged, DHCP") << d << here << "io-7" << d << ""
                                     << "io-7"
                                     << "";
    QTest::newRow("unchanged, host name not set") << s << here << "io-7" << s << here << "-"
                                                  << "";
    QTest::newRow("only the host name") << s << here << "io-7" << s << here << "io-9"
                                        << "6";
    QTest::newRow("host name in other case") << s << here << "io-7" << s << here << "IO-7"
                                             << "6";
    QTest::newRow("new address, same host name") << s << here << "io-7" << s << "10.0.0.21/24 10.0.0.1"
                                                 << "io-7"
                                                 << "3 5";
    QTest::newRow("new gateway") << s << here << "io-7" << s << "10.0.0.20/24 10.0.0.254"
                                 << "-"
                                 << "3 5";
    QTest::newRow("new prefix") << s << here << "io-7" << s << "10.0.0.20/16 10.0.0.1"
                                << "-"
                                << "3 5";
    QTest::newRow("static to DHCP") << s << here << "io-7" << d << ""
                                    << "io-7"
                                    << "3";
    QTest::newRow("DHCP to BOOTP") << d << here << "io-7" << b << ""
                                   << "-"
                                   << "3";
    // The same configuration as the device holds, but the method changes.
    QTest::newRow("DHCP to static, same configuration") << d << here << "io-7" << s << here << "io-7"
                                                        << "3 5";
    QTest::newRow("everything") << d << here << "io-7" << s << "10.0.0.30/24 10.0.0.1"
                                << "io-9"
                                << "6 3 5";
    QTest::newRow("method kept, new host name") << s << here << "io-7" << keep << ""
                                                << "io-9"
                                                << "6";
    QTest::newRow("method kept, same host name") << s << here << "io-7" << keep << ""
                                                 << "io-7"
                                                 << "";
    // What was not read counts as different.
    QTest::newRow("host name not read") << s << here << "-" << s << here << "io-7"
                                        << "6";
    QTest::newRow("method not read") << -1 << here << "io-7" << s << here << "io-7"
                                     << "3 5";
    QTest::newRow("configuration not read") << s << ""
                                            << "io-7" << s << here << "io-7"
                                            << "3 5";
    QTest::newRow("configuration not read, DHCP") << d << ""
                                                  << "io-7" << d << ""
                                                  << "io-7"
                                                  << "";
}

void tst_IpSettings::toWrite()
{
    QFETCH(int, hasMethod);
    QFETCH(QString, hasConfiguration);
    QFETCH(QString, hasHostName);
    QFETCH(int, method);
    QFETCH(QString, configuration);
    QFETCH(QString, hostName);
    QFETCH(QString, written);

    using T = CIP::CipTcpIpInterface;
    DeviceDetails current;
    current.address = QHostAddress("10.0.0.20");
    if (hasMethod >= 0) {
        // Other bits of configuration control (DNS enable) do not count.
        current.tcpip.control = quint32(hasMethod) | 0x10;
        current.tcpip.present.append(T::ConfigurationControl);
    }
    if (!hasConfiguration.isEmpty()) {
        current.tcpip.configuration = configurationOf(hasConfiguration);
        current.tcpip.present.append(T::InterfaceConfiguration);
    }
    if (hasHostName != "-") {
        current.tcpip.hostName.text = hasHostName.toLatin1();
        current.tcpip.present.append(T::HostName);
    }
    IpSettings wanted;
    wanted.method = IpSettings::Method(method);
    if (!configuration.isEmpty())
        wanted.configuration = configurationOf(configuration);
    wanted.setHostName = hostName != "-";
    wanted.hostName = wanted.setHostName ? hostName.toLatin1() : QByteArray();

    const IpSettings settings = ipSettingsToWrite(current, wanted);
    QCOMPARE(attributesText(settings.attributes()), written);
    QCOMPARE(settings.isEmpty(), written.isEmpty());
    // What is written keeps the wanted values.
    if (settings.method != IpSettings::KeepMethod) {
        QCOMPARE(int(settings.method), method);
        QVERIFY(settings.configuration == wanted.configuration);
    }
    if (settings.setHostName)
        QCOMPARE(settings.hostName, wanted.hostName);
    // The summary of changes names something exactly when there is
    // something to write.
    QCOMPARE(ipSettingsChanges(current, settings).isEmpty(), written.isEmpty());
}

void tst_IpSettings::addressAfterReset_data()
{
    // The method the device reads back (-1: not read), the address its
    // configuration holds (empty: not read).
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("expected");

    // It answered at 10.0.0.20.
    QTest::newRow("static, a new address") << int(IpSettings::Static) << "10.0.0.30"
                                           << "10.0.0.30";
    QTest::newRow("static, the same address") << int(IpSettings::Static) << "10.0.0.20"
                                              << "10.0.0.20";
    QTest::newRow("DHCP") << int(IpSettings::Dhcp) << "10.0.0.30"
                          << "10.0.0.20";
    QTest::newRow("BOOTP") << int(IpSettings::Bootp) << "10.0.0.30"
                           << "10.0.0.20";
    QTest::newRow("static, no address") << int(IpSettings::Static) << "0.0.0.0"
                                        << "10.0.0.20";
    QTest::newRow("method not read") << -1 << "10.0.0.30"
                                     << "10.0.0.20";
    QTest::newRow("configuration not read") << int(IpSettings::Static) << ""
                                            << "10.0.0.20";
}

void tst_IpSettings::addressAfterReset()
{
    QFETCH(int, method);
    QFETCH(QString, configured);
    QFETCH(QString, expected);

    using T = CIP::CipTcpIpInterface;
    DeviceDetails details;
    details.address = QHostAddress("10.0.0.20");
    if (method >= 0) {
        details.tcpip.control = quint32(method);
        details.tcpip.present.append(T::ConfigurationControl);
    }
    if (!configured.isEmpty()) {
        details.tcpip.configuration.ipAddress = ipv4(configured);
        details.tcpip.present.append(T::InterfaceConfiguration);
    }
    QCOMPARE(DeviceResetter::expectedAddress(details), QHostAddress(expected));
}

QTEST_APPLESS_MAIN(tst_IpSettings)

#include "tst_ipsettings.moc"
