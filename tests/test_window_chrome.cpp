#include <QTest>

#include "desktop/pack_list_docking.h"
#include "desktop/window_chrome.h"
#include "desktop/window_places.h"

Q_DECLARE_METATYPE(DockRect)

namespace {

// A main window at (1500, 1500) twips with the classic frame its constants expect.
const DockRect kMain{1500, 1500, 8085, 4980};
const float kRight = kMain.left + kMain.width;
const float kBottom = kMain.top + kMain.height;
const DockRect kListSize{0, 0, 4815, 4380};
// A wide monitor and a smaller one on its right.
const QList<QRect> kScreens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};

DockRect listAt(float left, float top) {
    return {left, top, kListSize.width, kListSize.height};
}

}  // namespace

class WindowChromeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void outlinesFollowDpiAndFrame() {
        const OutlineTransform classic96{1, 1, 15, 15, 3, 21};
        QCOMPARE(packListOutline(classic96).roundedRects.front(),
                 (RoundedRectPiece{3, 21, 319, 289, 14, 14}));
        const OutlineTransform classic120{1, 1, 12, 12, 3, 21};
        const WindowOutline main = mainWindowOutline(classic120);
        QCOMPARE(main.roundedRects.front(), (RoundedRectPiece{3, 21, 164, 71, 18, 12}));
        QCOMPARE(main.roundedRects.size(), size_t{6});
        QCOMPARE(main.polygon.size(), size_t{11});
        // Frameless: the outline is the design itself.
        QCOMPARE(mainWindowOutline().polygon.at(6), QPoint(533, 11));
        QCOMPARE(packListOutline().roundedRects.front(),
                 (RoundedRectPiece{0, 0, 316, 268, 14, 14}));
    }

    void roundFace_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<bool>("inside");
        // An 840-twip square button: its face has a radius of 420.
        QTest::newRow("centre") << 420.0 << 420.0 << true;
        QTest::newRow("corner") << 10.0 << 10.0 << false;
        QTest::newRow("top of the face") << 420.0 << 1.0 << true;
        QTest::newRow("half a twip above, rounded to even") << 420.0 << 0.5 << false;
        QTest::newRow("diagonal just outside") << 120.0 << 120.0 << false;
        QTest::newRow("diagonal just inside") << 130.0 << 130.0 << true;
    }
    void roundFace() {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(bool, inside);
        QCOMPARE(RoundButton(x, y, 840, 840), inside);
    }

    void dpiScale() {
        QCOMPARE(dpiScaleFor(96), 1.0F);
        QCOMPARE(dpiScaleFor(72), 1.0F);
        QCOMPARE(dpiScaleFor(120), 1.25F);
    }

    void snapAfterDrag_data() {
        QTest::addColumn<DockRect>("released");
        QTest::addColumn<int>("dockOffset");
        QTest::addColumn<DockRect>("snapped");
        QTest::addColumn<QString>("sides");
        QTest::newRow("far right, level")
            << listAt(kRight + 3000, kMain.top) << 0 << listAt(kRight - 90, kMain.top) << "right";
        QTest::newRow("far right, low") << listAt(kRight + 3000, kBottom - 420) << 0
                                        << listAt(kRight - 2410, kBottom - 480) << "right";
        QTest::newRow("right, low with offset") << listAt(kRight + 3000, kBottom - 500) << 110
                                                << listAt(kRight - 2410, kBottom - 560) << "right";
        QTest::newRow("below, right end") << listAt(kRight - 1000, kBottom + 2000) << 0
                                          << listAt(kRight - 1000, kBottom - 430) << "bottom";
        QTest::newRow("below, far left")
            << listAt(kMain.left - 6000, kBottom + 900) << 0
            << listAt(kMain.left - kMain.width + 3360 + 500, kBottom - 990) << "bottom left";
        QTest::newRow("below, left step")
            << listAt(kRight - 7500 - kListSize.width, kBottom + 900) << 0
            << listAt(kRight - 7500 - kListSize.width, kBottom - 490) << "bottom";
        QTest::newRow("above") << listAt(kMain.left + 1000, kMain.top - 9000) << 0
                               << listAt(kMain.left + 1000, kMain.top - kMain.height + 990)
                               << "top";
        QTest::newRow("above with offset")
            << listAt(kMain.left + 1000, kMain.top - 9000) << 110
            << listAt(kMain.left + 1000, kMain.top - kMain.height + 1100) << "top";
        QTest::newRow("far left, level")
            << listAt(kMain.left - 9000, kMain.top) << 0
            << listAt(kMain.left - kMain.width + 3360, kMain.top) << "left";
        QTest::newRow("overlapping") << listAt(kMain.left + 500, kMain.top + 200) << 0
                                     << listAt(kMain.left + 500, kMain.top + 200) << "";
        QTest::newRow("just inside the right edge")
            << listAt(kRight - 50, kMain.top) << 0 << listAt(kRight - 90, kMain.top) << "right";
    }
    void snapAfterDrag() {
        QFETCH(DockRect, released);
        QFETCH(int, dockOffset);
        QFETCH(DockRect, snapped);
        QFETCH(QString, sides);
        PackListDocking docking(static_cast<qint16>(dockOffset));
        QCOMPARE(docking.ActivateMagnet(kMain, released, true), snapped);
        const DockedFlags& f = docking.flags();
        QStringList set;
        for (const auto& [on, name] : {std::pair{f.top, "top"}, std::pair{f.bottom, "bottom"},
                                       std::pair{f.left, "left"}, std::pair{f.right, "right"}}) {
            if (on) {
                set << QLatin1String(name);
            }
        }
        QCOMPARE(set.join(QLatin1Char(' ')), sides);
    }

    void magnetOffLeavesTheWindowFree() {
        PackListDocking docking;
        const DockRect far = listAt(kRight + 3000, kMain.top);
        QCOMPARE(docking.ActivateMagnet(kMain, far, false), far);
        QVERIFY(!docking.travelsWithMain());
        // On demand the magnet's check mark is not consulted; the next press frees it.
        QCOMPARE(docking.MagnetisePackList(kMain, far), listAt(kRight - 90, kMain.top));
        QVERIFY(docking.travelsWithMain());
        docking.release();
        QVERIFY(!docking.travelsWithMain());
    }

    void onDemandIgnoresOffsetAndRightReach() {
        PackListDocking docking(110);
        const DockRect above = listAt(kMain.left + 1000, kMain.top - 9000);
        const DockRect dragged = docking.ActivateMagnet(kMain, above, true);
        QCOMPARE(docking.MagnetisePackList(kMain, above).top, dragged.top - 110);
        const DockRect nearRight = listAt(kRight - 50, kMain.top);
        QCOMPARE(PackListDocking().MagnetisePackList(kMain, nearRight), nearRight);
    }

    void aSnappedSideIsNotSnappedAgain() {
        PackListDocking docking;
        docking.ActivateMagnet(kMain, listAt(kRight + 3000, kMain.top), true);
        const DockRect movedAway = listAt(kRight + 5000, kMain.top);
        QCOMPARE(docking.ActivateMagnet(kMain, movedAway, true), movedAway);
    }

    void dockRectAddsTheClassicFrame() {
        const QRect client(100, 200, 533, 308);
        QCOMPARE(dockRectOf(client), (DockRect{1455, 2685, 8085, 4980}));
        QCOMPARE(clientPositionOf(dockRectOf(client)), client.topLeft());
    }

    void placesStayOnTheScreens_data() {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("inside") << QRect(100, 100, 500, 400) << QPoint(100, 100);
        QTest::newRow("off the left") << QRect(-80, 268, 500, 400) << QPoint(0, 268);
        QTest::newRow("below the bottom") << QRect(100, 1000, 500, 400) << QPoint(100, 680);
        QTest::newRow("mostly on the second") << QRect(1700, 100, 500, 400) << QPoint(1920, 100);
        QTest::newRow("its monitor gone") << QRect(4000, 200, 500, 400) << QPoint(1420, 200);
        QTest::newRow("larger than a screen") << QRect(-50, -50, 3000, 2000) << QPoint(0, 0);
    }
    void placesStayOnTheScreens() {
        QFETCH(QRect, window);
        QFETCH(QPoint, placed);
        QCOMPARE(placedOnScreens(window, kScreens), placed);
    }

    void packListStartsClearOfTheCaptionButtons_data() {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QPoint>("list");
        QTest::addColumn<QPoint>("placed");
        const QRect left(100, 100, 532, 400);
        const QRect atTheRightEdge(1380, 100, 532, 400);
        QTest::newRow("free") << left << QPoint(700, 300) << QPoint(700, 300);
        QTest::newRow("over them: beside") << left << QPoint(500, 90) << QPoint(632, 100);
        QTest::newRow("no room right: left")
            << atTheRightEdge << QPoint(1800, 90) << QPoint(1080, 100);
    }
    void packListStartsClearOfTheCaptionButtons() {
        QFETCH(QRect, main);
        QFETCH(QPoint, list);
        QFETCH(QPoint, placed);
        const QRect buttons(main.topLeft() + QPoint(484, 5), QSize(42, 20));
        QCOMPARE(packListStart(QRect(list, QSize(300, 200)), main, buttons, {kScreens.first()}),
                 placed);
    }
};

QTEST_GUILESS_MAIN(WindowChromeTest)
#include "test_window_chrome.moc"
