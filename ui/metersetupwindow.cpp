#include "ui/metersetupwindow.h"

#include "app/prompt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using kv::ServiceResult;

namespace {

const QString Ok = QStringLiteral("OK");
const QString InvalidInput = QStringLiteral("Invalid Input");
const QString BluetoothFailed = QStringLiteral("Setup Blooth On fail ");
const QString PasswordError = QStringLiteral("Password error !!");
const QString StatusStyleOk = QStringLiteral("QLabel { color: green; font-weight: bold; }");
const QString StatusStyleFail = QStringLiteral("QLabel { color: red; font-weight: bold; }");

// The two-digit interval edits: both digits required, blanks shown as "_".
const QString IntervalMask = QStringLiteral("99;_");

constexpr int FieldWidth = 90;
constexpr int ShortFieldWidth = 60;
constexpr int CoefficientWidth = 110;

QString CountText(int n)
{
    if (n == 0)
        return QStringLiteral("The meter holds no data sets.");
    return n == 1 ? QStringLiteral("The meter holds 1 data set; it will be lost.")
                  : QStringLiteral("The meter holds %1 data sets; they will be lost.").arg(n);
}

} // namespace

// The busy cursor around the exchanges, over the host the window was given.
class MeterSetupWindow::CursorHost : public kv::ServiceHost {
public:
    explicit CursorHost(kv::ServiceHost &inner) : m_inner(inner) {}
    ~CursorHost() override { setBusy(false); }

    bool acquireLink() override { return m_inner.acquireLink(); }
    void releaseLink() override { m_inner.releaseLink(); }
    void setBusy(bool busy) override
    {
        if (busy == m_busy)
            return;
        m_busy = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
        m_inner.setBusy(busy);
    }
    void pause(int ms) override { m_inner.pause(ms); }

private:
    kv::ServiceHost &m_inner;
    bool m_busy = false;
};

MeterSetupWindow::MeterSetupWindow(kv::UsbTransfer &usb, kv::SetupState &state, kv::ServiceHost &host,
                                   QWidget *parent)
    : QWidget(parent), m_host(std::make_unique<CursorHost>(host)),
      m_service(std::make_unique<kv::MeterService>(usb, state, *m_host))
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Data Logger Setup"));
    buildControls();
}

MeterSetupWindow::~MeterSetupWindow() = default;

// ---- controls ------------------------------------------------------------------

QLabel *MeterSetupWindow::statusLabel(const char *name)
{
    auto *label = new QLabel(Ok, this);
    label->setObjectName(QLatin1String(name));
    label->setStyleSheet(StatusStyleOk);
    label->setMinimumWidth(110);
    return label;
}

QLineEdit *MeterSetupWindow::field(const char *name, bool readOnly)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(readOnly);
    edit->setFixedWidth(FieldWidth);
    return edit;
}

QPushButton *MeterSetupWindow::button(const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

namespace {

QGroupBox *Group(QWidget *parent, const char *name, const QString &title)
{
    auto *g = new QGroupBox(title, parent);
    g->setObjectName(QLatin1String(name));
    return g;
}

QHBoxLayout *Row(std::initializer_list<QWidget *> widgets, bool stretch = true)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : widgets)
        row->addWidget(w);
    if (stretch)
        row->addStretch(1);
    return row;
}

QLabel *Caption(QWidget *parent, const QString &text)
{
    return new QLabel(text, parent);
}

} // namespace

