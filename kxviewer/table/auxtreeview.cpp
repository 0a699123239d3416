#include "kxviewer/table/auxtreeview.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "kxviewer/table/auxtreeaccessible.h"
#include "kxviewer/table/auxtreemodel.h"

namespace {

// Rows laid out at one turn of the event loop.
constexpr int LAYOUT_BATCH = 50000;
// Turns waited for the layout to reach a row to scroll to.
constexpr int SCROLL_TRIES = 400;
constexpr int TEXT_GAP = 4;

// The width of the colour column: the model's blanks in the view's font.
int SwatchWidth(const QFontMetrics& metrics) { return metrics.horizontalAdvance(QStringLiteral("   ")); }

// Paints a row as a tree would: the arrow and colour of a node, the text
// after them, a child's text indented under its node's.
class AuxTreeDelegate : public QStyledItemDelegate {
public:
    AuxTreeDelegate(AuxTreeModel* model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

    static int Box(const QStyleOptionViewItem& option) { return option.rect.height(); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.backgroundBrush = QBrush();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

        const auto [node, child] = AuxTreeModel::Place(index);
        const QRect& rect = option.rect;
        const int box = Box(option);
        const int swatch = SwatchWidth(option.fontMetrics);
        int x = rect.left() + box;
        if (child < 0) {
            if (model_->Children(node) > 0) {
                QStyleOption arrow;
                arrow.rect = QRect(rect.left(), rect.top(), box, box).adjusted(box / 4, box / 4, -box / 4, -box / 4);
                arrow.palette = option.palette;
                arrow.state = QStyle::State_Enabled;
                style->drawPrimitive(model_->IsExpanded(node) ? QStyle::PE_IndicatorArrowDown
                                                              : QStyle::PE_IndicatorArrowRight,
                                     &arrow, painter, widget);
            }
            const QVariant colour = index.siblingAtColumn(0).data(Qt::BackgroundRole);
            if (colour.canConvert<QBrush>())
                painter->fillRect(QRect(x, rect.top() + 1, swatch, rect.height() - 2), colour.value<QBrush>());
        } else {
            x += box;
        }
        x += swatch + TEXT_GAP;
        const QRect textRect(x, rect.top(), std::max(0, rect.right() - x), rect.height());
        const QString text = option.fontMetrics.elidedText(model_->Text(index), Qt::ElideRight, textRect.width());
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        const int height = option.fontMetrics.height() + 2;
        return QSize(2 * height + SwatchWidth(option.fontMetrics) + TEXT_GAP, height);
    }

private:
    AuxTreeModel* model_;
};

} // namespace

void AuxTreeView::InstallAccessibility()
{
    static const bool installed = (QAccessible::installFactory(&AuxTreeAccessible::Factory), true);
    Q_UNUSED(installed)
}

AuxTreeView::AuxTreeView(AuxTreeModel* model, QWidget* parent) : QListView(parent), model_(model)
{
    InstallAccessibility();
    setModel(model);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(LAYOUT_BATCH);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setItemDelegate(new AuxTreeDelegate(model, this));
    scrollTimer_.setInterval(0);
    connect(&scrollTimer_, &QTimer::timeout, this, &AuxTreeView::ScrollWhenLaidOut);
    // A node's children shown or hidden: the rows right below it.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) { NotifyExpansion(first - 1); });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int) { NotifyExpansion(first - 1); });
    // The places may name other nodes in the tree shown next.
    connect(model, &QAbstractItemModel::modelReset, this, &AuxTreeView::ForgetAccessibleItems);
}

AuxTreeView::~AuxTreeView() { ForgetAccessibleItems(); }

QRect AuxTreeView::ArrowRect(const QModelIndex& index) const
{
    const QRect row = visualRect(index.siblingAtColumn(0));
    return QRect(row.left(), row.top(), row.height(), row.height());
}

bool AuxTreeView::OnArrow(const QModelIndex& index, const QPoint& pos) const
{
    if (!index.isValid() || !ArrowRect(index).contains(pos))
        return false;
    const auto [node, child] = AuxTreeModel::Place(index);
    return child < 0 && model_->Children(node) > 0;
}

bool AuxTreeView::Toggle(const QModelIndex& index)
{
    const auto [node, child] = AuxTreeModel::Place(index);
    if (child >= 0 || model_->Children(node) == 0)
        return false;
    model_->SetExpanded(node, !model_->IsExpanded(node));
    return true;
}

void AuxTreeView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (event->button() == Qt::LeftButton && OnArrow(index, event->pos())) {
        Toggle(index);
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void AuxTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (event->button() == Qt::LeftButton && OnArrow(index, event->pos())) {
        // The press before it toggled the node, as a tree view's does; the
        // list would take the double-click for another press.
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && index.isValid() && Toggle(index)) {
        emit doubleClicked(index);
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void AuxTreeView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    const int key = event->key();
    if (current.isValid() && (key == Qt::Key_Plus || key == Qt::Key_Minus || key == Qt::Key_Asterisk)) {
        // A child's row has nothing to expand: the key does nothing there.
        // The tree has two levels, so expanding a node expands all below it.
        const auto [node, child] = AuxTreeModel::Place(current);
        if (child < 0)
            model_->SetExpanded(node, key != Qt::Key_Minus);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

QModelIndex AuxTreeView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || (action != MoveLeft && action != MoveRight))
        return QListView::moveCursor(action, modifiers);
    const auto [node, child] = AuxTreeModel::Place(current);
    if (child >= 0)
        return action == MoveLeft ? model_->NodeOf(current) : current;
    if (action == MoveRight && model_->IsExpanded(node))
        return model_->IndexOf(node, 0, current.column());
    model_->SetExpanded(node, action == MoveRight);
    return current;
}

void AuxTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    NotifyAccessible(current, QAccessible::Focus);
    // Past the list's own notice, which names a row number.
    QAbstractItemView::currentChanged(current, previous);
}

void AuxTreeView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // As the list tells it: the first item of each change.
    if (!selected.isEmpty())
        NotifyAccessible(selected.first().topLeft(), QAccessible::SelectionAdd);
    if (!deselected.isEmpty())
        NotifyAccessible(deselected.first().topLeft(), QAccessible::SelectionRemove);
    QAbstractItemView::selectionChanged(selected, deselected);
}

