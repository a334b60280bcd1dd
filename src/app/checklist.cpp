#include "app/checklist.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace {
// The check state last reported for a row, so that text changes are not
// taken for check changes.
constexpr int ReportedCheckRole = Qt::UserRole + 0x51;
}  // namespace

CheckList::CheckList(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    connect(this, &QTreeWidget::itemChanged, this, &CheckList::onItemChanged);
}

QTreeWidgetItem* CheckList::addRow(const QStringList& texts, bool checked)
{
    auto* item = new QTreeWidgetItem(texts);
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable) & ~Qt::ItemIsAutoTristate);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    item->setData(0, ReportedCheckRole, int(item->checkState(0)));
    addTopLevelItem(item);
    // Asking for the new row's index now is cheap and lets the view remember
    // it; asked later (by "Check All") it is a search from the end, which
    // makes ticking a long list quadratic.
    (void)indexFromItem(item);
    return item;
}

void CheckList::setAllChecked(bool checked)
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

bool CheckList::isChecked(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item && item->checkState(0) == Qt::Checked;
}

void CheckList::onItemChanged(QTreeWidgetItem* item, int column)
{
    if (column != 0)
        return;
    const QVariant state = item->data(0, Qt::CheckStateRole);
    if (!state.isValid() || item->data(0, ReportedCheckRole) == state)
        return;
    item->setData(0, ReportedCheckRole, state);
    emit itemCheckChanged(item);
}

void CheckList::keyPressEvent(QKeyEvent* event)
{
    QTreeWidgetItem* item = currentItem();
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier || !item || state() == EditingState ||
        !(item->flags() & Qt::ItemIsUserCheckable)) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    event->accept();
}

void CheckList::commitData(QWidget* editor)
{
    QTreeWidget::commitData(editor);
    if (QTreeWidgetItem* item = currentItem())
        emit labelEditEnded(item);
}
