#pragma once
// The virtual meter panel: a picture of the meter whose display mirrors the
// meter's display, and whose keys drive the meter.  A frameless child window
// of the main window, moved by dragging its picture.
//
// The panel watches the connection itself: "No Connection" while no meter
// answers, the serial link picture, and the display redrawn from every
// decoded reading.  The blink timer belongs to its owner, which calls
// blinkSymbols() on each tick.

#include "link/commandframe.h"
#include "live/livereading.h"
#include "ui/panelwidgets.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

class QLabel;

namespace kv {
class Connection;
struct PanelGlyphs;
}

class PanelWindow : public QWidget {
    Q_OBJECT
public:
    // `connection` and `glyphs` must outlive the panel.
    PanelWindow(kv::Connection &connection, const kv::PanelGlyphs &glyphs, QWidget *parent = nullptr);

    // Redraws the display from a decoded reading.
    void updateDisplay(const kv::LiveReading &reading);
    // The blink tick's part on the panel: MAX/MIN/AVG, REC/FULL and the
    // serial link picture in the phase `phase`, after the connection's last
    // reading.
    void blinkSymbols(bool phase);
    // True while blinkSymbols() runs; closing waits for it.
    bool isBlinking() const { return m_blinking; }

    // One key exchange with the meter on USB; returns its result code.
    int sendKey(const kv::CommandFrame &frame);
    // Result of the last key press (never shown to the user).
    int lastKeyResult() const { return m_lastKeyResult; }
    // The frame the keys are sent in; kept from one key to the next.
    kv::CommandFrame &keyFrame() { return m_keyFrame; }

    // Replaces the pause after a failed key (WaitPumping) in tests.
    void setPauseForTesting(std::function<void(int)> pause) { m_pause = std::move(pause); }
    // Lets a test stand for a blink tick in progress.
    void setBlinkingForTesting(bool blinking) { m_blinking = blinking; }

public slots:
    // The meter's keys: each sends its key once, holding the link.
    void pressHoldKey();
    void pressUnitKey();
    void pressRecKey();
    void pressRecallKey();
    void pressMmaKey();
    // The double click on MAX/MIN/AVG: leaves that mode.
    void leaveMmaMode();
    void pressBackLightKey();
    void pressMemKey();

signals:
    // The panel became the active window.
    void activated();
    // The panel was closed (it deletes itself afterwards).
    void closed();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildDisplay();
    void buildKeys();
    kv::PanelImage *addPicture(const char *name, const QString &resource = QString());
    kv::LcdLabel *addLabel(const char *name);
    kv::PanelKey *addKey(const char *name, const QString &hint = QString());
    // The display element named `name`, made before.
    QWidget *element(const char *name) const;

    // "No Connection" shown, the link picture hidden.
    void showDisconnected();
    // Closes the panel's window (the child window's frame inside the main
    // window).
    void closeWindow();
    // Starts moving the window with the mouse (left button only).
    void startMove(QMouseEvent *event);
    // The widget that moves when the picture is dragged: the child window's
    // frame inside the main window, else the panel itself.
    QWidget *movedWindow();
    // Sends one key: holds the link, sends once, pauses after a failure.
    void pressKey(char command);
    // Waits for a running blink tick, at most a few seconds.
    void waitForBlinkTick();

    // A symbol that shows exactly when its flag of the display state is set.
    struct Symbol {
        bool kv::DisplayState::*flag;
        QWidget *element;
    };

    kv::Connection &m_connection;
    const kv::PanelGlyphs &m_glyphs;

    kv::PanelImage *m_meterPicture = nullptr;
    // Large digits in the order RH 1..4, T1 1..4, T2 1..4, and the glyph
    // last drawn in each.
    std::array<kv::PanelImage *, 12> m_largeDigits{};
    static constexpr std::uint8_t NothingDrawn = 255;
    std::array<std::uint8_t, 12> m_drawnGlyphs{};
    std::array<kv::PanelImage *, 2> m_smallDigits{};
    std::array<Symbol, 33> m_symbols{};
    // Battery pictures from empty to full.
    std::array<QWidget *, 4> m_batteryPictures{};
    QWidget *m_maxLabel = nullptr;
    QWidget *m_minLabel = nullptr;
    QWidget *m_avgLabel = nullptr;
    QWidget *m_recPicture = nullptr;
    QWidget *m_fullPicture = nullptr;
    QWidget *m_linkPicture = nullptr;
    QLabel *m_noConnectionLabel = nullptr;

    kv::CommandFrame m_keyFrame;
    int m_lastKeyResult = 0;
    std::function<void(int)> m_pause;
    bool m_blinking = false;

    bool m_moving = false;
    QPoint m_moveOrigin;     // mouse position where the move started
    QPoint m_windowOrigin;   // window position where the move started
    bool m_activationHooked = false;
};
