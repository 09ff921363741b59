#include "chart/view/customizedialog.h"

#include "chart/model/chartenums.h"
#include "realtime/datetime.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <limits>

namespace kv {

namespace {

constexpr double SpinLimit = 1e12;
constexpr int SpinDecimals = 3;

QDoubleSpinBox *ValueSpin(double value, const QString &objectName)
{
    auto *spin = new QDoubleSpinBox;
    spin->setObjectName(objectName);
    spin->setRange(-SpinLimit, SpinLimit);
    spin->setDecimals(SpinDecimals);
    spin->setValue(qBound(-SpinLimit, value, SpinLimit));
    return spin;
}

QDateTimeEdit *DateSpin(double value, const QString &objectName)
{
    auto *edit = new QDateTimeEdit;
    edit->setObjectName(objectName);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setCalendarPopup(true);
    if (value > -657434.0 && value < 2958465.0)
        edit->setDateTime(FromDateTime(value));
    return edit;
}

QComboBox *LineTypeCombo(int lineType)
{
    auto *combo = new QComboBox;
    combo->addItems({CustomizeDialog::tr("Thin solid"), CustomizeDialog::tr("Dash"), CustomizeDialog::tr("Dot"),
                     CustomizeDialog::tr("Dash dot"), CustomizeDialog::tr("Medium solid (slow)"),
                     CustomizeDialog::tr("Thick solid (slow)")});
    combo->setCurrentIndex(qBound(0, lineType, combo->count() - 1));
    return combo;
}

} // namespace

CustomizeDialog::CustomizeDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Graph Customization"));
    setObjectName(QStringLiteral("CustomizeDialog"));
    m_tabs = new QTabWidget;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
}

void CustomizeDialog::load(const ChartState &state)
{
    if (state.allowPage1)
        m_tabs->addTab(buildGraphPage(state), tr("Graph"));
    if (state.allowSubsetsPage && !state.subsets.empty())
        m_tabs->addTab(buildSubsetsPage(state), tr("Subsets"));
    if (state.allowPage2)
        m_tabs->addTab(buildColorsPage(state), tr("Colors"));
    if (state.allowAxisPage)
        m_tabs->addTab(buildAxisPage(state), tr("Axes"));
    if (state.allowFontPage)
        m_tabs->addTab(buildFontPage(state), tr("Fonts"));
    m_tabs->addTab(buildPrintPage(state), tr("Print"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply);
    if (!state.noHelp) {
        buttons->addButton(QDialogButtonBox::Help);
        connect(buttons, &QDialogButtonBox::helpRequested, this, [this] {
            QMessageBox::information(this, windowTitle(),
                                     tr("Change the pages, then press Apply to see the result or OK to keep it.\n"
                                        "Cancel returns the graph to how it was when this dialog opened."));
        });
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] {
        m_applied = true;
        emit applied();
    });
    layout()->addWidget(buttons);
}

QWidget *CustomizeDialog::buildGraphPage(const ChartState &state)
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_mainTitle = new QLineEdit(state.mainTitle);
    m_mainTitle->setObjectName(QStringLiteral("mainTitle"));
    m_subTitle = new QLineEdit(state.subTitle);
    m_subTitle->setObjectName(QStringLiteral("subTitle"));
    m_plottingMethod = new QComboBox;
    m_plottingMethod->setObjectName(QStringLiteral("plottingMethod"));
    m_plottingMethod->addItem(tr("Line"), int(sgLine));
    m_plottingMethod->addItem(tr("Points"), int(sgPoint));
    m_plottingMethod->addItem(tr("Points and line"), int(sgPointsPlusLine));
    if (state.allowBar || state.plottingMethod == sgBar)
        m_plottingMethod->addItem(tr("Bar"), int(sgBar));
    m_plottingMethod->setCurrentIndex(qMax(0, m_plottingMethod->findData(state.plottingMethod)));
    m_gridLines = new QComboBox;
    m_gridLines->setObjectName(QStringLiteral("gridLines"));
    m_gridLines->addItems({tr("X and Y"), tr("Y only"), tr("X only"), tr("None")});
    m_gridLines->setCurrentIndex(state.gridLineControl);
    m_gridStyle = new QComboBox;
    m_gridStyle->setObjectName(QStringLiteral("gridStyle"));
    m_gridStyle->addItems({tr("Thin"), tr("Thick"), tr("Dot"), tr("Dash")});
    m_gridStyle->setCurrentIndex(state.gridStyle);
    m_showLegend = new QCheckBox(tr("Show legend"));
    m_showLegend->setObjectName(QStringLiteral("showLegend"));
    m_showLegend->setChecked(state.showLegend);
    m_legendLocation = new QComboBox;
    m_legendLocation->setObjectName(QStringLiteral("legendLocation"));
    m_legendLocation->addItems({tr("Top"), tr("Bottom")});
    m_legendLocation->setCurrentIndex(state.legendLocation);
    m_precision = new QSpinBox;
    m_precision->setObjectName(QStringLiteral("dataPrecision"));
    m_precision->setRange(sgNoDecimals, sgThreeDecimals);
    m_precision->setValue(state.dataPrecision);
    m_dataLabels = new QCheckBox(tr("Show values at the points (few points only)"));
    m_dataLabels->setObjectName(QStringLiteral("dataLabels"));
    m_dataLabels->setChecked(state.allowDataLabels == sgDataValues);
    form->addRow(tr("Main title:"), m_mainTitle);
    form->addRow(tr("Subtitle:"), m_subTitle);
    form->addRow(tr("Plotting method:"), m_plottingMethod);
    form->addRow(tr("Grid lines:"), m_gridLines);
    form->addRow(tr("Grid style:"), m_gridStyle);
    form->addRow(QString(), m_showLegend);
    form->addRow(tr("Legend:"), m_legendLocation);
    form->addRow(tr("Data decimals:"), m_precision);
    form->addRow(QString(), m_dataLabels);
    return page;
}

