#pragma once
// The virtual meter panel: a picture of the meter whose display mirrors the
// meter's.  (The full picture and keys are built on this window.)

#include "live/livereading.h"

#include <QWidget>

class QLabel;
class TfrmMain;

class TfrmPanel : public QWidget {
    Q_OBJECT
public:
    TfrmPanel(TfrmMain &main, QWidget *parent = nullptr);

    void UpdatePanel(const kv::LiveReading &reading);

    QLabel *lblNoConnection = nullptr;
    QLabel *ingBlutoothLink = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void FormClose();

    TfrmMain &m_main;
};
