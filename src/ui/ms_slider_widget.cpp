#include "ui/ms_slider_widget.h"

#include "core/units.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The slider works in whole twips.
int roundEven(double value) {
    return static_cast<int>(roundHalfEven(value));
}

// The 16-bit rounding of the value's product, clamped where 16 bits cannot hold it.
int round16(double value) {
    return std::clamp(roundEven(value), -32768, 32767);
}

int twipsOf(double pixels) {
    return roundEven(pixels * kTwipsPerPixel);
}

bool isMouseEvent(const QEvent* event) {
    return event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
           event->type() == QEvent::MouseButtonRelease;
}

QColor colourOf(quint32 value) {
    return {static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>((value >> 16) & 0xFF)};
}

// The gripper's own picture: a small raised knob.
QPixmap knob(bool enabled) {
    QPixmap picture(9, 15);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(enabled ? QColor(70, 70, 70) : QColor(160, 160, 160));
    painter.setBrush(enabled ? QColor(225, 225, 225) : QColor(235, 235, 235));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 8, 14), 2, 2);
    return picture;
}

}  // namespace

MSSlider::MSSlider(QWidget* parent)
    : QWidget(parent), m_groove(new QLabel(this)), m_gripper(new QLabel(this)) {
    m_groove->setObjectName(QStringLiteral("picGrove"));
    m_gripper->setObjectName(QStringLiteral("picGripper"));
    m_groove->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_groove->setAutoFillBackground(true);
    m_groove->setBackgroundRole(QPalette::Button);
    m_gripperPicture = knob(true);
    m_groove->installEventFilter(this);
    m_gripper->installEventFilter(this);
    showPictures();
    layoutParts();
}

QList<quint32> MSSlider::colourTable(quint32 low, quint32 high, int steps) {
    const int n = std::max(steps, 2);
    const auto channel = [](quint32 colour, int shift) {
        return static_cast<double>((colour >> shift) & 0xFF);
    };
    QList<quint32> table(n + 1);
    table[0] = low;
    table[n] = high;
    for (int i = 1; i < n; ++i) {
        quint32 entry = 0;
        for (const int shift : {0, 8, 16}) {
            const double step = (channel(high, shift) - channel(low, shift)) / n;
            entry |= static_cast<quint32>(roundEven(channel(low, shift) + i * step)) << shift;
        }
        table[i] = entry;
    }
    return table;
}

void MSSlider::setGripperPic(const QString& fileName) {
    const QPixmap picture(fileName);
    if (!picture.isNull()) {
        m_gripperPicture = picture;
    }
    showPictures();
    layoutParts();
}

void MSSlider::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutParts();
}

// Disabled, the gripper shows its greyed picture.
void MSSlider::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        showPictures();
    }
}

void MSSlider::showPictures() {
    m_gripper->setPixmap(isEnabled() ? m_gripperPicture : knob(false));
}

void MSSlider::layoutParts() {
    const int w = twipsOf(width());
    const int h = twipsOf(height());
    m_grooveLeft = 5;
    m_grooveTop = 60;
    m_grooveHeight = std::max(h - 120, 0);
    m_grooveWidth = std::max(w - 5, 0);
    m_gripperWidth = twipsOf(m_gripperPicture.width());
    m_gripperHeight = twipsOf(m_gripperPicture.height());
    m_gripperLeft = m_grooveLeft;
    m_gripperTop = m_grooveTop + (m_grooveHeight - m_gripperHeight) / 2;
    m_trackStart = roundEven(m_gripperWidth / 2.0);
    m_trackEnd = m_grooveWidth - roundEven(m_gripperWidth / 2.0);
    m_trackLength = m_trackEnd - m_trackStart;
    applyGeometry();
    m_gripper->raise();
    deriveValue();
    tint();
}

