#include "ui/panelwidgets.h"

#include "ui/panellayout.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace kv {
namespace {

// Darkening of a key picture while it is held down.
const QColor PressedShade(0, 0, 0, 80);

// True when `picture` covers the whole of `widget`: nothing beneath needs
// painting (pictures of the display carry its background).
bool Covers(const QPixmap &picture, const QWidget &widget)
{
    if (picture.isNull())
        return false;
    const QSizeF size = picture.deviceIndependentSize();
    return size.width() >= widget.width() && size.height() >= widget.height();
}

} // namespace

QPixmap LoadPicture(const QString &path)
{
    if (qApp && qApp->devicePixelRatio() > 1.0) {
        QString large = path;
        const int dot = large.lastIndexOf(QLatin1Char('.'));
        large.insert(dot < 0 ? large.size() : dot, QStringLiteral("@2x"));
        QPixmap picture;
        if (picture.load(large)) {
            picture.setDevicePixelRatio(2.0);
            return picture;
        }
    }
    QPixmap picture;
    picture.load(path);
    return picture;
}

PanelImage::PanelImage(QWidget *parent) : QWidget(parent) {}

void PanelImage::setPicture(const QPixmap &picture)
{
    ++m_assignments;
    if (picture.cacheKey() == m_picture.cacheKey())
        return;
    m_picture = picture;
    setAttribute(Qt::WA_OpaquePaintEvent, Covers(m_picture, *this));
    update();
}

void PanelImage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    setAttribute(Qt::WA_OpaquePaintEvent, Covers(m_picture, *this));
}

void PanelImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

LcdLabel::LcdLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {}

void LcdLabel::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    setAttribute(Qt::WA_OpaquePaintEvent, Covers(m_picture, *this));
    update();
}

void LcdLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    setAttribute(Qt::WA_OpaquePaintEvent, Covers(m_picture, *this));
}

void LcdLabel::paintEvent(QPaintEvent *event)
{
    if (m_picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

PanelKey::PanelKey(QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void PanelKey::setCap(const QRectF &cap, bool round)
{
    m_cap = cap;
    m_round = round;
}

void PanelKey::paintEvent(QPaintEvent *)
{
    // Transparent: the key is part of the meter's picture.  Held down, its
    // cap darkens.
    if (!isDown())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF cap = m_cap.isEmpty() ? QRectF(rect()).adjusted(4, 4, -4, -4) : m_cap;
    QPainterPath shape;
    if (m_round)
        shape.addEllipse(cap);
    else
        shape.addRoundedRect(cap, panellayout::KeyCapCornerRadius, panellayout::KeyCapCornerRadius);
    painter.fillPath(shape, PressedShade);
}

void PanelKey::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is not a click of its own.
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setDown(false);
    event->accept();
    emit doubleClicked();
}

} // namespace kv
