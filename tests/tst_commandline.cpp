#include "addressassignment.h"
#include "commandline.h"
#include "deviceexport.h"
#include "devicefinder.h"
#include "deviceplace.h"
#include "deviceprotocol.h"
#include "devicerecord.h"
#include "ipsettingscheck.h"
#include "listidentityreply.h"
#include "rigsupport.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

// The command line without an application object: its parse tables, and
// the lines its modes print.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void eventLines();
};

namespace {

// A record as the finder makes it from a ListIdentity reply of vendor 1,
// product code 4, serial number A1A, revision 1.0.
DeviceRecord identityRecord(quint32 number, quint32 address, const QByteArray &name)
{
    Rig::Identity id;
    id.vendorId = 1;
    id.productCode = 4;
    id.serialNumber = 0xA1A;
    id.revisionMajor = 1;
    id.productName = name;
    ENIP::ListIdentityReply reply;
    reply.deserialize(Rig::identityReply(id, address));
    return DeviceRecord::listIdentityDevice(number, address, ListIdentityPort, reply.items.value(0), 0);
}

} // namespace

void tst_CommandLine::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<QString>("error");
    // --address-server: "for ms; MAC=IP/PREFIX,GATEWAY ..." as parsed;
    // --details and --set-ip: the address, and for --set-ip what is to be
    // written.
    QTest::addColumn<QString>("told");

    const int text = int(ExportFormat::Text);
    const int csv = int(ExportFormat::Csv);
    const int json = int(ExportFormat::Json);
    const auto row = [](const char *tag, const QStringList &arguments) -> QTestData & {
        return QTest::newRow(tag) << QStringList{"NodeSpotter"} + arguments;
    };
    row("no options", {}) << int(CommandLine::Window) << text << 3000 << QString() << QString();
    row("Qt's options only", {"-platform", "offscreen", "-style=fusion", "--reverse"})
        << int(CommandLine::Window) << text << 3000 << QString() << QString();
    row("an argument without options", {"file.txt"})
        << int(CommandLine::Window) << text << 3000 << QString() << QString();
    row("--list", {"--list"}) << int(CommandLine::List) << text << 3000 << QString() << QString();
    row("Qt's options with --list", {"-style", "fusion", "--list", "-platform", "minimal"})
        << int(CommandLine::List) << text << 3000 << QString() << QString();
    row("csv, wait", {"--list", "--format", "csv", "--wait", "500"})
        << int(CommandLine::List) << csv << 500 << QString() << QString();
    row("json, wait 0, = forms", {"--wait=0", "--format=json", "--list"})
        << int(CommandLine::List) << json << 0 << QString() << QString();
    row("explicit text", {"--list", "--format", "text"})
        << int(CommandLine::List) << text << 3000 << QString() << QString();
    row("--help", {"--help"}) << int(CommandLine::Help) << text << 3000 << QString() << QString();
    row("-h after --list", {"--list", "-h"}) << int(CommandLine::Help) << text << 3000 << QString() << QString();
    row("--version", {"--version"}) << int(CommandLine::Version) << text << 3000 << QString() << QString();
    row("-v", {"-v"}) << int(CommandLine::Version) << text << 3000 << QString() << QString();

    const int usage = int(CommandLine::UsageError);
    row("unknown option", {"--bogus"}) << usage << text << 3000 << "Unknown option 'bogus'." << QString();
    row("unknown option with --list", {"--list", "-x"}) << usage << text << 3000 << "Unknown option 'x'." << QString();
    row("format without value", {"--list", "--format"})
        << usage << text << 3000 << "Missing value after '--format'." << QString();
    row("unknown format", {"--list", "--format", "xml"})
        << usage << text << 3000 << "Unknown format \"xml\": use text, csv or json." << QString();
    row("format in capitals", {"--list", "--format", "CSV"})
        << usage << text << 3000 << "Unknown format \"CSV\": use text, csv or json." << QString();
    for (const char *wait : {"-1", "soon", "", "+5", " 5", "1.5", "99999999999"})
        QTest::addRow("--wait \"%s\"", wait)
            << QStringList{"NodeSpotter", "--list", "--wait", wait} << usage << text << 3000
            << QStringLiteral("Bad value \"%1\" for --wait: give milliseconds, 0 or more.").arg(wait) << QString();
    row("--wait without --list", {"--wait", "10"})
        << usage << text << 3000 << "--format and --wait go with --list." << QString();
    row("--format without --list", {"--format", "csv"})
        << usage << text << 3000 << "--format and --wait go with --list." << QString();
    row("argument with --list", {"--list", "extra"})
        << usage << text << 3000 << "Unexpected argument \"extra\"." << QString();

    const int serve = int(CommandLine::AddressServer);
    row("--address-server alone", {"--address-server"}) << serve << text << 3000 << QString() << "0;";
    row("--address-server, assignments, json, for",
        {"--address-server", "--assign", "00:1d:9c:c7:b0:70=192.168.1.20/24,192.168.1.1",
         "--assign=02-AA-00-00-00-01=10.0.0.5/8", "--for", "2.5", "--format", "json"})
        << serve << json << 3000 << QString()
        << "2500; 00:1D:9C:C7:B0:70=192.168.1.20/24,192.168.1.1 02:AA:00:00:00:01=10.0.0.5/8,0.0.0.0";
    static QTemporaryDir csvDir;
    const QString goodCsv = csvDir.filePath("assignments.csv");
    const QString badCsv = csvDir.filePath("bad.csv");
    QFile file(goodCsv);
    file.open(QIODevice::WriteOnly);
    file.write("mac_address,ip_address,prefix,gateway,dns,host_name\r\n02:aa:00:00:00:02,10.1.2.3,16,,,press-2\r\n");
    file.close();
    QFile bad(badCsv);
    bad.open(QIODevice::WriteOnly);
    bad.write("mac_address,ip_address,prefix,gateway,dns,host_name\n02:aa:00:00:00:02,10.1.2.3,16,,,\n\n02:aa:00:00:00:"
              "03,10.1.2,16,,,\n");
    bad.close();
    // Decimal as typed, not octal.
    row("--assign with leading zeros",
        {"--address-server", "--assign", "02:aa:00:00:00:01=010.000.000.010/8,010.0.0.1"})
        << serve << text << 3000 << QString() << "0; 02:AA:00:00:00:01=10.0.0.10/8,10.0.0.1";
    row("--assignments after --assign",
        {"--address-server", "--assignments", goodCsv, "--assign", "02:aa:00:00:00:01=10.1.2.4/16"})
        << serve << text << 3000 << QString()
        << "0; 02:AA:00:00:00:01=10.1.2.4/16,0.0.0.0 02:AA:00:00:00:02=10.1.2.3/16,0.0.0.0";
    row("--address-server with csv", {"--address-server", "--format", "csv"})
        << usage << text << 3000 << "--address-server prints text or json, not csv." << QString();
    row("--address-server and --watch", {"--address-server", "--watch"})
        << usage << text << 3000 << "--list, --watch and --address-server do not go together." << QString();
    row("--assign without --address-server", {"--assign", "02:aa:00:00:00:01=10.0.0.5/8"})
        << usage << text << 3000 << "--assign and --assignments go with --address-server." << QString();
    row("--wait with --address-server", {"--address-server", "--wait", "5"})
        << usage << text << 3000 << "--wait and --interval do not go with --address-server." << QString();
    row("--for 0", {"--address-server", "--for", "0"})
        << usage << text << 3000 << "Bad value \"0\" for --for: give seconds, more than 0." << QString();
    const char *const badAssigns[][2] = {
        {"02:aa:00:00:00:01",
         "Bad value \"02:aa:00:00:00:01\" for --assign: give MAC=IP/PREFIX or MAC=IP/PREFIX,GATEWAY."},
        {"02:aa:00:00:00:01=10.0.0.5",
         "Bad value \"02:aa:00:00:00:01=10.0.0.5\" for --assign: give MAC=IP/PREFIX or MAC=IP/PREFIX,GATEWAY."},
        {"02:aa:00:00:00=10.0.0.5/8", "Bad MAC address \"02:aa:00:00:00\" in --assign."},
        {"02:aa:00:00:00:01=10.0.5/8", "Bad IPv4 address \"10.0.5\" in --assign."},
        {"02:aa:00:00:00:01=::1/8", "Bad IPv4 address \"::1\" in --assign."},
        {"02:aa:00:00:00:01=0x0a.0.0.5/8", "Bad IPv4 address \"0x0a.0.0.5\" in --assign."},
        {"02:aa:00:00:00:01=10.0.0.5/8,0x0a.0.0.1", "Bad gateway \"0x0a.0.0.1\" in --assign."},
        {"02:aa:00:00:00:01=10.0.0.5/31", "Bad prefix length \"31\" in --assign: give 1 to 30."},
        {"02:aa:00:00:00:01=10.0.0.5/0", "Bad prefix length \"0\" in --assign: give 1 to 30."},
        {"02:aa:00:00:00:01=10.0.0.5/8,gw", "Bad gateway \"gw\" in --assign."},
    };
    for (const auto &bad : badAssigns)
        QTest::addRow("--assign %s", bad[0]) << QStringList{"NodeSpotter", "--address-server", "--assign", bad[0]}
                                             << usage << text << 3000 << QString::fromLatin1(bad[1]) << QString();
    row("one MAC twice",
        {"--address-server", "--assign", "02:aa:00:00:00:01=10.0.0.5/8", "--assign", "02-AA-00-00-00-01=10.0.0.6/8"})
        << usage << text << 3000 << "02:AA:00:00:00:01 is assigned twice." << QString();
    row("one address twice",
        {"--address-server", "--assign", "02:aa:00:00:00:01=10.0.0.5/8", "--assign", "02:aa:00:00:00:02=10.0.0.5/8"})
        << usage << text << 3000 << "10.0.0.5 is assigned to both 02:AA:00:00:00:01 and 02:AA:00:00:00:02."
        << QString();
    row("malformed CSV row", {"--address-server", "--assignments", badCsv})
        << usage << text << 3000 << badCsv + ": Line 4: " << QString();
    row("missing CSV", {"--address-server", "--assignments", csvDir.filePath("none.csv")})
        << usage << text << 3000 << "Cannot read " + csvDir.filePath("none.csv") << QString();
    // Talking to one device.
    const int details = int(CommandLine::Details);
    const int setIp = int(CommandLine::SetIp);
    row("--details", {"--details", "10.0.0.7"}) << details << text << 3000 << QString() << "10.0.0.7";
    row("--details json", {"--details=10.0.0.7", "--format", "json"})
        << details << json << 3000 << QString() << "10.0.0.7";
    row("--details csv", {"--details", "10.0.0.7", "--format", "csv"})
        << usage << text << 3000 << "--details prints text or json, not \"csv\"." << QString();
    row("--details, bad address", {"--details", "10.0.0"})
        << usage << text << 3000 << "Bad address \"10.0.0\": give a device's IPv4 address, as 192.168.1.10."
        << QString();
    row("--details, name", {"--details", "plc.local"})
        << usage << text << 3000 << "Bad address \"plc.local\": give a device's IPv4 address, as 192.168.1.10."
        << QString();
    row("--details with --list", {"--list", "--details", "10.0.0.7"})
        << usage << text << 3000 << "--details does not go with --list, --watch or --address-server." << QString();
    row("--details with --set-ip", {"--details", "10.0.0.7", "--set-ip", "10.0.0.7"})
        << usage << text << 3000 << "--details, --modules and --set-ip do not go together." << QString();
    row("--details with --yes", {"--details", "10.0.0.7", "--yes"})
        << usage << text << 3000 << "--yes goes with --set-ip and --request." << QString();
    // --modules, and --route: told is the address and the route as parsed.
    const int modules = int(CommandLine::Modules);
    row("--modules", {"--modules", "10.0.0.7"}) << modules << text << 3000 << QString() << "10.0.0.7";
    row("--modules csv", {"--modules=10.0.0.7", "--format", "csv"})
        << modules << csv << 3000 << QString() << "10.0.0.7";
    row("--modules json", {"--format", "json", "--modules", "10.0.0.7"})
        << modules << json << 3000 << QString() << "10.0.0.7";
    row("--modules xml", {"--modules", "10.0.0.7", "--format", "xml"})
        << usage << text << 3000 << "--modules prints text, csv or json, not \"xml\"." << QString();
    row("--modules, broadcast address", {"--modules", "255.255.255.255"})
        << usage << text << 3000 << "Bad address \"255.255.255.255\": give a device's IPv4 address, as 192.168.1.10."
        << QString();
    row("--modules with --details", {"--modules", "10.0.0.7", "--details", "10.0.0.7"})
        << usage << text << 3000 << "--details, --modules and --set-ip do not go together." << QString();
    row("--modules with --wait", {"--modules", "10.0.0.7", "--wait", "5"})
        << usage << text << 3000 << "--wait, --interval and --for do not go with --modules." << QString();
    row("--modules with --hostname", {"--modules", "10.0.0.7", "--hostname", "io-7"})
        << usage << text << 3000 << "--hostname goes with --set-ip." << QString();
    row("--details --route", {"--details", "10.0.0.7", "--route", "1,3"})
        << details << text << 3000 << QString() << "10.0.0.7 route 1,3";
    row("--details --route, two hops, json", {"--details", "10.0.0.7", "--route", "1,2,2,10.1.2.3", "--format", "json"})
        << details << json << 3000 << QString() << "10.0.0.7 route 1,2,2,10.1.2.3";
    row("--route with --set-ip", {"--set-ip", "10.0.0.7", "--dhcp", "--route", "1,3"})
        << usage << text << 3000 << "--route goes with --details, not with --set-ip." << QString();
    row("--route with --modules", {"--modules", "10.0.0.7", "--route", "1,3"})
        << usage << text << 3000 << "--route goes with --details, not with --modules." << QString();
    row("--route alone", {"--route", "1,3"})
        << usage << text << 3000 << "--route goes with --details and --request." << QString();
    row("--route with --list", {"--list", "--route", "1,3"})
        << usage << text << 3000 << "--route goes with --details and --request." << QString();
    for (const char *route : {"1", "1,", "0,3", "1,256", "1,3,2"})
        QTest::addRow("--route \"%s\"", route)
            << QStringList{"NodeSpotter", "--details", "10.0.0.7", "--route", route} << usage << text << 3000
            << QStringLiteral("Bad route \"%1\": ").arg(route) << QString();
    row("--set-ip static", {"--set-ip", "10.0.0.7", "--static", "10.0.0.20/24", "--gateway", "10.0.0.1"})
        << setIp << text << 3000 << QString()
        << "10.0.0.7 static 10.0.0.20/255.255.255.0 gw 10.0.0.1 keep dns keep domain";
    row("--set-ip all of it",
        {"--set-ip", "10.0.0.7", "--static", "10.0.0.20/255.255.0.0", "--dns", "10.0.0.2,10.0.0.3", "--domain", "plant",
         "--hostname", "io-7", "--reset", "--yes"})
        << setIp << text << 3000 << QString()
        << "10.0.0.7 static 10.0.0.20/255.255.0.0 gw 0.0.0.0 dns 10.0.0.2 10.0.0.3 domain plant host io-7 reset yes";
    row("--set-ip dhcp", {"--set-ip", "10.0.0.7", "--dhcp"}) << setIp << text << 3000 << QString() << "10.0.0.7 dhcp";
    row("--set-ip bootp, host name", {"--set-ip", "10.0.0.7", "--bootp", "--hostname", "io-8", "--yes"})
        << setIp << text << 3000 << QString() << "10.0.0.7 bootp host io-8 yes";
    row("--set-ip host name only", {"--set-ip", "10.0.0.7", "--hostname", ""})
        << setIp << text << 3000 << QString() << "10.0.0.7 keep host ";
    row("--set-ip alone", {"--set-ip", "10.0.0.7"})
        << usage << text << 3000 << "--set-ip needs --static, --bootp, --dhcp or --hostname." << QString();
    row("--set-ip two methods", {"--set-ip", "10.0.0.7", "--dhcp", "--bootp"})
        << usage << text << 3000 << "Give only one of --static, --bootp and --dhcp." << QString();
    row("--gateway without --static", {"--set-ip", "10.0.0.7", "--dhcp", "--gateway", "10.0.0.1"})
        << usage << text << 3000 << "--gateway, --dns and --domain go with --static." << QString();
    row("--static without prefix", {"--set-ip", "10.0.0.7", "--static", "10.0.0.20"})
        << usage << text << 3000 << "Bad value \"10.0.0.20\" for --static: give IP/PREFIX, as 192.168.1.10/24."
        << QString();
    row("--static network address", {"--set-ip", "10.0.0.7", "--static", "10.0.0.0/24"})
        << usage << text << 3000 << "10.0.0.0 is the network address of 10.0.0.0/24." << QString();
    row("--static gateway outside", {"--set-ip", "10.0.0.7", "--static", "10.0.0.20/24", "--gateway", "10.0.1.1"})
        << usage << text << 3000 << "The gateway 10.0.1.1 is outside the subnet 10.0.0.0/24." << QString();
    row("--dns three", {"--set-ip", "10.0.0.7", "--static", "10.0.0.20/24", "--dns", "1.1.1.1,2.2.2.2,3.3.3.3"})
        << usage << text << 3000 << "--dns takes at most two name servers." << QString();
    row("--dns bad", {"--set-ip", "10.0.0.7", "--static", "10.0.0.20/24", "--dns", "1.1.1,2.2.2.2"})
        << usage << text << 3000 << "\"1.1.1\" is not an IPv4 address." << QString();
    row("--set-ip with --format", {"--set-ip", "10.0.0.7", "--dhcp", "--format", "json"})
        << usage << text << 3000 << "--format does not go with --set-ip." << QString();
    row("--static without --set-ip", {"--static", "10.0.0.20/24"})
        << usage << text << 3000 << "--static goes with --set-ip." << QString();
    row("--reset with --list", {"--list", "--reset"})
        << usage << text << 3000 << "--reset goes with --set-ip." << QString();

    // --request: told is "ADDRESS route ROUTE: REQUEST BYTES [yes]", as
    // parsed.
    const int request = int(CommandLine::Request);
    const QString ip = "10.0.0.7";
    row("--request by name", {"--request", ip, "Get_Attribute_Single", "0xF5", "1", "6"})
        << request << text << 3000 << QString() << "10.0.0.7 route : 0e 03 20 f5 24 01 30 06";
    row("--request by number, hex and decimal", {"--request", ip, "14", "245", "0x01", "0x06", "--format", "json"})
        << request << json << 3000 << QString() << "10.0.0.7 route : 0e 03 20 f5 24 01 30 06";
    row("--request vendor class, 32-bit instance, data, route, yes",
        {"--request", ip, "0x4C", "0x300", "0x12345678", "--data", "01 0a", "--route", "1,3", "--yes"})
        << request << text << 3000 << QString() << "10.0.0.7 route 1,3: 4c 05 21 00 00 03 26 00 78 56 34 12 01 0a yes";
    row("--request Get_Attributes_All with an attribute", {"--request", ip, "get_attributes_all", "1", "1", "7"})
        << request << text << 3000 << QString() << "10.0.0.7 route : 01 03 20 01 24 01 30 07";
    row("--request Reset with data", {"--request", ip, "Reset", "1", "1", "--data=01", "--yes"})
        << request << text << 3000 << QString() << "10.0.0.7 route : 05 02 20 01 24 01 01 yes";
    row("--request without an attribute", {"--request", ip, "Set_Attribute_Single", "0xF5", "1", "--data", "00"})
        << usage << text << 3000 << "The service 0x10 Set_Attribute_Single needs an attribute." << QString();
    row("--request class over 0xFFFF", {"--request", ip, "1", "0x10000", "1"})
        << usage << text << 3000 << "The class must be at most 0xFFFF (65535)." << QString();
    row("--request attribute over 0xFFFF", {"--request", ip, "0x0E", "1", "1", "65536"})
        << usage << text << 3000 << "The attribute must be at most 0xFFFF (65535)." << QString();
    row("--request instance not a number", {"--request", ip, "1", "1", "1.5"})
        << usage << text << 3000 << "The instance must be a decimal number or a hexadecimal one with 0x in front."
        << QString();
    row("--request service 0x80", {"--request", ip, "0x80", "1", "1"})
        << usage << text << 3000 << "The service must be one of the names offered or a number from 0x00 to 0x7F."
        << QString();
    row("--request odd data", {"--request", ip, "0x10", "1", "1", "1", "--data", "abc"})
        << usage << text << 3000 << "The data must be pairs of hexadecimal digits, such as 01 02 0a." << QString();
    row("--request too much data", {"--request", ip, "0x10", "1", "1", "1", "--data", QString(8200, 'a')})
        << usage << text << 3000 << "The request is too large: with its framing it must fit in 4096 bytes."
        << QString();
    row("--request, instance missing", {"--request", ip, "1", "1"})
        << usage << text << 3000
        << "--request needs SERVICE, CLASS and INSTANCE after the address, and ATTRIBUTE where the service takes "
           "one."
        << QString();
    row("--request, one field too many", {"--request", ip, "0x0E", "1", "1", "7", "8"})
        << usage << text << 3000 << "Unexpected argument \"8\"." << QString();
    row("--request, bad address", {"--request", "10.0.0", "1", "1", "1"})
        << usage << text << 3000 << "Bad address \"10.0.0\": give a device's IPv4 address, as 192.168.1.10."
        << QString();
    row("--request, bad route", {"--request", ip, "1", "1", "1", "--route", "1"})
        << usage << text << 3000 << "Bad route \"1\": " << QString();
    row("--request csv", {"--request", ip, "1", "1", "1", "--format", "csv"})
        << usage << text << 3000 << "--request prints text or json, not \"csv\"." << QString();
    row("--request with --details", {"--request", ip, "1", "1", "1", "--details", ip})
        << usage << text << 3000 << "--request does not go with --details." << QString();
    row("--request with --wait", {"--request", ip, "1", "1", "1", "--wait", "100"})
        << usage << text << 3000 << "--wait does not go with --request." << QString();
    row("--request with --reset", {"--request", ip, "1", "1", "1", "--reset"})
        << usage << text << 3000 << "--reset goes with --set-ip." << QString();
    row("--data without --request", {"--details", ip, "--data", "00"})
        << usage << text << 3000 << "--data goes with --request." << QString();
    row("--route alone", {"--route", "1,3"})
        << usage << text << 3000 << "--route goes with --details and --request." << QString();

    // --inventory: told is "save FILE FORMAT; compare N", as parsed.
    const int inventory = int(CommandLine::InventoryMode);
    const QString savedJson = csvDir.filePath("saved.json");
    QFile saved(savedJson);
    saved.open(QIODevice::WriteOnly);
    saved.write("\xEF\xBB\xBF{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": \"10.0.0.5\"}, "
                "{\"address\": \"10.0.0.6\"}]}");
    saved.close();
    const QString brokenJson = csvDir.filePath("broken.json");
    QFile broken(brokenJson);
    broken.open(QIODevice::WriteOnly);
    broken.write("{\"devices\": [{\"address\": ");
    broken.close();
    row("--inventory", {"--inventory"}) << inventory << text << 3000 << QString() << "save  ; compare -";
    row("--inventory csv, wait, save json", {"--inventory", "--format", "csv", "--wait", "800", "--save", "today.JSON"})
        << inventory << csv << 800 << QString() << "save today.JSON json; compare -";
    row("--inventory --compare, --save csv", {"--inventory", "--compare", savedJson, "--save=plant.csv"})
        << inventory << text << 3000 << QString() << "save plant.csv csv; compare 2";
    row("--save of another name", {"--inventory", "--save", "plant.txt"})
        << usage << text << 3000 << "--save writes a file whose name ends with .json or .csv, not \"plant.txt\"."
        << QString();
    row("--save without a name's ending", {"--inventory", "--save", "json"})
        << usage << text << 3000 << "--save writes a file whose name ends with .json or .csv, not \"json\"."
        << QString();
    row("--compare with a broken file", {"--inventory", "--compare", brokenJson})
        << usage << text << 3000 << brokenJson + ": " << QString();
    row("--compare with no file", {"--inventory", "--compare", csvDir.filePath("none.json")})
        << usage << text << 3000 << "Cannot read " << QString();
    row("--compare without --inventory", {"--list", "--compare", savedJson})
        << usage << text << 3000 << "--save and --compare go with --inventory." << QString();
    row("--save without --inventory", {"--save", "a.json"})
        << usage << text << 3000 << "--save and --compare go with --inventory." << QString();
    row("--inventory with --watch", {"--inventory", "--watch"})
        << usage << text << 3000 << "--watch does not go with --inventory." << QString();
    row("--inventory with --details", {"--details", "10.0.0.7", "--inventory"})
        << usage << text << 3000 << "--details does not go with --inventory." << QString();
    row("--inventory with --interval", {"--inventory", "--interval", "5"})
        << usage << text << 3000 << "--interval does not go with --inventory." << QString();
    row("--inventory unknown format", {"--inventory", "--format", "xml"})
        << usage << text << 3000 << "Unknown format \"xml\": use text, csv or json." << QString();
    row("--inventory bad wait", {"--inventory", "--wait", "-5"})
        << usage << text << 3000 << "Bad value \"-5\" for --wait: give milliseconds, 0 or more." << QString();
    row("--inventory with an argument", {"--inventory", "extra"})
        << usage << text << 3000 << "Unexpected argument \"extra\"." << QString();
}

