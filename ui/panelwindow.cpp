#include "ui/panelwindow.h"
#include "live/displaytext.h"
#include "ui/accessibility.h"

#include "ui/mainwindow.h"
#include "link/commands.h"
#include "link/meterlink.h"
#include "link/panelkey.h"
#include "ui/panellayout.h"

#include <QAction>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QToolButton>

#include <utility>

namespace layout = kv::panellayout;

namespace {

const QString PanelArt = QStringLiteral(":/panel/%1.jpg");
const QString LargeGlyphArt = QStringLiteral(":/glyphs/LCD%1.jpg");
const QString SmallGlyphArt = QStringLiteral(":/glyphs/LCDS%1.jpg");
// What the digits show until the first reading: dashes.
constexpr int InitialGlyph = 17;

const QString CloseHint = QStringLiteral("Close PANEL");
const QString MmaHint = QStringLiteral("click to change AVG/MAX/MIN mode, double click  to cancel .");

// Closing waits for a running blink tick at most this long.
constexpr int BlinkBusyWaitLimitMs = 3000;
constexpr int BlinkBusyPollMs = 10;

const QColor LcdInk(30, 36, 32);
const QColor NoConnectionColour(Qt::red);
constexpr int NoConnectionPixelSize = 13;

const QPixmap &GlyphOf(const std::array<QPixmap, GlyphPictureCount> &set, std::uint8_t glyph)
{
    static const QPixmap none;
    return glyph < set.size() ? set[glyph] : none;
}

} // namespace

