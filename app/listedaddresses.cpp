#include "listedaddresses.h"

#include "deviceprotocol.h"

#include <QListWidget>

ListedAddresses::ListedAddresses(QListWidget *list)
    : QObject(list)
    , model(list->model())
{
    // Entries are appended with their data already set, so each new row is
    // added as it comes. Rows inserted before others move those, and that,
    // like anything else that changes the list, is rare enough to take the
    // whole list again: a cleared list gives an empty set. Only the model is
    // read: it empties itself while the list is being destroyed, when the
    // list can no longer be asked.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (last == model->rowCount() - 1)
            addRows(first, last);
        else
            rebuild();
    });
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ListedAddresses::rebuild);
    connect(model, &QAbstractItemModel::rowsMoved, this, &ListedAddresses::rebuild);
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
                if (roles.isEmpty() || roles.contains(AddressRole))
                    rebuild();
            });
    connect(model, &QAbstractItemModel::layoutChanged, this, &ListedAddresses::rebuild);
    connect(model, &QAbstractItemModel::modelReset, this, &ListedAddresses::rebuild);
    rebuild();
}

void ListedAddresses::addRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QString address = model->index(row, 0).data(AddressRole).toString();
        if (!addresses.contains(address))
            addresses.insert(address, row);
    }
}

void ListedAddresses::rebuild()
{
    addresses.clear();
    addRows(0, model->rowCount() - 1);
}