QWidget *CustomizeDialog::buildSubsetsPage(const ChartState &state)
{
    auto *inner = new QWidget;
    auto *grid = new QGridLayout(inner);
    grid->addWidget(new QLabel(tr("Show")), 0, 0);
    grid->addWidget(new QLabel(tr("Label")), 0, 1);
    grid->addWidget(new QLabel(tr("Color")), 0, 2);
    grid->addWidget(new QLabel(tr("Line")), 0, 3);
    m_listUsed = state.randomSubsetsUsed;
    m_shownOrder = state.randomSubsetsToGraph;
    m_subsets.resize(state.subsets.size());
    for (size_t s = 0; s < state.subsets.size(); ++s) {
        SubsetRow &row = m_subsets[s];
        const SubsetState &sub = state.subsets[s];
        row.shown = new QCheckBox;
        row.shown->setObjectName(QStringLiteral("subsetShown%1").arg(s));
        row.shown->setChecked(!state.randomSubsetsUsed || state.randomSubsetsToGraph.contains(int(s)));
        row.label = new QLineEdit(sub.label);
        row.label->setObjectName(QStringLiteral("subsetLabel%1").arg(s));
        makeColorButton(&row.color, sub.color, QStringLiteral("subsetColor%1").arg(s));
        row.lineType = LineTypeCombo(sub.lineType);
        row.lineType->setObjectName(QStringLiteral("subsetLine%1").arg(s));
        const int r = int(s) + 1;
        grid->addWidget(row.shown, r, 0);
        grid->addWidget(row.label, r, 1);
        grid->addWidget(row.color.button, r, 2);
        grid->addWidget(row.lineType, r, 3);
    }
    grid->setRowStretch(int(state.subsets.size()) + 1, 1);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setWidget(inner);
    return scroll;
}

QWidget *CustomizeDialog::buildColorsPage(const ChartState &state)
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    makeColorButton(&m_foreColor, state.graphForeColor, QStringLiteral("graphForeColor"));
    makeColorButton(&m_backColor, state.graphBackColor, QStringLiteral("graphBackColor"));
    makeColorButton(&m_deskColor, state.deskColor, QStringLiteral("deskColor"));
    makeColorButton(&m_textColor, state.textColor, QStringLiteral("textColor"));
    form->addRow(tr("Grid and frame:"), m_foreColor.button);
    form->addRow(tr("Graph background:"), m_backColor.button);
    form->addRow(tr("Desk:"), m_deskColor.button);
    form->addRow(tr("Text:"), m_textColor.button);
    return page;
}

