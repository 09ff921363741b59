#include "ui/aboutdialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int AboutWidth = 383;
constexpr int AboutHeight = 117;
}

QString ProgramVersionText()
{
#ifdef KV_VERSION
    return QStringLiteral(KV_VERSION);
#else
    return {};
#endif
}

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                          | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QString());
    setFixedSize(AboutWidth, AboutHeight);

    lblTitle = new QLabel(QStringLiteral("Four Channel Thermometer Software"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setItalic(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    lblTitle->setFont(titleFont);
    lblTitle->setStyleSheet(QStringLiteral("color: blue;"));
    lblTitle->setAlignment(Qt::AlignCenter);

    lblVersionCaption = new QLabel(QStringLiteral("Version:"), this);
    lblVersionCaption->setObjectName(QStringLiteral("lblVersionCaption"));
    lblVersion = new QLabel(ProgramVersionText(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblEmpty = new QLabel(QString(), this);
    lblEmpty->setObjectName(QStringLiteral("lblEmpty"));

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QGridLayout(this);
    layout->addWidget(lblTitle, 0, 0, 1, 3);
    layout->addWidget(lblVersionCaption, 1, 0, Qt::AlignRight);
    layout->addWidget(lblVersion, 1, 1, Qt::AlignLeft);
    layout->addWidget(lblEmpty, 2, 0, 1, 3);
    layout->addWidget(BitBtn1, 1, 2, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->setColumnStretch(1, 1);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void AboutDialog::ShowAsSplash()
{
    BitBtn1->hide();
    show();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void AboutDialog::SetTitleText(const QString &text)
{
    lblTitle->setText(text);
    lblTitle->repaint();
}
