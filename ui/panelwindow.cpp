#include "ui/panelwindow.h"
#include "app/connection.h"
#include "link/commands.h"
#include "link/meterlink.h"
#include "link/panelkey.h"
#include "live/displaytext.h"
#include "ui/accessibility.h"
#include "ui/panelglyphs.h"
#include "ui/panellayout.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>

#include <algorithm>
#include <cstring>
#include <iterator>

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
constexpr int BlinkWaitLimitMs = 3000;
constexpr int BlinkWaitPollMs = 10;

const QColor LcdInk(30, 36, 32);
const QColor NoConnectionColour(Qt::red);
constexpr int NoConnectionPixelSize = 13;

// The display's symbols and labels, in the order they are made: later ones
// lie on top.  Decimal points overlap their digits' corners, so they come
// after the digits.
constexpr const char *SymbolElementOrder[] = {
    "RH_P",      "T1_P",       "T2_P",       "T1_minus",    "T2_minus",  "imgT1C",    "imgT1F",
    "lblT1K",    "imgT2C",     "imgT2F",     "lblT2K",      "lblT1",     "lblT2",     "lblPercent",
    "lblRH",     "lblWETBULB", "lblDEWPOINT", "imgType",    "imgK",      "imgJ",      "imgE",
    "imgT",      "lblN",       "lblR",       "lblS",        "lblMAX",    "lblMIN",    "lblAVG",
    "imgHOLD",   "imgMEM",     "imgRecall",  "imgAutoOff",  "imgREC",    "imgFULL",   "imgAlarm",
    "lblHi",     "lblLO",      "imgBat0",    "imgBat1",     "imgBat2",   "imgBat3",   "imgblutooth",
    "ingBlutoothLink",
};

// Hidden until the meter lights them.
constexpr const char *HiddenAtStart[] = {
    "T1_minus", "T2_minus", "lblMAX",   "lblMIN", "lblAVG", "imgHOLD", "imgMEM",  "imgRecall", "imgAutoOff",
    "imgREC",   "imgFULL",  "imgAlarm", "lblHi",  "lblLO",  "imgBat0", "imgBat1", "imgBat2",   "imgBat3",
};

// Every symbol that follows its own flag, in the order of the display
// memory.  MAX/MIN/AVG, the battery and REC/FULL have rules of their own.
// The first alarm-limit mark lights "Hi", the second "Lo".
struct SymbolFlag {
    bool kv::DisplayState::*flag;
    const char *element;
};
using DS = kv::DisplayState;
constexpr SymbolFlag SymbolFlags[] = {
    {&DS::RecallMark, "imgRecall"},     {&DS::HoldMark, "imgHOLD"},       {&DS::MemMark, "imgMEM"},
    {&DS::AutoOffMark, "imgAutoOff"},   {&DS::WetBulbMark, "lblWETBULB"}, {&DS::DewPointMark, "lblDEWPOINT"},
    {&DS::RhMark, "lblPercent"},        {&DS::RhMark, "lblRH"},           {&DS::T1CelsiusMark, "imgT1C"},
    {&DS::T1FahrenheitMark, "imgT1F"},  {&DS::T1KelvinMark, "lblT1K"},    {&DS::PointMark, "RH_P"},
    {&DS::PointMark, "T1_P"},           {&DS::TypeSMark, "lblS"},         {&DS::TypeRMark, "lblR"},
    {&DS::TypeNMark, "lblN"},           {&DS::TypeTMark, "imgT"},         {&DS::TypeEMark, "imgE"},
    {&DS::TypeJMark, "imgJ"},           {&DS::TypeKMark, "imgK"},         {&DS::T2MinusMark, "T2_minus"},
    {&DS::T2Mark, "lblT2"},             {&DS::TypeMark, "imgType"},       {&DS::BluetoothMark, "imgblutooth"},
    {&DS::T1MinusMark, "T1_minus"},     {&DS::T1Mark, "lblT1"},           {&DS::AlarmMark, "imgAlarm"},
    {&DS::LimitMark1, "lblHi"},         {&DS::T2PointMark, "T2_P"},       {&DS::T2KelvinMark, "lblT2K"},
    {&DS::T2FahrenheitMark, "imgT2F"},  {&DS::T2CelsiusMark, "imgT2C"},   {&DS::LimitMark2, "lblLO"},
};