QWidget *CustomizeDialog::buildAxisPage(const ChartState &state)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *xBox = new QGroupBox(tr("X axis"));
    auto *xForm = new QFormLayout(xBox);
    m_dateAxis = state.dateTimeMode == sgVBDateTime;
    m_manualX = new QCheckBox(tr("Fixed range"));
    m_manualX->setObjectName(QStringLiteral("manualX"));
    m_manualX->setChecked(state.manualScaleControlX == sgManualMinAndMax);
    xForm->addRow(QString(), m_manualX);
    if (m_dateAxis) {
        m_minXDate = DateSpin(state.manualMinX, QStringLiteral("minX"));
        m_maxXDate = DateSpin(state.manualMaxX, QStringLiteral("maxX"));
        xForm->addRow(tr("From:"), m_minXDate);
        xForm->addRow(tr("To:"), m_maxXDate);
    } else {
        m_minX = ValueSpin(state.manualMinX, QStringLiteral("minX"));
        m_maxX = ValueSpin(state.manualMaxX, QStringLiteral("maxX"));
        xForm->addRow(tr("Minimum:"), m_minX);
        xForm->addRow(tr("Maximum:"), m_maxX);
    }
    m_xLabel = new QLineEdit(state.xAxisLabel);
    m_xLabel->setObjectName(QStringLiteral("xLabel"));
    xForm->addRow(tr("Label:"), m_xLabel);
    layout->addWidget(xBox);

    const int axes = qMax(1, int(state.multiAxesSubsets.size()));
    m_axes.resize(size_t(axes));
    for (int a = 0; a < axes; ++a) {
        const YAxisState y = a < int(state.yAxes.size()) ? state.yAxes[size_t(a)] : YAxisState();
        auto *box = new QGroupBox(axes == 1 ? tr("Y axis") : tr("Y axis %1").arg(a + 1));
        auto *form = new QFormLayout(box);
        AxisRow &row = m_axes[size_t(a)];
        row.manual = new QCheckBox(tr("Fixed range"));
        row.manual->setObjectName(QStringLiteral("manualY%1").arg(a));
        row.manual->setChecked(y.manualScaleControl == sgManualMinAndMax);
        row.min = ValueSpin(y.manualMin, QStringLiteral("minY%1").arg(a));
        row.max = ValueSpin(y.manualMax, QStringLiteral("maxY%1").arg(a));
        row.label = new QLineEdit(y.label);
        row.label->setObjectName(QStringLiteral("yLabel%1").arg(a));
        form->addRow(QString(), row.manual);
        form->addRow(tr("Minimum:"), row.min);
        form->addRow(tr("Maximum:"), row.max);
        form->addRow(tr("Label:"), row.label);
        layout->addWidget(box);
    }
    layout->addStretch(1);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    return scroll;
}

QWidget *CustomizeDialog::buildFontPage(const ChartState &state)
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    const std::pair<QString, FontRow *> rows[] = {
        {tr("Main title:"), &m_titleFont}, {tr("Subtitle:"), &m_subTitleFont}, {tr("Labels:"), &m_labelFont}};
    const ChartFont *fonts[] = {&state.mainTitleFont, &state.subTitleFont, &state.labelFont};
    const QString names[] = {QStringLiteral("titleFont"), QStringLiteral("subTitleFont"), QStringLiteral("labelFont")};
    for (int i = 0; i < 3; ++i) {
        *rows[i].second = makeFontRow(*fonts[i], names[i]);
        grid->addWidget(new QLabel(rows[i].first), i, 0);
        grid->addWidget(rows[i].second->family, i, 1);
        grid->addWidget(rows[i].second->size, i, 2);
        grid->addWidget(rows[i].second->bold, i, 3);
        grid->addWidget(rows[i].second->italic, i, 4);
    }
    grid->setRowStretch(3, 1);
    return page;
}

QWidget *CustomizeDialog::buildPrintPage(const ChartState &state)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *box = new QGroupBox(tr("Orientation"));
    auto *boxLayout = new QVBoxLayout(box);
    m_portrait = new QRadioButton(tr("Portrait"));
    m_portrait->setObjectName(QStringLiteral("portrait"));
    m_landscape = new QRadioButton(tr("Landscape"));
    m_landscape->setObjectName(QStringLiteral("landscape"));
    (state.defOrientation == sgPortrait ? m_portrait : m_landscape)->setChecked(true);
    boxLayout->addWidget(m_portrait);
    boxLayout->addWidget(m_landscape);
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

void CustomizeDialog::makeColorButton(ColorButton *button, QRgb color, const QString &objectName)
{
    button->button = new QPushButton;
    button->button->setObjectName(objectName);
    button->color = color;
    auto paint = [button] {
        QPixmap swatch(40, 14);
        swatch.fill(QColor::fromRgba(button->color));
        button->button->setIcon(QIcon(swatch));
        button->button->setIconSize(swatch.size());
    };
    paint();
    connect(button->button, &QPushButton::clicked, this, [this, button, paint] {
        const QColor chosen = QColorDialog::getColor(QColor::fromRgba(button->color), this, tr("Select Color"),
                                                     QColorDialog::ShowAlphaChannel);
        if (chosen.isValid()) {
            button->color = chosen.rgba();
            paint();
        }
    });
}

