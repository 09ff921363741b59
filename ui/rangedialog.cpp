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

    GroupBox1 = Named(new QGroupBox(this), "GroupBox1");
    radAll = new QRadioButton(QStringLiteral("&All"), GroupBox1);
    radAll->setObjectName(QStringLiteral("radAll"));
    radAll->setChecked(true);
    radNo = new QRadioButton(QStringLiteral("&Select"), GroupBox1);
    radNo->setObjectName(QStringLiteral("radNo"));
    Label1 = new QLabel(QStringLiteral("&from"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    edtSelFrom = new QLineEdit(GroupBox1);
    edtSelFrom->setObjectName(QStringLiteral("edtSelFrom"));
    edtSelFrom->setFixedWidth(EditWidth);
    Label1->setBuddy(edtSelFrom);
    Label2 = new QLabel(QStringLiteral("&to"), GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    edtSelTo = new QLineEdit(GroupBox1);
    edtSelTo->setObjectName(QStringLiteral("edtSelTo"));
    edtSelTo->setFixedWidth(EditWidth);
    Label2->setBuddy(edtSelTo);
    auto *range = new QGridLayout(GroupBox1);
    range->addWidget(radAll, 0, 0, 1, 4);
    range->addWidget(radNo, 1, 0);
    range->addWidget(Label1, 1, 1, Qt::AlignRight);
    range->addWidget(edtSelFrom, 1, 2);
    range->addWidget(Label2, 1, 3, Qt::AlignRight);
    range->addWidget(edtSelTo, 1, 4);
    range->setColumnStretch(5, 1);
    // Typing a range selects it.
    connect(edtSelFrom, &QLineEdit::textEdited, radNo, [this] { radNo->setChecked(true); });
    connect(edtSelTo, &QLineEdit::textEdited, radNo, [this] { radNo->setChecked(true); });

    Progress1 = Named(new QProgressBar(this), "Progress1");
    Progress1->setMinimumWidth(ProgressWidth);
    Progress1->setTextVisible(false);
    SText1 = Named(new QLabel(this), "SText1");
    lblBytesReceived = Named(new QLabel(QStringLiteral("bytes received"), this), "lblBytesReceived");
    SText2 = Named(new QLabel(this), "SText2");
    lblTotalBytes = Named(new QLabel(QStringLiteral("total bytes"), this), "lblTotalBytes");

    BitBtn1 = Named(new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this),
                    "BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = Named(
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this),
        "BitBtn2");
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(ResultOk); });
    connect(BitBtn2, &QPushButton::clicked, this, &RangeDialog::cancelClicked);

    auto *texts = new QGridLayout;
    texts->addWidget(SText1, 0, 0);
    texts->addWidget(lblBytesReceived, 0, 1);
    texts->addWidget(SText2, 1, 0);
    texts->addWidget(lblTotalBytes, 1, 1);
    texts->setColumnStretch(2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(Progress1);
    layout->addLayout(texts);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RangeDialog::PrepareRangeSelection(const QString &caption, int count)
{
    setWindowTitle(caption);
    GroupBox1->show();
    BitBtn1->show();
    BitBtn2->show();
    edtSelFrom->setText(QStringLiteral("1"));
    edtSelTo->setText(QString::number(count));
}

kv::RowRange RangeDialog::RangeRequest(int count) const
{
    return kv::RangeRequest(radAll->isChecked(), edtSelFrom->text(), edtSelTo->text(), count);
}

void RangeDialog::ShowProgress(const QString &caption, const QString &text, int maximum, bool cancellable)
{
    m_progress = true;
    setWindowTitle(caption);
    Progress1->setRange(0, qMax(maximum, 0));
    Progress1->setValue(0);
    m_steps = 0;
    Progress1->show();
    SText1->setText(text);
    SText1->show();
    BitBtn2->setVisible(cancellable);
    setResult(0);
    show();
}

void RangeDialog::StepProgress()
{
    const int maximum = Progress1->maximum();
    if (m_steps >= maximum)
        return;
    ++m_steps;
    const int stride = qMax(1, maximum / ProgressResolution);
    if (m_steps % stride == 0 || m_steps == maximum)
        Progress1->setValue(m_steps);
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
