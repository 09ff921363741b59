// The serial link over real pseudo-terminals with the simulated meter behind
// them: port selection, the port search, disconnection, how the live
// exchange fails and recovers, and a logger download at the line rate.
#include "app/prompt.h"
#include "ui/aboutdialog.h"
#include "ui/loggerdownload.h"
#include "ui/mainwindow.h"
#include "ui/panelwindow.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"
#include "tests/support/children.h"
#include "tests/support/ptymeter.h"
#include "tests/testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

// The serial tests' meter shows a fixed reading.
struct PtyMeter : kvtest::PtyMeter {
    explicit PtyMeter(kv::SimSerialPacing pacing = kv::SimSerialPacing::Baud9600) : kvtest::PtyMeter(pacing)
    {
        meter.setReading(54.0, 25.0, 30.0);
    }
};

enum class Behaviour { Meter, WrongIdentification, Silent, NoPort };

void SetUp(PtyMeter &pty, Behaviour behaviour)
{
    if (behaviour == Behaviour::WrongIdentification)
        pty.meter.faults().inject(kv::SimFault::WrongMarkers, std::numeric_limits<int>::max(), 'K');
    if (behaviour == Behaviour::Silent)
        pty.meter.faults().setDeviceAbsent(true);
    pty.start();
}

// Frames with `letter` written to the port, answered or not.
int FramesSent(const kv::SimMeter &meter, char letter)
{
    int n = 0;
    for (const kv::SimLogEntry &entry : meter.log())
        n += entry.letter() == letter ? 1 : 0;
    return n;
}

// Puts `paths` into the port box as its entries without connecting.
void ListPorts(MainWindow &main, const QStringList &paths)
{
    const QSignalBlocker quiet(child<QComboBox>(main, "ComboBoxDeviceName"));
    child<QComboBox>(main, "ComboBoxDeviceName")->clear();
    child<QComboBox>(main, "ComboBoxDeviceName")->addItems(paths);
    child<QComboBox>(main, "ComboBoxDeviceName")->setCurrentIndex(0);
}

// The texts a label named `name` showed each time it was painted.
class PaintLog : public QObject {
public:
    explicit PaintLog(const char *name) : m_name(QLatin1String(name)) { qApp->installEventFilter(this); }
    ~PaintLog() override { qApp->removeEventFilter(this); }
    QStringList painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->objectName() == m_name)
            if (auto *label = qobject_cast<QLabel *>(watched))
                painted << label->text();
        return false;
    }

private:
    QString m_name;
};

} // namespace

Q_DECLARE_METATYPE(Behaviour)

