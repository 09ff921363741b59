#pragma once
// The building blocks of the meter panel: pictures placed over the meter's
// picture, display labels drawn in the display's lettering, and the
// transparent key areas over the key pictures.

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

namespace kv {

// Loads a picture of the program's artwork.  On a high-density screen the
// double-size version (name@2x.jpg) is taken when there is one.  A picture
// that cannot be loaded gives a null pixmap.
QPixmap LoadPicture(const QString &path);

// A picture element: shows its picture at its top left corner, nothing else.
class PanelImage : public QWidget {
public:
    explicit PanelImage(QWidget *parent = nullptr);

    // Puts a picture into the element.  The element repaints only when the
    // picture differs from the one it shows.
    void setPicture(const QPixmap &picture);
    const QPixmap &picture() const { return m_picture; }
    // How many times a picture was put into the element.
    int pictureAssignments() const { return m_assignments; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPixmap m_picture;
    int m_assignments = 0;
};

// A label of the display.  It keeps its text; when it has a picture of that
// text in the display's lettering it shows the picture instead.
class LcdLabel : public QLabel {
public:
    LcdLabel(const QString &text, QWidget *parent = nullptr);

    void setPicture(const QPixmap &picture);
    const QPixmap &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPixmap m_picture;
};

// A transparent key area with the hand cursor.  Shows a pressed key while
// the mouse button is down on it.  A double click gives doubleClicked()
// after the clicked() of its first press, and no second clicked().
class PanelKey : public QAbstractButton {
    Q_OBJECT
public:
    explicit PanelKey(QWidget *parent = nullptr);

    // The key cap under the area, in the area's coordinates: the part that
    // darkens while the key is held down.
    void setCap(const QRectF &cap, bool round);

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QRectF m_cap;
    bool m_round = false;
};

} // namespace kv
