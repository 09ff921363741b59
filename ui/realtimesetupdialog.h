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

    // The sampling period as indexes of the minutes and seconds boxes
    // (index = minutes or seconds).
    void setSamplingIndexes(int minutesIndex, int secondsIndex);
    int minutesIndex() const;
    int secondsIndex() const;
    // The "Recording Period" shown before the count is edited.
    void setPeriodText(const QString &text);
    // The number of samples as typed, blanks included.
    QString sampleCountText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Serves both boxes: a period of 00:00 becomes 00:02, and the recording
    // period is shown for the entered count.
    void updatePeriod();

    QLineEdit *m_countEdit = nullptr;
    QComboBox *m_minutesBox = nullptr;
    QComboBox *m_secondsBox = nullptr;
    QLineEdit *m_periodEdit = nullptr;
    QPushButton *m_startButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
