#pragma once
// The virtual meter panel: a picture of the meter whose display mirrors the
// meter's display, and whose keys drive the meter.  A frameless child window
// of the main window, moved by dragging its picture.

#include "link/commandframe.h"
#include "live/livereading.h"
#include "ui/panelwidgets.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QLabel;
class MainWindow;

class PanelWindow : public QWidget {
    Q_OBJECT
public:
    explicit PanelWindow(MainWindow &main, QWidget *parent = nullptr);

    // Redraws the display from a decoded reading (called by the poll tick).
    void UpdatePanel(const kv::LiveReading &reading);
    // The blink tick's part on the panel: MAX/MIN/AVG, REC/FULL and the link
    // picture in the phase `phase`.
    void BlinkSymbols(const kv::LiveReading &reading, bool phase, bool serialLink);
    // One key exchange; returns its result code.
    int SendPanelKey(const kv::CommandFrame &frame);

    // Glyph index last drawn in each large digit, RH 1..4, T1 1..4, T2 1..4.
    static constexpr std::uint8_t NothingDrawn = 255;
    std::array<std::uint8_t, 12> DigitCache{};

    // The panel's own frame and device identifiers.
    kv::CommandFrame PanelFrame;
    std::uint16_t PanelVendorId;
    std::uint16_t PanelProductId;
    // Result of the last key exchange (never shown to the user).
    int LastKeyResult = 0;
    // The pause after a failed key; WaitPumping, replaced by tests.
    std::function<void(int)> Pause;

    // ---- elements ----------------------------------------------------------------
    kv::PanelImage *imgPanel = nullptr;
    kv::PanelImage *RHD1 = nullptr, *RHD2 = nullptr, *RHD3 = nullptr, *RHD4 = nullptr;
    kv::PanelImage *T1D1 = nullptr, *T1D2 = nullptr, *T1D3 = nullptr, *T1D4 = nullptr;
    kv::PanelImage *T2D1 = nullptr, *T2D2 = nullptr, *T2D3 = nullptr, *T2D4 = nullptr;
    kv::PanelImage *Image17 = nullptr, *Image18 = nullptr;
    kv::PanelImage *RH_P = nullptr, *T1_P = nullptr, *T2_P = nullptr;
    kv::PanelImage *T1_minus = nullptr, *T2_minus = nullptr;
    kv::PanelImage *imgT1C = nullptr, *imgT1F = nullptr, *imgT2C = nullptr, *imgT2F = nullptr;
    kv::LcdLabel *lblT1K = nullptr, *lblT2K = nullptr;
    kv::LcdLabel *lblT1 = nullptr, *lblT2 = nullptr, *lblPercent = nullptr, *lblRH = nullptr;
    kv::LcdLabel *lblWETBULB = nullptr, *lblDEWPOINT = nullptr;
    kv::PanelImage *imgType = nullptr, *imgK = nullptr, *imgJ = nullptr, *imgE = nullptr, *imgT = nullptr;
    kv::LcdLabel *lblN = nullptr, *lblR = nullptr, *lblS = nullptr;
    kv::LcdLabel *lblMAX = nullptr, *lblMIN = nullptr, *lblAVG = nullptr;
    kv::PanelImage *imgHOLD = nullptr, *imgMEM = nullptr, *imgRecall = nullptr, *imgAutoOff = nullptr;
    kv::PanelImage *imgREC = nullptr, *imgFULL = nullptr;
    kv::PanelImage *imgAlarm = nullptr;
    kv::LcdLabel *lblHi = nullptr, *lblLO = nullptr;
    kv::PanelImage *imgBat0 = nullptr, *imgBat1 = nullptr, *imgBat2 = nullptr, *imgBat3 = nullptr;
    kv::PanelImage *imgblutooth = nullptr, *ingBlutoothLink = nullptr;
    QLabel *lblNoConnection = nullptr;

    kv::PanelKey *btnClose = nullptr;
    kv::PanelKey *btnBackLight = nullptr;
    kv::PanelKey *btnHOLD = nullptr;
    kv::PanelKey *btnMMA = nullptr;
    kv::PanelKey *btnCF = nullptr;
    kv::PanelKey *btnRec = nullptr;
    kv::PanelKey *btnRecall = nullptr;
    kv::PanelKey *btnMem = nullptr;

public slots:
    void btnHOLDClick();
    void btnCFClick();
    void btnRecClick();
    void btnRecallClick();
    void btnMMAClick();
    void btnMMADblClick();
    void btnBackLightClick();
    void btnMemClick();
    void btnCloseClick();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildElements();
    void BuildKeys();
    kv::PanelImage *Picture(const char *name, const QString &resource = QString());
    kv::LcdLabel *Label(const char *name);
    kv::PanelKey *Key(const char *name, const QString &hint = QString());

    void FormShow();
    void FormActivate();
    bool FormCloseQuery();
    void FormClose();
    // Starts moving the window with the mouse (left button only).
    void imgPanelMouseDown(QMouseEvent *event);
    // The widget that moves when the picture is dragged: the child window's
    // frame inside the main window, else the panel itself.
    QWidget *MovedWindow();
    // Sends one key: holds the link, sends once, pauses after a failure.
    void PressKey(char command);

    // A symbol that shows exactly when its flag of the display state is set.
    struct Symbol {
        bool kv::DisplayState::*flag;
        QWidget *element;
    };

    MainWindow &m_main;
    std::array<Symbol, 33> m_symbols{};
    std::array<kv::PanelImage *, 12> m_digits{};
    bool m_moving = false;
    QPoint m_moveOrigin;     // mouse position where the move started
    QPoint m_windowOrigin;   // window position where the move started
    bool m_activationHooked = false;
};
