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

    m_countEdit = new QLineEdit(this);
    m_countEdit->setObjectName(QStringLiteral("edtRealTimeNo"));
    // Up to five digits; blanks of the mask are spaces.
    m_countEdit->setMaxLength(RecordCountDigits);
    m_countEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]{0,5}")), m_countEdit));
    m_countEdit->setText(QStringLiteral(" 2000"));
    m_countEdit->setAlignment(Qt::AlignRight);
    m_countEdit->setFixedWidth(80);

    m_minutesBox = SamplingBox(this, "ComboBox1");
    m_secondsBox = SamplingBox(this, "ComboBox2");
    connect(m_minutesBox, &QComboBox::activated, this, &RealTimeSetupDialog::updatePeriod);
    connect(m_secondsBox, &QComboBox::activated, this, &RealTimeSetupDialog::updatePeriod);

    m_periodEdit = new QLineEdit(this);
    m_periodEdit->setObjectName(QStringLiteral("edtPeriod"));
    m_periodEdit->setReadOnly(true);
    m_periodEdit->setFixedWidth(80);
    m_periodEdit->setAlignment(Qt::AlignRight);

    m_startButton = new QPushButton(QStringLiteral("Start"), this);
    m_startButton->setObjectName(QStringLiteral("btnStart"));
    m_startButton->setDefault(true);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("btnCancel"));
    connect(m_startButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *rate = new QHBoxLayout;
    rate->setSpacing(4);
    rate->addWidget(m_minutesBox);
    rate->addWidget(new QLabel(QStringLiteral(":"), this));
    rate->addWidget(m_secondsBox);
    rate->addWidget(new QLabel(QStringLiteral("mm:ss"), this));
    rate->addStretch();

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(10);
    auto *countLabel = new QLabel(QStringLiteral("Real-Time data no to be recorded"), this);
    countLabel->setBuddy(m_countEdit);
    form->addWidget(countLabel, 0, 0);
    form->addWidget(m_countEdit, 0, 1, Qt::AlignLeft);
    form->addWidget(new QLabel(QStringLiteral("Real -Time Sampling Rate"), this), 1, 0);
    form->addLayout(rate, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("Recording Period"), this), 2, 0);
    auto *period = new QHBoxLayout;
    period->setSpacing(4);
    period->addWidget(m_periodEdit);
    period->addWidget(new QLabel(QStringLiteral("HH:MM:SS"), this));
    period->addStretch();
    form->addLayout(period, 2, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_startButton);
    buttons->addWidget(m_cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RealTimeSetupDialog::setSamplingIndexes(int minutesIndex, int secondsIndex)
{
    m_minutesBox->setCurrentIndex(minutesIndex);
    m_secondsBox->setCurrentIndex(secondsIndex);
}

int RealTimeSetupDialog::minutesIndex() const { return m_minutesBox->currentIndex(); }

int RealTimeSetupDialog::secondsIndex() const { return m_secondsBox->currentIndex(); }

void RealTimeSetupDialog::setPeriodText(const QString &text) { m_periodEdit->setText(text); }

QString RealTimeSetupDialog::sampleCountText() const { return m_countEdit->text(); }

void RealTimeSetupDialog::updatePeriod()
{
    if (m_minutesBox->currentIndex() <= 0 && m_secondsBox->currentIndex() <= 0) {
        m_minutesBox->setCurrentIndex(0);
        m_secondsBox->setCurrentIndex(MinimumPeriodSecondsIndex);
    }
    bool ok = false;
    const qint64 count = m_countEdit->text().trimmed().toLongLong(&ok);
    const qint64 rate = qint64(qMax(m_minutesBox->currentIndex(), 0)) * 60 + qMax(m_secondsBox->currentIndex(), 0);
    m_periodEdit->setText(kv::RecordingPeriodText(ok ? count * rate : 0, true));
}

void RealTimeSetupDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}
