#ifndef INVENTORYCOMPARISON_H
#define INVENTORYCOMPARISON_H

#include "inventory.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

// One field that differs: its column name ("revision", "tcpip_netmask",
// "link_result"), for a module the slot's route ("1,3"), and both values
// as text (empty where none).
struct InventoryChange
{
    QString field;
    QString slot;
    QString oldValue;
    QString newValue;
};

enum class InventoryState { New, Missing, Replaced, Changed, Same };

// One device's outcome: the current device (the saved one for a missing
// device), where each came from in its inventory (-1: none), and what
// differs.
struct InventoryDeviceComparison
{
    InventoryState state = InventoryState::Same;
    InventoryDevice device;
    int savedIndex = -1;
    int currentIndex = -1;
    QVector<InventoryChange> changes;
};

// A saved inventory against the current one. Devices are matched in three
// passes, each over the devices still unmatched: by MAC address (the
// Ethernet Link object's, else the list's), by vendor ID and serial
// number, by the address the device answered from. A key that occurs twice
// in either inventory matches nothing. A device matched by its address
// alone with another vendor ID, product code or serial number is replaced.
class InventoryComparison
{
    Q_DECLARE_TR_FUNCTIONS(InventoryComparison)

public:
    static InventoryComparison compare(const Inventory &saved, const Inventory &current);

    // The current devices in their order, then the missing ones in the
    // saved order.
    QVector<InventoryDeviceComparison> devices;
    QDateTime savedTime;
    Inventory current; // program, version and time of the run

    int count(InventoryState state) const;
    // Anything but same.
    bool differs() const;
    // "2 new, 1 missing, 3 changed, 40 same"; replaced devices are counted
    // apart, after missing, and named only when there are some.
    QString summary() const;

    // The file's word for a state: "new", "missing", "replaced", "changed",
    // "same"; stateText() is the translated one.
    static QString stateName(InventoryState state);
    static QString stateText(InventoryState state);
    // "revision: 2.1 → 2.4", "slot 1,3 revision: 1.1 → 1.2".
    static QString changeText(const InventoryChange &change);

    // Each device as the inventory's JSON has it, with "comparison" and
    // "changes" [{field, slot, old, new}], and a summary.
    QByteArray json() const;
    // comparison and changes, then the device's columns; one row per
    // device.
    QByteArray csv() const;
    // One line per device: state, address, identity, changes; then the
    // summary.
    QString text() const;
    QByteArray document(InventoryFormat format) const;
};

#endif // INVENTORYCOMPARISON_H
