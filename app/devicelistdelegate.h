#ifndef DEVICELISTDELEGATE_H
#define DEVICELISTDELEGATE_H

#include <QFont>
#include <QHash>
#include <QSize>
#include <QStyledItemDelegate>

QT_BEGIN_NAMESPACE
class QAbstractItemView;
QT_END_NAMESPACE

// Draws the device list exactly as Qt's own delegate does, but measures the
// text of each entry only once. The list view lays out every entry again
// whenever one is added, and measuring means shaping the text, so without
// this a list of a thousand entries shapes a thousand texts per new device.
class DeviceListDelegate : public QStyledItemDelegate
{
public:
    explicit DeviceListDelegate(QAbstractItemView *view);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What besides the text and the view's style decides an entry's size.
    // An entry holds only text (no icon, check box, font or size of its
    // own), so its size is that of its text drawn with these.
    struct Measure
    {
        QFont font;
        int state = 0;
        int features = 0;
        bool operator==(const Measure &other) const
        {
            return state == other.state && features == other.features && font == other.font;
        }
    };

    mutable Measure measuredWith;
    mutable QHash<QString, QSize> sizes;
};

#endif // DEVICELISTDELEGATE_H