const QPixmap &GlyphOf(const std::array<QPixmap, kv::GlyphCount> &set, std::uint8_t glyph)
{
    static const QPixmap none;
    return glyph < set.size() ? set[glyph] : none;
}

// The place and text of the display label `name`; nullptr for a picture.
const layout::LabelPlace *LabelPlaceOf(const char *name)
{
    for (const auto &label : layout::Labels)
        if (std::strcmp(label.place.name, name) == 0)
            return &label;
    return nullptr;
}

} // namespace

PanelWindow::PanelWindow(kv::Connection &connection, const kv::PanelGlyphs &glyphs, QWidget *parent)
    : QWidget(parent), m_connection(connection), m_glyphs(glyphs), m_pause(kv::WaitPumping)
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

    m_drawnGlyphs.fill(NothingDrawn);
    buildDisplay();
    buildKeys();
    kv::NameControls(this, kv::PanelKeyNames());
    setAccessibleName(QStringLiteral("Meter panel"));

    // A panel opened while the program runs shows the connection as it is,
    // not a link picture without a link.
    m_noConnectionLabel->setVisible(!m_connection.isConnected());
    m_linkPicture->setVisible(m_connection.isSerial());

    connect(&m_connection, &kv::Connection::connectionFound, m_noConnectionLabel, &QWidget::hide);
    connect(&m_connection, &kv::Connection::connectionLost, this, &PanelWindow::showDisconnected);
    connect(&m_connection, &kv::Connection::linkDropped, this, &PanelWindow::showDisconnected);
    connect(&m_connection, &kv::Connection::linkPictureHidden, m_linkPicture, &QWidget::hide);
    connect(&m_connection, &kv::Connection::readingDecoded, this, &PanelWindow::updateDisplay);
}

// ---- construction ------------------------------------------------------------------

kv::PanelImage *PanelWindow::addPicture(const char *name, const QString &resource)
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