PanelWindow::PanelWindow(MainWindow &main, QWidget *parent)
    : QWidget(parent), PanelVendorId(kv::MeterVendorId), PanelProductId(kv::MeterProductId),
      Pause(kv::WaitPumping), m_main(main)
{
    setObjectName(QStringLiteral("frmPanel"));
    setWindowTitle(QStringLiteral("PANEL"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(layout::ClientWidth, layout::ClientHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    QFont font(QStringLiteral("Arial Black"));
    font.setBold(true);
    setFont(font);

    DigitCache.fill(NothingDrawn);
    BuildElements();
    BuildKeys();
    kv::NameControls(this, kv::PanelKeyNames());
    setAccessibleName(QStringLiteral("Meter panel"));

    // A panel opened while the program runs shows the connection as it is,
    // not a link picture without a link.
    lblNoConnection->setVisible(!m_main.connection().link().isConnected());
    ingBlutoothLink->setVisible(m_main.connection().link().isSerial());
}

// ---- construction ------------------------------------------------------------------

kv::PanelImage *PanelWindow::Picture(const char *name, const QString &resource)
{
    const layout::Place *place = layout::Find(name);
    auto *image = new kv::PanelImage(this);
    image->setObjectName(QLatin1String(name));
    image->setGeometry(place->left, place->top, place->width, place->height);
    // The display is part of the picture: presses go through to it.
    image->setAttribute(Qt::WA_TransparentForMouseEvents);
    image->setPicture(kv::LoadPicture(resource.isEmpty() ? PanelArt.arg(QLatin1String(name)) : resource));
    return image;
}

kv::LcdLabel *PanelWindow::Label(const char *name)
{
    const layout::LabelPlace *found = nullptr;
    for (const auto &label : layout::Labels)
        if (qstrcmp(label.place.name, name) == 0)
            found = &label;
    const layout::Place &place = found->place;
    auto *label = new kv::LcdLabel(QLatin1String(found->text), this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(place.left, place.top, place.width, place.height);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    // Used only when the label's picture is missing.
    QFont font = this->font();
    font.setPixelSize(std::max(7, place.height - 5));
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, LcdInk);
    label->setPalette(pal);
    label->setPicture(kv::LoadPicture(PanelArt.arg(QLatin1String(name))));
    return label;
}

kv::PanelKey *PanelWindow::Key(const char *name, const QString &hint)
{
    const layout::Place *place = layout::Find(name);
    auto *key = new kv::PanelKey(this);
    key->setObjectName(QLatin1String(name));
    key->setGeometry(place->left, place->top, place->width, place->height);
    if (!hint.isEmpty())
        key->setToolTip(hint);
    for (const auto &cap : layout::KeyCaps)
        if (qstrcmp(cap.name, name) == 0)
            key->setCap(QRectF(cap.centreX - cap.width / 2 - place->left, cap.centreY - cap.height / 2 - place->top,
                               cap.width, cap.height),
                        cap.round);
    return key;
}

void PanelWindow::BuildElements()
{
    imgPanel = new kv::PanelImage(this);
    imgPanel->setObjectName(QStringLiteral("imgPanel"));
    imgPanel->setGeometry(0, 0, layout::PictureWidth, layout::PictureHeight);
    imgPanel->setPicture(kv::LoadPicture(PanelArt.arg(QStringLiteral("imgPanel"))));
    imgPanel->installEventFilter(this);

    const QString large = LargeGlyphArt.arg(InitialGlyph);
    RHD1 = Picture("RHD1", large);
    RHD2 = Picture("RHD2", large);
    RHD3 = Picture("RHD3", large);
    RHD4 = Picture("RHD4", large);
    T1D1 = Picture("T1D1", large);
    T1D2 = Picture("T1D2", large);
    T1D3 = Picture("T1D3", large);
    T1D4 = Picture("T1D4", large);
    T2D1 = Picture("T2D1", large);
    T2D2 = Picture("T2D2", large);
    T2D3 = Picture("T2D3", large);
    T2D4 = Picture("T2D4", large);
    Image17 = Picture("Image17", SmallGlyphArt.arg(InitialGlyph));
    Image18 = Picture("Image18", SmallGlyphArt.arg(InitialGlyph));

    // Decimal points overlap their digits' corners: created after them, so
    // they lie on top.
    RH_P = Picture("RH_P");
    T1_P = Picture("T1_P");
    T2_P = Picture("T2_P");
    T1_minus = Picture("T1_minus");
    T2_minus = Picture("T2_minus");
    imgT1C = Picture("imgT1C");
    imgT1F = Picture("imgT1F");
    lblT1K = Label("lblT1K");
    imgT2C = Picture("imgT2C");
    imgT2F = Picture("imgT2F");
    lblT2K = Label("lblT2K");
    lblT1 = Label("lblT1");
    lblT2 = Label("lblT2");
    lblPercent = Label("lblPercent");
    lblRH = Label("lblRH");
    lblWETBULB = Label("lblWETBULB");
    lblDEWPOINT = Label("lblDEWPOINT");
    imgType = Picture("imgType");
    imgK = Picture("imgK");
    imgJ = Picture("imgJ");
    imgE = Picture("imgE");
    imgT = Picture("imgT");
    lblN = Label("lblN");
    lblR = Label("lblR");
    lblS = Label("lblS");
    lblMAX = Label("lblMAX");
    lblMIN = Label("lblMIN");
    lblAVG = Label("lblAVG");
    imgHOLD = Picture("imgHOLD");
    imgMEM = Picture("imgMEM");
    imgRecall = Picture("imgRecall");
    imgAutoOff = Picture("imgAutoOff");
    imgREC = Picture("imgREC");
    imgFULL = Picture("imgFULL");
    imgAlarm = Picture("imgAlarm");
    lblHi = Label("lblHi");
    lblLO = Label("lblLO");
    imgBat0 = Picture("imgBat0");
    imgBat1 = Picture("imgBat1");
    imgBat2 = Picture("imgBat2");
    imgBat3 = Picture("imgBat3");
    imgblutooth = Picture("imgblutooth");
    ingBlutoothLink = Picture("ingBlutoothLink");

    lblNoConnection = new QLabel(QStringLiteral("No Connection"), this);
    lblNoConnection->setObjectName(QStringLiteral("lblNoConnection"));
    lblNoConnection->setGeometry(layout::NoConnection.left, layout::NoConnection.top, layout::NoConnection.width,
                                 layout::NoConnection.height);
    lblNoConnection->setAlignment(Qt::AlignCenter);
    lblNoConnection->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont bold = font();
    bold.setPixelSize(NoConnectionPixelSize);
    lblNoConnection->setFont(bold);
    QPalette red = lblNoConnection->palette();
    red.setColor(QPalette::WindowText, NoConnectionColour);
    lblNoConnection->setPalette(red);

    // Hidden until the meter lights them.
    for (QWidget *w : std::initializer_list<QWidget *>{T1_minus, T2_minus, lblMAX, lblMIN, lblAVG, imgHOLD, imgMEM,
                                                      imgRecall, imgAutoOff, imgREC, imgFULL, imgAlarm, lblHi, lblLO,
                                                      imgBat0, imgBat1, imgBat2, imgBat3, lblNoConnection})
        w->hide();

    // Every symbol that follows its own flag, in the order of the display
    // memory.  MAX/MIN/AVG, the battery and REC/FULL have rules of their own.
    // The first alarm-limit mark lights "Hi", the second "Lo".
    using DS = kv::DisplayState;
    m_symbols = {{
        {&DS::RecallMark, imgRecall},       {&DS::HoldMark, imgHOLD},       {&DS::MemMark, imgMEM},
        {&DS::AutoOffMark, imgAutoOff},     {&DS::WetBulbMark, lblWETBULB}, {&DS::DewPointMark, lblDEWPOINT},
        {&DS::RhMark, lblPercent},          {&DS::RhMark, lblRH},           {&DS::T1CelsiusMark, imgT1C},
        {&DS::T1FahrenheitMark, imgT1F},    {&DS::T1KelvinMark, lblT1K},    {&DS::PointMark, RH_P},
        {&DS::PointMark, T1_P},             {&DS::TypeSMark, lblS},         {&DS::TypeRMark, lblR},
        {&DS::TypeNMark, lblN},             {&DS::TypeTMark, imgT},         {&DS::TypeEMark, imgE},
        {&DS::TypeJMark, imgJ},             {&DS::TypeKMark, imgK},         {&DS::T2MinusMark, T2_minus},
        {&DS::T2Mark, lblT2},               {&DS::TypeMark, imgType},       {&DS::BluetoothMark, imgblutooth},
        {&DS::T1MinusMark, T1_minus},       {&DS::T1Mark, lblT1},           {&DS::AlarmMark, imgAlarm},
        {&DS::LimitMark1, lblHi},           {&DS::T2PointMark, T2_P},       {&DS::T2KelvinMark, lblT2K},
        {&DS::T2FahrenheitMark, imgT2F},    {&DS::T2CelsiusMark, imgT2C},   {&DS::LimitMark2, lblLO},
    }};
    m_digits = {RHD1, RHD2, RHD3, RHD4, T1D1, T1D2, T1D3, T1D4, T2D1, T2D2, T2D3, T2D4};
}

void PanelWindow::BuildKeys()
{
    btnClose = Key("btnClose", CloseHint);
    btnBackLight = Key("btnBackLight");
    btnHOLD = Key("btnHOLD");
    btnMMA = Key("btnMMA", MmaHint);
    btnCF = Key("btnCF");
    btnRec = Key("btnRec");
    btnRecall = Key("btnRecall");
    btnMem = Key("btnMem");
    connect(btnClose, &QAbstractButton::clicked, this, &PanelWindow::btnCloseClick);
    connect(btnBackLight, &QAbstractButton::clicked, this, &PanelWindow::btnBackLightClick);
    connect(btnHOLD, &QAbstractButton::clicked, this, &PanelWindow::btnHOLDClick);
    connect(btnMMA, &QAbstractButton::clicked, this, &PanelWindow::btnMMAClick);
    connect(btnMMA, &kv::PanelKey::doubleClicked, this, &PanelWindow::btnMMADblClick);
    connect(btnCF, &QAbstractButton::clicked, this, &PanelWindow::btnCFClick);
    connect(btnRec, &QAbstractButton::clicked, this, &PanelWindow::btnRecClick);
    connect(btnRecall, &QAbstractButton::clicked, this, &PanelWindow::btnRecallClick);
    connect(btnMem, &QAbstractButton::clicked, this, &PanelWindow::btnMemClick);
}

// ---- display ----------------------------------------------------------------------------

void PanelWindow::UpdatePanel(const kv::LiveReading &reading)
{
    const kv::DisplayState &d = reading.Display;

    // Large digits: only those whose glyph changed.
    for (std::size_t i = 0; i < m_digits.size(); ++i) {
        const std::uint8_t glyph = i < 4 ? d.RhDigits[i] : i < 8 ? d.T1Digits[i - 4] : d.T2Digits[i - 8];
        if (glyph != DigitCache[i]) {
            m_digits[i]->setPicture(GlyphOf(m_main.GlyphSetLarge, glyph));
            DigitCache[i] = glyph;
        }
    }
    // What the display shows, for screen readers.
    const QString spoken = kv::DisplayText(d);
    if (spoken != accessibleDescription())
        setAccessibleDescription(spoken);
    Image17->setPicture(GlyphOf(m_main.GlyphSetSmall, d.SmallDigits[0]));
    Image18->setPicture(GlyphOf(m_main.GlyphSetSmall, d.SmallDigits[1]));

    // Battery: the fullest lit mark wins; no mark keeps the last picture.
    const std::pair<bool, kv::PanelImage *> battery[] = {
        {d.Battery3, imgBat3}, {d.Battery2, imgBat2}, {d.Battery1, imgBat1}, {d.Battery0, imgBat0}};
    for (const auto &[lit, picture] : battery) {
        if (!lit)
            continue;
        for (kv::PanelImage *b : {imgBat0, imgBat1, imgBat2, imgBat3})
            b->setVisible(b == picture);
        break;
    }

    // While the meter blinks them, MAX/MIN/AVG belong to the blink tick.
    if (!reading.MmaBlink) {
        lblMAX->setVisible(d.MaxMark);
        lblMIN->setVisible(d.MinMark);
        lblAVG->setVisible(d.AvgMark);
    }

    for (const Symbol &s : m_symbols)
        s.element->setVisible(d.*s.flag);

    if (!reading.RecBlink) {
        imgREC->setVisible(d.RecMark);
        imgFULL->setVisible(d.FullMark);
    }
}

void PanelWindow::BlinkSymbols(const kv::LiveReading &reading, bool phase, bool serialLink)
{
    if (reading.MmaMode && reading.MmaBlink) {
        lblMAX->setVisible(phase);
        lblMIN->setVisible(phase);
        lblAVG->setVisible(phase);
    }
    if (reading.RecBlink) {
        imgREC->setVisible(phase);
        // FULL blinks along only while the meter lights it: a recording
        // into memory that is not full must not read "FULL".
        imgFULL->setVisible(phase && reading.Display.FullMark);
    }
    if (serialLink)
        ingBlutoothLink->setVisible(phase);
}

// ---- keys ---------------------------------------------------------------------------------

int PanelWindow::SendPanelKey(const kv::CommandFrame &frame)
{
    return kv::SendPanelKey(m_main.connection().link().usb(), frame, PanelVendorId, PanelProductId);
}

void PanelWindow::PressKey(char command)
{
    // Holds the link: waits for a running poll tick (without handling
    // events), stops MainTimer, and starts it again on leaving.
    kv::LinkLease lease(m_main.connection().link(), false);
    PanelFrame[0] = kv::FrameStart;
    PanelFrame[1] = static_cast<std::uint8_t>(command);
    PanelFrame[2] = 0;
    PanelFrame[3] = 0;
    PanelFrame[6] = kv::FrameEnd;
    LastKeyResult = SendPanelKey(PanelFrame);
    if (LastKeyResult != kv::KeyAcknowledged) {
        // The pause handles events, so the panel may be closed meanwhile:
        // nothing of it is touched afterwards.
        const auto pause = Pause;
        pause(kv::KeyFailurePauseMs);
    }
}

void PanelWindow::btnHOLDClick() { PressKey(kv::cmd::KeyHold); }
void PanelWindow::btnCFClick() { PressKey(kv::cmd::KeyUnit); }
void PanelWindow::btnRecClick() { PressKey(kv::cmd::KeyRec); }
void PanelWindow::btnRecallClick() { PressKey(kv::cmd::KeyRecall); }
void PanelWindow::btnMMAClick() { PressKey(kv::cmd::KeyMma); }
void PanelWindow::btnMMADblClick() { PressKey(kv::cmd::KeyMmaLeave); }
void PanelWindow::btnBackLightClick() { PressKey(kv::cmd::KeyBackLight); }
void PanelWindow::btnMemClick() { PressKey(kv::cmd::KeyMem); }

void PanelWindow::btnCloseClick() { MovedWindow()->close(); }

// ---- moving ---------------------------------------------------------------------------------

QWidget *PanelWindow::MovedWindow()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        return sub;
    return window();
}

void PanelWindow::imgPanelMouseDown(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_moving = true;
    m_moveOrigin = event->globalPosition().toPoint();
    m_windowOrigin = MovedWindow()->pos();
}

bool PanelWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != imgPanel)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        imgPanelMouseDown(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_moving || !(mouse->buttons() & Qt::LeftButton))
            break;
        QWidget *moved = MovedWindow();
        QPoint at = mouse->globalPosition().toPoint();
        // Inside the main window the mouse point is kept within the client
        // area, so the panel cannot be dragged out of reach.
        if (QWidget *area = moved->parentWidget()) {
            const QRect bounds(area->mapToGlobal(QPoint(0, 0)), area->size());
            at.setX(std::clamp(at.x(), bounds.left(), bounds.right()));
            at.setY(std::clamp(at.y(), bounds.top(), bounds.bottom()));
        }
        moved->move(m_windowOrigin + at - m_moveOrigin);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            m_moving = false;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- life cycle -------------------------------------------------------------------------------

bool PanelWindow::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        // Inside the main window the child window's frame is what gets
        // activated.
        if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()); sub && !m_activationHooked) {
            connect(sub, &QMdiSubWindow::aboutToActivate, this, &PanelWindow::FormActivate);
            m_activationHooked = true;
        }
        break;
    case QEvent::WindowActivate:
        if (isWindow())
            FormActivate();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void PanelWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void PanelWindow::FormShow() { DigitCache.fill(NothingDrawn); }

void PanelWindow::FormActivate() { m_main.m_tableToGraphButton->setEnabled(false); }

bool PanelWindow::FormCloseQuery()
{
    QElapsedTimer clock;
    clock.start();
    while (m_main.BlinkBusy && clock.elapsed() < BlinkBusyWaitLimitMs)
        kv::WaitPumping(BlinkBusyPollMs);
    return true;
}

void PanelWindow::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

void PanelWindow::FormClose()
{
    if (m_main.frmPanel == this)
        m_main.frmPanel = nullptr;
    m_main.m_panelAction->setChecked(false);
}
