#include "ui/skin_widget.h"

#include "core/units.h"

#include <QBitmap>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QSvgRenderer>

namespace {

QString resourceOf(const QString& name) {
    return QStringLiteral(":/skin/") + name + QStringLiteral(".svg");
}

bool hasPicture(const QString& name) {
    return QFile::exists(resourceOf(name));
}

// Draws the widget's current picture, dimmed while disabled, with a focus ring for the
// keyboard.
void paintPicture(QWidget& widget, const QString& name, bool focusRing) {
    QPainter painter(&widget);
    if (!widget.isEnabled()) {
        painter.setOpacity(0.4);
    }
    const QPixmap picture = skinPicture(name, widget.size(), widget.devicePixelRatioF());
    if (picture.isNull()) {
        painter.drawText(widget.rect(), Qt::AlignCenter, widget.accessibleName());
    } else {
        painter.drawPixmap(0, 0, picture);
    }
    if (focusRing) {
        painter.setOpacity(1);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x35, 0xb3, 0xa2), 1.5, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(widget.rect()).adjusted(1, 1, -1, -1), 4, 4);
    }
}

}  // namespace

QPixmap skinPicture(const QString& name, QSize size, qreal devicePixelRatio) {
    QSvgRenderer renderer(resourceOf(name));
    if (!renderer.isValid()) {
        return {};
    }
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QLabel* makePictureLabel(QWidget* parent, const QString& objectName, const QString& picture,
                         const QRect& at) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setGeometry(at);
    label->setPixmap(skinPicture(picture, at.size(), parent->devicePixelRatioF()));
    return label;
}

QSize skinPictureSize(const QString& name) {
    return QSvgRenderer(resourceOf(name)).defaultSize();
}

QRegion outlineRegion(const WindowOutline& outline) {
    QPainterPath shape;
    for (const RoundedRectPiece& piece : outline.roundedRects) {
        QPainterPath rounded;
        rounded.addRoundedRect(
            QRectF(piece.left, piece.top, piece.right - piece.left, piece.bottom - piece.top),
            piece.ellipseWidth / 2.0, piece.ellipseHeight / 2.0);
        shape = shape.united(rounded);
    }
    if (!outline.polygon.empty()) {
        QPainterPath polygon;
        polygon.setFillRule(Qt::OddEvenFill);
        polygon.addPolygon(
            QPolygonF(QPolygon(QList<QPoint>(outline.polygon.begin(), outline.polygon.end()))));
        polygon.closeSubpath();
        shape = shape.united(polygon);
    }
    const QRect bounds = shape.boundingRect().toAlignedRect();
    QBitmap bits(bounds.right() + 1, bounds.bottom() + 1);
    bits.fill(Qt::color0);
    QPainter painter(&bits);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawPath(shape);
    painter.end();
    return QRegion(bits);
}

void applyOutline(QWidget& window, const WindowOutline& outline) {
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setMask(outlineRegion(outline));
}

QPalette skinPalette() {
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, const char* colour) {
        palette.setColor(role, QColor(QLatin1String(colour)));
    };
    set(QPalette::Window, "#1b2633");
    set(QPalette::WindowText, "#dbe5ee");
    set(QPalette::Base, "#101820");
    set(QPalette::AlternateBase, "#16202a");
    set(QPalette::Text, "#e8eef4");
    set(QPalette::Button, "#2c3d4f");
    set(QPalette::ButtonText, "#dbe5ee");
    set(QPalette::Highlight, "#23877a");
    set(QPalette::HighlightedText, "#ffffff");
    set(QPalette::ToolTipBase, "#2c3d4f");
    set(QPalette::ToolTipText, "#dbe5ee");
    set(QPalette::Link, "#35b3a2");
    set(QPalette::PlaceholderText, "#8ea3b6");
    set(QPalette::Light, "#45607a");
    set(QPalette::Midlight, "#3a5168");
    set(QPalette::Mid, "#33475b");
    set(QPalette::Dark, "#101820");
    set(QPalette::Shadow, "#05080b");
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(QStringLiteral("#6b7f92")));
    }
    return palette;
}

QString skinStyleSheet() {
    return QStringLiteral(
        "QLabel, QCheckBox { color: #dbe5ee; }"
        "QLabel[muted=\"true\"] { color: #8ea3b6; }"
        "QListView, QListWidget, QLineEdit, QComboBox {"
        "  background: #101820; color: #e8eef4; border: 1px solid #3a5068; border-radius: 4px;"
        "  selection-background-color: #23877a; selection-color: #ffffff; }"
        "QListView:focus, QListWidget:focus, QLineEdit:focus, QComboBox:focus {"
        "  border-color: #35b3a2; }"
        "QComboBox { padding: 1px 6px; }"
        "QComboBox QAbstractItemView { background: #101820; color: #e8eef4; }"
        "QPushButton, QToolButton#Browse_cmd {"
        "  background: #2c3d4f; color: #dbe5ee; border: 1px solid #45607a; border-radius: 5px;"
        "  padding: 2px 8px; }"
        "QPushButton:hover, QToolButton#Browse_cmd:hover { background: #3a5168;"
        "  border-color: #35b3a2; }"
        "QPushButton:pressed, QToolButton#Browse_cmd:pressed { background: #23877a; }"
        "QPushButton:disabled, QToolButton#Browse_cmd:disabled { color: #6b7f92;"
        "  border-color: #33475b; }"
        "QPushButton:focus, QToolButton#Browse_cmd:focus { border-color: #35b3a2; }"
        "QScrollBar:vertical, QScrollBar:horizontal { background: #16202a; border: none;"
        "  width: 10px; height: 10px; }"
        "QScrollBar::handle { background: #3a5068; border-radius: 4px; min-height: 16px;"
        "  min-width: 16px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
        "QMenu { background: #1d2935; color: #e8eef4; border: 1px solid #3a5068; }"
        "QMenu::item { padding: 4px 22px 4px 24px; }"
        "QMenu::item:selected { background: #23877a; }"
        "QMenu::item:disabled { color: #6b7f92; }"
        "QMenu::separator { height: 1px; background: #3a5068; margin: 3px 6px; }"
        "QToolTip { background: #1d2935; color: #e8eef4; border: 1px solid #3a5068; }");
}

