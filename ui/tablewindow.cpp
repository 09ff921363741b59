#include "ui/tablewindow.h"

#include <QEvent>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace kv {
namespace {

constexpr int ColumnWidth = 76;
constexpr int NumberColumnWidth = 52;

// The number column is drawn like the title row: it is not data.
class NumberColumnDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = option->palette.button();
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::ButtonText));
    }
};

} // namespace

TableWindow::TableWindow(const QString &caption, QWidget *parent) : QWidget(parent), m_model(this)
{
    setObjectName(QStringLiteral("frmList"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);

    Grid1 = new QTableView(this);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    Grid1->setModel(&m_model);
    Grid1->setItemDelegateForColumn(0, new NumberColumnDelegate(Grid1));
    Grid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    Grid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid1->setShowGrid(true);
    Grid1->setWordWrap(false);
    Grid1->verticalHeader()->hide();
    // Fixed row heights keep a table of 100,000 rows fast to scroll.
    Grid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid1->verticalHeader()->setDefaultSectionSize(RowHeight);
    Grid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid1->horizontalHeader()->setHighlightSections(false);
    Grid1->horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    Grid1->setColumnWidth(0, NumberColumnWidth);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Grid1);
    resize(DefaultWidth, DefaultHeight);
}

void TableWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_watchingArea)
        return;
    // Inside a multiple-document area the area tells which child is active.
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *area = qobject_cast<QMdiArea *>(w)) {
            m_watchingArea = true;
            connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *sub) {
                if (sub && sub->widget() == this)
                    emit activated();
            });
            if (area->activeSubWindow() && area->activeSubWindow()->widget() == this)
                emit activated();
            break;
        }
    }
}

void TableWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow())
        emit activated();
}

} // namespace kv
