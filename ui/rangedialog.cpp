#include "ui/rangedialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int EditWidth = 80;
constexpr int ProgressWidth = 280;
// Progress bar updates per run at most: finer steps are not visible.
constexpr int ProgressResolution = 500;

template <typename T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    widget->hide();
    return widget;
}

} // namespace

RangeDialog::RangeDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmScope"));
    // Stays on top, system menu only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);

    m_rangeBox = Named(new QGroupBox(this), "GroupBox1");
    m_allButton = new QRadioButton(QStringLiteral("&All"), m_rangeBox);
    m_allButton->setObjectName(QStringLiteral("radAll"));
    m_allButton->setChecked(true);
    m_selectButton = new QRadioButton(QStringLiteral("&Select"), m_rangeBox);
    m_selectButton->setObjectName(QStringLiteral("radNo"));
    m_fromLabel = new QLabel(QStringLiteral("&from"), m_rangeBox);
    m_fromLabel->setObjectName(QStringLiteral("Label1"));
    m_fromEdit = new QLineEdit(m_rangeBox);
    m_fromEdit->setObjectName(QStringLiteral("edtSelFrom"));
    m_fromEdit->setFixedWidth(EditWidth);
    m_fromLabel->setBuddy(m_fromEdit);
    m_toLabel = new QLabel(QStringLiteral("&to"), m_rangeBox);
    m_toLabel->setObjectName(QStringLiteral("Label2"));
    m_toEdit = new QLineEdit(m_rangeBox);
    m_toEdit->setObjectName(QStringLiteral("edtSelTo"));
    m_toEdit->setFixedWidth(EditWidth);
    m_toLabel->setBuddy(m_toEdit);
    auto *range = new QGridLayout(m_rangeBox);
    range->addWidget(m_allButton, 0, 0, 1, 4);
    range->addWidget(m_selectButton, 1, 0);
    range->addWidget(m_fromLabel, 1, 1, Qt::AlignRight);
    range->addWidget(m_fromEdit, 1, 2);
    range->addWidget(m_toLabel, 1, 3, Qt::AlignRight);
    range->addWidget(m_toEdit, 1, 4);
    range->setColumnStretch(5, 1);
    // Typing a range selects it.
    connect(m_fromEdit, &QLineEdit::textEdited, m_selectButton, [this] { m_selectButton->setChecked(true); });
    connect(m_toEdit, &QLineEdit::textEdited, m_selectButton, [this] { m_selectButton->setChecked(true); });

    m_progressBar = Named(new QProgressBar(this), "Progress1");
    m_progressBar->setMinimumWidth(ProgressWidth);
    m_progressBar->setTextVisible(false);
    m_progressText = Named(new QLabel(this), "SText1");
    m_bytesReceivedLabel = Named(new QLabel(QStringLiteral("bytes received"), this), "lblBytesReceived");
    m_totalCaptionLabel = Named(new QLabel(this), "SText2");
    m_totalBytesLabel = Named(new QLabel(QStringLiteral("total bytes"), this), "lblTotalBytes");

    m_okButton = Named(
        new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this), "BitBtn1");
    m_okButton->setDefault(true);
    m_cancelButton = Named(
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this),
        "BitBtn2");
    connect(m_okButton, &QPushButton::clicked, this, [this] { done(ResultOk); });
    connect(m_cancelButton, &QPushButton::clicked, this, &RangeDialog::cancelClicked);

    auto *texts = new QGridLayout;
    texts->addWidget(m_progressText, 0, 0);
    texts->addWidget(m_bytesReceivedLabel, 0, 1);
    texts->addWidget(m_totalCaptionLabel, 1, 0);
    texts->addWidget(m_totalBytesLabel, 1, 1);
    texts->setColumnStretch(2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_rangeBox);
    layout->addWidget(m_progressBar);
    layout->addLayout(texts);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RangeDialog::prepareRangeSelection(const QString &caption, int count)
{
    setWindowTitle(caption);
    m_rangeBox->show();
    m_okButton->show();
    m_cancelButton->show();
    m_fromEdit->setText(QStringLiteral("1"));
    m_toEdit->setText(QString::number(count));
}

kv::RowRange RangeDialog::rangeRequest(int count) const
{
    return kv::RangeRequest(m_allButton->isChecked(), m_fromEdit->text(), m_toEdit->text(), count);
}

void RangeDialog::showProgress(const QString &caption, const QString &text, int maximum, bool cancellable)
{
    m_progress = true;
    setWindowTitle(caption);
    m_progressBar->setRange(0, qMax(maximum, 0));
    m_progressBar->setValue(0);
    m_steps = 0;
    m_progressBar->show();
    m_progressText->setText(text);
    m_progressText->show();
    m_cancelButton->setVisible(cancellable);
    setResult(0);
    show();
}

void RangeDialog::stepProgress()
{
    const int maximum = m_progressBar->maximum();
    if (m_steps >= maximum)
        return;
    ++m_steps;
    const int stride = qMax(1, maximum / ProgressResolution);
    if (m_steps % stride == 0 || m_steps == maximum)
        m_progressBar->setValue(m_steps);
}

void RangeDialog::setProgressValue(int value) { m_progressBar->setValue(value); }

void RangeDialog::setProgressBarVisible(bool visible) { m_progressBar->setVisible(visible); }

void RangeDialog::setProgressText(const QString &text) { m_progressText->setText(text); }

void RangeDialog::showByteCounts(const QString &totalCaption, int totalBytes)
{
    m_bytesReceivedLabel->setText(QStringLiteral("0"));
    m_bytesReceivedLabel->show();
    m_totalCaptionLabel->setText(totalCaption);
    m_totalCaptionLabel->show();
    m_totalBytesLabel->setText(QString::number(totalBytes));
    m_totalBytesLabel->show();
}

void RangeDialog::setBytesReceived(int bytes)
{
    m_progressBar->setValue(bytes);
    m_bytesReceivedLabel->setText(QString::number(bytes));
}

void RangeDialog::cancelClicked()
{
    if (m_progress)
        setResult(ResultCancel);   // the running operation sees it and stops
    else
        done(ResultCancel);
}

void RangeDialog::done(int result)
{
    // Escape and the close button count as Cancel.
    if (result == QDialog::Rejected)
        result = ResultCancel;
    if (m_progress) {
        setResult(result);
        return;
    }
    QDialog::done(result);
}

void RangeDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Centred on the screen.
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void RangeDialog::closeEvent(QCloseEvent *event)
{
    if (m_progress) {
        // A progress display is closed by its operation.
        event->ignore();
        setResult(ResultCancel);
        return;
    }
    QDialog::closeEvent(event);
}
