#pragma once

#include <QPalette>

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>
#include <QToolButton>

#include <functional>

#include "desktop/window_chrome.h"

// The skin: pictures drawn from the program's SVG resources at the screen's
// resolution, window outlines, picture buttons and dragging by the background.

// The picture `name` (":/skin/NAME.svg") drawn `size` design pixels large for a
// screen of `devicePixelRatio`; a null pixmap when the skin has no such picture.
QPixmap skinPicture(const QString& name, QSize size, qreal devicePixelRatio);

// A label showing one picture of the skin, for backgrounds, icons and signs.
QLabel* makePictureLabel(QWidget* parent, const QString& objectName, const QString& picture,
                         const QRect& at);

// The size a picture was drawn for, in design pixels.
QSize skinPictureSize(const QString& name);

// The region an outline covers.
QRegion outlineRegion(const WindowOutline& outline);
// Frameless, cut to its outline.
void applyOutline(QWidget& window, const WindowOutline& outline);

// The controls of a skinned window, light on its dark background.
QString skinStyleSheet();
// The skin's colours for the program's own dialogs and message boxes. A palette does
// not reach child windows, so the system's file dialogs keep the system's look.
QPalette skinPalette();

enum class ButtonPicture { Normal, Hover, Pressed };

// A button drawn as pictures: normal, hover and pressed (NAME_Up, NAME_Over,
// NAME_Down), only normal and pressed, or one picture (NAME) that never changes.
// The pressed picture shows while any mouse button is down on it; it returns to normal
// on release and when the pointer leaves. Its action runs on the click.
class ImageButton : public QToolButton {
    Q_OBJECT

public:
    ImageButton(const QString& objectName, const QString& pictureName, QWidget* parent);

    ButtonPicture picture() const { return m_picture; }
    void resetPicture();
    // A move over a button without a hover picture runs this instead.
    std::function<void()> hoverlessMove;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showPicture(ButtonPicture picture);

    QString m_names[3];
    ButtonPicture m_picture = ButtonPicture::Normal;
};

// A picture button named like its pictures ("ButtonAdd_Img" shows "ButtonAdd_Up"...),
// with its tooltip as the name a screen reader says.
ImageButton* makeImageButton(QWidget* parent, const QString& objectName, const QString& tooltip,
                             const QRect& at);

// A round button (pack, unpack and their cancels): only a left press shows the pressed
// picture, and only when `mayPress` allows; the pointer becomes a hand over its round
// face alone.
class RoundImageButton : public QPushButton {
    Q_OBJECT

public:
    RoundImageButton(const QString& objectName, const QString& pictureName,
                     const QString& accessibleText, QWidget* parent);

    ButtonPicture picture() const { return m_picture; }
    std::function<bool()> mayPress = [] { return true; };
    std::function<void()> onPress;
    std::function<void()> onRelease;
    // The pointer over the button, knowing whether it is over the round face.
    std::function<Qt::CursorShape(bool overFace)> pointerFor = [](bool overFace) {
        return overFace ? Qt::PointingHandCursor : Qt::ArrowCursor;
    };

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_pictureName;
    ButtonPicture m_picture = ButtonPicture::Normal;
};

// Moves a frameless window while a mouse button is held on one of its handles (its
// background, background picture, icon and caption).
class WindowDragger : public QObject {
    Q_OBJECT

public:
    WindowDragger(QWidget& window, const QList<QWidget*>& handles);

    bool dragging() const { return m_dragging; }
    std::function<void()> pressed;
    // The window moved by `delta` pixels.
    std::function<void(QPoint delta)> moved;
    std::function<void()> released;
    // Any pointer move over a handle, dragging or not.
    std::function<void()> hovered;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    bool m_dragging = false;
    QPoint m_last;
};
