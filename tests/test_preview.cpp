#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "preview/module_multimedia.h"
#include "preview/mpv_command_interface.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/ms_slider_widget.h"
#include "ui/preview_player_widget.h"

namespace {

// The back end of a command-text test: records every command and answers from a table.
class RecordingInterface : public MciCommandInterface {
public:
    QStringList sent;
    QHash<QString, QString> answers;  // by the command's first two words
    QStringList failing;              // commands (by their start) that fail

    int sendString(const QString& command, QString* answer) override {
        sent.append(command);
        for (const QString& start : std::as_const(failing)) {
            if (command.startsWith(start)) {
                return 7;
            }
        }
        *answer = answers.value(command);
        return 0;
    }
    QString errorString(int error) override { return QStringLiteral("error %1").arg(error); }
};

const QString kMovie = QStringLiteral("movie0");

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_clip;

private Q_SLOTS:
    void initTestCase() {
        useThrowawayUserFolders(m_dir.path());
        m_clip = m_dir.filePath(QStringLiteral("four seconds.mpg"));
        QVERIFY2(makeMpegClip(m_clip, QStringLiteral("352x240"), 25, 4), "ffmpeg is needed");
    }

    void commandTexts() {
        RecordingInterface mci;
        ModuleMultimedia media(mci);
        mci.answers.insert(QStringLiteral("status movie0 length"), QStringLiteral("250"));
        QCOMPARE(media.MciOpen(42, kMovie, QStringLiteral("/v/my clip.mpg"),
                               QStringLiteral("MPEGVideo")),
                 QStringLiteral("Success"));
        QCOMPARE(mci.sent.last(), QStringLiteral("open \"/v/my clip.mpg\" type MPEGVideo Alias "
                                                 "movie0 parent 42 Style 1073741824"));
        QCOMPARE(MpvCommandInterface::words(mci.sent.last()).at(1),
                 QStringLiteral("/v/my clip.mpg"));
        mci.sent.clear();
        media.MciPlay(kMovie, QString(), QString());
        QCOMPARE(mci.sent, texts({"set movie0 time format frames", "status movie0 length",
                                  "play movie0 from 0 to 250"}));
        mci.sent.clear();
        QCOMPARE(media.MciSetVolume(kMovie, QStringLiteral("all"), 100), QStringLiteral("Success"));
        QCOMPARE(media.MciSetVolume(kMovie, QStringLiteral("Left"), 5), QStringLiteral("Success"));
        QCOMPARE(media.MciSetVolume(kMovie, QStringLiteral("all"), 101),
                 QStringLiteral("out of volume"));
        QCOMPARE(mci.sent,
                 texts({"setaudio movie0 Volume to 1000", "setaudio movie0 Left Volume to 50"}));
        mci.sent.clear();
        media.MciSeekPlay(kMovie, 75);
        QCOMPARE(mci.sent, texts({"seek movie0 to 75", "Play movie0"}));
    }

    void answersBecomeNumbers() {
        RecordingInterface mci;
        ModuleMultimedia media(mci);
        mci.answers.insert(QStringLiteral("Where movie0 destination"),
                           QStringLiteral("0 0 320 240"));
        mci.answers.insert(QStringLiteral("status movie0 speed"), QStringLiteral("1000"));
        QCOMPARE(media.MciDestinationSize(kMovie, QStringLiteral("cx")), 320);
        QCOMPARE(media.MciDestinationSize(kMovie, QStringLiteral("CY")), 240);
        const qsizetype sent = mci.sent.size();
        QCOMPARE(media.MciDestinationSize(kMovie, QStringLiteral("cz")), -1);
        QCOMPARE(mci.sent.size(), sent);
        QCOMPARE(media.MciSpeed(kMovie), 100);
        QCOMPARE(answerNumber(QStringLiteral(" 12 5.5x")), 126);  // blanks ignored
        QCOMPARE(answerNumber(QStringLiteral("2.5")), 2);         // halves to even
        // Both queries run even when the first fails.
        mci.failing = texts({"status movie0 length"});
        mci.sent.clear();
        QCOMPARE(media.MciPercentDone(kMovie), -1);
        QVERIFY(mci.sent.contains(QStringLiteral("status movie0 position")));
        mci.sent.clear();
        QCOMPARE(media.MciFramesPerSecond(kMovie), -1);
        QCOMPARE(mci.sent.filter(QStringLiteral("status movie0 length")).size(), 2);
        QCOMPARE(media.MciStatusMode(QStringLiteral("movie1")), QStringLiteral(""));
        mci.failing = texts({"status"});
        QCOMPARE(media.MciStatusMode(kMovie), QStringLiteral("ERROR"));
    }

