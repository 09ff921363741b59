// The "Data Logger Setup" window over the simulated meter: its controls and
// texts, the messages and questions it shows, its status labels, and the
// link given back after every operation and when it closes.

#include "app/prompt.h"
#include "link/commands.h"
#include "ui/interactiveprompts.h"
#include "ui/metersetupwindow.h"
#include "tests/support/setuprig.h"
#include "tests/testsupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QtTest>

using namespace kv;

namespace {

struct WindowRig : kvtest::SetupRig {
    ScriptedPrompts prompts;
    PromptScope scope{prompts};
    MeterSetupWindow window{usb, state, host};

    WindowRig()
    {
        window.resize(window.sizeHint());
        window.show();
    }
    template <typename T = QWidget>
    T *child(const char *name)
    {
        T *w = window.findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QString text(const char *name)
    {
        if (auto *l = window.findChild<QLabel *>(QLatin1String(name)))
            return l->text();
        if (auto *e = window.findChild<QLineEdit *>(QLatin1String(name)))
            return e->text();
        if (auto *b = window.findChild<QPushButton *>(QLatin1String(name)))
            return b->text();
        if (auto *g = window.findChild<QGroupBox *>(QLatin1String(name)))
            return g->title();
        return QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }
    void click(const char *name) { child<QPushButton>(name)->click(); }
    void type(const char *name, const QString &text) { child<QLineEdit>(name)->setText(text); }
    bool red(const char *name) { return child<QLabel>(name)->styleSheet().contains(QLatin1String("red")); }
    bool balanced() const { return host.acquired == host.released && host.polling; }
};

} // namespace

class TestSetupWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }
    void controls_data();
    void controls();
    void hiddenControlsAndMasks();
    void picture();
    void interval_data();
    void interval();
    void unpluggedShowsCode();
    void informationFields();
    void eraseAsksFirst();
    void questionDefaultsToNo();
    void setupAllStopsWhenBluetoothFails();
    void memoryCells_data();
    void memoryCells();
    void calibrationSensorAndTestDataSet();
    void closingGivesPollingBack();
    void oneOperationAtATime();
};

void TestSetupWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const char *const rows[][2] = {
        {"Button1", "Adjust Meter Time To Computer Time"},
        {"GroupBox1", "Meter Recording Interval "},
        {"Button2", "Adjust Meter Recording Interval "},
        {"Label17", "mm:ss(00:01~59:59)"},
        {"edtInt1", "00"},
        {"edtInt2", "02"},
        {"Button3", "Erase Meter Memory"},
        {"GroupBox4", "set default value"},
        {"Button5", "setup Other"},
        {"Button6", "Setup All"},
        {"GroupBox2", "Meter DataLogger Information"},
        {"Button4", "Read  "},
        {"GroupBox3", "Adjust value"},
        {"Button7", "Read  "},
        {"GroupBox5", "QM41"},
        {"Button11", "Read  "},
        {"Button8", "Write EEProm"},
        {"Button9", "Read EEProm"},
        {"Button10", "QUICK REC"},
        {"Button12", "Erase 0~99 MEM"},
        {"txtWAddress", "0"},
        {"txtWData", "0"},
        {"edtPassword", "0"},
        {"txtRAddress", "0"},
        {"txtRData", "0"},
        {"txtQuick_REC_NUM", "1"},
        {"txtInterval", "2"},
        {"lblOK1", "OK"},
        {"lblOK5", "OK"},
        {"lblreadQM41OK", "OK"},
        {"lblQUICKRECOK", "OK"},
    };
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1]);
}

void TestSetupWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    WindowRig rig;
    QCOMPARE(rig.text(name.toLatin1().constData()), text);
}

