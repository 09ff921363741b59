#pragma once
// The chart's customisation dialog: titles, plotting method, grid, legend,
// subsets (shown, label, colour, line), colours, axis ranges and labels,
// fonts and print orientation.  It edits a copy of the chart's settings; the
// chart takes them on OK or Apply (Chart::customize).

#include "chart/model/chartstate.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QFontComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace kv {

class CustomizeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CustomizeDialog(QWidget *parent = nullptr);

    // Fills the pages from a chart's state; pages the state does not allow
    // are left out.
    void load(const ChartState &state);
    // Writes the edited settings into *state (data is never touched).
    void save(ChartState *state) const;
    bool wasApplied() const { return m_applied; }
    QTabWidget *pages() const { return m_tabs; }

signals:
    void applied();

private:
    struct ColorButton {
        QPushButton *button = nullptr;
        QRgb color = 0;
    };
    struct SubsetRow {
        QCheckBox *shown = nullptr;
        QLineEdit *label = nullptr;
        ColorButton color;
        QComboBox *lineType = nullptr;
    };
    struct AxisRow {
        QCheckBox *manual = nullptr;
        QDoubleSpinBox *min = nullptr;
        QDoubleSpinBox *max = nullptr;
        QLineEdit *label = nullptr;
    };
    struct FontRow {
        QFontComboBox *family = nullptr;
        QString shownFamily;        // what the box showed at first
        QDoubleSpinBox *size = nullptr;
        QCheckBox *bold = nullptr;
        QCheckBox *italic = nullptr;
    };

    QWidget *buildGraphPage(const ChartState &state);
    QWidget *buildSubsetsPage(const ChartState &state);
    QWidget *buildColorsPage(const ChartState &state);
    QWidget *buildAxisPage(const ChartState &state);
    QWidget *buildFontPage(const ChartState &state);
    QWidget *buildPrintPage(const ChartState &state);
    void makeColorButton(ColorButton *button, QRgb color, const QString &objectName);
    FontRow makeFontRow(const ChartFont &font, const QString &objectName);
    static void readFont(const FontRow &row, ChartFont *font);

    QTabWidget *m_tabs = nullptr;
    bool m_applied = false;

    // Page "Graph".
    QLineEdit *m_mainTitle = nullptr;
    QLineEdit *m_subTitle = nullptr;
    QComboBox *m_plottingMethod = nullptr;
    QComboBox *m_gridLines = nullptr;
    QComboBox *m_gridStyle = nullptr;
    QCheckBox *m_showLegend = nullptr;
    QComboBox *m_legendLocation = nullptr;
    QSpinBox *m_precision = nullptr;
    QCheckBox *m_dataLabels = nullptr;
    // Page "Subsets".
    std::vector<SubsetRow> m_subsets;
    QVector<int> m_shownOrder;
    bool m_listUsed = false;
    // Page "Colors".
    ColorButton m_foreColor, m_backColor, m_deskColor, m_textColor;
    // Page "Axes".
    QCheckBox *m_manualX = nullptr;
    QDateTimeEdit *m_minXDate = nullptr;
    QDateTimeEdit *m_maxXDate = nullptr;
    QDoubleSpinBox *m_minX = nullptr;
    QDoubleSpinBox *m_maxX = nullptr;
    QLineEdit *m_xLabel = nullptr;
    std::vector<AxisRow> m_axes;
    bool m_dateAxis = false;
    // Page "Fonts".
    FontRow m_titleFont, m_subTitleFont, m_labelFont;
    // Page "Print".
    QRadioButton *m_portrait = nullptr;
    QRadioButton *m_landscape = nullptr;
};

} // namespace kv