    // libmpv itself, without a picture or sound device.
    void interpreterOverLibmpv() {
        MpvCommandInterface mpv({QStringLiteral("null"), QStringLiteral("null")});
        ModuleMultimedia media(mpv);
        QCOMPARE(media.MciOpen(0, kMovie, m_clip, QStringLiteral("MPEGVideo")),
                 QStringLiteral("Success"));
        QCOMPARE(media.MciLengthFrames(kMovie), 100);
        QVERIFY(qAbs(media.MciLengthMs(kMovie) - 4000) <= 40);
        QCOMPARE(media.MciFramesPerSecond(kMovie), 25);
        QCOMPARE(media.MciDestinationSize(kMovie, QStringLiteral("cx")), 352);
        QCOMPARE(media.MciDestinationSize(kMovie, QStringLiteral("cy")), 240);
        QCOMPARE(media.MciSpeed(kMovie), 100);
        QCOMPARE(media.MciSeekPlay(kMovie, 50), QStringLiteral("Success"));
        QCOMPARE(media.MciStatusMode(kMovie), QStringLiteral("playing"));
        QCOMPARE(media.MciPause(kMovie), QStringLiteral("Success"));
        QCOMPARE(media.MciStatusMode(kMovie), QStringLiteral("paused"));
        QCOMPARE(media.MciPlay(kMovie, QStringLiteral("50"), QStringLiteral("50")),
                 QStringLiteral("Success"));
        QCOMPARE(media.MciPosition(kMovie), 50);
        QCOMPARE(media.MciStop(kMovie), QStringLiteral("Success"));
        QCOMPARE(media.MciStatusMode(kMovie), QStringLiteral("stopped"));
        QCOMPARE(media.MciSetAudio(kMovie, QStringLiteral("all"), QStringLiteral("off")),
                 QStringLiteral("Success"));
        QCOMPARE(media.MciClose(kMovie), QStringLiteral("Success"));
        QCOMPARE(media.MciPosition(kMovie), -1);
        QCOMPARE(media.MciStatusMode(kMovie), QStringLiteral("ERROR"));
        const QString missing = media.MciOpen(0, kMovie, m_dir.filePath(QStringLiteral("none.mpg")),
                                              QStringLiteral("MPEGVideo"));
        QVERIFY2(missing != QStringLiteral("Success") && !missing.isEmpty(), qPrintable(missing));
        // The player kept from the failed open plays the next file.
        QCOMPARE(media.MciOpen(0, kMovie, m_clip, QStringLiteral("MPEGVideo")),
                 QStringLiteral("Success"));
        QCOMPARE(media.MciLengthFrames(kMovie), 100);
    }

    void colourTable_data() {
        QTest::addColumn<uint>("low");
        QTest::addColumn<uint>("high");
        QTest::addColumn<int>("index");
        QTest::addColumn<uint>("entry");
        QTest::newRow("black to 200, 25") << 0u << 200u << 25 << 50u;
        QTest::newRow("black to 200, 50") << 0u << 200u << 50 << 100u;
        QTest::newRow("200 to black, 50") << 200u << 0u << 50 << 100u;
        QTest::newRow("200 to black, 100") << 200u << 0u << 100 << 0u;
        QTest::newRow("green to blue, 50") << 0x00C800u << 0xC80000u << 50 << 0x646400u;
    }
    void colourTable() {
        QFETCH(uint, low);
        QFETCH(uint, high);
        QFETCH(int, index);
        QFETCH(uint, entry);
        QCOMPARE(MSSlider::colourTable(low, high, 100).at(index), entry);
    }

