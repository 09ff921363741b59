#include "ui/realtimesetupdialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>

namespace kv {

QString RecordingPeriodText(qint64 seconds, bool padded)
{
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const qint64 secs = seconds % 60;
    const int width = padded ? 2 : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, width, 10, QLatin1Char('0'))
        .arg(secs, width, 10, QLatin1Char('0'));
}

} // namespace kv

namespace {

constexpr int RecordCountDigits = 5;
// The shortest period the boxes accept.
constexpr int MinimumPeriodSecondsIndex = 2;

QComboBox *SamplingBox(QWidget *parent, const char *name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (int i = 0; i < kv::SamplingBoxItems; ++i)
        box->addItem(QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
    box->setMaxVisibleItems(12);
    return box;
}

} // namespace

RealTimeSetupDialog::RealTimeSetupDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSetupRealTime"));
    setWindowTitle(QStringLiteral("Real-Time Setup"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::WindowStaysOnTopHint);

    edtRealTimeNo = new QLineEdit(this);
    edtRealTimeNo->setObjectName(QStringLiteral("edtRealTimeNo"));
    // Up to five digits; blanks of the mask are spaces.
    edtRealTimeNo->setMaxLength(RecordCountDigits);
    edtRealTimeNo->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]{0,5}")), edtRealTimeNo));
    edtRealTimeNo->setText(QStringLiteral(" 2000"));
    edtRealTimeNo->setAlignment(Qt::AlignRight);
    edtRealTimeNo->setFixedWidth(80);

    ComboBox1 = SamplingBox(this, "ComboBox1");
    ComboBox2 = SamplingBox(this, "ComboBox2");
    connect(ComboBox1, &QComboBox::activated, this, &RealTimeSetupDialog::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &RealTimeSetupDialog::ComboBox1Change);

    edtPeriod = new QLineEdit(this);
    edtPeriod->setObjectName(QStringLiteral("edtPeriod"));
    edtPeriod->setReadOnly(true);
    edtPeriod->setFixedWidth(80);
    edtPeriod->setAlignment(Qt::AlignRight);

    btnStart = new QPushButton(QStringLiteral("Start"), this);
    btnStart->setObjectName(QStringLiteral("btnStart"));
    btnStart->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnStart, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *rate = new QHBoxLayout;
    rate->setSpacing(4);
    rate->addWidget(ComboBox1);
    rate->addWidget(new QLabel(QStringLiteral(":"), this));
    rate->addWidget(ComboBox2);
    rate->addWidget(new QLabel(QStringLiteral("mm:ss"), this));
    rate->addStretch();

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(10);
    auto *countLabel = new QLabel(QStringLiteral("Real-Time data no to be recorded"), this);
    countLabel->setBuddy(edtRealTimeNo);
    form->addWidget(countLabel, 0, 0);
    form->addWidget(edtRealTimeNo, 0, 1, Qt::AlignLeft);
    form->addWidget(new QLabel(QStringLiteral("Real -Time Sampling Rate"), this), 1, 0);
    form->addLayout(rate, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("Recording Period"), this), 2, 0);
    auto *period = new QHBoxLayout;
    period->setSpacing(4);
    period->addWidget(edtPeriod);
    period->addWidget(new QLabel(QStringLiteral("HH:MM:SS"), this));
    period->addStretch();
    form->addLayout(period, 2, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnStart);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RealTimeSetupDialog::ComboBox1Change()
{
    if (ComboBox1->currentIndex() <= 0 && ComboBox2->currentIndex() <= 0) {
        ComboBox1->setCurrentIndex(0);
        ComboBox2->setCurrentIndex(MinimumPeriodSecondsIndex);
    }
    bool ok = false;
    const qint64 count = edtRealTimeNo->text().trimmed().toLongLong(&ok);
    const qint64 rate = qint64(qMax(ComboBox1->currentIndex(), 0)) * 60 + qMax(ComboBox2->currentIndex(), 0);
    edtPeriod->setText(kv::RecordingPeriodText(ok ? count * rate : 0, true));
}

void RealTimeSetupDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}