class TestSerial : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void deviceNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("device");
        QTest::newRow("USB adapter") << "ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("Bluetooth") << "rfcomm0" << "/dev/rfcomm0";
        QTest::newRow("path") << "/dev/pts/3" << "/dev/pts/3";
        QTest::newRow("link in a folder") << "/tmp/kv/meter" << "/tmp/kv/meter";
    }
    void deviceNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, device);
        QCOMPARE(kv::SerialDeviceName(typed), device);
    }

    void selectPort_data()
    {
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("portOpen");
        QTest::newRow("meter answers") << Behaviour::Meter << "On Connection" << true;
        // A port that opens but identifies no meter is left open.
        QTest::newRow("wrong identification") << Behaviour::WrongIdentification << "No Connection" << true;
        QTest::newRow("nothing answers") << Behaviour::Silent << "No Connection" << true;
        QTest::newRow("no such port") << Behaviour::NoPort << "No Connection" << false;
    }
    void selectPort()
    {
        QFETCH(Behaviour, behaviour);
        QFETCH(QString, status);
        QFETCH(bool, portOpen);
        PtyMeter pty;
        SetUp(pty, behaviour);
        const QString path = behaviour == Behaviour::NoPort ? QStringLiteral("/nonexistent/ttyKV") : pty.path();

        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(path); // a change of the text connects
        QCOMPARE(main.statusText(1), status);
        QCOMPARE(main.connection().link().isSerial(), behaviour == Behaviour::Meter);
        QCOMPARE(main.connection().link().isConnected(), behaviour == Behaviour::Meter);
        QCOMPARE(main.connection().serialPort().isOpen(), portOpen);
        QCOMPARE(main.connection().serialPort().deviceName(), path);
        QVERIFY(main.connection().isPolling());

        if (behaviour == Behaviour::Meter) {
            // Polling runs over the port as over USB.
            main.connection().poll().PollTick();
            QCOMPARE(main.connection().poll().PollFailures, 0);
            QCOMPARE(main.connection().poll().Reading.Rh, 54.0f);
            QCOMPARE(main.connection().poll().Reading.T1, 25.0f);
            QVERIFY(qAbs(main.connection().poll().Reading.T2 - 30.0f) < 0.05f);
        }
        pty.stop();
        QCOMPARE(FramesSent(pty.meter, 'K'), behaviour == Behaviour::NoPort ? 0 : 1);
    }

    void disconnectDropsLink()
    {
        PtyMeter pty;
        SetUp(pty, Behaviour::Meter);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(pty.path());
        QVERIFY(main.connection().link().isSerial());
        QVERIFY(main.panel());
        QVERIFY(child<QLabel>(main.panel(), "lblNoConnection")->isHidden());

        child<QToolButton>(main, "BitBtn2")->click();
        QVERIFY(!main.connection().serialPort().isOpen());
        QVERIFY(!main.connection().link().isConnected());
        QVERIFY(!main.connection().link().isSerial());
        QVERIFY(!child<QLabel>(main.panel(), "lblNoConnection")->isHidden());
        QVERIFY(main.connection().isPolling());
        // The status bar keeps what it showed.
        QCOMPARE(main.statusText(1), QStringLiteral("On Connection"));
    }

    void searchStopsAtAnsweringPort()
    {
        PtyMeter silent, meter, later;
        SetUp(silent, Behaviour::Silent);
        SetUp(meter, Behaviour::Meter);
        SetUp(later, Behaviour::Meter);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        ListPorts(main, {silent.path(), meter.path(), later.path()});

        QStringList titles;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!main.searchSplash())
                return;
            const QString title = child<QLabel>(main.searchSplash(), "lblTitle")->text();
            if (title.startsWith(QLatin1String("Searching on ")) && (titles.isEmpty() || titles.last() != title))
                titles << title;
        });
        watch.start(5);
        child<QToolButton>(main, "BitBtn1")->click();
        watch.stop();

        QCOMPARE(titles, (QStringList{"Searching on " + silent.path(), "Searching on " + meter.path()}));
        QCOMPARE(child<QComboBox>(main, "ComboBoxDeviceName")->currentIndex(), 1);
        QVERIFY(main.connection().serialPort().isOpen());
        QCOMPARE(main.connection().serialPort().deviceName(), meter.path());
        QVERIFY(main.connection().link().isConnected());
        QVERIFY(main.connection().link().isSerial());
        QCOMPARE(main.statusText(1), QStringLiteral("On Connection"));
        QVERIFY(child<QComboBox>(main, "ComboBoxDeviceName")->isEnabled());
        QVERIFY(main.connection().isPolling());
        QTRY_VERIFY(!main.searchSplash());

        silent.stop();
        meter.stop();
        later.stop();
        QCOMPARE(FramesSent(silent.meter, 'K'), 1);
        // Selecting the entry in code made no connection attempt of its own.
        QCOMPARE(FramesSent(meter.meter, 'K'), 1);
        QCOMPARE(FramesSent(later.meter, 'K'), 0);
    }

    void closingDuringSearchEndsIt()
    {
        // The program is closed during the search's first pause: no port is
        // tried, none stays open, nothing polls afterwards.
        PtyMeter meter;
        SetUp(meter, Behaviour::Meter);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        ListPorts(main, {meter.path()});
        QTimer::singleShot(10, &main, [&main] { main.close(); });
        child<QToolButton>(main, "BitBtn1")->click();
        QVERIFY(!main.isVisible());
        QVERIFY(!main.connection().isPolling());
        QVERIFY(!main.connection().link().isConnected());
        QVERIFY(!main.connection().serialPort().isOpen());
        meter.stop();
        QCOMPARE(FramesSent(meter.meter, 'K'), 0);
    }

    void typedNameIsNotCompleted()
    {
        // Each keystroke tries the name typed so far, never a listed name it
        // is the beginning of.
        PtyMeter meter;
        SetUp(meter, Behaviour::Meter);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto *box = main.findChild<QComboBox *>(QStringLiteral("ComboBoxDeviceName"));
        QVERIFY(box);
        ListPorts(main, {meter.path()});
        box->lineEdit()->clear();
        const QString typed = meter.path().left(meter.path().size() - 1);
        box->setFocus();
        QTest::keyClicks(box->lineEdit(), typed);
        QCOMPARE(box->currentText(), typed);
        QVERIFY(!main.connection().link().isConnected());
        meter.stop();
        QCOMPARE(FramesSent(meter.meter, 'K'), 0);
    }

    void wrongIdentificationIsAskedAgain()
    {
        PtyMeter other, meter, later;
        SetUp(other, Behaviour::WrongIdentification);
        SetUp(meter, Behaviour::Meter);
        SetUp(later, Behaviour::Meter);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        ListPorts(main, {other.path(), meter.path(), later.path()});
        const QString statusBefore = main.statusText(1);

        child<QToolButton>(main, "BitBtn1")->click();
        QVERIFY(!main.connection().link().isConnected());
        QVERIFY(!main.connection().link().isSerial());
        QVERIFY(!main.connection().serialPort().isOpen());
        QCOMPARE(child<QComboBox>(main, "ComboBoxDeviceName")->currentIndex(), 0);
        QCOMPARE(main.statusText(1), statusBefore); // a search that finds nothing shows nothing

        other.stop();
        meter.stop();
        later.stop();
        QCOMPARE(FramesSent(other.meter, 'K'), 3); // once in every pass
        QCOMPARE(FramesSent(meter.meter, 'K'), 0);
        QCOMPARE(FramesSent(later.meter, 'K'), 0);
    }

    void liveFailures_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("againAfterOne"); // a second run of the fault after one good exchange
        QTest::addColumn<QList<int>>("failures"); // PollFailures after each tick
        QTest::addColumn<bool>("connected");
        // 40 bytes after 200 ms stay queued; the next exchange reads them in
        // front of its reply and fails on the markers; then all is well.
        QTest::newRow("40 bytes waiting") << int(kv::SimFault::ShortReply) << 1 << 0 << QList<int>{1, 2, 0, 0} << true;
        QTest::newRow("40 stray bytes in front") << int(kv::SimFault::StrayBytes) << 1 << 0 << QList<int>{1, 0, 0} << true;
        QTest::newRow("wrong checksum") << int(kv::SimFault::WrongChecksum) << 1 << 0 << QList<int>{1, 0, 0} << true;
        QTest::newRow("wrong markers") << int(kv::SimFault::WrongMarkers) << 1 << 0 << QList<int>{1, 0} << true;
        QTest::newRow("two, one good, two") << int(kv::SimFault::NoReply) << 2 << 2 << QList<int>{1, 2, 0, 1, 2, 0} << true;
        QTest::newRow("three silent") << int(kv::SimFault::NoReply) << 3 << 0 << QList<int>{1, 2, 0} << false;
    }
    void liveFailures()
    {
        QFETCH(int, fault);
        QFETCH(int, count);
        QFETCH(int, againAfterOne);
        QFETCH(QList<int>, failures);
        QFETCH(bool, connected);
        // Whole replies right after the turnaround: at the line rate a reply
        // with stray bytes takes 118 of the exchange's 200 ms, and a loaded
        // machine running the meter's thread late made its tail arrive after
        // the exchange, failing the next one too.  Each tick's outcome
        // depends on the fault alone this way.
        PtyMeter pty(kv::SimSerialPacing::Burst);
        pty.meter.faults().setShortLength(40);
        pty.meter.faults().setStrayCount(40);
        pty.meter.faults().inject(kv::SimFault(fault), count, 'A');
        if (againAfterOne > 0)
            pty.meter.faults().inject(kv::SimFault(fault), againAfterOne, 'A', 1);
        pty.start();

        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(pty.path());
        QVERIFY(main.connection().link().isSerial());
        main.connection().stopPolling(); // the ticks are driven by hand

        QList<int> seen;
        for (int i = 0; i < failures.size(); ++i) {
            main.connection().poll().PollTick();
            seen << main.connection().poll().PollFailures;
        }
        QCOMPARE(seen, failures);
        QCOMPARE(main.connection().link().isConnected(), connected);
        QCOMPARE(main.connection().link().isSerial(), connected);
        QCOMPARE(main.statusText(1), connected ? QStringLiteral("On Connection") : QStringLiteral("No Connection"));
    }

    // Every change of the port box's text connects, holding the link for a
    // moment: the box keeps the focus, so a name is typed key by key.
    void typingAPortNameKeepsTheFocus()
    {
        PtyMeter pty;
        pty.start();
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("meter"));
        QVERIFY(QFile::link(pty.path(), name));
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        auto *box = child<QComboBox>(main, "ComboBoxDeviceName");
        box->setFocus();
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), name);
        QCOMPARE(box->currentText(), name);
        QVERIFY(box->lineEdit()->hasFocus());
        QVERIFY(main.connection().link().isSerial());
        QCOMPARE(main.statusText(1), QStringLiteral("On Connection"));
    }

    // A serial download at 9600 baud handles no user input, yet its progress
    // dialog is painted after every page: the bytes received it shows
    // advance while the download runs, up to the whole transfer.
    void downloadPaintsItsProgress()
    {
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        PtyMeter pty;
        kv::SimDataSet set;
        for (int k = 0; k < 20; ++k)
            set.samples.push_back({450, 230, 750});
        QVERIFY(pty.meter.addDataSet(set));
        pty.start();
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(pty.path());
        QVERIFY(main.connection().link().isSerial());

        PaintLog log("lblBytesReceived");
        QCOMPARE(main.loggerDownload()->loadData(), 0);
        QVERIFY(prompts.shown.isEmpty());
        const int total = int(main.loggerData().image().size());
        QVERIFY(total > 32 * 8);
        QList<int> bytes;
        for (const QString &text : log.painted)
            if (bytes.isEmpty() || bytes.last() != text.toInt())
                bytes << text.toInt();
        QVERIFY2(bytes.size() >= 8, qPrintable(log.painted.join(QLatin1Char(' '))));
        QVERIFY(std::is_sorted(bytes.begin(), bytes.end()));
        QCOMPARE(bytes.last(), total);
        QVERIFY(main.connection().link().isSerial()); // the port connected again
    }
};

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