    void sliderPlacesAndReports() {
        MSSlider slider;
        slider.resize(124, 16);
        slider.show();
        QStringList events;
        for (const auto& [signal, name] :
             {std::pair{&MSSlider::ValueHasChanged, "changed"},
              std::pair{&MSSlider::MouseDown, "down"}, std::pair{&MSSlider::MouseUp, "up"},
              std::pair{&MSSlider::OnClick, "click"}}) {
            connect(&slider, signal, this,
                    [&events, label = name] { events.append(QLatin1String(label)); });
        }
        slider.setValue(50);
        QCOMPARE(events, texts({"changed"}));
        const double middle = slider.gripperLeft() + slider.gripperWidth() / 2.0;
        QVERIFY(qAbs(middle - (slider.trackStart() + slider.trackLength() / 2.0)) <= 1);

        // Dragging past the right end stops at the maximum.
        QTest::mousePress(slider.gripper(), Qt::LeftButton, {}, QPoint(4, 7));
        QTest::mouseMove(slider.gripper(), QPoint(400, 7));
        QTest::mouseRelease(slider.gripper(), Qt::LeftButton, {}, QPoint(400, 7));
        QCOMPARE(slider.Value(), 100);
        QCOMPARE(events.mid(events.size() - 3), texts({"changed", "up", "click"}));

        // A press in the groove moves the gripper there, its release clicks.
        events.clear();
        QTest::mousePress(slider.groove(), Qt::LeftButton, {}, QPoint(30, 3));
        QCOMPARE(events, texts({"changed", "down"}));
        QVERIFY2(slider.Value() > 15 && slider.Value() < 35,
                 qPrintable(QString::number(slider.Value())));
        QTest::mouseRelease(slider.groove(), Qt::LeftButton, {}, QPoint(30, 3));
        QCOMPARE(events, texts({"changed", "down", "up", "click"}));

        // With no span the value is stored and nothing moves or speaks.
        events.clear();
        const int left = slider.gripperLeft();
        slider.setMax(0);
        slider.setValue(7);
        QCOMPARE(slider.Value(), 7);
        QCOMPARE(slider.gripperLeft(), left);
        QVERIFY(events.isEmpty());
    }

    // A span beyond 16 bits stops at minimum + 32,767 instead of overflowing.
    void sliderWithAHugeSpan() {
        MSSlider slider;
        slider.resize(124, 16);
        slider.show();
        slider.setMax(100000);
        slider.setValue(100000);
        QTest::mouseClick(slider.gripper(), Qt::LeftButton, {}, QPoint(4, 7));
        QCOMPARE(slider.Value(), 32767);
    }

