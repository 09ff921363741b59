#pragma once
// The graph window: five channels against date and time.  One class serves
// the real-time graph, the logger graph, table graphs and opened graph files.

#include "live/livereading.h"

#include <QDateTime>
#include <QWidget>

class QToolButton;
class TfrmMain;

class TfrmGraph : public QWidget {
    Q_OBJECT
public:
    TfrmGraph(TfrmMain &main, const QString &caption, QWidget *parent = nullptr);

    // One point of the real-time recording.
    void AddRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp);

    QToolButton *tbntClr = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormClose();

    TfrmMain &m_main;
};