ImageButton::ImageButton(const QString& objectName, const QString& pictureName, QWidget* parent)
    : QToolButton(parent) {
    setObjectName(objectName);
    setMouseTracking(true);
    const QString up = pictureName + QStringLiteral("_Up");
    if (!hasPicture(up)) {
        m_names[0] = m_names[1] = m_names[2] = pictureName;  // one picture, no changes
        return;
    }
    const QString over = pictureName + QStringLiteral("_Over");
    m_names[0] = up;
    m_names[1] = hasPicture(over) ? over : QString();
    m_names[2] = pictureName + QStringLiteral("_Down");
}

void ImageButton::showPicture(ButtonPicture picture) {
    if (m_picture != picture) {
        m_picture = picture;
        update();
    }
}

void ImageButton::resetPicture() {
    showPicture(ButtonPicture::Normal);
}

void ImageButton::paintEvent(QPaintEvent*) {
    paintPicture(*this, m_names[static_cast<int>(m_picture)], hasFocus());
}

void ImageButton::mousePressEvent(QMouseEvent* event) {
    showPicture(ButtonPicture::Pressed);
    QToolButton::mousePressEvent(event);
    event->accept();  // a press on a button never drags the window behind it
}

void ImageButton::mouseMoveEvent(QMouseEvent* event) {
    if (m_names[1].isEmpty()) {
        if (hoverlessMove) {
            hoverlessMove();
        }
    } else if (event->buttons() == Qt::NoButton) {
        showPicture(ButtonPicture::Hover);
    }
    QToolButton::mouseMoveEvent(event);
    event->accept();  // the window behind would reset the picture
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
    showPicture(ButtonPicture::Normal);
    QToolButton::mouseReleaseEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
    resetPicture();
    QToolButton::leaveEvent(event);
}

ImageButton* makeImageButton(QWidget* parent, const QString& objectName, const QString& tooltip,
                             const QRect& at) {
    auto* button =
        new ImageButton(objectName, QString(objectName).remove(QStringLiteral("_Img")), parent);
    button->setToolTip(tooltip);
    button->setAccessibleName(tooltip);
    button->setGeometry(at);
    return button;
}

RoundImageButton::RoundImageButton(const QString& objectName, const QString& pictureName,
                                   const QString& accessibleText, QWidget* parent)
    : QPushButton(accessibleText, parent), m_pictureName(pictureName) {
    setObjectName(objectName);
    setAccessibleName(QString(accessibleText).remove(QLatin1Char('&')));
    setToolTip(accessibleName());
    setMouseTracking(true);
}

void RoundImageButton::paintEvent(QPaintEvent*) {
    const bool pressed = m_picture == ButtonPicture::Pressed;
    paintPicture(
        *this, m_pictureName + (pressed ? QStringLiteral("Pressed") : QStringLiteral("NotPressed")),
        hasFocus());
}

void RoundImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();  // other buttons change nothing, nor drag the window
        return;
    }
    if (mayPress()) {
        m_picture = ButtonPicture::Pressed;
        update();
        if (onPress) {
            onPress();
        }
    }
    QPushButton::mousePressEvent(event);
}

void RoundImageButton::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position() * kTwipsPerPixel;
    const bool overFace =
        RoundButton(at.x(), at.y(), width() * kTwipsPerPixel, height() * kTwipsPerPixel);
    setCursor(pointerFor(overFace));
    QPushButton::mouseMoveEvent(event);
    event->accept();  // the window behind would disarm the press
}

void RoundImageButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    m_picture = ButtonPicture::Normal;
    update();
    if (onRelease) {
        onRelease();
    }
    QPushButton::mouseReleaseEvent(event);
}

WindowDragger::WindowDragger(QWidget& window, const QList<QWidget*>& handles)
    : QObject(&window), m_window(window) {
    for (QWidget* handle : handles) {
        handle->installEventFilter(this);
        handle->setMouseTracking(true);
    }
}

bool WindowDragger::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() != Qt::LeftButton) {
                break;
            }
            m_dragging = true;
            m_last = press->globalPosition().toPoint();
            if (pressed) {
                pressed();
            }
            return true;
        }
        case QEvent::MouseMove: {
            if (hovered) {
                hovered();
            }
            const auto* move = static_cast<QMouseEvent*>(event);
            // A release the window manager kept from us ends the drag here: a move
            // without the button must not carry the window along.
            if (m_dragging && !move->buttons().testFlag(Qt::LeftButton)) {
                m_dragging = false;
                if (released) {
                    released();
                }
            }
            if (!m_dragging) {
                break;
            }
            const QPoint now = move->globalPosition().toPoint();
            const QPoint delta = now - m_last;
            m_last = now;
            m_window.move(m_window.pos() + delta);
            if (moved) {
                moved(delta);
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (!m_dragging) {
                break;
            }
            m_dragging = false;
            if (released) {
                released();
            }
            return true;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
