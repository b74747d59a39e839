#ifndef INVENTORYDIALOG_H
#define INVENTORYDIALOG_H

#include "deviceexport.h"
#include "inventory.h"
#include "inventorycomparison.h"

#include <QDialog>
#include <QVector>

#include <functional>

class InventoryReader;
class QTreeWidgetItem;

namespace Ui {
class InventoryDialog;
}

// Tools > Inventory…: reads every listed device (Read all, with its
// progress and Cancel), shows the devices and their modules, saves the
// inventory and compares it with a saved one. Not modal.
class InventoryDialog : public QDialog
{
    Q_OBJECT

public:
    // listed gives the finder's devices as they are when Read all is
    // pressed.
    InventoryDialog(std::function<QVector<ExportedDevice>()> listed, QWidget *parent = nullptr);
    ~InventoryDialog() override;

    // Shows an inventory as read; a comparison shown is dropped.
    void setInventory(const Inventory &inventory);
    const Inventory &inventory() const { return current; }
    // Compares the inventory shown with the one saved in the file; false,
    // with a message and nothing compared, for a file that cannot be read
    // or does not parse.
    bool compareWith(const QString &fileName);
    // Writes the inventory, as JSON or CSV by the name's ending: an empty
    // text, or why it was not written.
    QString saveTo(const QString &fileName) const;
    InventoryReader *reader() const { return inventoryReader; }

    // The colour of a comparison's state; the row says the state in words
    // as well.
    static QColor stateColour(InventoryState state);

private:
    void priv_readAll();
    void priv_onProgress(int done, int total);
    void priv_onFinished(const Inventory &inventory);
    void priv_cancel();
    void priv_save();
    void priv_compare();
    void priv_showError(const QString &text);
    void priv_updateButtons();
    void priv_fill();
    QTreeWidgetItem *priv_deviceItem(const InventoryDevice &device);

    Ui::InventoryDialog *ui;
    std::function<QVector<ExportedDevice>()> listedDevices;
    InventoryReader *inventoryReader;
    Inventory current;
    bool hasInventory = false;
    bool compared = false;
    InventoryComparison comparison;
};

#endif // INVENTORYDIALOG_H
