#ifndef LISTEDADDRESSES_H
#define LISTEDADDRESSES_H

#include <QHash>
#include <QObject>
#include <QString>

QT_BEGIN_NAMESPACE
class QAbstractItemModel;
class QListWidget;
QT_END_NAMESPACE

// The address texts (AddressRole) of every entry of a device list with the
// row of the first entry of each, kept in step with the list whoever
// changes it, so that the duplicate test of a new device, and finding the
// entry a later reply belongs to, is one look-up instead of a walk through
// the whole list.
class ListedAddresses : public QObject
{
public:
    explicit ListedAddresses(QListWidget *list);

    bool contains(const QString &address) const { return addresses.contains(address); }
    // The row of the entry with this address, -1 for none.
    int row(const QString &address) const { return addresses.value(address, -1); }

private:
    void addRows(int first, int last);
    void rebuild();

    QAbstractItemModel *model;
    QHash<QString, int> addresses;
};

#endif // LISTEDADDRESSES_H