QAccessibleInterface* AuxTreeView::AccessibleItem(int32_t node, int32_t child)
{
    if (!model_->Current() || node < 0 || node >= model_->Nodes() || child >= model_->Children(node))
        return nullptr;
    const quint64 place = (quint64(uint32_t(node)) << 32) | uint32_t(child + 1);
    const auto known = accessibleItems_.constFind(place);
    if (known != accessibleItems_.constEnd())
        return QAccessible::accessibleInterface(*known);
    auto* item = new AuxTreeItemAccessible(this, node, child);
    accessibleItems_.insert(place, QAccessible::registerAccessibleInterface(item));
    return item;
}

void AuxTreeView::ForgetAccessibleItems()
{
    for (const QAccessible::Id id : qAsConst(accessibleItems_))
        QAccessible::deleteAccessibleInterface(id);
    accessibleItems_.clear();
}

void AuxTreeView::NotifyAccessible(const QModelIndex& index, QAccessible::Event event)
{
    if (!QAccessible::isActive() || !index.isValid())
        return;
    const auto [node, child] = AuxTreeModel::Place(index);
    if (QAccessibleInterface* item = AccessibleItem(node, child)) {
        QAccessibleEvent notice(item, event);
        QAccessible::updateAccessibility(&notice);
    }
}

void AuxTreeView::NotifyExpansion(int row)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface* item = AccessibleItem(AuxTreeModel::Place(model_->index(row, 0)).first, -1);
    if (!item)
        return;
    QAccessible::State changed;
    changed.expanded = true;
    changed.collapsed = true;
    QAccessibleStateChangeEvent notice(item, changed);
    QAccessible::updateAccessibility(&notice);
}

void AuxTreeView::ShowCurrent(const QModelIndex& index)
{
    setCurrentIndex(index);
    pending_ = index;
    scrollTries_ = 0;
    ScrollWhenLaidOut();
}

void AuxTreeView::ScrollWhenLaidOut()
{
    if (!pending_.isValid() || ++scrollTries_ > SCROLL_TRIES) {
        scrollTimer_.stop();
        return;
    }
    if (rectForIndex(pending_).isValid()) {
        scrollTo(pending_);
        pending_ = QPersistentModelIndex();
        scrollTimer_.stop();
        return;
    }
    scrollTimer_.start();
}