void tst_CommandLine::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, mode);
    QFETCH(int, format);
    QFETCH(int, waitMs);
    QFETCH(QString, error);
    QFETCH(QString, told);

    const CommandLine parsed = CommandLine::parse(arguments);
    // A file's error goes on with the reason the file gives.
    if (error.endsWith(": ") || error.startsWith("Cannot read ") || error.startsWith("Bad route "))
        QVERIFY2(parsed.error.startsWith(error), qPrintable(parsed.error));
    else
        QCOMPARE(parsed.error, error);
    QCOMPARE(int(parsed.mode), mode);
    if (mode == CommandLine::List || mode == CommandLine::Details || mode == CommandLine::Modules
        || mode == CommandLine::InventoryMode) {
        QCOMPARE(int(parsed.format), format);
        QCOMPARE(parsed.waitMs, waitMs);
    }
    if (mode == CommandLine::AddressServer) {
        QCOMPARE(int(parsed.format), format);
        QStringList assignments{QString::number(parsed.forMs) + ';'};
        for (const AddressAssignment &a : parsed.assignments)
            assignments.append(QStringLiteral("%1=%2/%3,%4")
                                   .arg(AddressAssignments::macText(a.mac), QHostAddress(a.address).toString())
                                   .arg(a.prefixLength)
                                   .arg(QHostAddress(a.gateway).toString()));
        QCOMPARE(assignments.join(' '), told);
        return;
    }
    if (mode == CommandLine::InventoryMode) {
        const char *const formats[] = {"text", "json", "csv"};
        QCOMPARE(QStringLiteral("save %1 %2; compare %3")
                     .arg(parsed.saveFile,
                          parsed.saveFile.isEmpty() ? QString() : QString::fromLatin1(formats[int(parsed.saveFormat)]),
                          parsed.compare ? QString::number(parsed.saved.devices.size()) : QStringLiteral("-")),
                 told);
        return;
    }
    if (mode == CommandLine::Request) {
        QCOMPARE(int(parsed.format), format);
        QCOMPARE(QStringLiteral("%1 route %2: %3%4")
                     .arg(parsed.deviceAddress, parsed.route.toText(),
                          QString::fromLatin1(parsed.request.bytes().toHex(' ')),
                          parsed.yes ? QStringLiteral(" yes") : QString()),
                 told);
        return;
    }
    if (mode != CommandLine::Details && mode != CommandLine::SetIp && mode != CommandLine::Modules) {
        QCOMPARE(told, QString());
        return;
    }
    QString device = parsed.deviceAddress;
    if (!parsed.route.isEmpty())
        device += " route " + parsed.route.toText();
    if (mode == CommandLine::SetIp) {
        const IpSettingsCheck check = checkIpSettings(parsed.ipInput);
        QVERIFY(check.acceptable());
        const IpSettings &settings = check.settings;
        const CIP::CipInterfaceConfiguration &c = settings.configuration;
        const char *const methods[] = {"keep", "static", "bootp", "dhcp"};
        device += QLatin1Char(' ') + methods[int(settings.method) + 1];
        if (settings.method == IpSettings::Static) {
            device += QStringLiteral(" %1/%2 gw %3")
                          .arg(QHostAddress(c.ipAddress).toString(), QHostAddress(c.netmask).toString(),
                               QHostAddress(c.gateway).toString());
            device += parsed.keepNameServers
                ? QStringLiteral(" keep dns")
                : QStringLiteral(" dns %1 %2")
                      .arg(QHostAddress(c.nameServer).toString(), QHostAddress(c.nameServer2).toString());
            device += parsed.keepDomain ? QStringLiteral(" keep domain") : " domain " + c.domainName.toString();
        }
        if (settings.setHostName)
            device += " host " + QString::fromLatin1(settings.hostName);
        if (parsed.reset)
            device += " reset";
        if (parsed.yes)
            device += " yes";
    }
    QCOMPARE(device, told);
}

