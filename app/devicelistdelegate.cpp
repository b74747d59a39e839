#include "devicelistdelegate.h"

#include <QAbstractItemView>
#include <QEvent>

DeviceListDelegate::DeviceListDelegate(QAbstractItemView *view)
    : QStyledItemDelegate(view)
{
    // A cleared list starts afresh, so the cache holds one run's entries.
    connect(view->model(), &QAbstractItemModel::modelReset, this, [this] { sizes.clear(); });
    view->installEventFilter(this);
}

bool DeviceListDelegate::eventFilter(QObject *watched, QEvent *event)
{
    // Qt's delegate filters the events of item editors; those of the view
    // are only looked at here. A new style, style sheet or font may draw
    // every entry at another size.
    if (watched != parent())
        return QStyledItemDelegate::eventFilter(watched, event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        sizes.clear();
    return false;
}

QSize DeviceListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // Anything that could make two entries of the same text differ in size
    // is measured by Qt's delegate every time.
    if (index.data(Qt::SizeHintRole).isValid() || index.data(Qt::DecorationRole).isValid()
        || index.data(Qt::CheckStateRole).isValid() || index.data(Qt::FontRole).isValid())
        return QStyledItemDelegate::sizeHint(option, index);

    const Measure measure{option.font, int(option.state), int(option.features)};
    if (!(measure == measuredWith)) {
        sizes.clear();
        measuredWith = measure;
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    auto cached = sizes.constFind(text);
    if (cached != sizes.constEnd())
        return *cached;
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    sizes.insert(text, size);
    return size;
}