void MeterSetupWindow::buildControls()
{
    // ---- settings, left column
    QPushButton *clockButton = button("Button1", QStringLiteral("Adjust Meter Time To Computer Time"));
    m_clockStatus = statusLabel("lblOK1");
    connect(clockButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::setMeterClock); });

    QGroupBox *intervalGroup = Group(this, "GroupBox1", QStringLiteral("Meter Recording Interval "));
    m_intervalMinutes = field("edtInt1", false);
    m_intervalSeconds = field("edtInt2", false);
    for (QLineEdit *e : {m_intervalMinutes, m_intervalSeconds}) {
        e->setInputMask(IntervalMask);
        e->setFixedWidth(ShortFieldWidth / 2 + 6);
    }
    m_intervalMinutes->setText(QStringLiteral("00"));
    m_intervalSeconds->setText(QStringLiteral("02"));
    auto *intervalHint = Caption(intervalGroup, QStringLiteral("mm:ss(00:01~59:59)"));
    intervalHint->setObjectName(QStringLiteral("Label17"));
    QPushButton *intervalButton = button("Button2", QStringLiteral("Adjust Meter Recording Interval "));
    m_intervalStatus = statusLabel("lblOK2");
    connect(intervalButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::setRecordingInterval); });
    {
        auto *v = new QVBoxLayout(intervalGroup);
        v->addLayout(Row({m_intervalMinutes, Caption(intervalGroup, QStringLiteral(":")), m_intervalSeconds,
                          intervalHint}));
        v->addLayout(Row({intervalButton, m_intervalStatus}));
    }

    QPushButton *eraseButton = button("Button3", QStringLiteral("Erase Meter Memory"));
    m_eraseStatus = statusLabel("lblOK3");
    connect(eraseButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::eraseMemory); });

    QGroupBox *defaultsGroup = Group(this, "GroupBox4", QStringLiteral("set default value"));
    QPushButton *defaultsButton = button("Button5", QStringLiteral("setup Other"));
    m_defaultsStatus = statusLabel("lblOK4");
    connect(defaultsButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::writeDefaults); });
    (new QVBoxLayout(defaultsGroup))->addLayout(Row({defaultsButton, m_defaultsStatus}));

    QPushButton *setupAllButton = button("Button6", QStringLiteral("Setup All"));
    connect(setupAllButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::setupAll); });

    auto *left = new QVBoxLayout;
    left->addLayout(Row({clockButton, m_clockStatus}));
    left->addWidget(intervalGroup);
    left->addLayout(Row({eraseButton, m_eraseStatus}));
    left->addWidget(defaultsGroup);
    left->addLayout(Row({setupAllButton}));
    left->addStretch(1);

    // ---- information
    QGroupBox *infoGroup = Group(this, "GroupBox2", QStringLiteral("Meter DataLogger Information"));
    struct InfoRow {
        const char *caption;
        const char *name;
        QLineEdit **edit;
    };
    const InfoRow infoRows[] = {
        {"FirmWare Version:", "txtVer", &m_firmware},
        {"SN:", "txtSN", &m_serialNumber},
        {"Bluetooth", "txtBluetooth", &m_bluetooth},
        {"Thermo Type:", "txtThermoType", &m_thermoType},
        {"Unit Type:", "txtUnit", &m_unit},
        {"Recording Interval:", "txtInt", &m_interval},
        {"RH offset:", "txtRHoffset", &m_rhOffset},
        {"T1 offset:", "txtT1offset", &m_t1Offset},
        {"T2 offset:", "txtT2offset", &m_t2Offset},
        {"ALARM:", "txtAlarm", &m_alarm},
        {"Hi:", "txtHi", &m_alarmHigh},
        {"Lo:", "txtLo", &m_alarmLow},
        {"time to off:", "txtSleepTime", &m_sleepTime},
        {"Meter Time:", "txtMeterTime", &m_meterTime},
        {"Data Sets In Memory:", "txtDataSets", &m_dataSets},
        {"Memory Available:", "txtMemoryAvailable", &m_memoryAvailable},
    };
    auto *infoGrid = new QGridLayout(infoGroup);
    int infoRow = 0;
    for (const InfoRow &r : infoRows) {
        *r.edit = field(r.name);
        infoGrid->addWidget(Caption(infoGroup, QLatin1String(r.caption)), infoRow, 0, Qt::AlignRight);
        infoGrid->addWidget(*r.edit, infoRow, 1);
        ++infoRow;
    }
    m_serialNumber->setFixedWidth(FieldWidth * 2);
    m_meterTime->setFixedWidth(FieldWidth * 2);
    m_meterTime->setToolTip(QStringLiteral("MM/DD/YY   hh:mm:ss"));
    QPushButton *infoButton = button("Button4", QStringLiteral("Read  "));
    m_informationStatus = statusLabel("lblOK5");
    connect(infoButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::readInformation); });
    infoGrid->addLayout(Row({infoButton, m_informationStatus}), infoRow, 0, 1, 2);

    // ---- calibration coefficients
    QGroupBox *adjustGroup = Group(this, "GroupBox3", QStringLiteral("Adjust value"));
    auto *adjustGrid = new QGridLayout(adjustGroup);
    const char *const columns[] = {"Gain", "EXT offset", "CJC offset"};
    for (int c = 0; c < 3; ++c)
        adjustGrid->addWidget(Caption(adjustGroup, QLatin1String(columns[c])), 0, c + 1);
    const char *const rowNames[] = {"T2", "T1", "RH"};
    const char *const editNames[3][3] = {{"edtT2Gain", "edtT2_EXT_offset", "edtT2_CJC_offset"},
                                         {"edtT1Gain", "edtT1_EXT_offset", "edtT1_CJC_offset"},
                                         {"edtRHGain", "edtRH_EXT_offset", "edtRH_CJC_offset"}};
    for (int r = 0; r < 3; ++r) {
        QLabel *rowCaption = Caption(adjustGroup, QLatin1String(rowNames[r]));
        adjustGrid->addWidget(rowCaption, r + 1, 0);
        for (int c = 0; c < 3; ++c) {
            m_coefficients[r][c] = field(editNames[r][c], false);
            m_coefficients[r][c]->setFixedWidth(CoefficientWidth);
            adjustGrid->addWidget(m_coefficients[r][c], r + 1, c + 1);
            m_coefficients[r][c]->setVisible(r == 0);
        }
        rowCaption->setVisible(r == 0); // only the thermocouple row is shown
    }
    QPushButton *calibrationButton = button("Button7", QStringLiteral("Read  "));
    m_calibrationStatus = statusLabel("lblOK6");
    connect(calibrationButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::readCalibration); });
    adjustGrid->addLayout(Row({calibrationButton, m_calibrationStatus}), 4, 0, 1, 4);

    // ---- sensor module
    QGroupBox *sensorGroup = Group(this, "GroupBox5", QStringLiteral("QM41"));
    struct SensorRow {
        const char *caption;
        const char *name;
        QLineEdit **edit;
    };
    const SensorRow sensorRows[] = {
        {"FWversion", "txtFWversion", &m_sensorFirmware},  {"HWversion", "txtHWversion", &m_sensorHardware},
        {"SensorPID", "txtSensorPID", &m_sensorProductId}, {"ModelName", "txtModelName", &m_sensorModel},
        {"Trowdata", "txtTrowdata", &m_temperatureRaw},    {"Hrowdata", "txtHrowdata", &m_humidityRaw},
        {"CAL. RH Hi", "txtCALRHHi", &m_calRhHi},          {"CAL. RH Lo", "txtCALRHLo", &m_calRhLo},
        {"CAL. T1 Hi", "txtCALTHi", &m_calTHi},            {"CAL. T1 Lo", "txtCALTLo", &m_calTLo},
    };
    auto *sensorGrid = new QGridLayout(sensorGroup);
    int sensorRow = 0;
    for (const SensorRow &r : sensorRows) {
        *r.edit = field(r.name);
        sensorGrid->addWidget(Caption(sensorGroup, QLatin1String(r.caption)), sensorRow / 2, (sensorRow % 2) * 2,
                              Qt::AlignRight);
        sensorGrid->addWidget(*r.edit, sensorRow / 2, (sensorRow % 2) * 2 + 1);
        ++sensorRow;
    }
    m_sensorUid = field("txtSensorUID");
    m_sensorUid->hide();
    QPushButton *sensorButton = button("Button11", QStringLiteral("Read  "));
    m_sensorStatus = statusLabel("lblreadQM41OK");
    connect(sensorButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::readSensorModule); });
    sensorGrid->addLayout(Row({sensorButton, m_sensorStatus}), (sensorRow + 1) / 2, 0, 1, 4);

    // ---- memory cells, test data set
    QPushButton *writeButton = button("Button8", QStringLiteral("Write EEProm"));
    m_writeAddress = field("txtWAddress", false);
    m_writeValue = field("txtWData", false);
    m_accessCode = field("edtPassword", false);
    m_writeCellStatus = statusLabel("lblWriteOK");
    for (QLineEdit *e : {m_writeAddress, m_writeValue, m_accessCode}) {
        e->setText(QStringLiteral("0"));
        e->setFixedWidth(ShortFieldWidth);
    }
    connect(writeButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::writeCell); });

    QPushButton *readButton = button("Button9", QStringLiteral("Read EEProm"));
    m_readAddress = field("txtRAddress", false);
    m_readValue = field("txtRData");
    m_readCellStatus = statusLabel("lblReadOK");
    for (QLineEdit *e : {m_readAddress, m_readValue}) {
        e->setText(QStringLiteral("0"));
        e->setFixedWidth(ShortFieldWidth);
    }
    connect(readButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::readCell); });

    QPushButton *testButton = button("Button10", QStringLiteral("QUICK REC"));
    m_testRecords = field("txtQuick_REC_NUM", false);
    m_testRecords->setText(QStringLiteral("1"));
    m_testInterval = field("txtInterval", false);
    m_testInterval->setText(QStringLiteral("2"));
    for (QLineEdit *e : {m_testRecords, m_testInterval})
        e->setFixedWidth(ShortFieldWidth);
    m_testDataSetStatus = statusLabel("lblQUICKRECOK");
    connect(testButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::writeTestDataSet); });

    QPushButton *eraseLocationsButton = button("Button12", QStringLiteral("Erase 0~99 MEM"));
    m_eraseLocationsStatus = statusLabel("lbleraseMEMOK");
    connect(eraseLocationsButton, &QPushButton::clicked, this, [this] { runExclusive(&MeterSetupWindow::eraseLocations); });
    eraseLocationsButton->hide();
    m_eraseLocationsStatus->hide();

    auto *service = new QVBoxLayout;
    service->addWidget(adjustGroup);
    service->addWidget(sensorGroup);
    service->addLayout(Row({writeButton, m_writeAddress, m_writeValue, m_accessCode, m_writeCellStatus}));
    service->addLayout(Row({readButton, m_readAddress, m_readValue, m_readCellStatus}));
    service->addLayout(Row({testButton, Caption(this, QStringLiteral("NUM")), m_testRecords,
                            Caption(this, QStringLiteral("interval")), m_testInterval, m_testDataSetStatus}));
    service->addLayout(Row({eraseLocationsButton, m_eraseLocationsStatus}));
    service->addStretch(1);

    auto *top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addWidget(infoGroup, 0, Qt::AlignTop);
    top->addLayout(service);
}

