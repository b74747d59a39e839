#ifndef DEVICELISTVIEW_H
#define DEVICELISTVIEW_H

#include <QFont>
#include <QSize>
#include <QStyledItemDelegate>
#include <QVector>

QT_BEGIN_NAMESPACE
class QAbstractItemView;
class QListView;
QT_END_NAMESPACE

// Draws the device list exactly as Qt's own delegate does, but measures each
// entry only once. The list view lays out every entry again whenever one is
// added, and measuring means shaping the text, so without this a list of a
// thousand entries shapes a thousand texts per new device; with it, each
// entry's size is a look-up by row.
class DeviceListDelegate : public QStyledItemDelegate
{
public:
    explicit DeviceListDelegate(QAbstractItemView *view);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // As Qt's delegate paints, but an entry with a text colour of its own
    // (an offline device, greyed) gets it: the list's style sheet would
    // paint every entry's text in its one colour.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void forgetFrom(int row) const;

    // What besides the text and the view's style decides an entry's size.
    // An entry holds text and at most the one warning icon (no check box,
    // font or size of its own), so its size is that of its text, and its
    // icon drawn at the view's icon size, with these.
    struct Measure
    {
        QFont font;
        int state = 0;
        int features = 0;
        QSize decorationSize;
        bool operator==(const Measure &other) const
        {
            return state == other.state && features == other.features && decorationSize == other.decorationSize
                && font == other.font;
        }
    };

    // The size of each row's entry, with the entry it was measured for
    // (the model's item pointer); rows that changed are forgotten.
    struct Measured
    {
        const void *item = nullptr;
        QSize size;
    };

    mutable Measure measuredWith;
    mutable QVector<Measured> rows;
};

// Lays out a list view whose rows from firstRow on were just appended, as
// Qt would a moment later, but repaints the list only when one of the new
// rows can be seen. Qt repaints all of it, which in a list already longer
// than its window is work for nothing: appended rows move no other row.
void layOutAppendedRows(QListView *view, int firstRow);

#endif // DEVICELISTVIEW_H
