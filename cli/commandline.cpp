#include "commandline.h"

#include "addressassignment.h"
#include "climodes.h"
#include "deviceexport.h"
#include "netaddress.h"
#include "projectinfo.h"
#include "unconnectedsend.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>

#include <cmath>

namespace {

struct Options
{
    QCommandLineOption list{QStringLiteral("list"),
                            CommandLine::tr("Search once without a window and print the devices found.")};
    QCommandLineOption format{QStringLiteral("format"),
                              CommandLine::tr("Print the list as text (the entries' lines, the default), csv or "
                                              "json; --watch and --address-server print text or json (one JSON "
                                              "object per line)."),
                              QStringLiteral("text|csv|json")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            CommandLine::tr("Listen for answers this many milliseconds after sending (default "
                                            "3000)."),
                            QStringLiteral("MS")};
    QCommandLineOption watch{QStringLiteral("watch"),
                             CommandLine::tr("Search in rounds without a window and print one line per event: "
                                             "found, offline, back, changed, conflict.")};
    QCommandLineOption interval{QStringLiteral("interval"),
                                CommandLine::tr("With --watch: seconds from the start of one round to the start "
                                                "of the next, 3 or more (default 5)."),
                                QStringLiteral("SECONDS")};
    QCommandLineOption forTime{QStringLiteral("for"),
                               CommandLine::tr("With --watch or --address-server: stop after this many seconds "
                                               "(default: run until Ctrl+C)."),
                               QStringLiteral("SECONDS")};
    QCommandLineOption addressServer{
        QStringLiteral("address-server"),
        CommandLine::tr("Answer BOOTP and DHCP requests on UDP port 67, only from the MACs given an address with "
                        "--assign or --assignments, and print one line per request (request, answered, ignored). "
                        "Without assignments it only listens. With them it stops once every assigned MAC has its "
                        "address. Exit status 0: each one got it; 1: some did not; 5: port 67 could not be "
                        "opened (on Linux: sudo setcap cap_net_bind_service=+ep on the program).")};
    QCommandLineOption assign{QStringLiteral("assign"),
                              CommandLine::tr("With --address-server: give the device with this MAC this address, "
                                              "its prefix length and optionally a gateway, for example "
                                              "00:1D:9C:C7:B0:70=192.168.1.20/24,192.168.1.1. May be repeated."),
                              QStringLiteral("MAC=IP/PREFIX[,GATEWAY]")};
    QCommandLineOption assignments{QStringLiteral("assignments"),
                                   CommandLine::tr("With --address-server: the assignments of a CSV file "
                                                   "(mac_address,ip_address,prefix,gateway,dns,host_name), as the "
                                                   "window's address server saves them."),
                                   QStringLiteral("FILE.csv")};
    QCommandLineOption details{QStringLiteral("details"),
                               CommandLine::tr("Read the device at ADDRESS over EtherNet/IP (TCP port 44818) and "
                                               "print its identity, TCP/IP settings and Ethernet ports, as text or "
                                               "json (--format)."),
                               QStringLiteral("ADDRESS")};
    QCommandLineOption route{QStringLiteral("route"),
                             CommandLine::tr("With --details: read the module behind the device at ADDRESS at the "
                                             "end of this route, port and slot (or address) for each bridge on "
                                             "the way, for example 1,3. Nothing is written to it. With --request: "
                                             "send the request to that module."),
                             QStringLiteral("PORT,LINK[,PORT,LINK...]")};
    QCommandLineOption request{
        QStringLiteral("request"),
        CommandLine::tr("Send one request to the device at ADDRESS over EtherNet/IP (TCP port 44818): SERVICE "
                        "(a number or Get_Attributes_All, Get_Attribute_List, Reset, Get_Attribute_Single, "
                        "Set_Attribute_Single), CLASS, INSTANCE and, where the service takes one, ATTRIBUTE follow "
                        "the address; numbers decimal or hexadecimal with 0x. Prints the answer's status, data "
                        "and readings, as text or json (--format). A service that is not a Get is sent only with "
                        "--yes. Exit status 0: status 0; 3: another status; 4: not sent."),
        QStringLiteral("ADDRESS")};
    QCommandLineOption data{QStringLiteral("data"),
                            CommandLine::tr("With --request: the request's data in hexadecimal, spaces allowed, "
                                            "for example \"01 00\"."),
                            QStringLiteral("HEX")};
    QCommandLineOption modules{QStringLiteral("modules"),
                               CommandLine::tr("Read the ports of the device at ADDRESS over EtherNet/IP (TCP port "
                                               "44818) and the identity of the module in each slot behind it, as "
                                               "text, csv or json (--format). Exit status 3: the device does not "
                                               "route, refused, or has no port that leads to slots."),
                               QStringLiteral("ADDRESS")};
    QCommandLineOption setIp{QStringLiteral("set-ip"),
                             CommandLine::tr("Change the IP settings of the device at ADDRESS; with one of --static, "
                                             "--bootp, --dhcp, and/or --hostname. Writes only with --yes."),
                             QStringLiteral("ADDRESS")};
    QCommandLineOption staticAddress{QStringLiteral("static"),
                                     CommandLine::tr("With --set-ip: a fixed address and prefix length (or "
                                                     "netmask)."),
                                     QStringLiteral("IP/PREFIX")};
    QCommandLineOption gateway{QStringLiteral("gateway"),
                               CommandLine::tr("With --static: the gateway (default: none, 0.0.0.0)."),
                               QStringLiteral("IP")};
    QCommandLineOption dns{QStringLiteral("dns"),
                           CommandLine::tr("With --static: one or two name servers (default: the device's)."),
                           QStringLiteral("IP[,IP]")};
    QCommandLineOption domain{QStringLiteral("domain"),
                              CommandLine::tr("With --static: the domain name (default: the device's)."),
                              QStringLiteral("NAME")};
    QCommandLineOption bootp{QStringLiteral("bootp"), CommandLine::tr("With --set-ip: take the address from BOOTP.")};
    QCommandLineOption dhcp{QStringLiteral("dhcp"), CommandLine::tr("With --set-ip: take the address from DHCP.")};
    QCommandLineOption hostName{QStringLiteral("hostname"), CommandLine::tr("With --set-ip: the device's host name."),
                                QStringLiteral("NAME")};
    QCommandLineOption reset{QStringLiteral("reset"),
                             CommandLine::tr("With --set-ip: then reset the device and wait up to 30 s for it to "
                                             "answer at its new address.")};
    QCommandLineOption yes{QStringLiteral("yes"),
                           CommandLine::tr("With --set-ip: write. Without it nothing is written: the changes are "
                                           "printed, and the exit status is 4. With --request: send a service "
                                           "that is not a Get (Set_Attribute_Single, Reset, any other). Without "
                                           "it the request is printed, nothing is sent, and the exit status is "
                                           "4.")};
    QCommandLineOption inventory{
        QStringLiteral("inventory"),
        CommandLine::tr("Search once, then read every device's identity, TCP/IP settings, Ethernet link and the "
                        "modules behind its bridge ports, and print the inventory (--format, --wait as --list). "
                        "Exit status 0: printed; 1: nothing was sent.")};
    QCommandLineOption save{QStringLiteral("save"),
                            CommandLine::tr("With --inventory: also write the inventory to FILE, as JSON or CSV "
                                            "by the name's ending."),
                            QStringLiteral("FILE.json|FILE.csv")};
    QCommandLineOption compare{QStringLiteral("compare"),
                               CommandLine::tr("With --inventory: print what differs from the inventory saved in "
                                               "FILE (JSON or CSV, also a saved list): new, missing, replaced, "
                                               "changed, same. Exit status 0: nothing differs; 6: something "
                                               "does; 1: nothing was sent."),
                               QStringLiteral("FILE")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, CommandLine::tr("Show this help.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               CommandLine::tr("Show the program's version.")};
};

// Qt's own options: they reach the application object unchanged, which
// takes those it knows. Accepted here in both modes, and not listed in
// the help.
void addQtOptions(QCommandLineParser *parser)
{
    const char *const withValue[] = {"platform",
                                     "platformpluginpath",
                                     "platformtheme",
                                     "plugin",
                                     "qwindowgeometry",
                                     "qwindowtitle",
                                     "qwindowicon",
                                     "session",
                                     "style",
                                     "stylesheet",
                                     "display",
                                     "geometry",
                                     "title",
                                     "icon",
                                     "name",
                                     "visual",
                                     "ncols",
                                     "cmap",
                                     "im",
                                     "inputstyle",
                                     "qmljsdebugger"};
    const char *const flags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
}

void setUp(QCommandLineParser *parser, const Options &options)
{
    parser->setApplicationDescription(
        CommandLine::tr("Finds devices on the local IPv4 networks. Without options it opens its window."));
    // Qt's options are single words after one dash: -platform, -style.
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser->addOptions(
        {options.list,     options.watch,   options.addressServer, options.format,        options.wait,
         options.interval, options.forTime, options.assign,        options.assignments,   options.details,
         options.route,    options.modules, options.setIp,         options.staticAddress, options.gateway,
         options.dns,      options.domain,  options.bootp,         options.dhcp,          options.hostName,
         options.reset,    options.yes,     options.inventory,     options.save,          options.compare,
         options.request,  options.data,    options.help,          options.version});
    addQtOptions(parser);
}

CommandLine usageError(const QString &error)
{
    CommandLine commandLine;
    commandLine.mode = CommandLine::UsageError;
    commandLine.error = error;
    return commandLine;
}

// One --assign value, MAC=IP/PREFIX[,GATEWAY]; false, with the reason,
// when it is not.
bool parseAssign(const QString &value, AddressAssignment *assignment, QString *error)
{
    const int equals = value.indexOf(QLatin1Char('='));
    const int slash = value.indexOf(QLatin1Char('/'), equals + 1);
    const int comma = value.indexOf(QLatin1Char(','), slash + 1);
    const QString prefixText = value.mid(slash + 1, comma < 0 ? -1 : comma - slash - 1);
    bool prefixOk = false;
    const int prefix = prefixText.toInt(&prefixOk);
    quint32 address = 0;
    quint32 gateway = 0;
    if (equals < 0 || slash < 0 || !prefixOk || prefixText.isEmpty() || !prefixText.at(0).isDigit()) {
        *error =
            CommandLine::tr("Bad value \"%1\" for --assign: give MAC=IP/PREFIX or MAC=IP/PREFIX,GATEWAY.").arg(value);
        return false;
    }
    assignment->mac = AddressAssignments::parseMac(value.left(equals));
    if (assignment->mac.isEmpty()) {
        *error = CommandLine::tr("Bad MAC address \"%1\" in --assign.").arg(value.left(equals));
        return false;
    }
    if (!parseIpv4(value.mid(equals + 1, slash - equals - 1), &address)) {
        *error = CommandLine::tr("Bad IPv4 address \"%1\" in --assign.").arg(value.mid(equals + 1, slash - equals - 1));
        return false;
    }
    if (prefix < 1 || prefix > 30) {
        *error = CommandLine::tr("Bad prefix length \"%1\" in --assign: give 1 to 30.").arg(prefixText);
        return false;
    }
    if (comma >= 0 && !parseIpv4(value.mid(comma + 1), &gateway)) {
        *error = CommandLine::tr("Bad gateway \"%1\" in --assign.").arg(value.mid(comma + 1));
        return false;
    }
    assignment->address = address;
    assignment->prefixLength = prefix;
    assignment->gateway = gateway;
    return true;
}

// Seconds as the watch options take them: a number, with a fraction if
// need be; -1 when it is none.
qint64 milliseconds(const QString &seconds)
{
    bool ok = false;
    const double value = seconds.toDouble(&ok);
    if (!ok || seconds.isEmpty() || !seconds.at(0).isDigit() || value > 1e9)
        return -1;
    return qint64(std::llround(value * 1000));
}

} // namespace

namespace {

// The usage error for an option of --set-ip given without it.
CommandLine setIpOnlyError(const QString &name)
{
    return usageError(name == QLatin1String("yes") ? CommandLine::tr("--yes goes with --set-ip and --request.")
                                                   : CommandLine::tr("--%1 goes with --set-ip.").arg(name));
}

QStringList setIpOnlyNames()
{
    return {QStringLiteral("static"),   QStringLiteral("gateway"), QStringLiteral("dns"),
            QStringLiteral("domain"),   QStringLiteral("bootp"),   QStringLiteral("dhcp"),
            QStringLiteral("hostname"), QStringLiteral("reset"),   QStringLiteral("yes")};
}

// --details ADDRESS, --modules ADDRESS and --set-ip ADDRESS with what goes
// with them.
CommandLine parseDeviceMode(const QCommandLineParser &parser, const Options &options)
{
    const bool details = parser.isSet(options.details);
    const bool modules = parser.isSet(options.modules);
    if (int(details) + int(modules) + int(parser.isSet(options.setIp)) > 1)
        return usageError(CommandLine::tr("--details, --modules and --set-ip do not go together."));
    const QString name = details ? QStringLiteral("details")
        : modules                ? QStringLiteral("modules")
                                 : QStringLiteral("set-ip");
    if (parser.isSet(options.list) || parser.isSet(options.watch) || parser.isSet(options.addressServer))
        return usageError(CommandLine::tr("--%1 does not go with --list, --watch or --address-server.").arg(name));
    if (parser.isSet(options.wait) || parser.isSet(options.interval) || parser.isSet(options.forTime))
        return usageError(CommandLine::tr("--wait, --interval and --for do not go with --%1.").arg(name));
    if (!parser.positionalArguments().isEmpty())
        return usageError(CommandLine::tr("Unexpected argument \"%1\".").arg(parser.positionalArguments().first()));
    // Nothing is written to a module behind a bridge.
    if (parser.isSet(options.route) && !details)
        return usageError(CommandLine::tr("--route goes with --details, not with --%1.").arg(name));

    CommandLine commandLine;
    commandLine.mode = details ? CommandLine::Details : modules ? CommandLine::Modules : CommandLine::SetIp;
    commandLine.deviceAddress = parser.value(details ? options.details : modules ? options.modules : options.setIp);
    quint32 address = 0;
    if (!parseIpv4(commandLine.deviceAddress, &address) || address == 0 || address >> 28 >= 0xE)
        return usageError(CommandLine::tr("Bad address \"%1\": give a device's IPv4 address, as 192.168.1.10.")
                              .arg(commandLine.deviceAddress));

    if (details || modules) {
        for (const QString &option : setIpOnlyNames()) {
            if (parser.isSet(option))
                return setIpOnlyError(option);
        }
        if (parser.isSet(options.route)) {
            QString why;
            if (!CIP::CipRoute::fromText(parser.value(options.route), &commandLine.route, &why))
                return usageError(CommandLine::tr("Bad route \"%1\": %2").arg(parser.value(options.route), why));
        }
        if (modules && parser.isSet(options.format)) {
            const QString format = parser.value(options.format);
            if (format == QLatin1String("json"))
                commandLine.format = ExportFormat::Json;
            else if (format == QLatin1String("csv"))
                commandLine.format = ExportFormat::Csv;
            else if (format != QLatin1String("text"))
                return usageError(CommandLine::tr("--modules prints text, csv or json, not \"%1\".").arg(format));
        } else if (parser.isSet(options.format)) {
            const QString format = parser.value(options.format);
            if (format == QLatin1String("json"))
                commandLine.format = ExportFormat::Json;
            else if (format != QLatin1String("text"))
                return usageError(CommandLine::tr("--details prints text or json, not \"%1\".").arg(format));
        }
        return commandLine;
    }

    if (parser.isSet(options.format))
        return usageError(CommandLine::tr("--format does not go with --set-ip."));
    const int methods =
        int(parser.isSet(options.staticAddress)) + int(parser.isSet(options.bootp)) + int(parser.isSet(options.dhcp));
    if (methods > 1)
        return usageError(CommandLine::tr("Give only one of --static, --bootp and --dhcp."));
    if (methods == 0 && !parser.isSet(options.hostName))
        return usageError(CommandLine::tr("--set-ip needs --static, --bootp, --dhcp or --hostname."));
    const bool isStatic = parser.isSet(options.staticAddress);
    if (!isStatic && (parser.isSet(options.gateway) || parser.isSet(options.dns) || parser.isSet(options.domain)))
        return usageError(CommandLine::tr("--gateway, --dns and --domain go with --static."));

    IpSettingsInput &input = commandLine.ipInput;
    input.method = isStatic           ? IpSettings::Static
        : parser.isSet(options.bootp) ? IpSettings::Bootp
        : parser.isSet(options.dhcp)  ? IpSettings::Dhcp
                                      : IpSettings::KeepMethod;
    if (isStatic) {
        const QString value = parser.value(options.staticAddress);
        const int slash = value.indexOf(QLatin1Char('/'));
        if (slash < 0)
            return usageError(
                CommandLine::tr("Bad value \"%1\" for --static: give IP/PREFIX, as 192.168.1.10/24.").arg(value));
        input.address = value.left(slash);
        input.netmask = value.mid(slash + 1);
        input.gateway = parser.value(options.gateway);
        if (parser.isSet(options.dns)) {
            commandLine.keepNameServers = false;
            const QStringList servers = parser.value(options.dns).split(QLatin1Char(','));
            if (servers.size() > 2)
                return usageError(CommandLine::tr("--dns takes at most two name servers."));
            input.nameServer = servers.value(0);
            input.nameServer2 = servers.value(1);
            if (input.nameServer.isEmpty())
                return usageError(
                    CommandLine::tr("Bad value \"%1\" for --dns: give IP[,IP].").arg(parser.value(options.dns)));
        }
        if (parser.isSet(options.domain)) {
            commandLine.keepDomain = false;
            input.domain = parser.value(options.domain);
        }
    }
    if (parser.isSet(options.hostName)) {
        input.setHostName = true;
        input.hostName = parser.value(options.hostName);
    }
    const IpSettingsCheck check = checkIpSettings(input);
    if (!check.acceptable())
        return usageError(check.firstProblem() + QLatin1Char('.'));
    commandLine.reset = parser.isSet(options.reset);
    commandLine.yes = parser.isSet(options.yes);
    return commandLine;
}

// --inventory with --format, --wait, --save and --compare. The file to
// compare with is read here, before anything is sent: one that does not
// parse is a usage error.
CommandLine parseInventoryMode(const QCommandLineParser &parser, const Options &options)
{
    const QStringList others{QStringLiteral("list"),    QStringLiteral("watch"),  QStringLiteral("address-server"),
                             QStringLiteral("details"), QStringLiteral("set-ip"), QStringLiteral("interval"),
                             QStringLiteral("for"),     QStringLiteral("assign"), QStringLiteral("assignments"),
                             QStringLiteral("modules"), QStringLiteral("route")};
    for (const QString &name : others) {
        if (parser.isSet(name))
            return usageError(CommandLine::tr("--%1 does not go with --inventory.").arg(name));
    }
    for (const QString &name : setIpOnlyNames()) {
        if (parser.isSet(name))
            return setIpOnlyError(name);
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(CommandLine::tr("Unexpected argument \"%1\".").arg(parser.positionalArguments().first()));

    CommandLine commandLine;
    commandLine.mode = CommandLine::InventoryMode;
    if (parser.isSet(options.format)) {
        const QString format = parser.value(options.format);
        if (format == QLatin1String("csv"))
            commandLine.format = ExportFormat::Csv;
        else if (format == QLatin1String("json"))
            commandLine.format = ExportFormat::Json;
        else if (format != QLatin1String("text"))
            return usageError(CommandLine::tr("Unknown format \"%1\": use text, csv or json.").arg(format));
    }
    if (parser.isSet(options.wait)) {
        const QString wait = parser.value(options.wait);
        bool ok = false;
        commandLine.waitMs = wait.toInt(&ok);
        if (!ok || commandLine.waitMs < 0 || wait.isEmpty() || !wait.at(0).isDigit())
            return usageError(CommandLine::tr("Bad value \"%1\" for --wait: give milliseconds, 0 or more.").arg(wait));
    }
    if (parser.isSet(options.save)) {
        commandLine.saveFile = parser.value(options.save);
        if (!Inventory::formatOf(commandLine.saveFile, &commandLine.saveFormat))
            return usageError(CommandLine::tr("--save writes a file whose name ends with .json or .csv, not \"%1\".")
                                  .arg(commandLine.saveFile));
    }
    if (parser.isSet(options.compare)) {
        commandLine.compare = true;
        commandLine.compareFile = parser.value(options.compare);
        QFile file(commandLine.compareFile);
        if (!file.open(QIODevice::ReadOnly))
            return usageError(CommandLine::tr("Cannot read %1: %2").arg(commandLine.compareFile, file.errorString()));
        // One byte more than a file may hold, so that a larger one is told.
        const QByteArray data = file.read(qint64(Inventory::MaxFileSize) + 1);
        QString error;
        if (!Inventory::read(data, &commandLine.saved, &error))
            return usageError(CommandLine::tr("%1: %2").arg(commandLine.compareFile, error));
    }
    return commandLine;
}

// --request ADDRESS SERVICE CLASS INSTANCE [ATTRIBUTE] with --data,
// --route, --yes and --format. The request is parsed by the rule the
// request dialog uses, so that it means the same bytes in both.
CommandLine parseRequestMode(const QCommandLineParser &parser, const Options &options)
{
    const QStringList modes{QStringLiteral("list"),     QStringLiteral("watch"),   QStringLiteral("address-server"),
                            QStringLiteral("details"),  QStringLiteral("modules"), QStringLiteral("set-ip"),
                            QStringLiteral("inventory")};
    for (const QString &name : modes) {
        if (parser.isSet(name))
            return usageError(CommandLine::tr("--request does not go with --%1.").arg(name));
    }
    const QStringList others{QStringLiteral("wait"),   QStringLiteral("interval"),    QStringLiteral("for"),
                             QStringLiteral("assign"), QStringLiteral("assignments"), QStringLiteral("save"),
                             QStringLiteral("compare")};
    for (const QString &name : others) {
        if (parser.isSet(name))
            return usageError(CommandLine::tr("--%1 does not go with --request.").arg(name));
    }
    for (const QString &name : setIpOnlyNames()) {
        if (name != QLatin1String("yes") && parser.isSet(name))
            return setIpOnlyError(name);
    }

    CommandLine commandLine;
    commandLine.mode = CommandLine::Request;
    commandLine.deviceAddress = parser.value(options.request);
    quint32 address = 0;
    if (!parseIpv4(commandLine.deviceAddress, &address) || address == 0 || address >> 28 >= 0xE)
        return usageError(CommandLine::tr("Bad address \"%1\": give a device's IPv4 address, as 192.168.1.10.")
                              .arg(commandLine.deviceAddress));
    const QStringList fields = parser.positionalArguments();
    if (fields.size() < 3)
        return usageError(CommandLine::tr("--request needs SERVICE, CLASS and INSTANCE after the address, and "
                                          "ATTRIBUTE where the service takes one."));
    if (fields.size() > 4)
        return usageError(CommandLine::tr("Unexpected argument \"%1\".").arg(fields.at(4)));
    QString why;
    if (CIP::GenericRequest::parse(fields.at(0), fields.at(1), fields.at(2), fields.value(3),
                                   parser.value(options.data), &commandLine.request, &why)
        != CIP::GenericRequest::NoField)
        return usageError(why);
    if (parser.isSet(options.route)) {
        if (!CIP::CipRoute::fromText(parser.value(options.route), &commandLine.route, &why))
            return usageError(CommandLine::tr("Bad route \"%1\": %2").arg(parser.value(options.route), why));
    }
    // What one message cannot carry is refused before anything is sent: the
    // request, framed, holds no more encapsulated data than an answer may.
    CIP::MessageRouterRequest sent;
    const QByteArray frame = CIP::routedRequest(commandLine.request.toRequest(), commandLine.route, &sent)
        ? ENIP::sendRRDataRequest(0, sent)
        : QByteArray();
    if (frame.isEmpty() || frame.size() > ENIP::ENIPEncapHeader::Size + ENIP::MaxTcpDataLength)
        return usageError(CommandLine::tr("The request is too large: with its framing it must fit in %1 bytes.")
                              .arg(ENIP::MaxTcpDataLength));
    if (parser.isSet(options.format)) {
        const QString format = parser.value(options.format);
        if (format == QLatin1String("json"))
            commandLine.format = ExportFormat::Json;
        else if (format != QLatin1String("text"))
            return usageError(CommandLine::tr("--request prints text or json, not \"%1\".").arg(format));
    }
    commandLine.yes = parser.isSet(options.yes);
    return commandLine;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    const Options options;
    QCommandLineParser parser;
    setUp(&parser, options);
    if (!parser.parse(arguments))
        return usageError(parser.errorText());

    CommandLine commandLine;
    if (parser.isSet(options.help)) {
        commandLine.mode = Help;
        return commandLine;
    }
    if (parser.isSet(options.version)) {
        commandLine.mode = Version;
        return commandLine;
    }
    if (parser.isSet(options.request))
        return parseRequestMode(parser, options);
    if (parser.isSet(options.data))
        return usageError(tr("--data goes with --request."));
    if (parser.isSet(options.inventory))
        return parseInventoryMode(parser, options);
    if (parser.isSet(options.save) || parser.isSet(options.compare))
        return usageError(tr("--save and --compare go with --inventory."));
    if (parser.isSet(options.details) || parser.isSet(options.setIp) || parser.isSet(options.modules))
        return parseDeviceMode(parser, options);
    if (parser.isSet(options.route))
        return usageError(tr("--route goes with --details and --request."));
    for (const QString &name : setIpOnlyNames()) {
        if (parser.isSet(name))
            return setIpOnlyError(name);
    }
    const bool watch = parser.isSet(options.watch);
    const bool serve = parser.isSet(options.addressServer);
    if (int(parser.isSet(options.list)) + int(watch) + int(serve) > 1)
        return usageError(tr("--list, --watch and --address-server do not go together."));
    if (!serve && (parser.isSet(options.assign) || parser.isSet(options.assignments)))
        return usageError(tr("--assign and --assignments go with --address-server."));
    if (!parser.isSet(options.list) && !watch && !serve) {
        if (parser.isSet(options.format) || parser.isSet(options.wait))
            return usageError(tr("--format and --wait go with --list."));
        if (parser.isSet(options.interval) || parser.isSet(options.forTime))
            return usageError(tr("--interval and --for go with --watch."));
        // Without options of its own the program is the window, as it
        // always was, whatever else the command line holds.
        return commandLine;
    }

    commandLine.mode = serve ? AddressServer : watch ? Watch : List;
    if (watch && parser.isSet(options.wait))
        return usageError(tr("--wait goes with --list."));
    if (serve && (parser.isSet(options.wait) || parser.isSet(options.interval)))
        return usageError(tr("--wait and --interval do not go with --address-server."));
    if (commandLine.mode == List && (parser.isSet(options.interval) || parser.isSet(options.forTime)))
        return usageError(tr("--interval and --for go with --watch."));
    if (!parser.positionalArguments().isEmpty())
        return usageError(tr("Unexpected argument \"%1\".").arg(parser.positionalArguments().first()));
    if (parser.isSet(options.format)) {
        const QString format = parser.value(options.format);
        if (format == QLatin1String("csv"))
            commandLine.format = ExportFormat::Csv;
        else if (format == QLatin1String("json"))
            commandLine.format = ExportFormat::Json;
        else if (format != QLatin1String("text"))
            return usageError(tr("Unknown format \"%1\": use text, csv or json.").arg(format));
        if (watch && commandLine.format == ExportFormat::Csv)
            return usageError(tr("--watch prints text or json, not csv."));
        if (serve && commandLine.format == ExportFormat::Csv)
            return usageError(tr("--address-server prints text or json, not csv."));
    }
    if (parser.isSet(options.interval)) {
        // A device may take up to 2 s to answer; a shorter round would call
        // it offline while its answer is on its way.
        const QString interval = parser.value(options.interval);
        const qint64 ms = milliseconds(interval);
        if (ms < 3000)
            return usageError(tr("Bad value \"%1\" for --interval: give seconds, 3 or more.").arg(interval));
        commandLine.intervalMs = int(qMin<qint64>(ms, 86400000));
    }
    if (parser.isSet(options.forTime)) {
        const QString forTime = parser.value(options.forTime);
        commandLine.forMs = milliseconds(forTime);
        if (commandLine.forMs <= 0)
            return usageError(tr("Bad value \"%1\" for --for: give seconds, more than 0.").arg(forTime));
    }
    const QStringList assigns = parser.values(options.assign);
    for (const QString &value : assigns) {
        AddressAssignment assignment;
        QString error;
        if (!parseAssign(value, &assignment, &error))
            return usageError(error);
        commandLine.assignments.append(assignment);
    }
    if (parser.isSet(options.assignments)) {
        const QString fileName = parser.value(options.assignments);
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return usageError(tr("Cannot read %1: %2").arg(fileName, file.errorString()));
        QVector<AddressAssignment> read;
        QString error;
        if (!AddressAssignments::fromCsv(file.readAll(), &read, &error))
            return usageError(tr("%1: %2").arg(fileName, error));
        commandLine.assignments += read;
    }
    // One address per MAC, one MAC per address.
    for (int i = 0; i < commandLine.assignments.size(); ++i) {
        for (int j = 0; j < i; ++j) {
            const AddressAssignment &a = commandLine.assignments.at(i);
            const AddressAssignment &b = commandLine.assignments.at(j);
            if (a.mac == b.mac)
                return usageError(tr("%1 is assigned twice.").arg(AddressAssignments::macText(a.mac)));
            if (a.address == b.address)
                return usageError(tr("%1 is assigned to both %2 and %3.")
                                      .arg(ipv4ToString(a.address), AddressAssignments::macText(b.mac),
                                           AddressAssignments::macText(a.mac)));
        }
    }
    if (parser.isSet(options.wait)) {
        const QString wait = parser.value(options.wait);
        bool ok = false;
        commandLine.waitMs = wait.toInt(&ok);
        if (!ok || commandLine.waitMs < 0 || !wait.at(0).isDigit())
            return usageError(tr("Bad value \"%1\" for --wait: give milliseconds, 0 or more.").arg(wait));
    }
    return commandLine;
}

QString CommandLine::helpText()
{
    const Options options;
    QCommandLineParser parser;
    setUp(&parser, options);
    return parser.helpText();
}

int runCommandLine(const CommandLine &commandLine)
{
    using namespace Cli;
    switch (commandLine.mode) {
    case CommandLine::Help:
        return writeOut(stdout, CommandLine::helpText().toLocal8Bit()) ? 0 : 1;
    case CommandLine::Version:
        return writeOut(stdout,
                        QStringLiteral("%1 %2\n")
                            .arg(QString::fromLatin1(DeviceExport::ProgramName), QStringLiteral(NODESPOTTER_VERSION))
                            .toLocal8Bit())
            ? 0
            : 1;
    case CommandLine::UsageError:
        writeOut(stderr, (commandLine.error + QLatin1String("\n\n") + CommandLine::helpText()).toLocal8Bit());
        return 2;
    case CommandLine::List:
        return runList(commandLine);
    case CommandLine::Watch:
        return runWatch(commandLine);
    case CommandLine::AddressServer:
        return runAddressServer(commandLine);
    case CommandLine::Details:
        return runDetails(commandLine);
    case CommandLine::SetIp:
        return runSetIp(commandLine);
    case CommandLine::Modules:
        return runModules(commandLine);
    case CommandLine::InventoryMode:
        return runInventory(commandLine);
    case CommandLine::Request:
        return runRequest(commandLine);
    case CommandLine::Window:
        break;
    }
    return 0;
}
