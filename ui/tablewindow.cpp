#include "ui/tablewindow.h"

#include <QEvent>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
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

// The table with its number column kept at the left: a second view on the
// same model and selection shows column 0 over the table's own and scrolls
// with it vertically only.  Moving the current cell scrolls it out from
// under that column.
class FixedColumnTable : public QTableView {
public:
    explicit FixedColumnTable(QWidget *parent) : QTableView(parent) {}

    QTableView *fixed = nullptr;

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override
    {
        // Column 0 is always in view; scrolling to it would only move the
        // other columns.
        if (index.column() > 0)
            QTableView::scrollTo(index, hint);
    }

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        const QModelIndex current = QTableView::moveCursor(action, modifiers);
        if (fixed && action == MoveLeft && current.column() > 0) {
            const int hidden = visualRect(current).left() - fixed->columnWidth(0);
            if (hidden < 0)
                horizontalScrollBar()->setValue(horizontalScrollBar()->value() + hidden);
        }
        return current;
    }
    void resizeEvent(QResizeEvent *event) override
    {
        QTableView::resizeEvent(event);
        placeFixedColumn();
    }
    void updateGeometries() override
    {
        QTableView::updateGeometries();
        placeFixedColumn();
    }

public:
    // Over column 0 at the viewport's left, from the title row down.
    void placeFixedColumn()
    {
        if (!fixed)
            return;
        const int headerHeight = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
        fixed->setGeometry(viewport()->x(), viewport()->y() - headerHeight, columnWidth(0),
                           viewport()->height() + headerHeight);
    }
};

} // namespace

TableWindow::TableWindow(const QString &caption, QWidget *parent) : QWidget(parent), m_model(this)
{
    setObjectName(QStringLiteral("frmList"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);

    auto *grid = new FixedColumnTable(this);
    m_grid = grid;
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_numbers = new QTableView(m_grid);
    m_numbers->setObjectName(QStringLiteral("Grid1FixedColumn"));
    for (QTableView *view : {m_grid, m_numbers}) {
        view->setModel(&m_model);
        view->setItemDelegateForColumn(0, new NumberColumnDelegate(view));
        view->setSelectionMode(QAbstractItemView::ContiguousSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectItems);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setShowGrid(true);
        view->setWordWrap(false);
        view->verticalHeader()->hide();
        // Fixed row heights keep a table of 100,000 rows fast to scroll.
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(RowHeight);
        view->horizontalHeader()->setHighlightSections(false);
        view->horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    }
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->setColumnWidth(0, NumberColumnWidth);
    // By pixels: scrolled by whole columns, the first one in view would sit
    // under the number column.
    m_grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // The fixed number column: the table's selection, its own header cell
    // "No", no scroll bars of its own.
    m_numbers->setSelectionModel(m_grid->selectionModel());
    m_numbers->setFocusPolicy(Qt::NoFocus);
    m_numbers->setFrameShape(QFrame::NoFrame);
    m_numbers->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_numbers->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_numbers->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_numbers->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_numbers->setColumnWidth(0, NumberColumnWidth);
    m_grid->viewport()->stackUnder(m_numbers);
    grid->fixed = m_numbers;
    hideDataColumnsOfNumbers();
    connect(&m_model, &QAbstractItemModel::modelReset, this, &TableWindow::hideDataColumnsOfNumbers);
    connect(&m_model, &QAbstractItemModel::columnsInserted, this, &TableWindow::hideDataColumnsOfNumbers);
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this, grid](int column, int, int width) {
        if (column != 0)
            return;
        m_numbers->setColumnWidth(0, width);
        grid->placeFixedColumn();
    });
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, m_numbers->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_numbers->verticalScrollBar(), &QScrollBar::valueChanged, m_grid->verticalScrollBar(),
            &QScrollBar::setValue);
    m_numbers->show();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);
    resize(DefaultWidth, DefaultHeight);
}

void TableWindow::hideDataColumnsOfNumbers()
{
    for (int c = 1; c < m_model.columnCount(); ++c)
        m_numbers->setColumnHidden(c, true);
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