// ---- status --------------------------------------------------------------------

void MeterSetupWindow::clearStatus(QLabel *label)
{
    label->setStyleSheet(StatusStyleOk);
    label->setText(QString());
    label->repaint();
}

void MeterSetupWindow::showResult(QLabel *label, const ServiceResult &result, bool withCode)
{
    if (result.ok) {
        label->setStyleSheet(StatusStyleOk);
        label->setText(Ok);
        return;
    }
    label->setStyleSheet(StatusStyleFail);
    label->setText(withCode ? QStringLiteral("Fail code=%1").arg(result.code) : QStringLiteral("Fail"));
}

QString MeterSetupWindow::dataLossQuestion(DataLoss action, std::optional<int> knownDataSets)
{
    QString what;
    switch (action) {
    case DataLoss::Erase:
        what = QStringLiteral("Erase the meter's memory?");
        break;
    case DataLoss::SetupAll:
        what = QStringLiteral("Setup All writes the default settings and erases the meter's memory. Go on?");
        break;
    case DataLoss::Defaults:
        what = QStringLiteral("The default settings empty the meter's memory. Write them?");
        break;
    case DataLoss::TestDataSet:
        what = QStringLiteral("QUICK REC writes a test data set in place of the data sets in the meter's memory. "
                              "Go on?");
        break;
    }
    const QString count = knownDataSets ? CountText(*knownDataSets)
                                        : QStringLiteral("Every data set the meter holds will be lost "
                                                         "(\"Read\" shows how many there are).");
    return what + QLatin1Char('\n') + count;
}