void TestSetupWindow::hiddenControlsAndMasks()
{
    WindowRig rig;
    QCOMPARE(rig.window.windowTitle(), QStringLiteral("Data Logger Setup"));
    for (const char *name : {"txtSensorUID", "edtT1Gain", "edtRH_CJC_offset", "Button12", "lbleraseMEMOK"})
        QVERIFY2(!rig.child(name)->isVisible(), name);
    for (const char *name : {"edtT2Gain", "edtT2_EXT_offset", "edtT2_CJC_offset", "txtCALTLo", "txtSN"})
        QVERIFY2(rig.child(name)->isVisible(), name);
    QCOMPARE(rig.child<QLineEdit>("txtMeterTime")->toolTip(), QStringLiteral("MM/DD/YY   hh:mm:ss"));
    QVERIFY(!rig.child<QLineEdit>("edtInt1")->inputMask().isEmpty());
    QVERIFY(!rig.red("lblOK1"));
    QVERIFY(rig.child<QLabel>("lblOK1")->styleSheet().contains(QLatin1String("bold")));
}

void TestSetupWindow::picture()
{
    WindowRig rig;
    rig.click("Button4");
    const QString path = QDir::temp().filePath(QStringLiteral("kv3917-setupwindow.png"));
    QVERIFY(rig.window.grab().save(path));
}

void TestSetupWindow::interval_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<bool>("sent");
    QTest::newRow("00:00") << "00" << "00" << false;
    QTest::newRow("61:00") << "61" << "00" << false;
    QTest::newRow("60:60") << "60" << "60" << true;
    QTest::newRow("05:30") << "05" << "30" << true;
}

void TestSetupWindow::interval()
{
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    QFETCH(bool, sent);
    WindowRig rig;
    rig.type("edtInt1", minutes);
    rig.type("edtInt2", seconds);
    rig.click("Button2");
    QCOMPARE(rig.meter.frameCount(cmd::SetInterval), sent ? 1 : 0);
    QCOMPARE(rig.prompts.shown, sent ? QStringList() : QStringList{QStringLiteral("Invalid Input")});
    QCOMPARE(rig.text("lblOK2"), QStringLiteral("OK"));
    QVERIFY(rig.balanced());
}

void TestSetupWindow::unpluggedShowsCode()
{
    WindowRig rig;
    rig.usb.setUnplugged(true);
    rig.click("Button1");
    QCOMPARE(rig.text("lblOK1"), QStringLiteral("Fail code=405"));
    QVERIFY(rig.red("lblOK1"));
    rig.click("Button2");
    QCOMPARE(rig.text("lblOK2"), QStringLiteral("Fail"));
    QVERIFY(rig.balanced());
    QVERIFY(!QApplication::overrideCursor());

    rig.usb.setUnplugged(false);
    rig.click("Button1");
    QCOMPARE(rig.text("lblOK1"), QStringLiteral("OK"));
    QVERIFY(!rig.red("lblOK1"));
}

void TestSetupWindow::informationFields()
{
    WindowRig rig;
    rig.meter.setCell(18, 7);
    rig.meter.setCell(30, 6);
    rig.click("Button4");
    QCOMPARE(rig.text("lblOK5"), QStringLiteral("OK"));
    QCOMPARE(rig.text("txtThermoType"), QString());
    QCOMPARE(rig.text("txtSleepTime"), QStringLiteral("8 hours"));
    QCOMPARE(rig.text("txtMemoryAvailable"), QStringLiteral("32000"));
    QCOMPARE(rig.text("txtDataSets"), QStringLiteral("0"));
    QCOMPARE(rig.text("txtSN"), rig.meter.serialText());
    QCOMPARE(rig.text("txtUnit"), QStringLiteral("C"));
    QCOMPARE(rig.text("txtMeterTime"), QStringLiteral("03/31/2025   12:00:00"));

    // A failed read empties every field but the unit.
    rig.meter.faults().inject(SimFault::NoReply, 3, cmd::ReadInfo);
    rig.click("Button4");
    QCOMPARE(rig.text("lblOK5"), QStringLiteral("Fail code=204"));
    QCOMPARE(rig.text("txtSN"), QString());
    QCOMPARE(rig.text("txtUnit"), QStringLiteral("C"));
}