    // Nothing is asked: a .vob plays as the MPEG program stream it is.
    void deviceTypeByExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("avi") << "a.AVI"
                             << "AviVideo";
        QTest::newRow("mpeg") << "a.mpg"
                              << "MPEGVideo";
        QTest::newRow("vob") << "a.VOB"
                             << "MPEGVideo";
    }
    void deviceTypeByExtension() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        RecorderJobHost host;
        PreviewPlayerWidget player(host);
        QCOMPARE(player.deviceTypeFor(QStringLiteral("/v/") + name), type);
        QVERIFY(host.messages.isEmpty());
    }

    // The player's sequences on real media: load, play, pause, resume, stop, sound.
    void playerSequences() {
        RecorderJobHost host;
        PreviewPlayerWidget player(host);
        QString panel;
        player.showMpegInfo = [&](const QString& path) { panel = path; };
        player.resetMpegInfo = [&] { panel = QStringLiteral("reset"); };
        player.switchPreview(QString());  // an empty file list: only the flag
        QVERIFY(player.previewOn());
        QVERIFY(player.fields().fileName.isEmpty());
        player.focusedFileChanged(m_clip);
        QCOMPARE(panel, m_clip);
        QCOMPARE(player.fields().totalFrames, QStringLiteral("100"));
        QCOMPARE(player.fields().framesPerSecond, QStringLiteral("25"));
        QCOMPARE(player.slider()->Max(), 2);  // 100 frames / 50 frames a unit
        QVERIFY(player.playButton()->isEnabled() && !player.stopButton()->isEnabled());
        player.play();
        QVERIFY(player.playing());
        QVERIFY(player.pauseButton()->isEnabled() && player.stopButton()->isEnabled());
        QVERIFY(player.playButton()->isHidden() && !player.resumeButton()->isHidden());
        player.pause();
        QVERIFY(!player.playing() && player.resumeButton()->isEnabled());
        player.resume();
        QVERIFY(player.playing() && !player.resumeButton()->isEnabled());
        player.stop();
        QVERIFY(!player.playing());
        QVERIFY(player.playButton()->isEnabled() && !player.playButton()->isHidden());
        QVERIFY(!player.stopButton()->isEnabled() && !player.pauseButton()->isEnabled());
        // Muted, the next file opens muted.
        player.soundOnButton()->click();
        QVERIFY(player.soundIsOff());
        const QString other = m_dir.filePath(QStringLiteral("other.mpg"));
        QVERIFY(makeMpegClip(other));
        player.focusedFileChanged(other);
        QCOMPARE(player.fields().totalFrames, QStringLiteral("50"));
        QVERIFY(player.soundIsOff());
        QCOMPARE(player.fields().result, QStringLiteral("Result calling Function is : Success"));
        // A file that cannot be opened disables the player but keeps it on.
        player.focusedFileChanged(m_dir.filePath(QStringLiteral("none.mpg")));
        QVERIFY(player.openFailed() && player.previewOn());
        QCOMPARE(panel, QStringLiteral("reset"));
        QVERIFY(!player.playButton()->isEnabled() && !player.slider()->isEnabled());
        player.switchPreview(m_clip);
        QVERIFY(!player.previewOn());
        QVERIFY(host.messages.isEmpty());
    }

    // 100 seconds at 25 fps: 50 slider units of 2 seconds; unit 20 is frame 1000.
    void sliderScaleOfALongClip() {
        const QString longClip = m_dir.filePath(QStringLiteral("long.mpg"));
        QVERIFY(runShell(QStringLiteral("ffmpeg -loglevel error -y -f lavfi -i "
                                        "color=size=64x48:rate=25 -t 100 -c:v mpeg1video "
                                        "-f mpeg '%1'")
                             .arg(longClip)));
        RecorderJobHost host;
        PreviewPlayerWidget player(host);
        player.switchPreview(longClip);
        QCOMPARE(player.slider()->Max(), 50);
        QCOMPARE(player.sliderFrame(20), 1000);
        player.slider()->setValue(20);
        player.play();
        QVERIFY(player.playing());
        player.pause();
        QVERIFY(player.fields().result.endsWith(QStringLiteral("Success")));
        // The progress timer reads the position back: where the play began.
        QTRY_VERIFY_WITH_TIMEOUT(player.fields().currPos.toLongLong() >= 1000, 2000);
        QVERIFY(player.fields().currPos.toLongLong() < 1100);
        QCOMPARE(player.fields().status, QStringLiteral("paused"));
        player.stop();
        QTRY_COMPARE_WITH_TIMEOUT(player.fields().currPos, QStringLiteral("1"), 2000);
        QCOMPARE(player.slider()->Value(), 0);
    }
};

QTEST_MAIN(PreviewTest)
#include "test_preview.moc"