bool MeterSetupWindow::confirmDataLoss(DataLoss action)
{
    return kv::Prompts().askYesNoDefaultNo(this, dataLossQuestion(action, m_service->state().knownDataSets))
        == kv::Answer::Yes;
}

std::optional<long long> MeterSetupWindow::wholeNumber(QLineEdit *edit)
{
    const std::optional<long long> n = kv::ParseWholeNumber(edit->text());
    if (!n)
        kv::Prompts().message(this, kv::NotAnIntegerMessage(edit->text()));
    return n;
}

// ---- settings ------------------------------------------------------------------

void MeterSetupWindow::setMeterClock()
{
    clearStatus(m_clockStatus);
    showResult(m_clockStatus, m_service->setMeterClock(), true);
}

void MeterSetupWindow::setRecordingInterval()
{
    const std::optional<kv::IntervalBytes> interval =
        kv::IntervalParameters(m_intervalMinutes->text(), m_intervalSeconds->text());
    if (!interval) {
        kv::Prompts().message(this, InvalidInput);
        return;
    }
    clearStatus(m_intervalStatus);
    showResult(m_intervalStatus, m_service->setRecordingInterval(*interval), false);
}

void MeterSetupWindow::eraseMemory()
{
    if (!confirmDataLoss(DataLoss::Erase))
        return;
    clearStatus(m_eraseStatus);
    showResult(m_eraseStatus, m_service->eraseMemory(), true);
}

