#include "devicelistview.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QListView>

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

void layOutAppendedRows(QListView *view, int firstRow)
{
    QAbstractItemModel *model = view->model();
    QWidget *viewport = view->viewport();
    // Only a plain top-to-bottom list keeps its old rows in place.
    if (firstRow >= model->rowCount(view->rootIndex()) || view->viewMode() != QListView::ListMode
        || view->flow() != QListView::TopToBottom || view->isWrapping() || view->layoutDirection() != Qt::LeftToRight
        || !viewport->updatesEnabled()) {
        view->doItemsLayout();
        return;
    }
    const QSize viewportSize = viewport->size();
    // The layout ends by asking to repaint the whole list; that request is
    // what is held back here. Everything else it does happens.
    viewport->setAttribute(Qt::WA_UpdatesDisabled, true);
    view->doItemsLayout();
    viewport->setAttribute(Qt::WA_UpdatesDisabled, false);

    // Rows are laid out top to bottom, so the first new row is the one that
    // may reach into sight; the margin keeps a row that only touches the
    // edge, at a fractional device pixel ratio, on the safe side.
    const QRect firstNew = view->visualRect(model->index(firstRow, 0, view->rootIndex())).adjusted(-2, -2, 2, 2);
    if (viewport->size() != viewportSize || firstNew.intersects(viewport->rect()))
        viewport->update();
}