void tst_CommandLine::eventLines()
{
    const DeviceRecord record = identityRecord(1, 0xC000020A, "Drive A"); // 192.0.2.10
    const QDateTime time(QDate(2026, 12, 8), QTime(9, 30, 5), Qt::UTC);

    const QByteArray text = watchEventLine(ExportFormat::Text, time, DeviceFinder::Offline, record, DevicePlace());
    QCOMPARE(QString::fromUtf8(text),
             time.toLocalTime().toString("HH:mm:ss") + " offline 1.  192.0.2.10:55555 | \"Drive A\" (1.0) S/N: A1A\n");

    // One object on one line, the device's keys as the JSON export has them.
    const QByteArray json = watchEventLine(ExportFormat::Json, time, DeviceFinder::Changed, record, DevicePlace());
    QVERIFY(json.endsWith('\n'));
    QCOMPARE(json.count('\n'), 1);
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    QCOMPARE(object.value("time").toString(), QString("2026-12-08T09:30:05Z"));
    QCOMPARE(object.value("event").toString(), QString("changed"));
    QCOMPARE(object.value("address").toString(), QString("192.0.2.10"));
    QCOMPARE(object.value("number").toInt(), 1);
    QCOMPARE(object.size(), DeviceExport::columns().size() + 2);
}

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
