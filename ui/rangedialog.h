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

    // Range selection for a source of `count` rows or points: shows the range
    // controls with 1 .. count; the caller then shows the dialog modally.
    void prepareRangeSelection(const QString &caption, int count);
    // The range chosen (after modal result 1).
    kv::RowRange rangeRequest(int count) const;

    // Progress display, shown without waiting.  With `cancellable` the Cancel
    // button sets the result to ResultCancel (the dialog stays open).
    void showProgress(const QString &caption, const QString &text, int maximum, bool cancellable);
    // One step; the bar is redrawn only when the step moves it visibly.
    void stepProgress();
    int progressSteps() const { return m_steps; }
    bool cancelRequested() const { return result() == ResultCancel; }
    // The bar's position, set directly by an operation that counts itself.
    void setProgressValue(int value);
    // An operation of unknown length shows its text without a bar.
    void setProgressBarVisible(bool visible);
    void setProgressText(const QString &text);
    // Byte counts under the bar: received bytes (starting at 0) and the total
    // with its caption.
    void showByteCounts(const QString &totalCaption, int totalBytes);
    // Moves the bar and the received count together.
    void setBytesReceived(int bytes);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void cancelClicked();

    QGroupBox *m_rangeBox = nullptr;
    QRadioButton *m_allButton = nullptr;
    QRadioButton *m_selectButton = nullptr;
    QLabel *m_fromLabel = nullptr;
    QLineEdit *m_fromEdit = nullptr;
    QLabel *m_toLabel = nullptr;
    QLineEdit *m_toEdit = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    QLabel *m_bytesReceivedLabel = nullptr;
    QLabel *m_totalCaptionLabel = nullptr;
    QLabel *m_totalBytesLabel = nullptr;

    bool m_progress = false;
    int m_steps = 0;
};
