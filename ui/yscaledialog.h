#pragma once
// The dialog that sets the range of a graph's left Y axis, with the choice
// to keep the chart as the graph template.

#include <QDialog>

class QCheckBox;
class QLineEdit;

class YScaleDialog : public QDialog {
    Q_OBJECT
public:
    explicit YScaleDialog(QWidget *parent = nullptr);

    // The boxes show an axis's ends truncated toward zero.
    void setRange(double minimum, double maximum);
    QString minimumText() const;
    QString maximumText() const;
    bool saveAsTemplate() const;

    // An axis end as the dialog shows it: truncated toward zero, never "-0".
    static QString TruncatedText(double value);

private:
    QLineEdit *m_minimum = nullptr;
    QLineEdit *m_maximum = nullptr;
    QCheckBox *m_save = nullptr;
};