// The question comes before anything is sent, defaults to No, and names
// the data sets once the information has shown them.
void TestSetupWindow::eraseAsksFirst()
{
    WindowRig rig;
    SimDataSet set;
    set.samples.resize(3);
    QVERIFY(rig.meter.addDataSet(set));
    QVERIFY(rig.meter.addDataSet(set));

    rig.click("Button3"); // unanswered: No
    QCOMPARE(rig.meter.frameCount(cmd::EraseMemory), 0);
    QVERIFY(rig.prompts.shown.last().contains(QLatin1String("Every data set")));
    QCOMPARE(rig.text("lblOK3"), QStringLiteral("OK"));

    rig.click("Button4");
    rig.prompts.answers = {Answer::No};
    rig.click("Button6");
    QVERIFY(rig.prompts.shown.last().contains(QLatin1String("The meter holds 2 data sets")));
    QCOMPARE(rig.meter.frameCount(cmd::WriteDefaults), 0);

    rig.prompts.answers = {Answer::Yes};
    rig.click("Button3");
    QCOMPARE(rig.meter.frameCount(cmd::EraseMemory), 1);
    QCOMPARE(rig.meter.dataSetCount(), 0);
    QCOMPARE(rig.text("lblOK3"), QStringLiteral("OK"));
    rig.click("Button3");
    QVERIFY(rig.prompts.shown.last().contains(QLatin1String("The meter holds no data sets.")));
    QVERIFY(rig.balanced());
}

// The interactive question: Return takes No.
void TestSetupWindow::questionDefaultsToNo()
{
    bool defaultNo = false;
    QTimer poll; // until the box is up
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        defaultNo = box->defaultButton() == box->button(QMessageBox::No);
        QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start();
    InteractivePrompts interactive;
    const Answer answer = interactive.askYesNoDefaultNo(
        nullptr, MeterSetupWindow::dataLossQuestion(MeterSetupWindow::DataLoss::Erase, 1));
    QVERIFY(defaultNo);
    QCOMPARE(answer, Answer::No);
    QCOMPARE(MeterSetupWindow::dataLossQuestion(MeterSetupWindow::DataLoss::Erase, 1),
             QStringLiteral("Erase the meter's memory?\nThe meter holds 1 data set; it will be lost."));
}

void TestSetupWindow::setupAllStopsWhenBluetoothFails()
{
    WindowRig rig;
    rig.meter.faults().inject(SimFault::WrongMarkers, 5, cmd::WriteCell);
    rig.prompts.answers = {Answer::Yes};
    rig.click("Button6");
    QCOMPARE(rig.prompts.shown.last(), QStringLiteral("Setup Blooth On fail "));
    QCOMPARE(rig.text("lblOK4"), QStringLiteral("OK"));
    QCOMPARE(rig.meter.frameCount(cmd::SetClock), 0);
    QCOMPARE(rig.meter.frameCount(cmd::ReadInfo), 0);
    QVERIFY(rig.balanced());

    // A sound meter: every step shows its label, and the information at the end.
    rig.meter.faults().clear();
    rig.type("edtInt1", QStringLiteral("01"));
    rig.type("edtInt2", QStringLiteral("00"));
    rig.prompts.answers = {Answer::Yes};
    rig.click("Button6");
    for (const char *label : {"lblOK1", "lblOK2", "lblOK3", "lblOK4", "lblOK5"})
        QCOMPARE(rig.text(label), QStringLiteral("OK"));
    QCOMPARE(rig.text("txtBluetooth"), QStringLiteral("ON"));
    QCOMPARE(rig.text("txtInt"), QStringLiteral("1:0"));
    QVERIFY(rig.balanced());
}

void TestSetupWindow::memoryCells_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message"); // empty: written
    QTest::newRow("written") << "8737" << "2816" << "300" << "";
    QTest::newRow("leading zero") << "08737" << "2816" << "300" << "Password error !!";
    QTest::newRow("trailing space") << "8737 " << "2816" << "300" << "Password error !!";
    QTest::newRow("address not a number") << "8737" << "0x10" << "1" << "'0x10' is not a valid integer value";
    QTest::newRow("value not a number") << "8737" << "16" << "" << "'' is not a valid integer value";
    QTest::newRow("address beyond 24 bits") << "8737" << "16777216" << "1" << "Invalid Input";
}

