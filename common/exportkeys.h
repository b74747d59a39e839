#ifndef EXPORTKEYS_H
#define EXPORTKEYS_H

#include <QStringList>

// The keys under which the program's files and JSON output give an
// identity, in their order: one list for the device list's export, the
// module list and the inventory, which all name a device or module alike.
namespace ExportKeys {

// name, vendor_id, device_type, device_type_name, product_code, revision,
// serial_number, status, state, state_name.
const QStringList &identity();

} // namespace ExportKeys

#endif // EXPORTKEYS_H
