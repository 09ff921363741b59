#pragma once
// The "Data Logger Setup" window: the meter's clock, recording interval,
// memory erase, default settings and Bluetooth ("Setup All"), the
// information read-out, and the service functions (calibration coefficients,
// sensor module, memory cells behind the access code, a test data set).
//
// A view over MeterService: it takes the transfer, the long-lived SetupState
// and the host (link discipline and pauses) by reference.  Closing the window
// gives the link back, so polling runs again.  Controls carry the object
// names tests look them up by (Button1 .. Button12, lblOK1 .., txt.., edt..).

#include "setup/meterservice.h"

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

class MeterSetupWindow : public QWidget {
    Q_OBJECT
public:
    MeterSetupWindow(kv::UsbTransfer &usb, kv::SetupState &state, kv::ServiceHost &host, QWidget *parent = nullptr);
    ~MeterSetupWindow() override;

    kv::MeterService &service() { return *m_service; }
    // An operation holds the link (a download, a key, one of this window's
    // own): the buttons are disabled and start nothing until it ends.
    void setLinkHeld(bool held);

    // The question asked before an operation that loses the logged data
    // sets; names the count when an information read has shown it.
    enum class DataLoss { Erase, SetupAll, Defaults, TestDataSet };
    static QString dataLossQuestion(DataLoss action, std::optional<int> knownDataSets);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    class CursorHost;

    void buildControls();
    QLabel *statusLabel(const char *name);
    QLineEdit *field(const char *name, bool readOnly = true);
    QPushButton *button(const char *name, const QString &caption);

    void setMeterClock();
    void setRecordingInterval();
    void eraseMemory();
    void writeDefaults();
    void readInformation();
    void setupAll();
    void readCalibration();
    void readSensorModule();
    void writeCell();
    void readCell();
    void writeTestDataSet();
    void eraseLocations();

    // Runs one operation; ignored while another runs or the link is held.
    void runExclusive(void (MeterSetupWindow::*operation)());
    void updateButtons();
    bool confirmDataLoss(DataLoss action);
    std::optional<long long> wholeNumber(QLineEdit *edit);
    void clearStatus(QLabel *label);
    void showResult(QLabel *label, const kv::ServiceResult &result, bool withCode);
    void clearInformation();
    void showInformation();

    std::unique_ptr<CursorHost> m_host;
    bool m_running = false;
    bool m_linkHeld = false;
    bool m_closeRequested = false;
    std::unique_ptr<kv::MeterService> m_service;

    // Status labels.
    QLabel *m_clockStatus = nullptr;
    QLabel *m_intervalStatus = nullptr;
    QLabel *m_eraseStatus = nullptr;
    QLabel *m_defaultsStatus = nullptr;
    QLabel *m_informationStatus = nullptr;
    QLabel *m_calibrationStatus = nullptr;
    QLabel *m_sensorStatus = nullptr;
    QLabel *m_writeCellStatus = nullptr;
    QLabel *m_readCellStatus = nullptr;
    QLabel *m_testDataSetStatus = nullptr;
    QLabel *m_eraseLocationsStatus = nullptr;

    QLineEdit *m_intervalMinutes = nullptr;
    QLineEdit *m_intervalSeconds = nullptr;

    // Information fields.
    QLineEdit *m_firmware = nullptr;
    QLineEdit *m_serialNumber = nullptr;
    QLineEdit *m_bluetooth = nullptr;
    QLineEdit *m_thermoType = nullptr;
    QLineEdit *m_unit = nullptr;
    QLineEdit *m_interval = nullptr;
    QLineEdit *m_rhOffset = nullptr;
    QLineEdit *m_t1Offset = nullptr;
    QLineEdit *m_t2Offset = nullptr;
    QLineEdit *m_alarm = nullptr;
    QLineEdit *m_alarmHigh = nullptr;
    QLineEdit *m_alarmLow = nullptr;
    QLineEdit *m_sleepTime = nullptr;
    QLineEdit *m_meterTime = nullptr;
    QLineEdit *m_dataSets = nullptr;
    QLineEdit *m_memoryAvailable = nullptr;

    // Coefficients: T2, T1, RH rows of gain, external and CJC offset.
    QLineEdit *m_coefficients[3][3] = {};

    // Sensor module fields.
    QLineEdit *m_sensorFirmware = nullptr;
    QLineEdit *m_sensorHardware = nullptr;
    QLineEdit *m_sensorProductId = nullptr;
    QLineEdit *m_sensorModel = nullptr;
    QLineEdit *m_temperatureRaw = nullptr;
    QLineEdit *m_humidityRaw = nullptr;
    QLineEdit *m_calRhHi = nullptr;
    QLineEdit *m_calRhLo = nullptr;
    QLineEdit *m_calTHi = nullptr;
    QLineEdit *m_calTLo = nullptr;
    QLineEdit *m_sensorUid = nullptr;

    // Memory cells and the test data set.
    QLineEdit *m_writeAddress = nullptr;
    QLineEdit *m_writeValue = nullptr;
    QLineEdit *m_accessCode = nullptr;
    QLineEdit *m_readAddress = nullptr;
    QLineEdit *m_readValue = nullptr;
    QLineEdit *m_testRecords = nullptr;
    QLineEdit *m_testInterval = nullptr;
};