void TestSetupWindow::memoryCells()
{
    QFETCH(QString, code);
    QFETCH(QString, address);
    QFETCH(QString, value);
    QFETCH(QString, message);
    WindowRig rig;
    rig.type("edtPassword", code);
    rig.type("txtWAddress", address);
    rig.type("txtWData", value);
    rig.click("Button8");
    QCOMPARE(rig.host.pauses.value(0), 500);
    if (!message.isEmpty()) {
        QCOMPARE(rig.prompts.shown, QStringList{message});
        QCOMPARE(rig.meter.frameCount(cmd::WriteCell), 0);
        QVERIFY(rig.balanced());
        return;
    }
    QCOMPARE(rig.text("lblWriteOK"), QStringLiteral("OK"));
    QCOMPARE(rig.meter.lastFrame().mid(2, 4), QByteArray::fromHex("000B002C"));
    rig.type("txtRAddress", QStringLiteral("2816"));
    rig.click("Button9");
    QCOMPARE(rig.text("txtRData"), QStringLiteral("44"));
    QCOMPARE(rig.text("lblReadOK"), QStringLiteral("OK"));

    rig.meter.faults().inject(SimFault::NoReply, 5, cmd::ReadCell);
    rig.click("Button9");
    QCOMPARE(rig.text("txtRData"), QString());
    QCOMPARE(rig.text("lblReadOK"), QStringLiteral("Fail"));
    QVERIFY(rig.red("lblReadOK"));
    QVERIFY(rig.balanced());
}

void TestSetupWindow::calibrationSensorAndTestDataSet()
{
    WindowRig rig;
    rig.click("Button7");
    QCOMPARE(rig.text("lblOK6"), QStringLiteral("OK"));
    const QString gain = rig.text("edtT2Gain");
    QVERIFY(gain.startsWith(QLatin1String("1.00")) && gain.size() == 10);
    QVERIFY(!rig.text("edtT2_CJC_offset").isEmpty());

    rig.click("Button11");
    QCOMPARE(rig.text("lblreadQM41OK"), QStringLiteral("OK"));
    QCOMPARE(rig.text("txtSensorPID"), QStringLiteral("0x120A"));
    QCOMPARE(rig.text("txtModelName"), QStringLiteral("QM41"));
    QCOMPARE(rig.text("txtCALTLo"), QStringLiteral("15.0"));

    rig.type("txtInterval", QStringLiteral("2s"));
    rig.click("Button10");
    QCOMPARE(rig.prompts.shown.last(), QStringLiteral("'2s' is not a valid integer value"));
    rig.type("txtInterval", QStringLiteral("2"));
    rig.prompts.answers = {Answer::Yes};
    rig.click("Button10");
    QCOMPARE(rig.text("lblQUICKRECOK"), QStringLiteral("OK"));
    QCOMPARE(rig.meter.memory().mid(0x0B1A, 2), QByteArray::fromHex("5AA5"));
    QCOMPARE(rig.meter.memoryPointer(), 0x0B1B);
    QVERIFY(rig.balanced());
}

void TestSetupWindow::closingGivesPollingBack()
{
    WindowRig rig;
    rig.host.acquireLink(); // as if an operation had been cut short
    QVERIFY(!rig.host.polling);
    rig.window.close();
    QVERIFY(rig.host.polling);
}

// Clicks and a close arriving during an operation's pauses: no second
// operation inside the first, and the window closes once it has ended.
void TestSetupWindow::oneOperationAtATime()
{
    WindowRig rig;
    rig.prompts.answers = {Answer::Yes, Answer::Yes};
    int pausesSeen = 0;
    rig.host.onPause = [&] {
        if (pausesSeen++ > 0)
            return;
        QVERIFY(!rig.child<QPushButton>("Button3")->isEnabled());
        rig.click("Button3");
        rig.window.close();
    };
    rig.click("Button4");
    rig.host.onPause = nullptr;
    QCOMPARE(rig.meter.frameCount(cmd::EraseMemory), 0);
    QCOMPARE(rig.meter.frameCount(cmd::ReadInfo), 1);
    QCOMPARE(rig.text("lblOK5"), QStringLiteral("OK"));
    QVERIFY(!rig.window.isVisible());
    QVERIFY(rig.host.polling);
    QVERIFY(rig.child<QPushButton>("Button3")->isEnabled());
}

QTEST_MAIN(TestSetupWindow)
#include "tst_setupwindow.moc"
