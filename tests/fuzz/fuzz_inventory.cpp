// Feeds arbitrary bytes through the inventory reader, as a saved inventory
// or device list from another computer would reach it, and every file it
// accepts through both writers, back through the reader and through the
// comparison with itself.

#include "inventory.h"
#include "inventorycomparison.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(Inventory::MaxFileSize) + 1)
        return 0;
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    Inventory inventory;
    QString error;
    if (!Inventory::read(file, &inventory, &error)) {
        // Refused: with a reason, and nothing kept.
        if (error.isEmpty() || !inventory.devices.isEmpty())
            abort();
        return 0;
    }

    // Compared with itself, a device is matched or it is both new and
    // missing; nothing else can differ.
    const InventoryComparison comparison = InventoryComparison::compare(inventory, inventory);
    if (comparison.count(InventoryState::New) != comparison.count(InventoryState::Missing)
        || comparison.count(InventoryState::Changed) != 0 || comparison.count(InventoryState::Replaced) != 0)
        abort();
    (void)comparison.json();
    (void)comparison.csv();
    (void)comparison.text();
    (void)inventory.text();

    // What was read is written again and read back to the same file; only
    // a file beyond the bounds may be refused. Qt's JSON reader drops
    // U+FEFF inside a text, so a JSON file is taken once through the writer
    // and reader first.
    int rows = 1 + inventory.devices.size();
    for (const InventoryDevice &device : qAsConst(inventory.devices))
        rows += device.modules.size();
    for (const InventoryFormat format : {InventoryFormat::Json, InventoryFormat::Csv}) {
        QByteArray written = inventory.document(format);
        const bool bounded =
            written.size() <= Inventory::MaxFileSize && (format == InventoryFormat::Json || rows <= Inventory::MaxRows);
        Inventory again;
        if (format == InventoryFormat::Json) {
            if (!Inventory::read(written, &again, &error)) {
                if (bounded)
                    abort();
                continue;
            }
            written = again.document(format);
        }
        if (!Inventory::read(written, &again, &error)) {
            if (bounded)
                abort();
            continue;
        }
        if (again.document(format) != written)
            abort();
    }
    return 0;
}
