#include "ui/yscaledialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString ScaleCaption = QStringLiteral("Y Axis Maximum And Minimum Scale Setup");

} // namespace

YScaleDialog::YScaleDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSetupScale"));
    setWindowTitle(ScaleCaption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::WindowStaysOnTopHint);

    auto *group = new QGroupBox(ScaleCaption, this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    m_minimum = new QLineEdit(group);
    m_minimum->setObjectName(QStringLiteral("edtT1Min"));
    m_maximum = new QLineEdit(group);
    m_maximum->setObjectName(QStringLiteral("edtT1Max"));
    auto *form = new QFormLayout(group);
    form->addRow(QStringLiteral("MIN"), m_minimum);
    form->addRow(QStringLiteral("MAX"), m_maximum);

    m_save = new QCheckBox(QStringLiteral("Save this setting "), this);
    m_save->setObjectName(QStringLiteral("chkSave"));
    QFont bold = m_save->font();
    bold.setBold(true);
    m_save->setFont(bold);
    m_save->setStyleSheet(QStringLiteral("QCheckBox { color: red; }"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_save);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}

QString YScaleDialog::TruncatedText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    const double whole = std::trunc(value);
    return whole == 0.0 ? QStringLiteral("0") : QString::number(whole, 'f', 0);
}

void YScaleDialog::setRange(double minimum, double maximum)
{
    m_minimum->setText(TruncatedText(minimum));
    m_maximum->setText(TruncatedText(maximum));
}

QString YScaleDialog::minimumText() const { return m_minimum->text(); }

QString YScaleDialog::maximumText() const { return m_maximum->text(); }

bool YScaleDialog::saveAsTemplate() const { return m_save->isChecked(); }