void MSSlider::applyGeometry() {
    const auto pixels = [](int twips) { return roundEven(twips / double(kTwipsPerPixel)); };
    m_groove->setGeometry(pixels(m_grooveLeft), pixels(m_grooveTop), pixels(m_grooveWidth),
                          pixels(m_grooveHeight));
    m_gripper->setGeometry(pixels(m_gripperLeft), pixels(m_gripperTop), pixels(m_gripperWidth),
                           pixels(m_gripperHeight));
}

double MSSlider::fraction() const {
    if (m_trackLength == 0) {
        return 0;
    }
    return (m_gripperLeft + m_gripperWidth / 2.0 - m_trackStart) / m_trackLength;
}

void MSSlider::deriveValue() {
    m_value = m_min + round16(static_cast<double>(m_max - m_min) * fraction());
}

void MSSlider::tint() {
    if (!m_colorShift) {
        return;
    }
    m_colours = colourTable(m_low, m_high, 100);
    const int index = std::clamp(round16(fraction() * 100), 0, 100);
    QPalette palette = m_groove->palette();
    palette.setColor(QPalette::Button, colourOf(m_colours.at(index)));
    m_groove->setPalette(palette);
}

void MSSlider::moveGripper(int left) {
    m_gripperLeft = left;
    applyGeometry();
}

void MSSlider::setValue(qint32 value) {
    m_value = value;
    if (m_max == m_min) {
        return;  // no place stands for it: the gripper stays, quietly
    }
    const double position =
        (static_cast<double>(value) - m_min) / (static_cast<double>(m_max) - m_min);
    moveGripper(roundEven(m_trackLength * position + m_trackStart - m_gripperWidth / 2.0));
    Q_EMIT ValueHasChanged();
}

bool MSSlider::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_gripper) {
        return gripperMouse(event);
    }
    if (watched == m_groove) {
        return grooveMouse(event);
    }
    return QWidget::eventFilter(watched, event);
}

bool MSSlider::gripperMouse(QEvent* event) {
    if (!isMouseEvent(event)) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            Q_EMIT MouseDown();
            return true;
        case QEvent::MouseMove: {
            if (!(mouse->buttons() & Qt::LeftButton)) {
                return false;
            }
            const int half = roundEven(m_gripperWidth / 2.0);
            const int proposed = m_gripperLeft + twipsOf(mouse->position().x()) - half;
            if (proposed >= 0 && proposed + m_gripperWidth <= m_grooveWidth) {
                moveGripper(proposed);
            } else {
                moveGripper(proposed >= 0 ? m_grooveWidth - m_gripperWidth : 0);
            }
            deriveValue();
            tint();
            Q_EMIT ValueHasChanged();
            return true;
        }
        case QEvent::MouseButtonRelease:
            deriveValue();
            tint();
            Q_EMIT ValueHasChanged();
            Q_EMIT MouseUp();
            Q_EMIT OnClick();
            return true;
        default:
            return false;
    }
}

void MSSlider::placeInGroove(int x) {
    const int half = roundEven(m_gripperWidth / 2.0);
    const int v = m_grooveLeft + x - half;
    if (v > 0 && x + half <= m_grooveWidth) {
        moveGripper(x - half);
    } else if (v < 0) {
        moveGripper(0);
    } else if (x + half > m_grooveWidth) {
        moveGripper(m_grooveWidth - m_gripperWidth);
    }
    deriveValue();
    tint();
    Q_EMIT ValueHasChanged();
}

bool MSSlider::grooveMouse(QEvent* event) {
    if (!isMouseEvent(event)) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton) {
                return true;
            }
            placeInGroove(twipsOf(mouse->position().x()));
            m_scrollOnClick = true;
            Q_EMIT MouseDown();
            return true;
        case QEvent::MouseMove:
            if (!m_scrollOnClick || !(mouse->buttons() & Qt::LeftButton)) {
                return false;
            }
            placeInGroove(twipsOf(mouse->position().x()));
            return true;
        case QEvent::MouseButtonRelease:
            m_scrollOnClick = false;
            Q_EMIT MouseUp();
            Q_EMIT OnClick();
            return true;
        default:
            return false;
    }
}