CustomizeDialog::FontRow CustomizeDialog::makeFontRow(const ChartFont &font, const QString &objectName)
{
    FontRow row;
    row.family = new QFontComboBox;
    row.family->setObjectName(objectName + QStringLiteral("Family"));
    row.family->setCurrentFont(font.toFont());
    row.shownFamily = row.family->currentFont().family();
    row.size = new QDoubleSpinBox;
    row.size->setObjectName(objectName + QStringLiteral("Size"));
    row.size->setRange(MinFontPointSize, MaxFontPointSize);
    row.size->setDecimals(1);
    row.size->setValue(font.pointSize);
    row.bold = new QCheckBox(tr("Bold"));
    row.bold->setObjectName(objectName + QStringLiteral("Bold"));
    row.bold->setChecked(font.bold);
    row.italic = new QCheckBox(tr("Italic"));
    row.italic->setObjectName(objectName + QStringLiteral("Italic"));
    row.italic->setChecked(font.italic);
    return row;
}

void CustomizeDialog::readFont(const FontRow &row, ChartFont *font)
{
    if (!row.family)
        return;
    // A family the system lacks (or none) shows as a substitute: keep the
    // stored one unless the user picked another.
    if (row.family->currentFont().family() != row.shownFamily)
        font->family = row.family->currentFont().family();
    font->pointSize = row.size->value();
    font->bold = row.bold->isChecked();
    font->italic = row.italic->isChecked();
}

void CustomizeDialog::save(ChartState *state) const
{
    if (m_mainTitle) {
        state->mainTitle = m_mainTitle->text();
        state->subTitle = m_subTitle->text();
        state->plottingMethod = m_plottingMethod->currentData().toInt();
        state->gridLineControl = m_gridLines->currentIndex();
        state->gridStyle = m_gridStyle->currentIndex();
        state->showLegend = m_showLegend->isChecked();
        state->legendLocation = m_legendLocation->currentIndex();
        state->dataPrecision = m_precision->value();
        state->allowDataLabels = m_dataLabels->isChecked() ? sgDataValues : sgNoDataLabels;
    }
    if (!m_subsets.empty()) {
        bool changed = false;
        for (size_t s = 0; s < m_subsets.size() && s < state->subsets.size(); ++s) {
            const SubsetRow &row = m_subsets[s];
            SubsetState &sub = state->subsets[s];
            sub.label = row.label->text();
            sub.color = row.color.color;
            sub.lineType = row.lineType->currentIndex();
            const bool wasShown = !m_listUsed || m_shownOrder.contains(int(s));
            changed = changed || wasShown != row.shown->isChecked();
        }
        if (changed) {
            // Keep the order of subsets that stay shown, append the new ones.
            QVector<int> order;
            const QVector<int> before = m_listUsed ? m_shownOrder : QVector<int>();
            for (int s : before)
                if (s >= 0 && s < int(m_subsets.size()) && m_subsets[size_t(s)].shown->isChecked() && !order.contains(s))
                    order.append(s);
            for (int s = 0; s < int(m_subsets.size()); ++s)
                if (m_subsets[size_t(s)].shown->isChecked() && !order.contains(s))
                    order.append(s);
            state->randomSubsetsUsed = true;
            state->randomSubsetsToGraph = order;
        }
    }
    if (m_foreColor.button) {
        state->graphForeColor = m_foreColor.color;
        state->graphBackColor = m_backColor.color;
        state->deskColor = m_deskColor.color;
        state->textColor = m_textColor.color;
    }
    if (m_manualX) {
        if (m_manualX->isChecked()) {
            state->manualScaleControlX = sgManualMinAndMax;
            if (m_dateAxis) {
                state->manualMinX = ToDateTime(m_minXDate->dateTime());
                state->manualMaxX = ToDateTime(m_maxXDate->dateTime());
            } else {
                state->manualMinX = m_minX->value();
                state->manualMaxX = m_maxX->value();
            }
        } else {
            state->manualScaleControlX = sgNoManualScale;
        }
        state->xAxisLabel = m_xLabel->text();
        if (state->yAxes.size() < m_axes.size())
            state->yAxes.resize(m_axes.size());
        for (size_t a = 0; a < m_axes.size(); ++a) {
            YAxisState &y = state->yAxes[a];
            const AxisRow &row = m_axes[a];
            y.manualScaleControl = row.manual->isChecked() ? sgManualMinAndMax : sgNoManualScale;
            if (row.manual->isChecked()) {
                y.manualMin = row.min->value();
                y.manualMax = row.max->value();
            }
            y.label = row.label->text();
        }
    }
    readFont(m_titleFont, &state->mainTitleFont);
    readFont(m_subTitleFont, &state->subTitleFont);
    readFont(m_labelFont, &state->labelFont);
    state->defOrientation = m_portrait->isChecked() ? sgPortrait : sgLandscape;
}

} // namespace kv
