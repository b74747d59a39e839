#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "addressassignment.h"
#include "ciprequest.h"
#include "ciproute.h"
#include "deviceexport.h"
#include "inventory.h"
#include "ipsettingscheck.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The program's own options, read before the application object exists:
// the mode decides whether there is a window, and so which platform Qt
// starts. Qt's own options (-platform, -style and the like) are accepted
// here and left to Qt.
struct CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    enum Mode {
        Window,
        List,
        Watch,
        AddressServer,
        Help,
        Version,
        UsageError,
        Details,
        SetIp,
        Modules,
        InventoryMode,
        Request
    };

    // arguments as the process got them, the program's name first.
    static CommandLine parse(const QStringList &arguments);
    // The usage and option summary that --help prints. Needs the
    // application object.
    static QString helpText();

    Mode mode = Window;
    ExportFormat format = ExportFormat::Text;
    // How long --list listens after sending.
    int waitMs = 3000;
    // --watch: from the start of one round to the start of the next, and
    // how long to watch or serve (0: until stopped).
    int intervalMs = 5000;
    qint64 forMs = 0;
    // --address-server: the MACs to answer, from --assign and
    // --assignments, in that order; not yet checked against the cards.
    QVector<AddressAssignment> assignments;
    // --details, --set-ip, --modules and --request: the device's address.
    QString deviceAddress;
    // --details --route and --request --route: the module behind the
    // device to read or ask; empty: the device itself.
    CIP::CipRoute route;
    // --request: the request as given, parsed.
    CIP::GenericRequest request;
    // --set-ip: what to write, checked already. Name servers and domain
    // not given keep the device's values.
    IpSettingsInput ipInput;
    bool keepNameServers = true;
    bool keepDomain = true;
    // Reset the device after writing, and wait for it at its new address.
    bool reset = false;
    // Write without asking: without it --set-ip only says what it would
    // change, and --request sends nothing but a Get.
    bool yes = false;
    // --inventory --save FILE: where to write today's inventory, and in
    // the format its name ends with.
    QString saveFile;
    InventoryFormat saveFormat = InventoryFormat::Json;
    // --inventory --compare FILE: the saved inventory, read (and found
    // sound) before the search.
    bool compare = false;
    QString compareFile;
    Inventory saved;
    // What was wrong, for UsageError.
    QString error;
};

// Runs every mode but Window: prints the help, the version or the usage
// error, runs one search and prints the list, watches the network and
// prints its events, serves addresses and prints the requests, prints one
// device's details, or writes its IP settings. Needs a QCoreApplication.
// Returns the exit status: 0 done; 1 no answer or no valid answer (and,
// after --reset, no answer at the new address; with --route, the module
// did not answer the bridge); 2 a usage error; 3 the device refused, or
// read back other values than those written, or (--modules, --route) does
// not route, has no port that leads to slots, or could not route the
// request, or (--request) the device answered with a general status other
// than 0; 4 --set-ip without --yes: nothing written, or --request without
// --yes for a service that is not a Get: nothing sent; 5 (--address-server) port 67 could not be
// opened; 6 (--inventory --compare) something differs from the saved
// inventory.
int runCommandLine(const CommandLine &commandLine);

// One watch event as --watch prints it: "HH:MM:SS event line" in local
// time, or a JSON object on one line with the keys time (ISO 8601, UTC),
// event and the device's columns. Ends with a line break.
class DeviceFinder;
struct DevicePlace;
QByteArray watchEventLine(ExportFormat format, const QDateTime &time, int event, const DeviceRecord &record,
                          const DevicePlace &place);

// One address-server event as --address-server prints it: "HH:MM:SS event
// MAC card protocol ..." in local time, or a JSON object on one line with
// exactly the keys time (ISO 8601, UTC), event, mac_address, card,
// protocol, host_name, vendor_class and ip_address. event is "request",
// "answered" or "ignored"; reason, for an ignored request, goes into the
// text line only. Ends with a line break.
struct AddressRequest;
QByteArray addressEventLine(ExportFormat format, const QDateTime &time, const QString &event,
                            const AddressRequest &request, const QString &reason = QString());

#endif // COMMANDLINE_H
