// The "DataLogger" window's part of the graph window: the data set list, the
// data set on the chart, and the question about unsaved logger data.

#include "ui/graphwindow.h"

#include "app/prompt.h"
#include "chart/view/chart.h"
#include "logger/loggerdata.h"
#include "realtime/channels.h"
#include "realtime/datetime.h"
#include "ui/collectioncommands.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>

namespace {

const QString SaveLoggerQuestion = QStringLiteral("Save DataLogger Data ?");

// Y range of a data set on the chart.
constexpr double DataSetYMin = -20;
constexpr double DataSetYMax = 100;
constexpr int DataSetColumns = 10;

} // namespace

void GraphWindow::attachLoggerData(kv::LoggerData &data)
{
    if (m_loggerData)
        disconnect(m_loggerData, nullptr, this, nullptr);
    m_loggerData = &data;
    connect(&data, &kv::LoggerData::dataSetsReplaced, this, [this] {
        showDataSets(*m_loggerData);
        showDataSet(*m_loggerData, 0);
    });
    connect(this, &GraphWindow::ShowDataSetRequested, this, &GraphWindow::showRequestedDataSet,
            Qt::UniqueConnection);
    // A window made while data is on show (say after the last one was closed)
    // shows it, so that saving saves what the window shows.
    if (data.hasData()) {
        showDataSets(data);
        showDataSet(data, 0);
    }
}

void GraphWindow::showDataSets(const kv::LoggerData &data)
{
    const std::vector<kv::LoggerDataSet> &sets = data.dataSets();
    Grid2->setUpdatesEnabled(false);
    Grid2->clearContents();
    setGrid2RowCount(int(sets.size()) + 1);
    for (int i = 0; i < int(sets.size()); ++i) {
        const QStringList row = kv::DataSetRowTexts(sets[size_t(i)], i);
        for (int c = 0; c < DataSetColumns; ++c)
            setGrid2Cell(c, i + 1, row[c]);
    }
    Grid2->setUpdatesEnabled(true);
    if (!sets.empty()) {
        Grid2->setCurrentCell(0, 0);
        Grid2->selectRow(0);
    }
}

void GraphWindow::showDataSet(const kv::LoggerData &data, int index)
{
    const std::vector<kv::LoggerDataSet> &sets = data.dataSets();
    if (index < 0 || index >= int(sets.size()))
        return;
    const kv::LoggerDataSet &set = sets[size_t(index)];
    const double step = set.interval * kv::OneSecond;
    SetUpGraph(*PESGraph1, kv::GraphChannelCount, set.count, set.start, set.start + set.count * step, DataSetYMin,
               DataSetYMax);
    UpdateAnnotationTools();

    const qsizetype entries = qsizetype(set.count) * kv::GraphChannelCount;
    const kv::LoggerSeries &series = data.series();
    PESGraph1->setXDataIIArray(series.times.data() + set.firstEntry, entries);
    PESGraph1->setYDataArray(series.values.data() + set.firstEntry, entries);
    UpdateGraphStatistics(*this);

    // The data set's own start, interval and count rather than the ones
    // derived from the points.
    txtStartTime->setText(kv::DateTimeText(set.start));
    ComboBox1->setCurrentIndex(set.interval / 60 < ComboBox1->count() ? set.interval / 60 : -1);
    ComboBox2->setCurrentIndex(set.interval % 60);
    txtDataNo->setText(QString::number(set.count));

    PESGraph1->undoZoom();
    UndoZoom->setEnabled(false);
    PESGraph1->resetImage();
}

void GraphWindow::showRequestedDataSet(int index)
{
    if (m_loggerData)
        showDataSet(*m_loggerData, index);
}

bool GraphWindow::askToSaveLoggerData()
{
    if (!m_loggerData || !m_loggerData->unsaved())
        return true;
    switch (kv::Prompts().askYesNoCancel(this, SaveLoggerQuestion)) {
    case kv::Answer::Cancel:
        return false;
    case kv::Answer::Yes: {
        QString fileName;
        if (!kv::SaveLoggerGraph(this, *m_loggerData, *PESGraph1, m_main.InitialFolder(), &fileName))
            return false;
        m_main.addRecentFile(fileName);
        return true;
    }
    default:
        return true;
    }
}
