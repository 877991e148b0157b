#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "browse/file_manager_actions.h"
#include "core/registry.h"
#include "core/settings_table.h"
#include "packlist/pack_list_window.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/main_window.h"

namespace {

QAction* action(const MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QLatin1String(name));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }
    void init() { QFile::remove(Registry::storePath()); }

    void firstStartWritesEveryDefault() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        for (const SettingRow& row : settingsTable()) {
            const QString stored = Registry::setting(row.name, QStringLiteral("<absent>"));
            if (row.name == QLatin1String("ShowTod") || row.name == QLatin1String("cSize") ||
                row.name == QLatin1String("cNof") || row.name == QLatin1String("cPfs")) {
                QCOMPARE(stored, QStringLiteral("<absent>"));
            } else if (row.kind == SettingKind::Directory) {
                QCOMPARE(stored, m_dir.path());
            } else if (row.kind == SettingKind::Position) {
                QVERIFY(isValidSetting(row, stored));
            } else {
                QVERIFY2(stored == row.defaultValue,
                         qPrintable(row.name + QLatin1Char('=') + stored));
            }
        }
        QCOMPARE(Registry::GetStringValue(Registry::FilterKey, QStringLiteral("1")),
                 QStringLiteral("*.mpg,*.mpeg,*.mpe"));
        QCOMPARE(window.outputNameBox()->text(), m_dir.path() + QStringLiteral("/default.mpg"));
        QVERIFY(action(window, "NormalSpeedChk")->isChecked());
        QVERIFY(action(window, "HighFloppySizeChk")->isChecked());
        QVERIFY(action(window, "MCheckMnu")->isChecked());
        QVERIFY(!action(window, "ZipCompressMnu")->isChecked());
        QVERIFY(host.messages.isEmpty());
    }

    void wordsOutsideTheVocabularyBecomeDefaults() {
        Registry::saveSetting(QStringLiteral("tRate"), QStringLiteral("Normal"));
        Registry::saveSetting(QStringLiteral("UnpkTyp"), QStringLiteral("EMH"));
        Registry::saveSetting(QStringLiteral("LastSavedDir"), path(QStringLiteral("deleted")));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QVERIFY(action(window, "NormalSpeedChk")->isChecked());
        QCOMPARE(Registry::setting(QStringLiteral("tRate")), QStringLiteral("normal"));
        QVERIFY(action(window, "UnpackEMHMnu")->isChecked());
        QVERIFY(!action(window, "UnpackRAWMnu")->isChecked());
        QCOMPARE(Registry::setting(QStringLiteral("LastSavedDir")), m_dir.path());
    }

    void choicesAreStoredAndRestored() {
        {
            RecorderJobHost host;
            MainWindow window(&host);
            window.load();
            action(window, "CreateJoinBatMnu")->trigger();
            QVERIFY(action(window, "CreateJoinBatMnu")->isChecked());
            QVERIFY(!action(window, "CreateJoinBatNoMnu")->isChecked());
            QCOMPARE(Registry::setting(QStringLiteral("JBat")), QStringLiteral("Jbat"));
            action(window, "UltraSpeedChk")->trigger();
            QCOMPARE(window.options().rate().readAhead, quint32(5000000));
            action(window, "ZipCompressMnu")->trigger();
            QCOMPARE(Registry::setting(QStringLiteral("MZip")), QStringLiteral("On"));
            action(window, "ZipSizeChk")->trigger();
            QCOMPARE(window.options().splitRule().SplitSize, quint64(100000000));
        }
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QVERIFY(action(window, "CreateJoinBatMnu")->isChecked());
        QVERIFY(action(window, "UltraSpeedChk")->isChecked());
        QVERIFY(action(window, "ZipCompressMnu")->isChecked());
        QVERIFY(action(window, "ZipSizeChk")->isChecked());
        QVERIFY(!action(window, "HighFloppySizeChk")->isChecked());
    }

    void packItEntryFollowsTheOption() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        for (const QString& file : packItActionFiles()) {
            QVERIFY(!QFileInfo::exists(file));
        }
        action(window, "AddContextMenuMnu")->trigger();
        QCOMPARE(Registry::setting(QStringLiteral("CmPack")), QStringLiteral("On"));
        for (const QString& file : packItActionFiles()) {
            QVERIFY2(readFile(file).contains("zarvo-listfeed"), qPrintable(file));
        }
        QVERIFY(readFile(packItActionFiles().first()).contains("Name=Pack it..."));
        action(window, "AddContextMenuMnu")->trigger();
        for (const QString& file : packItActionFiles()) {
            QVERIFY(!QFileInfo::exists(file));
        }
    }

    void listfeedStartsTheProgramWithThePaths() {
        const QString listfeed =
            QFileInfo(qEnvironmentVariable("ZARVO_APP")).path() + QStringLiteral("/zarvo-listfeed");
        QProcess usage;
        usage.start(listfeed, QStringList());
        QVERIFY(usage.waitForFinished());
        QCOMPARE(usage.exitCode(), 2);
    }

    void ctrlPWithAnEmptyList() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(host.texts(), QStringList{QStringLiteral("Nothing to pack.")});
        QVERIFY(!window.jobRunning());
        QTest::keyClick(&window, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(host.texts().last(), QStringLiteral("Nothing to unpack."));
    }

    void packsTwoFiles() {
        const QString a = writePatternFile(path(QStringLiteral("p/a.bin")), 1234000, 1);
        const QString b = writePatternFile(path(QStringLiteral("p/b.bin")), 567, 2);
        const QString out = path(QStringLiteral("p/out.bin"));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        action(window, "MCheckMnu")->trigger();  // plain files, no MPEG check
        window.packList().appendPath(a);
        window.packList().appendPath(b);
        window.outputNameBox()->setText(out);
        window.findChild<QPushButton*>(QStringLiteral("PackImg"))->click();
        QCOMPARE(host.texts(),
                 QStringList{
                     QLatin1Char('\'') + out +
                     QStringLiteral("' successfully packed! Total filesize is 1,234,567 bytes.")});
        QCOMPARE(readFile(out), readFile(a) + readFile(b));
        QVERIFY(!window.jobRunning());
        QVERIFY(window.outputNameBox()->isEnabled());
        QVERIFY(window.percentLabel()->text().isEmpty());
    }

    void cancelButtonStopsASlowJob() {
        const QString big = path(QStringLiteral("c/big.bin"));
        QDir().mkpath(path(QStringLiteral("c")));
        QVERIFY(writeSparseFile(big, 400000000));
        const QString out = path(QStringLiteral("c/out.bin"));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        action(window, "MCheckMnu")->trigger();
        action(window, "SlowSpeedChk")->trigger();
        window.packList().appendPath(big);
        window.packList().appendPath(big);
        window.outputNameBox()->setText(out);
        QTimer::singleShot(300, &window, [&] {
            QVERIFY(window.jobRunning());
            QVERIFY(window.packCancelButton()->isVisible());
            QTest::mouseClick(window.packCancelButton(), Qt::LeftButton);
        });
        window.findChild<QPushButton*>(QStringLiteral("PackImg"))->click();
        QCOMPARE(host.texts(), QStringList{QStringLiteral("Packing aborted by user")});
        const qint64 written = QFileInfo(out).size();
        QVERIFY(written > 0 && written < 800000000);
        QCOMPARE(written % 10000, 0);
        QVERIFY(!window.jobRunning());
        QVERIFY(!window.packCancelButton()->isVisible());
        QFile::remove(out);
        QFile::remove(big);
    }

    void unpackingTwoEntriesToTheSaveFileAsks() {
        const QString a = writePatternFile(path(QStringLiteral("u/a.bin")), 2000000, 3);
        const QString b = writePatternFile(path(QStringLiteral("u/b.bin")), 2000000, 4);
        RecorderJobHost host;
        host.answer(MessageAnswer::Yes);
        MainWindow window(&host);
        window.load();
        QStringList prompts;
        window.chooseFolder = [&](const QString& prompt, const QString&) {
            prompts << prompt;
            return path(QStringLiteral("u"));
        };
        window.packList().appendPath(a);
        window.packList().appendPath(b);
        action(window, "UnpackMnu")->trigger();
        QCOMPARE(host.texts(), QStringList{QStringLiteral(
                                   "You are trying to unpack 2 or more files. Zarvo cannot save "
                                   "them as the same filename. Specify a custom directory now?")});
        QCOMPARE(prompts.size(), 1);
        QVERIFY(prompts.first().startsWith(QStringLiteral("Unpack To Directory: ")));
        QVERIFY(action(window, "UnpackCustomDirMnu")->isChecked());
        QCOMPARE(Registry::setting(QStringLiteral("sDir")), QStringLiteral("custom"));
        QCOMPARE(Registry::setting(QStringLiteral("UnpackCustomDir")), path(QStringLiteral("u")));
        QVERIFY(!QFileInfo::exists(a + QStringLiteral(".001")));
    }

    void cancelledFolderChooserChangesNothing() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.chooseFolder = [](const QString&, const QString&) { return QString(); };
        action(window, "SaveCustomDirMnu")->trigger();
        QVERIFY(action(window, "LastSavedDirMnu")->isChecked());
        QVERIFY(!action(window, "SaveCustomDirMnu")->isChecked());
        QCOMPARE(Registry::setting(QStringLiteral("SaveTo")), QStringLiteral("LastSaved"));
    }

    void customSaveFolderSetsTheOutputName() {
        QDir().mkpath(path(QStringLiteral("saves")));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.chooseFolder = [&](const QString&, const QString&) {
            return path(QStringLiteral("saves"));
        };
        action(window, "SaveCustomDirMnu")->trigger();
        QCOMPARE(window.outputNameBox()->text(), path(QStringLiteral("saves/default.mpg")));
        QCOMPARE(Registry::setting(QStringLiteral("SaveTo")), QStringLiteral("Custom"));
        QCOMPARE(Registry::setting(QStringLiteral("SaveCustomDir")), path(QStringLiteral("saves")));
    }

    void commandLineFillsThePackListAndAsksForTheOutput() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QStringList titles;
        window.chooseOutputFile = [&](const QString& title, const QString& types) {
            titles << title << types;
            return path(QStringLiteral("cl/joined.mpg"));
        };
        window.runCommandLine(QStringLiteral("/c/a/x.mpg|/y.mpg||/ignored.mpg"));
        QCOMPARE(window.packList().fullPaths(),
                 (QStringList{QStringLiteral("/c/a/x.mpg"), QStringLiteral("/y.mpg")}));
        QCOMPARE(window.packList().directory(1), QStringLiteral("/"));
        QCOMPARE(titles,
                 (QStringList{QStringLiteral("Save Pack File As"),
                              QStringLiteral("Mpeg (*.mpg,*.mpeg,*.mpe) (*.mpg *.mpeg *.mpe);;Mp3 "
                                             "(*.mp3) (*.mp3);;All Files (*.*) (*)")}));
        QCOMPARE(window.outputNameBox()->text(), path(QStringLiteral("cl/joined.mpg")));
        QCOMPARE(Registry::setting(QStringLiteral("LastSavedDir")), path(QStringLiteral("cl")));
    }

    void closingRemembersTheFolderAndListPosition() {
        QDir().mkpath(path(QStringLiteral("here")));
        {
            RecorderJobHost host;
            MainWindow window(&host);
            window.load();
            window.setCurrentDir(path(QStringLiteral("here")));
            window.packListWindow()->move(123, 45);
            window.close();
        }
        QCOMPARE(Registry::setting(QStringLiteral("LastUsedDir")), path(QStringLiteral("here")));
        QCOMPARE(Registry::setting(QStringLiteral("PkLstXpos")), QStringLiteral("1845"));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QCOMPARE(window.currentDir(), path(QStringLiteral("here")));
        QCOMPARE(window.packListWindow()->pos(), QPoint(123, 45));
    }

    void secondInstanceRefusesAndTouchesNothing() {
        const QString app = qEnvironmentVariable("ZARVO_APP");
        QProcess first;
        first.start(app, QStringList());
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Registry::storePath()), 10000);
        QTest::qWait(300);
        const QByteArray before = readFile(Registry::storePath());
        QProcess second;
        second.start(app, {path(QStringLiteral("sent.mpg"))});
        QVERIFY(second.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT(
            (said += second.readAllStandardError()).contains("This program is already running!"),
            10000);
        second.kill();
        second.waitForFinished();
        QCOMPARE(readFile(Registry::storePath()), before);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        first.waitForFinished();
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