void MeterSetupWindow::writeDefaults()
{
    if (!confirmDataLoss(DataLoss::Defaults))
        return;
    clearStatus(m_defaultsStatus);
    showResult(m_defaultsStatus, m_service->writeDefaults(), true);
}

void MeterSetupWindow::clearInformation()
{
    // The unit field keeps what it showed.
    for (QLineEdit *e : {m_firmware, m_serialNumber, m_bluetooth, m_thermoType, m_interval, m_rhOffset, m_t1Offset,
                         m_t2Offset, m_alarm, m_alarmHigh, m_alarmLow, m_sleepTime, m_meterTime, m_dataSets,
                         m_memoryAvailable})
        e->clear();
}

void MeterSetupWindow::showInformation()
{
    const kv::MeterInformation info = kv::DecodeInformation(m_service->state().information, locale());
    m_firmware->setText(info.firmwareVersion);
    m_serialNumber->setText(m_service->state().serialText);
    m_bluetooth->setText(info.bluetooth);
    m_thermoType->setText(info.thermoType);
    m_unit->setText(info.unit);
    m_interval->setText(info.interval);
    m_rhOffset->setText(info.rhOffset);
    m_t1Offset->setText(info.t1Offset);
    m_t2Offset->setText(info.t2Offset);
    m_alarm->setText(info.alarm);
    m_alarmHigh->setText(info.high);
    m_alarmLow->setText(info.low);
    m_sleepTime->setText(info.sleepTime);
    m_meterTime->setText(info.meterTime);
    m_dataSets->setText(info.dataSets);
    m_memoryAvailable->setText(info.memoryAvailable);
}

void MeterSetupWindow::readInformation()
{
    clearStatus(m_informationStatus);
    clearInformation();
    const ServiceResult r = m_service->readInformation();
    if (r.ok)
        showInformation();
    showResult(m_informationStatus, r, true);
}

void MeterSetupWindow::setupAll()
{
    if (!confirmDataLoss(DataLoss::SetupAll))
        return;
    const std::optional<kv::IntervalBytes> interval =
        kv::IntervalParameters(m_intervalMinutes->text(), m_intervalSeconds->text());
    const auto labelOf = [this](kv::SetupStep step) -> QLabel * {
        switch (step) {
        case kv::SetupStep::Defaults:
            return m_defaultsStatus;
        case kv::SetupStep::Clock:
            return m_clockStatus;
        case kv::SetupStep::Interval:
            return m_intervalStatus;
        case kv::SetupStep::Erase:
            return m_eraseStatus;
        case kv::SetupStep::Information:
            return m_informationStatus;
        case kv::SetupStep::Bluetooth:
            break;
        }
        return nullptr;
    };
    bool bluetoothFailed = false;
    m_service->setupAll(interval, [&](kv::SetupStep step, const ServiceResult *r) {
        QLabel *label = labelOf(step);
        if (step == kv::SetupStep::Bluetooth && r && !r->ok)
            bluetoothFailed = true;
        if (step == kv::SetupStep::Interval && !interval) {
            if (!r)
                kv::Prompts().message(this, InvalidInput); // the step stops before anything else
            return;
        }
        if (!r) {
            if (label)
                clearStatus(label);
            if (step == kv::SetupStep::Information)
                clearInformation();
            return;
        }
        if (step == kv::SetupStep::Information && r->ok)
            showInformation();
        if (label)
            showResult(label, *r, step != kv::SetupStep::Interval);
    });
    if (bluetoothFailed)
        kv::Prompts().message(this, BluetoothFailed);
}

// ---- service ---------------------------------------------------------------------

void MeterSetupWindow::readCalibration()
{
    clearStatus(m_calibrationStatus);
    for (auto &row : m_coefficients)
        for (QLineEdit *e : row)
            e->clear();
    const ServiceResult r = m_service->readCalibration();
    if (r.ok) {
        const kv::CalibrationCoefficients c =
            kv::DecodeCalibration(m_service->state().calibrationFirst, m_service->state().calibrationSecond, locale());
        m_coefficients[0][0]->setText(c.t2Gain);
        m_coefficients[0][1]->setText(c.t2ExtOffset);
        m_coefficients[0][2]->setText(c.t2CjcOffset);
    }
    showResult(m_calibrationStatus, r, true);
}

