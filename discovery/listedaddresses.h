#ifndef LISTEDADDRESSES_H
#define LISTEDADDRESSES_H

#include <QObject>
#include <QSet>
#include <QString>

QT_BEGIN_NAMESPACE
class QAbstractItemModel;
class QListWidget;
QT_END_NAMESPACE

// The address texts (AddressRole) of every entry of a device list, kept in
// step with the list whoever changes it, so that the duplicate test of a new
// device is one look-up instead of a walk through the whole list.
class ListedAddresses : public QObject
{
public:
    explicit ListedAddresses(QListWidget *list);

    bool contains(const QString &address) const { return addresses.contains(address); }

private:
    void addRows(int first, int last);
    void rebuild();

    QAbstractItemModel *model;
    QSet<QString> addresses;
};

#endif // LISTEDADDRESSES_H
