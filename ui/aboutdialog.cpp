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

    m_titleLabel = new QLabel(QStringLiteral("Four Channel Thermometer Software"), this);
    m_titleLabel->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = m_titleLabel->font();
    titleFont.setBold(true);
    titleFont.setItalic(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    m_titleLabel->setFont(titleFont);
    m_titleLabel->setStyleSheet(QStringLiteral("color: blue;"));
    m_titleLabel->setAlignment(Qt::AlignCenter);

    m_versionCaptionLabel = new QLabel(QStringLiteral("Version:"), this);
    m_versionCaptionLabel->setObjectName(QStringLiteral("lblVersionCaption"));
    m_versionLabel = new QLabel(ProgramVersionText(), this);
    m_versionLabel->setObjectName(QStringLiteral("lblVersion"));
    m_emptyLabel = new QLabel(QString(), this);
    m_emptyLabel->setObjectName(QStringLiteral("lblEmpty"));

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("BitBtn1"));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QGridLayout(this);
    layout->addWidget(m_titleLabel, 0, 0, 1, 3);
    layout->addWidget(m_versionCaptionLabel, 1, 0, Qt::AlignRight);
    layout->addWidget(m_versionLabel, 1, 1, Qt::AlignLeft);
    layout->addWidget(m_emptyLabel, 2, 0, 1, 3);
    layout->addWidget(m_okButton, 1, 2, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->setColumnStretch(1, 1);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void AboutDialog::showAsSplash()
{
    m_okButton->hide();
    show();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void AboutDialog::setTitleText(const QString &text)
{
    m_titleLabel->setText(text);
    m_titleLabel->repaint();
}
