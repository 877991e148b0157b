#include <QAction>
#include <QLabel>
#include <QListView>
#include <QTest>

#include "settings/settings_store.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/about_dialog.h"
#include "ui/main_chrome_widget.h"
#include "ui/main_window.h"
#include "ui/pack_list_window.h"
#include "ui/skin_widget.h"

namespace {

QPoint centreOf(const QWidget* widget) {
    return widget->rect().center();
}

// The pointer moves onto `widget` as the window system reports it, with enter and leave.
void hover(QWidget* widget, QPoint at) {
    QTest::mouseMove(widget->window()->windowHandle(), widget->mapTo(widget->window(), at));
}

// Press, move and release a mouse button on a drag handle.
// `held` false: the release went to the window manager, the move comes without it.
void drag(QWidget* handle, QPoint by, bool held = true) {
    const QPoint at(handle->width() / 2, handle->height() / 2);
    QTest::mousePress(handle, Qt::LeftButton, {}, at);
    QMouseEvent move(QEvent::MouseMove, QPointF(at + by),
                     QPointF(handle->mapToGlobal(QPoint(0, 0)) + at + by), Qt::NoButton,
                     held ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    if (held) {
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at + by);
    }
}

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    struct Windows {
        RecorderJobHost host;
        MainWindow main{&host};
        PackListWindow& list = *main.packListWindow();
        template <typename T>
        T* find(const char* name) const {
            return main.findChild<T*>(QLatin1String(name));
        }
        QWidget* listCaption() const {
            return list.findChild<QWidget*>(QStringLiteral("TarvikZarvoCaption"));
        }
    };

    void start(Windows& w) {
        w.main.load();
        w.main.move(100, 100);
        w.main.show();
        w.list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.main));
        QVERIFY(QTest::qWaitForWindowExposed(&w.list));
    }