kv::LcdLabel *PanelWindow::addLabel(const char *name)
{
    const layout::LabelPlace *found = LabelPlaceOf(name);
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

kv::PanelKey *PanelWindow::addKey(const char *name, const QString &hint)
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

QWidget *PanelWindow::element(const char *name) const
{
    return findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

void PanelWindow::buildDisplay()
{
    m_meterPicture = new kv::PanelImage(this);
    m_meterPicture->setObjectName(QStringLiteral("imgPanel"));
    m_meterPicture->setGeometry(0, 0, layout::PictureWidth, layout::PictureHeight);
    m_meterPicture->setPicture(kv::LoadPicture(PanelArt.arg(QStringLiteral("imgPanel"))));
    m_meterPicture->installEventFilter(this);

    const QString large = LargeGlyphArt.arg(InitialGlyph);
    for (std::size_t i = 0; i < m_largeDigits.size(); ++i)
        m_largeDigits[i] = addPicture(layout::LargeDigits[i].name, large);
    for (std::size_t i = 0; i < m_smallDigits.size(); ++i)
        m_smallDigits[i] = addPicture(layout::SmallDigits[i].name, SmallGlyphArt.arg(InitialGlyph));

    for (const char *name : SymbolElementOrder) {
        if (LabelPlaceOf(name))
            addLabel(name);
        else
            addPicture(name);
    }

    m_noConnectionLabel = new QLabel(QStringLiteral("No Connection"), this);
    m_noConnectionLabel->setObjectName(QLatin1String(layout::NoConnection.name));
    m_noConnectionLabel->setGeometry(layout::NoConnection.left, layout::NoConnection.top, layout::NoConnection.width,
                                     layout::NoConnection.height);
    m_noConnectionLabel->setAlignment(Qt::AlignCenter);
    m_noConnectionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont bold = font();
    bold.setPixelSize(NoConnectionPixelSize);
    m_noConnectionLabel->setFont(bold);
    QPalette red = m_noConnectionLabel->palette();
    red.setColor(QPalette::WindowText, NoConnectionColour);
    m_noConnectionLabel->setPalette(red);

    for (const char *name : HiddenAtStart)
        element(name)->hide();
    m_noConnectionLabel->hide();

    static_assert(std::size(SymbolFlags) == std::tuple_size_v<decltype(m_symbols)>);
    for (std::size_t i = 0; i < m_symbols.size(); ++i)
        m_symbols[i] = {SymbolFlags[i].flag, element(SymbolFlags[i].element)};
    m_batteryPictures = {element("imgBat0"), element("imgBat1"), element("imgBat2"), element("imgBat3")};
    m_maxLabel = element("lblMAX");
    m_minLabel = element("lblMIN");
    m_avgLabel = element("lblAVG");
    m_recPicture = element("imgREC");
    m_fullPicture = element("imgFULL");
    m_linkPicture = element("ingBlutoothLink");
}

void PanelWindow::buildKeys()
{
    connect(addKey("btnClose", CloseHint), &QAbstractButton::clicked, this, &PanelWindow::closeWindow);
    connect(addKey("btnBackLight"), &QAbstractButton::clicked, this, &PanelWindow::pressBackLightKey);
    connect(addKey("btnHOLD"), &QAbstractButton::clicked, this, &PanelWindow::pressHoldKey);
    kv::PanelKey *mma = addKey("btnMMA", MmaHint);
    connect(mma, &QAbstractButton::clicked, this, &PanelWindow::pressMmaKey);
    connect(mma, &kv::PanelKey::doubleClicked, this, &PanelWindow::leaveMmaMode);
    connect(addKey("btnCF"), &QAbstractButton::clicked, this, &PanelWindow::pressUnitKey);
    connect(addKey("btnRec"), &QAbstractButton::clicked, this, &PanelWindow::pressRecKey);
    connect(addKey("btnRecall"), &QAbstractButton::clicked, this, &PanelWindow::pressRecallKey);
    connect(addKey("btnMem"), &QAbstractButton::clicked, this, &PanelWindow::pressMemKey);
}

// ---- display ----------------------------------------------------------------------------

void PanelWindow::updateDisplay(const kv::LiveReading &reading)
{
    const kv::DisplayState &d = reading.Display;

    // Large digits: only those whose glyph changed.
    for (std::size_t i = 0; i < m_largeDigits.size(); ++i) {
        const std::uint8_t glyph = i < 4 ? d.RhDigits[i] : i < 8 ? d.T1Digits[i - 4] : d.T2Digits[i - 8];
        if (glyph != m_drawnGlyphs[i]) {
            m_largeDigits[i]->setPicture(GlyphOf(m_glyphs.large, glyph));
            m_drawnGlyphs[i] = glyph;
        }
    }
    // What the display shows, for screen readers.
    const QString spoken = kv::DisplayText(d);
    if (spoken != accessibleDescription())
        setAccessibleDescription(spoken);
    m_smallDigits[0]->setPicture(GlyphOf(m_glyphs.small, d.SmallDigits[0]));
    m_smallDigits[1]->setPicture(GlyphOf(m_glyphs.small, d.SmallDigits[1]));

    // Battery: the fullest lit mark wins; no mark keeps the last picture.
    const bool lit[] = {d.Battery0, d.Battery1, d.Battery2, d.Battery3};
    for (std::size_t fullest = m_batteryPictures.size(); fullest-- > 0;) {
        if (!lit[fullest])
            continue;
        for (std::size_t i = 0; i < m_batteryPictures.size(); ++i)
            m_batteryPictures[i]->setVisible(i == fullest);
        break;
    }

    // While the meter blinks them, MAX/MIN/AVG belong to the blink tick.
    if (!reading.MmaBlink) {
        m_maxLabel->setVisible(d.MaxMark);
        m_minLabel->setVisible(d.MinMark);
        m_avgLabel->setVisible(d.AvgMark);
    }

    for (const Symbol &s : m_symbols)
        s.element->setVisible(d.*s.flag);

    if (!reading.RecBlink) {
        m_recPicture->setVisible(d.RecMark);
        m_fullPicture->setVisible(d.FullMark);
    }
}

void PanelWindow::blinkSymbols(bool phase)
{
    m_blinking = true;
    const kv::LiveReading &reading = m_connection.reading();
    if (reading.MmaMode && reading.MmaBlink) {
        m_maxLabel->setVisible(phase);
        m_minLabel->setVisible(phase);
        m_avgLabel->setVisible(phase);
    }
    if (reading.RecBlink) {
        m_recPicture->setVisible(phase);
        // FULL blinks along only while the meter lights it: a recording
        // into memory that is not full must not read "FULL".
        m_fullPicture->setVisible(phase && reading.Display.FullMark);
    }
    if (m_connection.isSerial())
        m_linkPicture->setVisible(phase);
    m_blinking = false;
}

void PanelWindow::showDisconnected()
{
    m_linkPicture->hide();
    m_noConnectionLabel->show();
}

// ---- keys ---------------------------------------------------------------------------------

int PanelWindow::sendKey(const kv::CommandFrame &frame)
{
    return kv::SendPanelKey(m_connection.link().usb(), frame);
}

void PanelWindow::pressKey(char command)
{
    // Holds the link: waits for a running poll tick (without handling
    // events), stops the poll timer, and starts it again on leaving.  A key
    // pressed while another operation holds the link is ignored.
    const kv::LinkLease lease(m_connection.link(), false);
    if (!lease)
        return;
    m_keyFrame[0] = kv::FrameStart;
    m_keyFrame[1] = static_cast<std::uint8_t>(command);
    m_keyFrame[2] = 0;
    m_keyFrame[3] = 0;
    m_keyFrame[6] = kv::FrameEnd;
    m_lastKeyResult = sendKey(m_keyFrame);
    if (m_lastKeyResult != kv::KeyAcknowledged) {
        // The pause handles events, so the panel may be closed meanwhile:
        // nothing of it is touched afterwards.
        const auto pause = m_pause;
        pause(kv::KeyFailurePauseMs);
    }
}

void PanelWindow::pressHoldKey() { pressKey(kv::cmd::KeyHold); }
void PanelWindow::pressUnitKey() { pressKey(kv::cmd::KeyUnit); }
void PanelWindow::pressRecKey() { pressKey(kv::cmd::KeyRec); }
void PanelWindow::pressRecallKey() { pressKey(kv::cmd::KeyRecall); }
void PanelWindow::pressMmaKey() { pressKey(kv::cmd::KeyMma); }
void PanelWindow::leaveMmaMode() { pressKey(kv::cmd::KeyMmaLeave); }
void PanelWindow::pressBackLightKey() { pressKey(kv::cmd::KeyBackLight); }
void PanelWindow::pressMemKey() { pressKey(kv::cmd::KeyMem); }

void PanelWindow::closeWindow() { movedWindow()->close(); }

// ---- moving ---------------------------------------------------------------------------------

QWidget *PanelWindow::movedWindow()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        return sub;
    return window();
}

void PanelWindow::startMove(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_moving = true;
    m_moveOrigin = event->globalPosition().toPoint();
    m_windowOrigin = movedWindow()->pos();
}

bool PanelWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_meterPicture)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        startMove(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_moving || !(mouse->buttons() & Qt::LeftButton))
            break;
        QWidget *moved = movedWindow();
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
            connect(sub, &QMdiSubWindow::aboutToActivate, this, &PanelWindow::activated);
            m_activationHooked = true;
        }
        break;
    case QEvent::WindowActivate:
        if (isWindow())
            emit activated();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void PanelWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Shown again (also restored from minimised): every digit is drawn anew.
    m_drawnGlyphs.fill(NothingDrawn);
}

void PanelWindow::waitForBlinkTick()
{
    QElapsedTimer clock;
    clock.start();
    while (m_blinking && clock.elapsed() < BlinkWaitLimitMs)
        kv::WaitPumping(BlinkWaitPollMs);
}

void PanelWindow::closeEvent(QCloseEvent *event)
{
    waitForBlinkTick();
    event->accept();
    emit closed();
}
