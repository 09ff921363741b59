#pragma once
// The "Real-Time Setup" dialog: how many samples to record and how often.

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kv {
// "Real -Time Sampling Rate" boxes: items "00" to "60".
constexpr int SamplingBoxItems = 61;
// Period of the recording as hours:minutes:seconds; `padded` writes minutes
// and seconds with two digits.
QString RecordingPeriodText(qint64 seconds, bool padded);
} // namespace kv

class RealTimeSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit RealTimeSetupDialog(QWidget *parent = nullptr);

    QLineEdit *edtRealTimeNo = nullptr;
    QComboBox *ComboBox1 = nullptr;   // minutes
    QComboBox *ComboBox2 = nullptr;   // seconds
    QLineEdit *edtPeriod = nullptr;
    QPushButton *btnStart = nullptr;
    QPushButton *btnCancel = nullptr;

    // Serves both boxes: a period of 00:00 becomes 00:02, and the recording
    // period is shown for the entered count.
    void ComboBox1Change();

protected:
    void showEvent(QShowEvent *event) override;
};