private Q_SLOTS:
    void initTestCase() {
        useThrowawayUserFolders(m_dir.path());
        QDir::setCurrent(m_dir.path());
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    }
    void init() { QFile::remove(SettingsStore::defaultPath()); }

    void outlinesCutTheCorners() {
        const QRegion main = outlineRegion(mainWindowOutline());
        for (const QPoint inside : {QPoint(266, 150), QPoint(140, 300), QPoint(1, 240)}) {
            QVERIFY2(main.contains(inside), qPrintable(QStringLiteral("%1,%2").arg(inside.x())));
        }
        for (const QPoint outside : {QPoint(1, 305), QPoint(532, 307), QPoint(400, 307)}) {
            QVERIFY2(!main.contains(outside), qPrintable(QStringLiteral("%1,%2").arg(outside.x())));
        }
        const QRegion list = outlineRegion(packListOutline());
        QVERIFY(list.contains(QPoint(158, 134)));
        QVERIFY(!list.contains(QPoint(0, 0)));
        QVERIFY(!list.contains(QPoint(316, 134)));
    }

    void pictureButtonsReturnToNormal() {
        Windows w;
        start(w);
        auto* remove = w.list.findChild<ImageButton*>(QStringLiteral("ButtonRemove_Img"));
        auto* swapUp = w.list.findChild<ImageButton*>(QStringLiteral("ButtonSwapUp_Img"));
        hover(remove, centreOf(remove));
        QCOMPARE(remove->picture(), ButtonPicture::Hover);
        hover(w.list.list()->viewport(), centreOf(w.list.list()->viewport()));
        QCOMPARE(remove->picture(), ButtonPicture::Normal);
        // The swap buttons have no hover picture of their own.
        hover(swapUp, centreOf(swapUp));
        QCOMPARE(swapUp->picture(), ButtonPicture::Normal);
        QTest::mousePress(swapUp, Qt::RightButton, {}, centreOf(swapUp));
        QCOMPARE(swapUp->picture(), ButtonPicture::Pressed);
        QTest::mouseRelease(swapUp, Qt::RightButton, {}, centreOf(swapUp));
        QCOMPARE(swapUp->picture(), ButtonPicture::Normal);
    }

    void onlyALeftPressArmsThePackButton() {
        Windows w;
        start(w);
        auto* pack = w.find<RoundImageButton>("PackImg");
        auto* glow = w.find<QLabel>("PackDownFullViewImg");
        QTest::mousePress(pack, Qt::RightButton, {}, centreOf(pack));
        QCOMPARE(pack->picture(), ButtonPicture::Normal);
        QVERIFY(!w.main.jobs().armed());
        QVERIFY(!w.main.findChild<WindowDragger*>()->dragging());  // nor drags the window
        QTest::mouseRelease(pack, Qt::RightButton, {}, centreOf(pack));
        QTest::mousePress(pack, Qt::LeftButton, {}, centreOf(pack));
        QCOMPARE(pack->picture(), ButtonPicture::Pressed);
        QVERIFY(w.main.jobs().armed());
        QVERIFY(glow->isVisible());
        QTest::mouseRelease(pack, Qt::LeftButton, {}, QPoint(-20, -20));  // released elsewhere
        QCOMPARE(pack->picture(), ButtonPicture::Normal);
        QVERIFY(!glow->isVisible());
        QCOMPARE(w.host.texts(), QStringList());  // no click, no job
        // Back on the window, the press is forgotten.
        hover(w.find<QLabel>("BG_Img"), QPoint(300, 290));
        QVERIFY(!w.main.jobs().armed());
    }

    void theHandShowsOverTheRoundFaceOnly() {
        Windows w;
        start(w);
        auto* unpack = w.find<RoundImageButton>("UnpackImg");
        hover(unpack, QPoint(2, 2));
        QCOMPARE(unpack->cursor().shape(), Qt::ArrowCursor);
        hover(unpack, centreOf(unpack));
        QCOMPARE(unpack->cursor().shape(), Qt::PointingHandCursor);
    }

    void aDroppedListSnapsAndTravelsWithTheMainWindow() {
        Windows w;
        start(w);
        w.list.move(w.main.x() + 1200, w.main.y());
        drag(w.listCaption(), QPoint(10, 0));
        // Right side, level: the two outlines meet.
        QCOMPARE(w.list.pos(), QPoint(w.main.x() + w.main.width(), w.main.y()));
        const QPoint docked = w.list.pos();
        drag(w.main.chrome()->caption(), QPoint(30, 20));
        QCOMPARE(w.list.pos(), docked + QPoint(30, 20));
        // A press on the list frees it; with the magnet off it stays where it is dropped.
        w.main.options().setOn(SettingId::Magnet, false);
        drag(w.listCaption(), QPoint(300, 0));
        const QPoint freed = w.list.pos();
        QCOMPARE(freed, docked + QPoint(330, 20));
        drag(w.main.chrome()->caption(), QPoint(-30, -20));
        QCOMPARE(w.list.pos(), freed);
        // "Magnet" switched on snaps it back at once.
        w.main.chrome()->magnetCommand();
        QVERIFY(w.main.options().isOn(SettingId::Magnet));
        QCOMPARE(w.list.pos(), QPoint(w.main.x() + w.main.width(), freed.y()));
        // A release lost to the window manager ends the drag: the pointer moving on
        // without the button takes no window along.
        const QPoint before = w.main.pos();
        drag(w.main.chrome()->caption(), QPoint(-80, 268), false);
        QCOMPARE(w.main.pos(), before);
        QVERIFY(!w.main.findChild<WindowDragger*>()->dragging());
    }

    void largerFontsMoveTheJobButtons() {
        Windows w;
        start(w);
        auto* pack = w.find<QWidget>("PackImg");
        auto* size = w.find<QWidget>("MpegInfoVideoSize_Lbl");
        const QPoint packAt = pack->pos();
        const QPoint sizeAt = size->pos();
        w.main.chrome()->applyScreenScale(1.0F);
        QCOMPARE(pack->pos(), packAt);
        w.main.chrome()->applyScreenScale(dpiScaleFor(120));
        QCOMPARE(pack->pos(), packAt - QPoint(0, 3));  // 40 twips
        QCOMPARE(size->pos(), sizeAt + QPoint(3, 0));  // 0.25 x 200 twips
    }

    // The About box names the libraries as loaded, not as built against.
    void aboutNamesTheLibrariesInUse() {
        const QString text = AboutDialog().text();
        for (const QString& expected :
             {QStringLiteral("Version 0.1.0"),
              QStringLiteral("Qt ") + QString::fromLatin1(qVersion()), QStringLiteral("libzip 1."),
              QStringLiteral("libmpv 0."), QStringLiteral("OpenSSL 3"),
              QStringLiteral("General Public License")}) {
            QVERIFY2(text.contains(expected), qPrintable(expected + QLatin1Char('\n') + text));
        }
    }

    void closeAndMinimiseButtons() {
        Windows w;
        start(w);
        QAction* shown = w.main.findChild<QAction*>(QStringLiteral("ShowPackLstMnu"));
        auto* close = w.list.findChild<ImageButton*>(QStringLiteral("ButtonClose_Img"));
        w.list.setBusy(true);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(w.list.isVisible());
        w.list.setBusy(false);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!w.list.isVisible());
        QVERIFY(!shown->isChecked());
        shown->trigger();
        QVERIFY(w.list.isVisible());
        QTest::mouseClick(w.find<ImageButton>("ButtonMinimise_Img"), Qt::LeftButton);
        QVERIFY(!w.list.isVisible());
        QVERIFY(shown->isChecked());  // the mark stays; restoring does not show the list
        w.main.showNormal();
        QVERIFY(!w.list.isVisible());
        QTest::mouseClick(w.find<ImageButton>("ButtonClose_Img"), Qt::LeftButton);
        QVERIFY(!w.main.isVisible());
    }
};

QTEST_MAIN(SkinTest)
#include "test_skin.moc"