void MeterSetupWindow::readSensorModule()
{
    clearStatus(m_sensorStatus);
    for (QLineEdit *e : {m_sensorFirmware, m_sensorHardware, m_sensorProductId, m_sensorModel, m_temperatureRaw,
                         m_humidityRaw, m_calRhHi, m_calRhLo, m_calTHi, m_calTLo, m_sensorUid})
        e->clear();
    const ServiceResult r = m_service->readSensorModule();
    if (r.ok) {
        const kv::SensorModuleData s = kv::DecodeSensorModule(m_service->state().sensorModule, locale());
        m_sensorFirmware->setText(s.firmwareVersion);
        m_sensorHardware->setText(s.hardwareVersion);
        m_sensorProductId->setText(s.productId);
        m_sensorModel->setText(s.modelName);
        m_temperatureRaw->setText(s.temperatureRaw);
        m_humidityRaw->setText(s.humidityRaw);
        m_calTLo->setText(s.calTLo);
        m_calTHi->setText(s.calTHi);
        m_calRhLo->setText(s.calRhLo);
        m_calRhHi->setText(s.calRhHi);
    }
    showResult(m_sensorStatus, r, true);
}

void MeterSetupWindow::writeCell()
{
    clearStatus(m_writeCellStatus);
    m_service->host().pause(kv::OperationStartPauseMs);
    if (!kv::AccessCodeMatches(m_accessCode->text())) {
        kv::Prompts().message(this, PasswordError);
        return;
    }
    const std::optional<long long> address = wholeNumber(m_writeAddress);
    if (!address)
        return;
    const std::optional<long long> value = wholeNumber(m_writeValue);
    if (!value)
        return;
    if (*address < 0 || *address > kv::MaxCellAddress) {
        kv::Prompts().message(this, InvalidInput);
        return;
    }
    // The value byte is the low 8 bits of the number typed.
    showResult(m_writeCellStatus, m_service->writeCell(int(*address), std::uint8_t(*value & 0xFF)), false);
}

void MeterSetupWindow::readCell()
{
    clearStatus(m_readCellStatus);
    const std::optional<long long> address = wholeNumber(m_readAddress);
    if (!address)
        return;
    if (*address < 0 || *address > kv::MaxCellAddress) {
        kv::Prompts().message(this, InvalidInput);
        return;
    }
    const std::optional<std::uint8_t> value = m_service->readCell(int(*address));
    if (value)
        m_readValue->setText(QString::number(*value));
    else
        m_readValue->clear();
    showResult(m_readCellStatus, ServiceResult{value.has_value(), 0}, false);
}

void MeterSetupWindow::writeTestDataSet()
{
    clearStatus(m_testDataSetStatus);
    const std::optional<long long> interval = wholeNumber(m_testInterval);
    if (!interval)
        return;
    const std::optional<long long> records = wholeNumber(m_testRecords);
    if (!records)
        return;
    if (*interval < kv::QuickRecMinInterval || *interval > kv::QuickRecMaxInterval || *records < 0
        || *records > kv::QuickRecMaxRecords) {
        kv::Prompts().message(this, InvalidInput);
        return;
    }
    if (!confirmDataLoss(DataLoss::TestDataSet))
        return;
    showResult(m_testDataSetStatus, m_service->writeTestDataSet(int(*interval), int(*records)), false);
}

void MeterSetupWindow::eraseLocations()
{
    clearStatus(m_eraseLocationsStatus);
    showResult(m_eraseLocationsStatus, m_service->eraseLocations(), true);
}

void MeterSetupWindow::setLinkHeld(bool held)
{
    m_linkHeld = held;
    updateButtons();
}

void MeterSetupWindow::updateButtons()
{
    const bool enabled = !m_running && !m_linkHeld;
    for (QPushButton *b : findChildren<QPushButton *>())
        b->setEnabled(enabled);
}

void MeterSetupWindow::runExclusive(void (MeterSetupWindow::*operation)())
{
    // The pauses handle events, so a click could start a second operation
    // inside the first one (or inside another holder of the link); the
    // buttons stay disabled until it ends.
    if (m_running || m_linkHeld)
        return;
    m_running = true;
    updateButtons();
    (this->*operation)();
    m_running = false;
    updateButtons();
    if (m_closeRequested)
        close();
}

void MeterSetupWindow::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        // Closed during an operation: the window closes when it ends.
        m_closeRequested = true;
        event->ignore();
        return;
    }
    m_service->host().releaseLink(); // polling runs again whatever was left
    QWidget::closeEvent(event);
}
