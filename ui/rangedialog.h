#pragma once
// The range and progress dialog: asks which rows or points an operation
// takes, or shows the progress of a long operation with an optional Cancel.
// Every control is hidden at creation; each use shows the ones it needs.

#include "logger/scoperange.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

class RangeDialog : public QDialog {
    Q_OBJECT
public:
    // Modal results of the two buttons.
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;

    explicit RangeDialog(QWidget *parent = nullptr);

    QGroupBox *GroupBox1 = nullptr;
    QRadioButton *radAll = nullptr;
    QRadioButton *radNo = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *edtSelFrom = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *edtSelTo = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QProgressBar *Progress1 = nullptr;
    QLabel *SText1 = nullptr;
    QLabel *lblBytesReceived = nullptr;
    QLabel *SText2 = nullptr;
    QLabel *lblTotalBytes = nullptr;

    // Range selection for a source of `count` rows or points: shows the range
    // controls with 1 .. count; the caller then shows the dialog modally.
    void PrepareRangeSelection(const QString &caption, int count);
    // The range chosen (after modal result 1).
    kv::RowRange RangeRequest(int count) const;

    // Progress display, shown without waiting.  With `cancellable` the Cancel
    // button sets the result to ResultCancel (the dialog stays open).
    void ShowProgress(const QString &caption, const QString &text, int maximum, bool cancellable);
    // One step; the bar is redrawn only when the step moves it visibly.
    void StepProgress();
    int ProgressSteps() const { return m_steps; }
    bool CancelRequested() const { return result() == ResultCancel; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void cancelClicked();

    bool m_progress = false;
    int m_steps = 0;
};
