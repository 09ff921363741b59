// The meter panel: display mirror, redraw cache, blinking, keys and moving.
#include "ui/mainwindow.h"
#include "ui/graphwindow.h"
#include "link/commands.h"
#include "ui/panellayout.h"
#include "ui/panelglyphs.h"
#include "ui/panelwindow.h"
#include "link/panelkey.h"
#include "realtime/recorder.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/support/fakeusb.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <array>
#include <stdexcept>
#include <vector>

namespace {

using kvtest::FakeTransfer;
using kvtest::Frame;

// A live reply with its markers, display bytes zero unless given.
std::vector<std::uint8_t> LiveReply(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
{
    std::vector<std::uint8_t> r(64, 0);
    r[0] = kv::FrameStart;
    r[63] = kv::FrameEnd;
    for (const auto &[index, value] : bytes)
        r[static_cast<std::size_t>(index)] = value;
    return r;
}

std::vector<std::uint8_t> Acknowledgement(bool ok)
{
    std::vector<std::uint8_t> r(32, 0);
    r[0] = kv::FrameStart;
    r[1] = 'H';
    if (ok) {
        r[2] = 'O';
        r[3] = 'K';
    }
    return r;
}

// The panel's large digits in the order RH 1..4, T1 1..4, T2 1..4.
std::array<kv::PanelImage *, 12> LargeDigits(PanelWindow *panel)
{
    std::array<kv::PanelImage *, 12> digits{};
    for (std::size_t i = 0; i < digits.size(); ++i)
        digits[i] = child<kv::PanelImage>(panel, QLatin1String(kv::panellayout::LargeDigits[i].name));
    return digits;
}

// Whether the panel's element `name` is shown.
bool Shown(PanelWindow *panel, const char *name)
{
    return child<QWidget>(panel, QLatin1String(name))->isVisibleTo(panel);
}

// The main window against the simulated meter, on a manual clock; the
// tests run the poll and blink ticks themselves.
struct SimRig {
    kv::ManualSimClock clock;
    kv::SimMeter meter{&clock, kv::SimOptions{1, false, false, {}}};
    kv::SimUsbTransfer usb{meter};
    std::unique_ptr<MainWindow> main;

    SimRig()
    {
        meter.setReading(45.0, 25.0, 30.0);
        main = std::make_unique<MainWindow>(usb);
        main->show();
        main->connection().stopPolling();
        child<QTimer>(*main, "MaxMinTimer")->stop();
        tick(); // identifies the meter
        tick();
    }
    PanelWindow *panel() { return main->panel(); }
    void tick()
    {
        clock.advanceMs(kv::PollIntervalMs);
        main->connection().poll().PollTick();
    }
    // A key click; the effect shows with the next poll tick.
    void press(kv::PanelKey *key)
    {
        QTest::mouseClick(key, Qt::LeftButton);
        main->connection().stopPolling();
        tick();
    }
    // The line of large digits `line` (0 RH, 1 T1, 2 T2) as text: digits,
    // '-' for a minus, ' ' for a blank.
    QString line(int line)
    {
        const std::array<kv::PanelImage *, 12> digits = LargeDigits(panel());
        QString text;
        for (int i = 0; i < 4; ++i) {
            const qint64 key = digits[static_cast<std::size_t>(line * 4 + i)]->picture().cacheKey();
            QChar c = QLatin1Char('?');
            for (int g = 0; g < kv::GlyphCount; ++g)
                if (main->panelGlyphs().large[static_cast<std::size_t>(g)].cacheKey() == key)
                    c = g <= 9 ? QLatin1Char(char('0' + g)) : g == 17 ? QLatin1Char('-') : g == 16 ? QLatin1Char(' ') : c;
            text += c;
        }
        return text;
    }
    // Visibility of `w` over `ticks` blink ticks.
    std::vector<bool> blink(QWidget *w, int ticks = 4)
    {
        std::vector<bool> shown;
        for (int i = 0; i < ticks; ++i) {
            main->runBlinkTick();
            shown.push_back(w->isVisibleTo(panel()));
        }
        return shown;
    }
};

const std::vector<bool> Blinking{true, false, true, false};
const std::vector<bool> Dark(4, false);

} // namespace

class TestPanel : public QObject {
    Q_OBJECT

    FakeTransfer m_usb;
    std::unique_ptr<MainWindow> m_main;

    PanelWindow *panel() { return m_main->panel(); }

    // One poll tick of a USB meter answering `reply`.
    void Tick(const std::vector<std::uint8_t> &reply)
    {
        m_main->connection().link().Kind = kv::LinkKind::Usb;
        m_usb.reply = reply;
        m_main->connection().poll().PollTick();
    }

    std::array<kv::PanelImage *, 12> Digits() { return LargeDigits(panel()); }

    std::array<int, 12> Assignments()
    {
        std::array<int, 12> counts{};
        const auto digits = Digits();
        for (std::size_t i = 0; i < digits.size(); ++i)
            counts[i] = digits[i]->pictureAssignments();
        return counts;
    }

    bool Shows(kv::PanelImage *digit, int glyph)
    {
        return digit->picture().cacheKey() == m_main->panelGlyphs().large[static_cast<std::size_t>(glyph)].cacheKey();
    }

