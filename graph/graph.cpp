#include "graph/graph.h"

#include "app/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QToolButton>
#include <QVBoxLayout>

TfrmGraph::TfrmGraph(TfrmMain &main, const QString &caption, QWidget *parent) : QWidget(parent), m_main(main)
{
    setObjectName(QStringLiteral("frmGraph"));
    setWindowTitle(caption);
    auto *layout = new QVBoxLayout(this);
    tbntClr = new QToolButton(this);
    tbntClr->setObjectName(QStringLiteral("tbntClr"));
    tbntClr->setText(QStringLiteral("Clear"));
    layout->addWidget(tbntClr);
    layout->addStretch();
}

void TfrmGraph::AddRealTimeSample(const kv::LiveReading &, const QDateTime &) {}

void TfrmGraph::closeEvent(QCloseEvent *event)
{
    event->accept();
    FormClose();
}

void TfrmGraph::FormClose()
{
    if (windowTitle() == QLatin1String("Real-Time Graph") && m_main.RealTimeGraph == this) {
        m_main.RealTimeGraph1->setChecked(false);
        m_main.RealTimeGraph = nullptr;
        m_main.RealTimeRecording = false;
        m_main.RealTimeCount = 0;
    }
    if (windowTitle() == QLatin1String("DataLogger") && m_main.LoggerGraph == this) {
        m_main.LoggerGraph = nullptr;
        m_main.LoggerDataUnsaved = false;
    }
}
