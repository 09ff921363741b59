#include "panel/panel.h"

#include "app/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>

namespace {
constexpr int PanelWidth = 312;
constexpr int PanelHeight = 713;
} // namespace

TfrmPanel::TfrmPanel(TfrmMain &main, QWidget *parent) : QWidget(parent), m_main(main)
{
    setObjectName(QStringLiteral("frmPanel"));
    setWindowTitle(QStringLiteral("PANEL"));
    setFixedSize(PanelWidth, PanelHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    lblNoConnection = new QLabel(QStringLiteral("No Connection"), this);
    lblNoConnection->setObjectName(QStringLiteral("lblNoConnection"));
    lblNoConnection->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    lblNoConnection->move(100, 60);
    lblNoConnection->hide();

    ingBlutoothLink = new QLabel(this);
    ingBlutoothLink->setObjectName(QStringLiteral("ingBlutoothLink"));
    ingBlutoothLink->move(60, 220);
}

void TfrmPanel::UpdatePanel(const kv::LiveReading &) {}

void TfrmPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TfrmPanel::FormShow() {}

void TfrmPanel::closeEvent(QCloseEvent *event)
{
    event->accept();
    FormClose();
}

void TfrmPanel::FormClose()
{
    if (m_main.frmPanel == this)
        m_main.frmPanel = nullptr;
    m_main.ControlPanel1->setChecked(false);
}
