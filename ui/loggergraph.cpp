// The "DataLogger" window's part of the graph window: the data set list, the
// data set on the chart, and the question about unsaved logger data.

#include "ui/graphwindow.h"

#include "app/prompt.h"
#include "app/settings.h"
#include "chart/view/chart.h"
#include "logger/loggerdata.h"
#include "realtime/channels.h"
#include "realtime/datetime.h"
#include "ui/collectioncommands.h"

#include <QComboBox>
#include <QSignalBlocker>
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
    connect(this, &GraphWindow::dataSetRequested, this, &GraphWindow::showRequestedDataSet,
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
    // Refilling moves the current row; the caller shows the data set it wants.
    const QSignalBlocker quiet(m_dataSetList);
    m_dataSetList->setUpdatesEnabled(false);
    m_dataSetList->clearContents();
    setDataSetRowCount(int(sets.size()) + 1);
    for (int i = 0; i < int(sets.size()); ++i) {
        const QStringList row = kv::DataSetRowTexts(sets[size_t(i)], i);
        for (int c = 0; c < DataSetColumns; ++c)
            setDataSetCell(c, i + 1, row[c]);
    }
    fitDataSetColumns();
    m_dataSetList->setUpdatesEnabled(true);
    if (!sets.empty()) {
        m_dataSetList->setCurrentCell(0, 0);
        m_dataSetList->selectRow(0);
    }
}

void GraphWindow::showDataSet(const kv::LoggerData &data, int index)
{
    const std::vector<kv::LoggerDataSet> &sets = data.dataSets();
    if (index < 0 || index >= int(sets.size()))
        return;
    const kv::LoggerDataSet &set = sets[size_t(index)];
    const double step = set.interval * kv::OneSecond;
    SetUpGraph(*m_chart, kv::GraphChannelCount, set.count, set.start, set.start + set.count * step, DataSetYMin,
               DataSetYMax);
    updateAnnotationTools();

    const qsizetype entries = qsizetype(set.count) * kv::GraphChannelCount;
    const kv::LoggerSeries &series = data.series();
    m_chart->setXDataIIArray(series.times.data() + set.firstEntry, entries);
    m_chart->setYDataArray(series.values.data() + set.firstEntry, entries);
    showGraphStatistics();

    // The data set's own start, interval and count rather than the ones
    // derived from the points.
    m_startTimeBox->setText(kv::DateTimeText(set.start));
    m_minutesBox->setCurrentIndex(set.interval / 60 < m_minutesBox->count() ? set.interval / 60 : -1);
    m_secondsBox->setCurrentIndex(set.interval % 60);
    m_dataCountBox->setText(QString::number(set.count));

    m_chart->undoZoom();
    m_undoZoomButton->setEnabled(false);
    m_chart->resetImage();
}

void GraphWindow::showRequestedDataSet(int index)
{
    if (m_loggerData)
        showDataSet(*m_loggerData, index);
}

std::optional<kv::Answer> GraphWindow::askAboutLoggerData()
{
    if (!m_loggerData || !m_loggerData->unsaved())
        return std::nullopt;
    m_dropLoggerData = false;
    return kv::Prompts().askYesNoCancel(this, SaveLoggerQuestion);
}

bool GraphWindow::saveLoggerDataAsAnswered(kv::Answer answer)
{
    if (answer == kv::Answer::Yes) {
        QString fileName;
        if (!m_loggerData || !kv::SaveLoggerGraph(this, *m_loggerData, *m_chart, m_settings.initialFolder(), &fileName))
            return false;
        emit fileSaved(fileName);
    } else {
        // Let go when the window closes: a "DataLogger" window made later
        // starts empty.
        m_dropLoggerData = true;
    }
    // Saved or given up: closing asks no more.
    if (m_loggerData)
        m_loggerData->setUnsaved(false);
    return true;
}