    void ClosePanel()
    {
        QTest::mouseClick(child<kv::PanelKey>(panel(), "btnClose"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void init()
    {
        m_usb = FakeTransfer();
        m_main = std::make_unique<MainWindow>(m_usb);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        // The tests drive the ticks themselves.
        m_main->connection().stopPolling();
        child<QTimer>(*m_main, "MaxMinTimer")->stop();
        QVERIFY(panel());
        QVERIFY(!m_main->panelGlyphs().large[0].isNull());
    }

    void cleanup() { m_main.reset(); }

    // ---- display --------------------------------------------------------------------

    void onlyDrawnGlyphsHavePictures_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<int>("glyph");
        // Large: 0..9, minus sign 17, L 18.  Small: 0..9, n 21, r 22.
        // Glyph 14 of the small set is wider and is left out.
        const QList<int> drawnLarge{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 18};
        const QList<int> drawnSmall{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 21, 22};
        for (int g = 0; g < 25; ++g) {
            if (!drawnLarge.contains(g) && g != 16)
                QTest::addRow("LCD%d", g) << QStringLiteral("LCD") << g;
            if (!drawnSmall.contains(g) && g != 16)
                QTest::addRow("LCDS%d", g) << QStringLiteral("LCDS") << g;
        }
    }
    void onlyDrawnGlyphsHavePictures()
    {
        // Every other picture is the blank digit, the same as glyph 16 (an
        // unlit digit).
        QFETCH(QString, set);
        QFETCH(int, glyph);
        for (const QString &scale : {QString(), QStringLiteral("@2x")}) {
            const QImage blank(QStringLiteral(":/glyphs/%1%2%3.jpg").arg(set).arg(16).arg(scale));
            const QImage picture(QStringLiteral(":/glyphs/%1%2%3.jpg").arg(set).arg(glyph).arg(scale));
            QVERIFY(!blank.isNull());
            QVERIFY(picture == blank);
        }
    }

    void everyElementIsThere()
    {
        const char *names[] = {
            "imgPanel", "RHD1", "RHD2", "RHD3", "RHD4", "T1D1", "T1D2", "T1D3", "T1D4", "T2D1", "T2D2", "T2D3",
            "T2D4", "Image17", "Image18", "RH_P", "T1_P", "T2_P", "T1_minus", "T2_minus", "imgT1C", "imgT1F",
            "lblT1K", "imgT2C", "imgT2F", "lblT2K", "lblT1", "lblT2", "lblPercent", "lblRH", "lblWETBULB",
            "lblDEWPOINT", "imgType", "imgK", "imgJ", "imgE", "imgT", "lblN", "lblR", "lblS", "lblMAX", "lblMIN",
            "lblAVG", "imgHOLD", "imgMEM", "imgRecall", "imgAutoOff", "imgREC", "imgFULL", "imgAlarm", "lblHi",
            "lblLO", "imgBat0", "imgBat1", "imgBat2", "imgBat3", "imgblutooth", "ingBlutoothLink",
            "lblNoConnection", "btnClose", "btnBackLight", "btnHOLD", "btnMMA", "btnCF", "btnRec", "btnRecall",
            "btnMem"};
        for (const char *name : names) {
            QWidget *w = panel()->findChild<QWidget *>(QLatin1String(name));
            QVERIFY2(w, name);
            if (auto *image = dynamic_cast<kv::PanelImage *>(w))
                QVERIFY2(!image->picture().isNull(), name);
        }
        QCOMPARE(panel()->size(), QSize(312, 713));
        QCOMPARE(child<kv::LcdLabel>(panel(), "lblWETBULB")->text(), QStringLiteral("WET BULB"));
        QCOMPARE(child<kv::LcdLabel>(panel(), "lblLO")->text(), QStringLiteral("Lo"));
        QCOMPARE(child<kv::PanelKey>(panel(), "btnHOLD")->geometry(), QRect(143, 479, 43, 50));
        QCOMPARE(child<kv::PanelKey>(panel(), "btnClose")->toolTip(), QStringLiteral("Close PANEL"));
        QCOMPARE(child<kv::PanelKey>(panel(), "btnMMA")->toolTip(),
                 QStringLiteral("click to change AVG/MAX/MIN mode, double click  to cancel ."));
        QCOMPARE(child<kv::PanelKey>(panel(), "btnRec")->cursor().shape(), Qt::PointingHandCursor);
        // The frameless child window shows nothing but the picture.
        QVERIFY(panel()->parentWidget()->windowFlags() & Qt::FramelessWindowHint);
    }

    void panelFollowsTheConnectionWithoutMainWindow()
    {
        // The panel needs nothing but a connection and the digit pictures.
        FakeTransfer usb;
        kv::RealTimeRecorder recorder;
        kv::Connection connection(usb, recorder);
        kv::PanelGlyphs glyphs;
        glyphs.load();
        PanelWindow panel(connection, glyphs);
        QVERIFY(Shown(&panel, "lblNoConnection"));

        usb.reply.assign(32, 0);
        usb.reply[23] = '5'; // the meter's identification
        usb.reply[24] = '2';
        usb.reply[25] = '2';
        connection.poll().PollTick();
        QVERIFY(connection.isConnected());
        QVERIFY(!Shown(&panel, "lblNoConnection"));
        usb.reply = LiveReply({{50, 0xEE}, {49, 0xEE}, {48, 0x24}, {47, 0xBA}});
        connection.poll().PollTick();
        QCOMPARE(child<kv::PanelImage>(&panel, "T1D4")->picture().cacheKey(), glyphs.large[2].cacheKey());

        connection.poll().ConnectionLost();
        QVERIFY(Shown(&panel, "lblNoConnection"));
    }

    void digitsDrawnOnlyWhenChanged()
    {
        const auto reply = LiveReply({{50, 0xEE}, {49, 0xEE}, {48, 0x24}, {47, 0xBA}, {38, 0x24}, {39, 0xB6}});
        Tick(reply);
        QVERIFY(Shows(child<kv::PanelImage>(panel(), "T1D1"), 0));
        QVERIFY(Shows(child<kv::PanelImage>(panel(), "T1D2"), 0));
        QVERIFY(Shows(child<kv::PanelImage>(panel(), "T1D3"), 1));
        QVERIFY(Shows(child<kv::PanelImage>(panel(), "T1D4"), 2));
        auto *smallDigit1 = child<kv::PanelImage>(panel(), "Image17");
        auto *smallDigit2 = child<kv::PanelImage>(panel(), "Image18");
        QCOMPARE(smallDigit1->picture().cacheKey(), m_main->panelGlyphs().small[3].cacheKey());
        QCOMPARE(smallDigit2->picture().cacheKey(), m_main->panelGlyphs().small[1].cacheKey());

        const auto before = Assignments();
        const int smallBefore = smallDigit1->pictureAssignments();
        Tick(reply);
        QCOMPARE(Assignments(), before);                                  // no large digit replaced
        QCOMPARE(smallDigit1->pictureAssignments(), smallBefore + 1);     // small digits every time

        Tick(LiveReply({{50, 0xEE}, {49, 0xEE}, {48, 0x24}, {47, 0xB6}}));
        auto expected = before;
        ++expected[7];
        QCOMPARE(Assignments(), expected);
        QVERIFY(Shows(child<kv::PanelImage>(panel(), "T1D4"), 3));
    }

    void missingGlyphLeavesDigitEmpty()
    {
        m_main->panelGlyphs().large[2] = QPixmap();
        Tick(LiveReply({{50, 0xEE}, {49, 0xEE}, {48, 0x24}, {47, 0xBA}}));
        QVERIFY(child<kv::PanelImage>(panel(), "T1D4")->picture().isNull());
        QVERIFY(Shows(child<kv::PanelImage>(panel(), "T1D3"), 1));
    }

    void reopenedPanelDrawsAllTwelve()
    {
        const auto reply = LiveReply({{50, 0xEE}, {49, 0xEE}, {48, 0x24}, {47, 0xBA}});
        Tick(reply);
        ClosePanel();
        QVERIFY(!m_main->panel());
        QVERIFY(!child<QAction>(*m_main, "ControlPanel1")->isChecked());
        Tick(reply); // no panel: nothing to draw, nothing breaks

        m_main->showPanel();
        QVERIFY(panel());
        QVERIFY(child<QAction>(*m_main, "ControlPanel1")->isChecked());
        QCOMPARE(panel()->parentWidget()->pos(), QPoint(0, 0));
        Tick(reply);
        const auto digits = Digits();
        for (int i = 0; i < 12; ++i)
            QVERIFY2(Shows(digits[static_cast<std::size_t>(i)], i >= 4 && i < 8 ? std::array{0, 0, 1, 2}[i - 4] : 16),
                     qPrintable(digits[static_cast<std::size_t>(i)]->objectName()));

        // Showing the panel again (restored from minimised) draws all twelve.
        const auto before = Assignments();
        panel()->parentWidget()->showMinimized();
        panel()->parentWidget()->showNormal();
        Tick(reply);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(Assignments()[static_cast<std::size_t>(i)], before[static_cast<std::size_t>(i)] + 1);
    }

    void reopenedPanelShowsTheConnection_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::newRow("no meter") << false;
        QTest::newRow("meter on USB") << true;
    }
    void reopenedPanelShowsTheConnection()
    {
        QFETCH(bool, connected);
        if (connected)
            Tick(LiveReply({}));
        ClosePanel();
        m_main->showPanel();
        QCOMPARE(Shown(panel(), "lblNoConnection"), !connected);
        QVERIFY(!Shown(panel(), "ingBlutoothLink"));
    }

    void battery_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("shown");
        // Byte 41: bit 0 Battery1, bit 1 Battery2, bit 2 Battery3, bit 3 Battery0.
        QTest::newRow("3 and 1: three bars") << 0x00 << 0x05 << "imgBat3";
        QTest::newRow("no mark keeps the last") << 0x02 << 0x00 << "imgBat2";
        QTest::newRow("2 and 0: two bars") << 0x00 << 0x0A << "imgBat2";
        QTest::newRow("0 alone: empty") << 0x04 << 0x08 << "imgBat0";
        QTest::newRow("1 alone") << 0x08 << 0x01 << "imgBat1";
        QTest::newRow("none ever: none shown") << 0x00 << 0x00 << "";
    }
    void battery()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, shown);
        Tick(LiveReply({{41, static_cast<std::uint8_t>(first)}}));
        Tick(LiveReply({{41, static_cast<std::uint8_t>(second)}}));
        for (const char *name : {"imgBat0", "imgBat1", "imgBat2", "imgBat3"})
            QCOMPARE(Shown(panel(), name), QLatin1String(name) == shown);
    }

    // Each symbol of the display memory lights its element and goes out with
    // its bit.  Also settles which alarm-limit mark is "Hi" and which "Lo".
    void symbolFollowsItsBit_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("bit");
        QTest::addColumn<QString>("element");
        const struct {
            int byte, bit;
            const char *element;
        } rows[] = {
            {39, 0, "imgRecall"},  {40, 1, "imgHOLD"},     {40, 2, "lblMAX"},      {40, 3, "lblMIN"},
            {40, 4, "lblAVG"},     {40, 5, "imgMEM"},      {41, 4, "imgAutoOff"},  {42, 7, "lblWETBULB"},
            {43, 7, "lblDEWPOINT"}, {45, 7, "lblPercent"}, {45, 7, "lblRH"},       {46, 0, "imgT1C"},
            {46, 1, "imgT1F"},     {46, 2, "lblT1K"},      {47, 0, "RH_P"},        {47, 0, "T1_P"},
            {51, 0, "lblS"},       {51, 1, "lblR"},        {51, 2, "lblN"},        {51, 3, "imgT"},
            {51, 4, "imgE"},       {51, 5, "imgJ"},        {51, 6, "imgK"},        {52, 0, "T2_minus"},
            {52, 1, "lblT2"},      {52, 2, "imgType"},     {52, 4, "imgblutooth"}, {52, 5, "T1_minus"},
            {52, 6, "lblT1"},      {53, 7, "imgAlarm"},    {54, 7, "lblHi"},       {56, 7, "T2_P"},
            {57, 1, "lblT2K"},     {57, 2, "imgT2F"},      {57, 3, "imgT2C"},      {57, 4, "imgFULL"},
            {57, 5, "imgREC"},     {57, 7, "lblLO"},
        };
        for (const auto &r : rows)
            QTest::addRow("%s (%d.%d)", r.element, r.byte, r.bit) << r.byte << r.bit << QString::fromLatin1(r.element);
    }
    void symbolFollowsItsBit()
    {
        QFETCH(int, byte);
        QFETCH(int, bit);
        QFETCH(QString, element);
        QWidget *w = panel()->findChild<QWidget *>(element);
        QVERIFY(w);
        Tick(LiveReply({{byte, static_cast<std::uint8_t>(1u << bit)}}));
        QVERIFY(w->isVisibleTo(panel()));
        // Only the elements of that one bit are lit.
        int lit = 0;
        const QWidget *picture = child<QWidget>(panel(), "imgPanel");
        const QWidget *link = child<QWidget>(panel(), "ingBlutoothLink");
        const QWidget *noConnection = child<QWidget>(panel(), "lblNoConnection");
        for (QWidget *other : panel()->findChildren<QWidget *>())
            if (other != picture && other->isVisibleTo(panel()) && !qobject_cast<kv::PanelKey *>(other)
                && !other->objectName().startsWith(QLatin1String("RHD"))
                && !other->objectName().startsWith(QLatin1String("T1D"))
                && !other->objectName().startsWith(QLatin1String("T2D"))
                && !other->objectName().startsWith(QLatin1String("Image"))
                && other != link && other != noConnection)
                ++lit;
        QCOMPARE(lit, (byte == 45 || byte == 47) ? 2 : 1);
        Tick(LiveReply({{40, 0x00}}));
        QVERIFY(!w->isVisibleTo(panel()));
    }

    // ---- blinking ---------------------------------------------------------------------

    void mmaBlink_data()
    {
        QTest::addColumn<bool>("mode");
        QTest::addColumn<bool>("blink");
        QTest::addColumn<bool>("blinks"); // all three follow the blink phase
        QTest::newRow("mode and blink: all three blink") << true << true << true;
        QTest::newRow("blink only: last state kept") << false << true << false;
        QTest::newRow("mode only: segments shown") << true << false << false;
    }
    void mmaBlink()
    {
        QFETCH(bool, mode);
        QFETCH(bool, blink);
        QFETCH(bool, blinks);
        PanelWindow *p = panel();
        // Before: MAX lit by its segment.
        Tick(LiveReply({{40, 0x04}}));
        QVERIFY(Shown(p, "lblMAX") && !Shown(p, "lblMIN"));
        // Now the segments say MIN only.
        const auto reply = LiveReply({{40, 0x08},
                                      {3, static_cast<std::uint8_t>(mode ? 0x40 : 0)},
                                      {4, static_cast<std::uint8_t>(blink ? 0x08 : 0)}});
        Tick(reply);
        for (int tick = 0; tick < 4; ++tick) {
            m_main->runBlinkTick();
            Tick(reply); // the poll tick leaves blinking symbols alone
            const bool phase = m_main->blinkPhase();
            if (blinks) {
                for (QWidget *w : {child<QWidget>(p, "lblMAX"), child<QWidget>(p, "lblMIN"),
                                   child<QWidget>(p, "lblAVG")})
                    QCOMPARE(w->isVisibleTo(p), phase);
            } else if (blink) {
                QVERIFY(Shown(p, "lblMAX") && !Shown(p, "lblMIN") && !Shown(p, "lblAVG"));
            } else {
                QVERIFY(!Shown(p, "lblMAX") && Shown(p, "lblMIN") && !Shown(p, "lblAVG"));
            }
        }
        QVERIFY(!p->isBlinking());
    }

    void recBlink_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("recording") << false;
        QTest::newRow("recording, memory full") << true;
    }
    void recBlink()
    {
        QFETCH(bool, full);
        PanelWindow *p = panel();
        // REC blinking: its segment bit does not matter; FULL blinks along
        // only while the meter lights it.
        const auto reply = LiveReply({{3, 0x18}, {57, static_cast<std::uint8_t>(full ? 0x10 : 0x00)}});
        std::vector<bool> rec, fullShown;
        for (int tick = 0; tick < 4; ++tick) {
            Tick(reply);
            m_main->runBlinkTick();
            rec.push_back(Shown(p, "imgREC"));
            fullShown.push_back(Shown(p, "imgFULL"));
        }
        QCOMPARE(rec, (std::vector<bool>{true, false, true, false}));
        QCOMPARE(fullShown, full ? rec : std::vector<bool>(4, false));
        // Recording stops: REC and FULL follow their segments again.
        Tick(LiveReply({{57, 0x20}}));
        QVERIFY(Shown(p, "imgREC") && !Shown(p, "imgFULL"));
        m_main->runBlinkTick();
        QVERIFY(Shown(p, "imgREC"));
    }

    void linkPicture_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("serial link blinks") << true;
        QTest::newRow("usb link stays hidden") << false;
    }
    void linkPicture()
    {
        QFETCH(bool, serial);
        PanelWindow *p = panel();
        if (serial) {
            m_main->connection().link().Kind = kv::LinkKind::Serial;
            m_main->connection().poll().ConnectionFound();
        } else {
            m_usb.reply.assign(32, 0);
            m_usb.reply[23] = '5';
            m_usb.reply[24] = '2';
            m_usb.reply[25] = '2';
            m_main->connection().poll().PollTick(); // the USB identification
            QVERIFY(m_main->connection().link().isUsb());
        }
        QVERIFY(!Shown(p, "lblNoConnection"));
        std::vector<bool> shown;
        for (int tick = 0; tick < 4; ++tick) {
            m_main->runBlinkTick();
            shown.push_back(Shown(p, "ingBlutoothLink"));
        }
        const std::vector<bool> blinking{true, false, true, false};
        QCOMPARE(shown, serial ? blinking : std::vector<bool>(4, false));

        // A lost connection hides it and shows "No Connection".
        m_main->connection().poll().ConnectionLost();
        m_main->runBlinkTick();
        m_main->runBlinkTick();
        QVERIFY(!Shown(p, "ingBlutoothLink"));
        QVERIFY(Shown(p, "lblNoConnection"));
    }

    void linkPictureOverSerialPort()
    {
        // A meter reached through a serial port (here a pseudo-terminal):
        // the link picture blinks and the meter's own Bluetooth symbol is lit.
        kv::SimOptions quiet;
        quiet.drift = false;
        quiet.prefillLogger = false;
        kv::SimMeter meter(nullptr, quiet);
        kv::SimPtyServer server(meter, kv::SimSerialPacing::Baud9600);
        server.start();
        m_usb.openResult = 1; // nothing on USB
        child<QComboBox>(*m_main, "ComboBoxDeviceName")->setEditText(server.slavePath());
        QVERIFY(m_main->connection().link().isSerial());
        m_main->connection().stopPolling();
        m_main->connection().poll().PollTick();
        PanelWindow *p = panel();
        QVERIFY(Shown(p, "imgblutooth"));
        QVERIFY(!Shown(p, "lblNoConnection"));
        std::vector<bool> shown;
        for (int tick = 0; tick < 4; ++tick) {
            m_main->runBlinkTick();
            shown.push_back(Shown(p, "ingBlutoothLink"));
        }
        QCOMPARE(shown, (std::vector<bool>{shown[0], !shown[0], shown[0], !shown[0]}));
        server.stop();
    }

    void blinkTickWithoutPanel()
    {
        ClosePanel();
        m_main->connection().link().Kind = kv::LinkKind::Serial;
        m_main->runBlinkTick();
        m_main->runBlinkTick();
        QVERIFY(!m_main->panel());
    }

    void closingWaitsForBlinkTick()
    {
        // A blink tick that is running when the close key is clicked is
        // finished first.
        PanelWindow *p = panel();
        p->setBlinkingForTesting(true);
        bool panelStillThere = false;
        QTimer::singleShot(50, m_main.get(), [&] {
            panelStillThere = m_main->panel() != nullptr;
            p->setBlinkingForTesting(false);
        });
        ClosePanel();
        QVERIFY(panelStillThere);
        QVERIFY(!m_main->panel());
    }

    // ---- keys ---------------------------------------------------------------------------

    void keySendsItsFrame_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<char>("letter");
        QTest::newRow("HOLD") << "btnHOLD" << 'H';
        QTest::newRow("C/F") << "btnCF" << 'C';
        QTest::newRow("REC") << "btnRec" << 'E';
        QTest::newRow("RECALL") << "btnRecall" << 'R';
        QTest::newRow("MAX/MIN/AVG") << "btnMMA" << 'M';
        QTest::newRow("back light") << "btnBackLight" << 'B';
        QTest::newRow("MEM") << "btnMem" << 'm';
    }
    void keySendsItsFrame()
    {
        QFETCH(QString, key);
        QFETCH(char, letter);
        m_usb.reply = Acknowledgement(true);
        std::vector<int> pauses;
        panel()->setPauseForTesting([&](int ms) { pauses.push_back(ms); });
        QTest::mouseClick(panel()->findChild<kv::PanelKey *>(key), Qt::LeftButton);
        QCOMPARE(m_usb.frames.size(), std::size_t(1));
        QCOMPARE(m_usb.frames[0], (Frame{0x02, static_cast<std::uint8_t>(letter), 0, 0, 0, 0, 0x03}));
        QCOMPARE(m_usb.readLengths, std::vector<int>{32});
        QCOMPARE(panel()->lastKeyResult(), 0);
        QVERIFY(pauses.empty());
        QVERIFY(m_main->connection().isPolling());
    }

    void frameClearsParameterBytes()
    {
        m_usb.reply = Acknowledgement(true);
        panel()->keyFrame()[2] = 0x12;
        panel()->keyFrame()[3] = 0x34;
        panel()->pressHoldKey();
        QCOMPARE(m_usb.frames.back(), (Frame{0x02, 'H', 0, 0, 0, 0, 0x03}));
    }

    void doubleClickLeavesMma()
    {
        m_usb.reply = Acknowledgement(true);
        kv::PanelKey *key = child<kv::PanelKey>(panel(), "btnMMA");
        // What the window system delivers for a double click.
        QTest::mousePress(key, Qt::LeftButton);
        QTest::mouseRelease(key, Qt::LeftButton);
        QTest::mousePress(key, Qt::LeftButton);
        QTest::mouseDClick(key, Qt::LeftButton);
        QTest::mouseRelease(key, Qt::LeftButton);
        QCOMPARE(m_usb.frames.size(), std::size_t(2));
        QCOMPARE(int(m_usb.frames[0][1]), int('M'));
        QCOMPARE(int(m_usb.frames[1][1]), int('N'));
    }

    void resultCodes_data()
    {
        QTest::addColumn<int>("open");
        QTest::addColumn<int>("timeouts");
        QTest::addColumn<int>("write");
        QTest::addColumn<int>("read");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<int>("code");
        QTest::newRow("acknowledged") << 0 << 0 << 0 << 0 << true << false << 0;
        QTest::newRow("open fails, the rest goes on") << 1 << 0 << 0 << 0 << true << false << 7002;
        QTest::newRow("timeouts fail") << 0 << 1 << 0 << 0 << true << false << 7003;
        QTest::newRow("write fails") << 0 << 0 << 1 << 0 << true << false << 7004;
        QTest::newRow("open and write fail: last stands") << 1 << 0 << 1 << 0 << true << false << 7004;
        QTest::newRow("read fails") << 0 << 0 << 0 << 1 << true << false << 7005;
        QTest::newRow("no meter: open and read fail") << 1 << 1 << 1 << 1 << true << false << 7005;
        QTest::newRow("no OK") << 0 << 0 << 0 << 0 << false << false << 7006;
        QTest::newRow("open fails and no OK") << 1 << 0 << 0 << 0 << false << false << 7006;
        QTest::newRow("transfer raises") << 0 << 0 << 0 << 0 << true << true << 7007;
    }
    void resultCodes()
    {
        QFETCH(int, open);
        QFETCH(int, timeouts);
        QFETCH(int, write);
        QFETCH(int, read);
        QFETCH(bool, ok);
        QFETCH(bool, throws);
        QFETCH(int, code);
        m_usb.openResult = open;
        m_usb.timeoutResult = timeouts;
        m_usb.writeResult = write;
        m_usb.readResult = read;
        m_usb.throwOnRead = throws;
        m_usb.reply = Acknowledgement(ok);
        kv::CommandFrame frame;
        frame.setCommand(kv::cmd::KeyHold);
        QCOMPARE(panel()->sendKey(frame), code);
        QCOMPARE(m_usb.frames.size(), std::size_t(1)); // a single attempt, also after failures
    }

    void failedKeyPausesOnce_data()
    {
        QTest::addColumn<bool>("meter");
        QTest::addColumn<int>("code");
        QTest::newRow("no meter attached") << false << 7005;
        QTest::newRow("reply without OK") << true << 7006;
    }
    void failedKeyPausesOnce()
    {
        QFETCH(bool, meter);
        QFETCH(int, code);
        if (meter) {
            m_usb.reply = Acknowledgement(false);
        } else {
            m_usb.openResult = 1;
            m_usb.readResult = 1;
        }
        std::vector<int> pauses;
        bool pollingDuringPause = true;
        panel()->setPauseForTesting([&](int ms) {
            pauses.push_back(ms);
            pollingDuringPause = m_main->connection().isPolling();
        });
        m_main->connection().startPolling();
        panel()->pressRecKey();
        QCOMPARE(panel()->lastKeyResult(), code);
        QCOMPARE(pauses, std::vector<int>{300});
        QVERIFY(!pollingDuringPause);
        QVERIFY(m_main->connection().isPolling());
        QCOMPARE(m_usb.frames.size(), std::size_t(1));
    }

    void realPauseHandlesEvents()
    {
        // The pause after a failure keeps the window alive (WaitPumping).
        m_usb.openResult = 1;
        m_usb.readResult = 1;
        bool handled = false;
        QTimer::singleShot(0, m_main.get(), [&] { handled = true; });
        panel()->pressMemKey();
        QVERIFY(handled);
        QVERIFY(m_main->connection().isPolling());
    }

    void closingDuringKeyPauseKeepsPollingStopped()
    {
        // The program is closed during the pause after a failed key; the
        // key's end must not start polling again.
        m_usb.openResult = 1;
        m_usb.readResult = 1;
        m_main->connection().startPolling();
        QTimer::singleShot(0, m_main.get(), [this] { m_main->close(); });
        panel()->pressMemKey();
        QVERIFY(!m_main->isVisible());
        QVERIFY(!m_main->connection().isPolling());
    }

    // ---- the keys working the simulated meter ------------------------------------------

    void simHoldFreezesTheReading()
    {
        SimRig rig;
        PanelWindow *p = rig.panel();
        QCOMPARE(rig.line(1), QStringLiteral(" 250"));
        QVERIFY(!Shown(p, "imgHOLD"));
        rig.press(child<kv::PanelKey>(p, "btnHOLD"));
        QVERIFY(Shown(p, "imgHOLD"));
        rig.meter.setReading(45.0, 30.0, 30.0);
        rig.tick();
        QCOMPARE(rig.line(1), QStringLiteral(" 250"));
        rig.press(child<kv::PanelKey>(p, "btnHOLD"));
        QVERIFY(!Shown(p, "imgHOLD"));
        QCOMPARE(rig.line(1), QStringLiteral(" 300"));
    }

    void simUnitKeyCyclesTheUnit()
    {
        SimRig rig;
        PanelWindow *p = rig.panel();
        const auto units = [p] {
            QString shown;
            for (QWidget *w : {child<QWidget>(p, "imgT1C"), child<QWidget>(p, "imgT1F"),
                               child<QWidget>(p, "lblT1K"), child<QWidget>(p, "imgT2C"),
                               child<QWidget>(p, "imgT2F"), child<QWidget>(p, "lblT2K")})
                shown += w->isVisibleTo(p) ? QLatin1Char('1') : QLatin1Char('0');
            return shown;
        };
        QCOMPARE(units(), QStringLiteral("100100")); // C
        rig.press(child<kv::PanelKey>(p, "btnCF"));
        QCOMPARE(units(), QStringLiteral("010010")); // F
        QCOMPARE(rig.line(1), QStringLiteral(" 770"));
        QCOMPARE(rig.main->connection().poll().Reading.UnitCode, std::uint8_t(kv::UnitFahrenheit));
        rig.press(child<kv::PanelKey>(p, "btnCF"));
        QCOMPARE(units(), QStringLiteral("001001")); // K
        rig.press(child<kv::PanelKey>(p, "btnCF"));
        QCOMPARE(units(), QStringLiteral("100100"));
    }

    void simRecStartsAndStopsLogging()
    {
        SimRig rig;
        PanelWindow *p = rig.panel();
        QCOMPARE(rig.blink(child<kv::PanelImage>(p, "imgREC")), Dark);
        rig.press(child<kv::PanelKey>(p, "btnRec"));
        QVERIFY(rig.main->connection().poll().Reading.MeterLogging);
        QVERIFY(rig.meter.logging());
        QCOMPARE(rig.blink(child<kv::PanelImage>(p, "imgREC")), Blinking);
        QCOMPARE(rig.blink(child<kv::PanelImage>(p, "imgFULL")), Dark); // the memory is not full
        rig.press(child<kv::PanelKey>(p, "btnRec"));
        QVERIFY(!rig.main->connection().poll().Reading.MeterLogging);
        QCOMPARE(rig.blink(child<kv::PanelImage>(p, "imgREC")), Dark);
    }

    void simMmaStepsAndDoubleClickLeaves()
    {
        SimRig rig;
        PanelWindow *p = rig.panel();
        rig.press(child<kv::PanelKey>(p, "btnMMA"));
        QCOMPARE(rig.meter.mmaMode(), kv::SimMma::Max);
        for (int tick = 0; tick < 4; ++tick) {
            rig.main->runBlinkTick();
            const bool phase = rig.main->blinkPhase();
            QCOMPARE(Shown(p, "lblMAX"), phase);
            QCOMPARE(Shown(p, "lblMIN"), phase);
            QCOMPARE(Shown(p, "lblAVG"), phase);
        }
        rig.press(child<kv::PanelKey>(p, "btnMMA"));
        QCOMPARE(rig.meter.mmaMode(), kv::SimMma::Min);
        // The double click: its first press steps on, the second leaves.
        QTest::mousePress(child<kv::PanelKey>(p, "btnMMA"), Qt::LeftButton);
        QTest::mouseRelease(child<kv::PanelKey>(p, "btnMMA"), Qt::LeftButton);
        QTest::mousePress(child<kv::PanelKey>(p, "btnMMA"), Qt::LeftButton);
        QTest::mouseDClick(child<kv::PanelKey>(p, "btnMMA"), Qt::LeftButton);
        QTest::mouseRelease(child<kv::PanelKey>(p, "btnMMA"), Qt::LeftButton);
        rig.tick();
        QCOMPARE(rig.meter.mmaMode(), kv::SimMma::Off);
        QCOMPARE(rig.meter.frameCount(kv::cmd::KeyMma), 3);
        QCOMPARE(rig.meter.frameCount(kv::cmd::KeyMmaLeave), 1);
        QCOMPARE(rig.blink(child<kv::LcdLabel>(p, "lblMAX")), Dark);
        QCOMPARE(rig.blink(child<kv::LcdLabel>(p, "lblAVG")), Dark);
    }

    void simMemStoresAndRecallShows()
    {
        SimRig rig;
        PanelWindow *p = rig.panel();
        rig.press(child<kv::PanelKey>(p, "btnMem"));
        QVERIFY(Shown(p, "imgMEM"));
        const qint64 zero = rig.main->panelGlyphs().small[0].cacheKey();
        QCOMPARE(child<kv::PanelImage>(p, "Image17")->picture().cacheKey(), zero);
        QCOMPARE(child<kv::PanelImage>(p, "Image18")->picture().cacheKey(), zero);
        QCOMPARE(rig.meter.storedReadings(), 1);

        rig.meter.setReading(45.0, 30.0, 30.0);
        rig.clock.advanceMs(kv::SimMemShowMs);
        rig.tick();
        QVERIFY(!Shown(p, "imgMEM"));
        QCOMPARE(rig.line(1), QStringLiteral(" 300"));

        rig.press(child<kv::PanelKey>(p, "btnRecall"));
        QVERIFY(Shown(p, "imgRecall"));
        QCOMPARE(rig.line(1), QStringLiteral(" 250")); // the stored reading
        rig.press(child<kv::PanelKey>(p, "btnRecall"));                     // steps past the first: leaves
        QVERIFY(!Shown(p, "imgRecall"));
        QCOMPARE(rig.line(1), QStringLiteral(" 300"));
    }

    void simBackLightToggles()
    {
        SimRig rig;
        rig.press(child<kv::PanelKey>(rig.panel(), "btnBackLight"));
        QVERIFY(rig.meter.backLight());
        rig.press(child<kv::PanelKey>(rig.panel(), "btnBackLight"));
        QVERIFY(!rig.meter.backLight());
    }

    void simUnpluggedMeterIgnoresKeys()
    {
        SimRig rig;
        rig.usb.setUnplugged(true);
        std::vector<int> pauses;
        rig.panel()->setPauseForTesting([&](int ms) { pauses.push_back(ms); });
        rig.main->connection().startPolling();
        rig.panel()->pressHoldKey();
        QCOMPARE(rig.panel()->lastKeyResult(), 7005);
        QCOMPARE(pauses, std::vector<int>{300});
        QVERIFY(rig.main->connection().isPolling());
        QVERIFY(!rig.meter.hold());
    }

    // ---- window ---------------------------------------------------------------------------

    void draggingThePictureMovesThePanel()
    {
        PanelWindow *p = panel();
        QWidget *frame = p->parentWidget();
        frame->move(40, 30);
        // The display lets presses through to the picture; keys do not.
        auto *picture = child<kv::PanelImage>(p, "imgPanel");
        auto *hold = child<kv::PanelKey>(p, "btnHOLD");
        const QPoint onDigit = child<kv::PanelImage>(p, "RHD2")->geometry().center();
        QCOMPARE(p->childAt(onDigit), static_cast<QWidget *>(picture));
        QCOMPARE(p->childAt(hold->geometry().center()), static_cast<QWidget *>(hold));

        QTest::mousePress(picture, Qt::RightButton, {}, onDigit);
        QTest::mouseMove(picture, onDigit + QPoint(25, 15));
        QTest::mouseRelease(picture, Qt::RightButton, {}, onDigit + QPoint(25, 15));
        QCOMPARE(frame->pos(), QPoint(40, 30));

        QTest::mousePress(picture, Qt::LeftButton, {}, onDigit);
        QTest::mouseMove(picture, onDigit + QPoint(25, 15));
        QCOMPARE(frame->pos(), QPoint(65, 45));
        QTest::mouseRelease(picture, Qt::LeftButton, {}, onDigit + QPoint(25, 15));
        QCOMPARE(frame->pos(), QPoint(65, 45));
    }

    void activatingThePanelDisablesOutputToGraph()
    {
        child<QToolButton>(*m_main, "btnOutputToGraph")->setEnabled(true);
        child<QMdiArea>(*m_main, "MdiArea")->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(m_main->realTimeGraph()->parentWidget()));
        QVERIFY(child<QToolButton>(*m_main, "btnOutputToGraph")->isEnabled());
        child<QMdiArea>(*m_main, "MdiArea")->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(panel()->parentWidget()));
        QVERIFY(!child<QToolButton>(*m_main, "btnOutputToGraph")->isEnabled());
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
