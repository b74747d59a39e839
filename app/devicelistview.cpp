#include "devicelistview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QListView>
#include <QPainter>

DeviceListDelegate::DeviceListDelegate(QAbstractItemView *view)
    : QStyledItemDelegate(view)
{
    // Appended rows leave the others where they were; anything else that
    // moves or changes rows makes them be measured again.
    QAbstractItemModel *model = view->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int) { forgetFrom(first); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { forgetFrom(0); });
    connect(model, &QAbstractItemModel::rowsMoved, this, [this] { forgetFrom(0); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { forgetFrom(0); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { forgetFrom(0); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                for (int row = topLeft.row(); row <= bottomRight.row() && row < rows.size(); ++row)
                    rows[row] = Measured();
            });
    view->installEventFilter(this);
}

void DeviceListDelegate::forgetFrom(int row) const
{
    if (row < rows.size())
        rows.resize(row);
}

bool DeviceListDelegate::eventFilter(QObject *watched, QEvent *event)
{
    // Qt's delegate filters the events of item editors; those of the view
    // are only looked at here. A new style, style sheet or font may draw
    // every entry at another size.
    if (watched != parent())
        return QStyledItemDelegate::eventFilter(watched, event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        forgetFrom(0);
    return false;
}

QSize DeviceListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const Measure measure{option.font, int(option.state), int(option.features), option.decorationSize};
    if (!(measure == measuredWith)) {
        forgetFrom(0);
        measuredWith = measure;
    }
    const int row = index.row();
    const void *item = index.internalPointer();
    if (item && index.column() == 0 && !index.parent().isValid() && row < rows.size() && rows.at(row).item == item)
        return rows.at(row).size;

    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    // An entry with a size, check box or font of its own is measured every
    // time, as is one of a model without item pointers. An icon is set with
    // setData, which makes the entry be measured again.
    if (!item || index.column() != 0 || index.parent().isValid() || index.data(Qt::SizeHintRole).isValid()
        || index.data(Qt::CheckStateRole).isValid() || index.data(Qt::FontRole).isValid())
        return size;
    if (row >= rows.size())
        rows.resize(row + 1);
    rows[row] = Measured{item, size};
    return size;
}

void DeviceListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (!foreground.canConvert<QBrush>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The style draws the entry without its text (background, selection,
    // icon, focus), and the text goes where the style would put it.
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString text = item.text;
    item.text.clear();
    const QWidget *widget = item.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    item.text = text;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect =
        style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(margin, 0, -margin, 0);
    painter->save();
    painter->setFont(item.font);
    painter->setPen(foreground.value<QBrush>().color());
    painter->drawText(textRect, int(item.displayAlignment),
                      item.fontMetrics.elidedText(text, item.textElideMode, textRect.width()));
    painter->restore();
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
    // what is held back here. Everything else it does happens. Qt keeps this
    // attribute for itself, but setUpdatesEnabled(true) would ask for the
    // very repaint this avoids; it is set and cleared around one call, with
    // nothing else running in between.
    viewport->setAttribute(Qt::WA_UpdatesDisabled, true);
    view->doItemsLayout();
    viewport->setAttribute(Qt::WA_UpdatesDisabled, false);

    // Rows are laid out top to bottom, so the first new row is the one that
    // may reach into sight; the margin keeps a row that only touches the
    // edge, at a fractional device pixel ratio, on the safe side. Only the
    // new rows are painted: the rows above them did not move, and below
    // them is the list's empty background.
    const QModelIndex root = view->rootIndex();
    const QRect firstNew = view->visualRect(model->index(firstRow, 0, root)).adjusted(-2, -2, 2, 2);
    if (viewport->size() != viewportSize) {
        viewport->update();
    } else if (firstNew.intersects(viewport->rect())) {
        const QRect lastNew = view->visualRect(model->index(model->rowCount(root) - 1, 0, root));
        viewport->update(QRect(QPoint(0, firstNew.top()), QPoint(viewport->width(), lastNew.bottom() + 2)));
    }
}
