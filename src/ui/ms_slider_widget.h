#pragma once

#include <QList>
#include <QPixmap>
#include <QWidget>

class QLabel;

// The program's own horizontal slider: a groove and a gripper whose place within the
// track gives an integer value between Min and Max. The user drags the gripper, or
// presses in the groove and drags there. The groove can be tinted by position from a
// gradient between two colours. Geometry is computed in twips (15 per pixel).
//
// The value is the minimum plus (span × position) rounded to 16 bits; a span above
// 32,767 cannot be held there, so the rounded product is clamped to -32,768..32,767
// and the slider then stops at minimum + 32,767.
class MSSlider : public QWidget {
    Q_OBJECT

public:
    explicit MSSlider(QWidget* parent = nullptr);

    qint32 Min() const { return m_min; }
    void setMin(qint32 minimum) { m_min = minimum; }
    qint32 Max() const { return m_max; }
    void setMax(qint32 maximum) { m_max = maximum; }
    qint32 Value() const { return m_value; }
    // Places the gripper for `value` and raises ValueHasChanged; with Max equal to Min
    // the value is only stored.
    void setValue(qint32 value);
    // Colours are red + green × 256 + blue × 65536.
    void setLowColor(quint32 colour) { m_low = colour; }
    void setHiColor(quint32 colour) { m_high = colour; }
    void setGripperPic(const QString& fileName);
    void setColorShift(bool on) { m_colorShift = on; }
    void ColInit() { tint(); }

    // The gradient from `low` to `high` in `steps` steps: entries 0..steps.
    static QList<quint32> colourTable(quint32 low, quint32 high, int steps);

    // For tests: the parts and the gripper's place, in twips.
    QLabel* groove() const { return m_groove; }
    QLabel* gripper() const { return m_gripper; }
    int gripperLeft() const { return m_gripperLeft; }
    int gripperWidth() const { return m_gripperWidth; }
    int trackStart() const { return m_trackStart; }
    int trackLength() const { return m_trackLength; }

Q_SIGNALS:
    void ValueHasChanged();
    void OnClick();
    void MouseUp();
    void MouseDown();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutParts();
    double fraction() const;
    void deriveValue();
    void tint();
    void moveGripper(int left);
    void applyGeometry();
    void showPictures();
    bool gripperMouse(QEvent* event);
    bool grooveMouse(QEvent* event);
    void placeInGroove(int x);

    QLabel* m_groove;
    QLabel* m_gripper;
    QPixmap m_gripperPicture;
    qint32 m_min = 0;
    qint32 m_max = 100;
    qint32 m_value = 0;
    quint32 m_low = 0;
    quint32 m_high = 0;
    bool m_colorShift = false;
    bool m_scrollOnClick = false;
    QList<quint32> m_colours;
    int m_grooveLeft = 0, m_grooveTop = 0, m_grooveWidth = 0, m_grooveHeight = 0;
    int m_gripperLeft = 0, m_gripperTop = 0, m_gripperWidth = 0, m_gripperHeight = 0;
    int m_trackStart = 0, m_trackEnd = 0, m_trackLength = 0;
};
