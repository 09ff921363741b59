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

    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_grid->setModel(&m_model);
    m_grid->setItemDelegateForColumn(0, new NumberColumnDelegate(m_grid));
    m_grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setShowGrid(true);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->hide();
    // Fixed row heights keep a table of 100,000 rows fast to scroll.
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(RowHeight);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    m_grid->setColumnWidth(0, NumberColumnWidth);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
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
