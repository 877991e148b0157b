#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include "browse/file_manager_actions.h"
#include "core/job_messages.h"
#include "core/program_info.h"
#include "platform/command_line.h"
#include "platform/native_path.h"
#include "platform/single_instance.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/file_browser_widget.h"
#include "ui/help_window.h"
#include "ui/main_chrome_widget.h"
#include "ui/main_window.h"
#include "ui/pack_list_window.h"

namespace {

QAction* action(const MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QLatin1String(name));
}

// Jobs run on their own thread; the window's events run while a test waits for it.
bool jobEnds(const MainWindow& window) {
    return waitUntil([&window] { return !window.jobRunning(); }, 60000);
}

// The controls whose enabled state the busy state changes, with their windows'.
const char* const kJobControls[] = {"FileMenu_File_Img",
                                    "FileMenu_Action_Img",
                                    "FileMenu_Option_Img",
                                    "FileMenu_Help_Img",
                                    "UnpackImg",
                                    "Browse_cmd",
                                    "SaveAsNewFilename_txt",
                                    "ButtonAdd_Img",
                                    "File1",
                                    "PackLstMenu_Clear_Img",
                                    "PackLstMenu_Load_Img",
                                    "ButtonRemove_Img",
                                    "selpos_lst"};

QStringList enabledStates(const MainWindow& window) {
    QStringList states;
    for (const char* name : kJobControls) {
        QWidget* control = window.findChild<QWidget*>(QLatin1String(name));
        if (control == nullptr) {
            control = window.packListWindow()->findChild<QWidget*>(QLatin1String(name));
        }
        states << QLatin1String(name) +
                      (control->isEnabled() ? QStringLiteral(" on") : QStringLiteral(" off"));
    }
    states << QStringLiteral("Ctrl+K ") + (action(window, "GeneralMnu")->isEnabled()
                                               ? QStringLiteral("on")
                                               : QStringLiteral("off"));
    return states;
}

QStringList statesWith(const QStringList& off) {
    QStringList states;
    for (const char* name : kJobControls) {
        states << QLatin1String(name) + (off.contains(QLatin1String(name)) ? QStringLiteral(" off")
                                                                           : QStringLiteral(" on"));
    }
    states << QStringLiteral("Ctrl+K ") + (off.contains(QStringLiteral("Ctrl+K"))
                                               ? QStringLiteral("off")
                                               : QStringLiteral("on"));
    return states;
}

QStringList idleStates() {
    return statesWith({});
}

// Only Help stays open while a job runs.
QStringList busyStates() {
    QStringList off;
    for (const char* name : kJobControls) {
        off << QLatin1String(name);
    }
    off.removeOne(QStringLiteral("FileMenu_Help_Img"));
    return statesWith(off << QStringLiteral("Ctrl+K"));
}

// Every command entry of the caption menus, submenus included.
QList<QAction*> menuEntries(QMenu* menu) {
    QList<QAction*> entries;
    for (QAction* entry : menu->actions()) {
        if (entry->menu() != nullptr) {
            entries += menuEntries(entry->menu());
        } else if (!entry->isSeparator()) {
            entries << entry;
        }
    }
    return entries;
}

// Closes every modal dialog that opens and remembers its name.
class DialogCloser : public QObject {
public:
    QStringList opened;
    DialogCloser() { startTimer(20); }

protected:
    void timerEvent(QTimerEvent*) override {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            opened << dialog->objectName();
            dialog->close();
        }
    }
};

}  // namespace

// The running program's window, taking the files a later start hands over.
struct Listening {
    RecorderJobHost host;
    MainWindow window{&host};
    SingleInstance instance;

    bool listen() {
        window.load();
        return instance.acquire() == SingleInstance::Lock::Taken &&
               instance.listen([this](const QStringList& paths) { window.receiveFiles(paths); });
    }
};

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    // Started in a folder of its own, not the home folder.
    QString startFolder() const { return path(QStringLiteral("start")); }

    void initTestCase() {
        useThrowawayUserFolders(m_dir.path());
        QDir().mkpath(startFolder());
        QDir::setCurrent(startFolder());
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    }
    void init() { QFile::remove(SettingsStore::defaultPath()); }

    void firstStartWritesEveryDefault() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        const QString mismatch = firstStartMismatch(startFolder(), QString(), QString());
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(storedValueIn(SettingsStore::FilterKey, QStringLiteral("1")),
                 QStringLiteral("*.mpg,*.mpeg,*.mpe"));
        QCOMPARE(window.outputNameBox()->text(), startFolder() + QStringLiteral("/default.mpg"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("TarvikZarvoCaption"))->text(),
                 QStringLiteral("Tarvik Zarvo Pro v0.10"));
        QVERIFY(action(window, "NormalSpeedChk")->isChecked());
        QVERIFY(action(window, "HighFloppySizeChk")->isChecked());
        QVERIFY(action(window, "MCheckMnu")->isChecked());
        QVERIFY(!action(window, "ZipCompressMnu")->isChecked());
        QVERIFY(host.messages.isEmpty());
    }

    void wordsOutsideTheVocabularyBecomeDefaults() {
        storeValue(QStringLiteral("tRate"), QStringLiteral("Normal"));
        storeValue(QStringLiteral("UnpkTyp"), QStringLiteral("EMH"));
        storeValue(QStringLiteral("LastSavedDir"), path(QStringLiteral("deleted")));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QVERIFY(action(window, "NormalSpeedChk")->isChecked());
        QCOMPARE(storedValue(QStringLiteral("tRate")), QStringLiteral("normal"));
        QVERIFY(action(window, "UnpackEMHMnu")->isChecked());
        QVERIFY(!action(window, "UnpackRAWMnu")->isChecked());
        QCOMPARE(storedValue(QStringLiteral("LastSavedDir")), startFolder());
    }

    void choicesAreStoredAndRestored() {
        {
            RecorderJobHost host;
            MainWindow window(&host);
            window.load();
            action(window, "CreateJoinBatMnu")->trigger();
            QVERIFY(action(window, "CreateJoinBatMnu")->isChecked());
            QVERIFY(!action(window, "CreateJoinBatNoMnu")->isChecked());
            QCOMPARE(storedValue(QStringLiteral("JBat")), QStringLiteral("Jbat"));
            action(window, "UltraSpeedChk")->trigger();
            QCOMPARE(window.options().rate().readAhead, quint32(5000000));
            action(window, "ZipCompressMnu")->trigger();
            QCOMPARE(storedValue(QStringLiteral("MZip")), QStringLiteral("On"));
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
        QCOMPARE(storedValue(QStringLiteral("CmPack")), QStringLiteral("On"));
        for (const QString& file : packItActionFiles()) {
            QVERIFY2(readFile(file).contains("zarvo-listfeed"), qPrintable(file));
        }
        QVERIFY(readFile(packItActionFiles().first()).contains("Name=Pack it..."));
        action(window, "AddContextMenuMnu")->trigger();
        for (const QString& file : packItActionFiles()) {
            QVERIFY(!QFileInfo::exists(file));
        }
    }

    // The file manager's action: zarvo-listfeed starts zarvo with the chosen files, which
    // the running program (this test's window) receives as full paths.
    void listfeedStartsTheProgramWithThePaths() {
        const QString listfeed = QFileInfo(appProgram()).path() + QStringLiteral("/zarvo-listfeed");
        QProcess usage;
        usage.start(listfeed, QStringList());
        QVERIFY(usage.waitForFinished());
        QCOMPARE(usage.exitCode(), 2);
        usage.start(listfeed, {QStringLiteral("--help")});
        QVERIFY(usage.waitForFinished());
        QCOMPARE(usage.exitCode(), 0);
        QVERIFY(usage.readAllStandardOutput().startsWith("usage: zarvo-listfeed"));

        Listening running;
        QVERIFY(running.listen());
        MainWindow& window = running.window;
        const QString a = writeFile(path(QStringLiteral("fed/a.mpg")), "a");
        const QString b = writeFile(path(QStringLiteral("fed/b c.mpg")), "b");
        // Names a "|" would split, or that look like options, arrive whole.
        const QString bar = writeFile(path(QStringLiteral("fed/clip.mpg|.secret-notes")), "c");
        const QString help = writeFile(path(QStringLiteral("fed/--help")), "d");
        QProcess feed;
        feed.setWorkingDirectory(path(QStringLiteral("fed")));
        feed.start(listfeed, {QStringLiteral("a.mpg"), b, QStringLiteral("clip.mpg|.secret-notes"),
                              QStringLiteral("--"), QStringLiteral("--help")});
        QVERIFY(feed.waitForFinished());
        QCOMPARE(feed.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(window.packList().rowCount(), 4, 10000);
        QCOMPARE(window.packList().fullPaths(), (QStringList{a, b, bar, help}));
    }

    void ctrlPWithAnEmptyList() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(jobEnds(window));
        QCOMPARE(host.texts(), QStringList{QStringLiteral("Nothing to pack.")});
        QTest::keyClick(&window, Qt::Key_U, Qt::ControlModifier);
        QVERIFY(jobEnds(window));
        QCOMPARE(host.texts().last(), QStringLiteral("Nothing to unpack."));
        QTest::keyClick(&window, Qt::Key_P, Qt::AltModifier);  // "&Pack", not "Pre&view"
        QTRY_COMPARE(host.texts().size(), 3);                  // a mnemonic clicks a moment later
        QCOMPARE(host.texts().last(), QStringLiteral("Nothing to pack."));
        QVERIFY(!window.previewCheck()->isChecked());  // Alt+P left the preview alone
    }

    // Nothing starts, so nothing turns busy: the refusal comes before the busy window.
    void refusalsComeBeforeTheBusyWindow_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("text");
        QTest::newRow("pack, empty") << "PackMnu" << 0 << "Nothing to pack.";
        QTest::newRow("pack, one")
            << "PackMnu" << 1 << "At least 2 files are required for packing.";
        QTest::newRow("unpack, empty") << "UnpackMnu" << 0 << "Nothing to unpack.";
        QTest::newRow("unpack, two to one name")
            << "UnpackMnu" << 2
            << "You are trying to unpack 2 or more files. Zarvo cannot save them as the same "
               "filename. Specify a custom directory now?";
    }
    void refusalsComeBeforeTheBusyWindow() {
        QFETCH(QString, command);
        QFETCH(int, entries);
        QFETCH(QString, text);
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        action(window, "UnpackSaveFileMnu")->trigger();
        for (int i = 0; i < entries; ++i) {
            window.packList().appendPath(writeFile(path(QStringLiteral("r/%1").arg(i)), "r"));
        }
        QList<bool> busyAtMessage;
        host.onMessage = [&] {
            busyAtMessage << (window.jobRunning() || window.packCancelButton()->isVisible() ||
                              window.unpackCancelButton()->isVisible() ||
                              enabledStates(window) == busyStates());
        };
        action(window, command.toLatin1().constData())->trigger();
        QVERIFY(jobEnds(window));
        QCOMPARE(host.texts().value(0), text);
        QCOMPARE(busyAtMessage, QList<bool>{false});
        QCOMPARE(enabledStates(window), idleStates());
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
        QVERIFY(jobEnds(window));
        QCOMPARE(host.texts(),
                 QStringList{
                     QLatin1Char('\'') + out +
                     QStringLiteral("' successfully packed! Total filesize is 1,234,567 bytes.")});
        QCOMPARE(readFile(out), readFile(a) + readFile(b));
        QVERIFY(!window.jobRunning());
        QVERIFY(window.outputNameBox()->isEnabled());
        QVERIFY(window.percentLabel()->text().isEmpty());
    }

    // "Write Checksums" makes a pack write OUTPUT.sha256; "Verify..." reads it back.
    void checksumsFromTheMenus() {
        const QString a = writePatternFile(path(QStringLiteral("k/a.bin")), 300000, 1);
        const QString b = writePatternFile(path(QStringLiteral("k/b.bin")), 5000, 2);
        const QString out = path(QStringLiteral("k/out.bin"));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        action(window, "MCheckMnu")->trigger();
        action(window, "ChecksumMnu")->trigger();
        QCOMPARE(storedValue(QStringLiteral("WrChk")), QStringLiteral("On"));
        window.packList().appendPath(a);
        window.packList().appendPath(b);
        window.outputNameBox()->setText(out);
        window.findChild<QPushButton*>(QStringLiteral("PackImg"))->click();
        QVERIFY(jobEnds(window));
        window.chooseChecksumFile = [&](const QString&) { return out + QStringLiteral(".sha256"); };
        action(window, "VerifyMnu")->trigger();
        QVERIFY(jobEnds(window));
        QCOMPARE(host.texts().last(), QStringLiteral("out.bin: OK\n1 OK, 0 FAILED, 0 MISSING"));
        QFile::remove(out);
        action(window, "VerifyMnu")->trigger();
        QVERIFY(jobEnds(window));
        QCOMPARE(host.messages.last().icon, MessageIcon::Error);
        QCOMPARE(host.texts().last(),
                 QStringLiteral("out.bin: MISSING\n0 OK, 0 FAILED, 1 MISSING"));
        QVERIFY(!window.jobRunning());
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
        window.packListWindow()->show();
        window.packList().appendPath(big);
        window.packList().appendPath(big);
        window.outputNameBox()->setText(out);
        // The click lands while the job runs: at its tenth progress report.
        int reports = 0;
        connect(&window.jobs(), &JobController::progressed, &window, [&] {
            if (++reports != 10) {
                return;
            }
            QVERIFY(window.jobRunning());
            QVERIFY(window.packCancelButton()->isVisible());
            QCOMPARE(enabledStates(window), busyStates());
            window.packListWindow()->close();  // the list belongs to the job
            QVERIFY(window.packListWindow()->isVisible());
            // The hourglass over the windows, the hand over the cancel button.
            QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
            QTest::mouseMove(window.windowHandle(), window.packCancelButton()->geometry().center());
            QCOMPARE(window.packCancelButton()->cursor().shape(), Qt::PointingHandCursor);
            QTest::mouseClick(window.packCancelButton(), Qt::LeftButton);
        });
        window.findChild<QPushButton*>(QStringLiteral("PackImg"))->click();
        QVERIFY(jobEnds(window));
        QCOMPARE(reports, 10);
        const qint64 written = QFileInfo(out).size();
        QCOMPARE(host.texts(),
                 QStringList{withLine(kPackingAbortedByUser, keptFileLine(out, quint64(written)))});
        QVERIFY(written > 0 && written < 800000000);
        QCOMPARE(written % 10000, 0);
        QVERIFY(!window.jobRunning());
        QVERIFY(!window.packCancelButton()->isVisible());
        QCOMPARE(enabledStates(window), idleStates());
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
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
        QVERIFY(jobEnds(window));
        QCOMPARE(host.texts(), QStringList{QStringLiteral(
                                   "You are trying to unpack 2 or more files. Zarvo cannot save "
                                   "them as the same filename. Specify a custom directory now?")});
        QCOMPARE(prompts.size(), 1);
        QVERIFY(prompts.first().startsWith(QStringLiteral("Unpack To Directory: ")));
        QVERIFY(action(window, "UnpackCustomDirMnu")->isChecked());
        QCOMPARE(storedValue(QStringLiteral("sDir")), QStringLiteral("custom"));
        QCOMPARE(storedValue(QStringLiteral("UnpackCustomDir")), path(QStringLiteral("u")));
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
        QCOMPARE(storedValue(QStringLiteral("SaveTo")), QStringLiteral("LastSaved"));
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
        QCOMPARE(storedValue(QStringLiteral("SaveTo")), QStringLiteral("Custom"));
        QCOMPARE(storedValue(QStringLiteral("SaveCustomDir")), path(QStringLiteral("saves")));
    }

    void commandLineFillsThePackListAndAsksForTheOutput() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QStringList titles;
        window.chooseOutputFile = [&](const QString& title, const QString& types) {
            titles << title << types;
            return FileChoice{path(QStringLiteral("cl/joined")),
                              QStringLiteral("Mpeg (*.mpg *.mpeg *.mpe)")};
        };
        window.runCommandLine(
            commandLineFiles({QStringLiteral("/c/a/x.mpg|/y.mpg||/ignored.mpg")}));
        QCOMPARE(window.packList().fullPaths(),
                 (QStringList{QStringLiteral("/c/a/x.mpg"), QStringLiteral("/y.mpg")}));
        QCOMPARE(window.packList().directory(1), QStringLiteral("/"));
        QCOMPARE(
            titles,
            (QStringList{QStringLiteral("Save Pack File As"),
                         QStringLiteral("Mpeg (*.mpg *.mpeg *.mpe);;Mp3 (*.mp3);;All Files (*)")}));
        QCOMPARE(window.outputNameBox()->text(), path(QStringLiteral("cl/joined.mpg")));
        QCOMPARE(storedValue(QStringLiteral("LastSavedDir")), path(QStringLiteral("cl")));
    }

    void closingRemembersTheFolderAndThePlaces_data() {
        QTest::addColumn<bool>("docked");
        QTest::newRow("free") << false;
        QTest::newRow("docked") << true;
    }
    void closingRemembersTheFolderAndThePlaces() {
        QFETCH(bool, docked);
        QDir().mkpath(path(QStringLiteral("here")));
        QPoint listPlace;
        {
            RecorderJobHost host;
            MainWindow window(&host);
            window.load();
            window.setCurrentDir(path(QStringLiteral("here")));
            window.move(40, 30);
            window.packListWindow()->move(docked ? 600 : 123, 245);
            if (docked) {
                action(window, "MagnetiseMnu")->trigger();  // snaps, and docks
            }
            listPlace = window.packListWindow()->pos();
            window.close();
        }
        QCOMPARE(storedValue(QStringLiteral("LastUsedDir")), path(QStringLiteral("here")));
        QCOMPARE(storedValue(QStringLiteral("MainXpos")), QStringLiteral("600"));
        QCOMPARE(storedValue(QStringLiteral("PkLstDocked")) != QLatin1String("0"), docked);
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QCOMPARE(window.currentDir(), path(QStringLiteral("here")));
        QCOMPARE(window.pos(), QPoint(40, 30));
        QCOMPARE(window.packListWindow()->pos(), listPlace);
        QCOMPARE(window.chrome()->docking().travelsWithMain(), docked);
    }

    void aLastUsedFolderThatIsGoneGivesWayToTheStartupFolder() {
        const QString startup = freshFolder(path(QStringLiteral("startup")));
        storeValue(QStringLiteral("StartupOpt"), QStringLiteral("LastUsed"));
        storeValue(QStringLiteral("StartupCustomDir"), startup);
        storeValue(QStringLiteral("LastUsedDir"), path(QStringLiteral("gone")));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        QCOMPARE(window.currentDir(), startup);
        QCOMPARE(storedValue(QStringLiteral("LastUsedDir")), startup);
    }

    // A file that went missing may have gone from the browser's folder too.
    void lostFilesRefreshTheBrowser_data() {
        QTest::addColumn<bool>("byDrop");
        QTest::newRow("a drop of a missing file") << true;
        QTest::newRow("clear lost link") << false;
    }
    void lostFilesRefreshTheBrowser() {
        QFETCH(bool, byDrop);
        const QString folder = freshFolder(path(QStringLiteral("lost")));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.setCurrentDir(folder);
        writeFile(folder + QStringLiteral("/new.mpg"), "n");
        if (byDrop) {
            window.packList().dropPaths({folder + QStringLiteral("/gone.mpg")}, host);
        } else {
            window.packListWindow()
                ->popupMenu()
                ->findChild<QAction*>(QStringLiteral("ClearLostLinkPackWhatSelPopupMnu"))
                ->trigger();
        }
        QCOMPARE(window.browser()->fileList()->count(), 1);
    }

    // From a file manager, from the browser, and within the list: each drop lands where
    // it should, in order; Ctrl+Z takes back the clear that follows.
    void dropsReachThePackListInOrder() {
        const QString folder = freshFolder(path(QStringLiteral("drops")));
        for (const char* name : {"a.mpg", "b.mpg", "c.mpg"}) {
            writeFile(folder + QLatin1Char('/') + QLatin1String(name), name);
        }
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        window.packListWindow()->show();
        window.setCurrentDir(folder);
        QWidget* target = window.packListWindow()->list()->viewport();
        const auto drop = [&](QMimeData* data, QPoint at = QPoint(5, 5)) {
            QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QDropEvent event(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(target, &event);
            delete data;
        };
        auto* outside = new QMimeData;
        outside->setUrls({QUrl::fromLocalFile(folder + QStringLiteral("/c.mpg"))});
        drop(outside);
        FileListWidget* files = window.browser()->fileList();
        drop(files->mimeData({files->item(0), files->item(1)}));
        QCOMPARE(window.packList().fullPaths(),
                 (QStringList{folder + QStringLiteral("/c.mpg"), folder + QStringLiteral("/a.mpg"),
                              folder + QStringLiteral("/b.mpg")}));
        const QRect first = window.packListWindow()->list()->visualRect(window.packList().index(0));
        drop(PackListModel::rowsData({2}), first.center());  // b before c
        const QStringList reordered{folder + QStringLiteral("/b.mpg"),
                                    folder + QStringLiteral("/c.mpg"),
                                    folder + QStringLiteral("/a.mpg")};
        QCOMPARE(window.packList().fullPaths(), reordered);
        window.packList().clear();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(window.packList().fullPaths(), reordered);
        QVERIFY(host.messages.isEmpty());
    }

    // Every entry of the menus does something.
    void everyMenuEntryActs() {
        const QString folder = path(QStringLiteral("walk"));
        for (const char* name : {"a.mpg", "b.mpg", "c.mpg"}) {
            writeFile(folder + QLatin1Char('/') + QLatin1String(name), "x");
        }
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        window.packListWindow()->show();
        window.packListWindow()->move(window.x() + 2000, window.y());  // for the magnet to move
        window.setCurrentDir(folder);
        writeFile(folder + QStringLiteral("/d.mpg"), "x");  // for Refresh to find
        QStringList calls;
        window.chooseFolder = [&](const QString& prompt, const QString&) {
            calls << prompt;
            return folder;
        };
        window.chooseOutputFile = [&](const QString& title, const QString&) {
            calls << title;
            return FileChoice();
        };
        window.openDocument = [&](const QString& document) {
            calls << document;
            return true;
        };
        window.chooseChecksumFile = [&](const QString& start) {
            calls << start;
            return QString();
        };
        DialogCloser dialogs;
        const auto state = [&] {
            QStringList items = window.browser()->selectedNames();
            for (const QListWidgetItem* item : window.browser()->fileList()->selectedItems()) {
                items << item->text();
            }
            items << QString::number(window.browser()->fileList()->count())
                  << QString::fromUtf8(readFile(SettingsStore::defaultPath())) << host.texts()
                  << calls << dialogs.opened
                  << QString::number(window.packListWindow()->isVisible())
                  << QString::number(window.packListWindow()->x())
                  << QString::number(window.isVisible());
            for (QWidget* top : QApplication::topLevelWidgets()) {
                items << top->objectName() + QString::number(top->isVisible());
            }
            return items;
        };
        QList<QAction*> entries;
        for (const char* title : {"File", "Action", "Options", "Help"}) {
            entries += menuEntries(window.menu(QLatin1String(title)));
        }
        QAction* exit = action(window, "ExitMnu");
        entries.removeOne(exit);
        entries << exit;  // last, since it closes the window
        QStringList idle;
        QSet<QAction*> acted;
        // An option already chosen acts when it is picked again after its neighbours.
        for (int round = 0; round < 2; ++round) {
            for (QAction* entry : std::as_const(entries)) {
                if (!entry->isEnabled()) {
                    idle << entry->objectName();
                    continue;
                }
                if (round == 1 && (!entry->isCheckable() || acted.contains(entry))) {
                    continue;
                }
                const QStringList before = state();
                entry->trigger();
                QVERIFY(jobEnds(window));
                QApplication::processEvents();
                if (state() != before) {
                    acted.insert(entry);
                }
            }
        }
        idle.removeDuplicates();
        QCOMPARE(idle, QStringList());
        for (QAction* entry : std::as_const(entries)) {
            QVERIFY2(acted.contains(entry) || !entry->isEnabled(), qPrintable(entry->objectName()));
        }
        QCOMPARE(dialogs.opened,
                 (QStringList{QStringLiteral("Preferencesfrm"), QStringLiteral("customfilesizefrm"),
                              QStringLiteral("copyrightstampingfrm"),
                              QStringLiteral("customfilefilterfrm"), QStringLiteral("Aboutfrm")}));
        // The help page that ships with the program is what F1 opens.
        const QStringList helps = calls.filter(QStringLiteral("zarvo-help.html"));
        QCOMPARE(helps.size(), 1);
        QVERIFY(QFileInfo(helps.first()).isFile());
        QVERIFY(!window.isVisible());
    }

    void helpWithoutABrowserShowsItsOwnWindow() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.openDocument = [](const QString&) { return false; };
        window.helpCommand();
        window.helpCommand();  // the same window again
        QVERIFY(host.messages.isEmpty());
        const QList<HelpWindow*> shown = window.findChildren<HelpWindow*>();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first()->isVisible());
        QVERIFY(shown.first()->browser()->toPlainText().contains(kProgramTitle));
        QVERIFY(
            shown.first()
                ->browser()
                ->document()
                ->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("help/docked.png")))
                .isValid());
    }

    void showPackListFollowsTheWindow() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        window.packListWindow()->show();
        QAction* entry = action(window, "ShowPackLstMnu");
        window.packListWindow()->close();  // the title bar's close button
        QVERIFY(!entry->isChecked());
        entry->trigger();
        QVERIFY(entry->isChecked());
        QVERIFY(window.packListWindow()->isVisible());
        entry->trigger();
        QVERIFY(!entry->isChecked());
        QVERIFY(!window.packListWindow()->isVisible());
    }

    void keyboardPathsAndTabOrder() {
        const QString folder = path(QStringLiteral("keys"));
        writeFile(folder + QStringLiteral("/one.mpg"), "1");
        writeFile(folder + QStringLiteral("/two.mpg"), "2");
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setCurrentDir(folder);
        window.browser()->fileList()->setFocus();
        QTest::keyClick(window.browser()->fileList(), Qt::Key_Return);  // adds, like a double-click
        QCOMPARE(window.packList().fullPaths(), QStringList{folder + QStringLiteral("/one.mpg")});

        window.findChild<QWidget*>(QStringLiteral("FileMenu_File_Img"))->setFocus();
        QStringList order;
        for (int i = 0; i < 17; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (texts({"FileMenu_File_Img", "FileMenu_Action_Img", "FileMenu_Option_Img",
                                "FileMenu_Help_Img", "Drive1", "Dir1", "File1", "pattern_cmb",
                                "ButtonAdd_Img", "ButtonSelectAll_Img", "ButtonDeselectAll_Img",
                                "ButtonSelectInverse_Img", "SaveAsNewFilename_txt", "Browse_cmd",
                                "PackImg", "UnpackImg", "ShowPreviewChk"})));

        window.tipCommand();
        auto* tips = window.findChild<QWidget*>(QStringLiteral("Tipfrm"));
        QVERIFY(QTest::qWaitForWindowActive(tips));
        QTest::keyClick(tips, Qt::Key_Escape);
        QTRY_VERIFY(window.findChild<QWidget*>(QStringLiteral("Tipfrm")) == nullptr);
    }

    void menuKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("menu");
        QTest::newRow("Alt+F") << int(Qt::Key_F) << int(Qt::AltModifier) << "File";
        QTest::newRow("Alt+A") << int(Qt::Key_A) << int(Qt::AltModifier) << "Action";
        QTest::newRow("Alt+O") << int(Qt::Key_O) << int(Qt::AltModifier) << "Options";
        QTest::newRow("Alt+H") << int(Qt::Key_H) << int(Qt::AltModifier) << "Help";
        QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier) << "File";
    }
    void menuKeys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, menu);
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(window.menu(menu)->isVisible());
        window.menu(menu)->close();
        QVERIFY(host.messages.isEmpty());
    }

    void escapeCancelsAJobAndCtrlF5Refreshes() {
        const QString folder = freshFolder(path(QStringLiteral("esc")));
        const QString big = folder + QStringLiteral("/big.bin");
        QVERIFY(writeSparseFile(big, 400000000));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setCurrentDir(folder);
        writeFile(folder + QStringLiteral("/new.mpg"), "n");
        QTest::keyClick(&window, Qt::Key_F5, Qt::ControlModifier);
        QCOMPARE(window.browser()->fileList()->count(), 1);

        action(window, "MCheckMnu")->trigger();
        action(window, "SlowSpeedChk")->trigger();
        window.packList().appendPath(big);
        window.packList().appendPath(big);
        window.outputNameBox()->setText(folder + QStringLiteral("/out.bin"));
        int reports = 0;
        connect(&window.jobs(), &JobController::progressed, &window, [&] {
            if (++reports == 3) {
                QTest::keyClick(window.packListWindow(), Qt::Key_Escape);
            }
        });
        action(window, "PackMnu")->trigger();
        QVERIFY(jobEnds(window));
        QVERIFY(host.texts().value(0).startsWith(kPackingAbortedByUser + QStringLiteral("\r\n")));
    }

    void customSizeByKeyboardAlone() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.show();
        QStringList focusPath;
        QTimer::singleShot(0, &window, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            focusPath << QApplication::focusWidget()->objectName();
            while (QApplication::focusWidget()->objectName() != QLatin1String("ByNoOfFilesOpt") &&
                   focusPath.size() < 20) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                focusPath << QApplication::focusWidget()->objectName();
            }
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        action(window, "CustomSizeChk")->trigger();
        QCOMPARE(focusPath.first(), QStringLiteral("CustomFilesize_txt"));
        QCOMPARE(host.texts(), QStringList());
        QCOMPARE(window.options().splitRule().SplitMode, SplitKind::Pieces);
        QCOMPARE(window.options().splitRule().SplitCount, 3);
        QCOMPARE(storedValue(QStringLiteral("cNof")), QStringLiteral("3"));
        QCOMPARE(action(window, "CustomSizeChk")->text(), QStringLiteral("3 Files (Custom...)"));
        // Opened again, the field of the choice in force holds its value, ready to type over.
        QString shown;
        QTimer::singleShot(0, &window, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            shown = box->objectName() + QLatin1Char('=') + box->selectedText();
            dialog->close();
        });
        action(window, "CustomSizeChk")->trigger();
        QCOMPARE(shown, QStringLiteral("NoOfFiles_txt=3"));
    }

    void handOverMessages_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("paths");
        const QStringList names{QStringLiteral("/a b/ü.mpg"), QStringLiteral("/Live | Part 1.mpg")};
        const QByteArray good = SingleInstance::encode(names);
        QTest::newRow("round trip") << good << names;
        QTest::newRow("truncated") << good.left(good.size() - 1) << QStringList();
        QTest::newRow("trailing bytes") << good + "x" << QStringList();
        QTest::newRow("other magic") << QByteArray("HELLO") + good.mid(5) << QStringList();
        QTest::newRow("the older version")
            << QByteArray(good).replace("ZARVO-OPEN/2", "ZARVO-OPEN/1") << QStringList();
        QByteArray badLength = good;
        badLength[14] = 'x';
        QTest::newRow("length not digits") << badLength << QStringList();
        QByteArray longName = good;
        longName[23 + 8] = '9';  // the first name's length, past the message's end
        QTest::newRow("a name longer than the message") << longName << QStringList();
        QTest::newRow("names that are not UTF-8")
            << SingleInstance::encode({QStringLiteral("ab")}).replace("ab", "\xff\xfe")
            << QStringList{fromNativePath("\xff\xfe")};
    }
    void handOverMessages() {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, paths);
        QCOMPARE(SingleInstance::decode(message).value_or(QStringList()), paths);
    }

    // Each argument names one file; one that holds "|" lists several unless a file of
    // exactly that name exists, and after "--" every argument is a name as it stands.
    void commandLineArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("names");  // relative to the test's folder
        QTest::newRow("one list") << texts({"a.mpg|b.mpg"}) << texts({"a.mpg", "b.mpg"});
        QTest::newRow("an empty item ends it") << texts({"a.mpg||c.mpg"}) << texts({"a.mpg"});
        QTest::newRow("a file named with a bar")
            << texts({"Live | Part 1.mpg"}) << texts({"Live | Part 1.mpg"});
        QTest::newRow("after --") << texts({"--", "x|y.mpg", "--help"})
                                  << texts({"x|y.mpg", "--help"});
        QTest::newRow("several") << texts({"a.mpg", "c d.mpg"}) << texts({"a.mpg", "c d.mpg"});
    }
    void commandLineArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, names);
        const QString folder = freshFolder(path(QStringLiteral("args")));
        writeFile(folder + QStringLiteral("/Live | Part 1.mpg"), "live");
        const QString before = QDir::currentPath();
        QDir::setCurrent(folder);
        const QStringList paths = commandLineFiles(arguments);
        QDir::setCurrent(before);
        QStringList expected;
        for (const QString& name : names) {
            expected.append(folder + QLatin1Char('/') + name);
        }
        QCOMPARE(paths, expected);
    }

    // The lock and the socket live only where nobody else can reach them.
    void privateFolderRefusesWhatOthersCouldReach_data() {
        QTest::addColumn<QString>("runtime");  // how $XDG_RUNTIME_DIR is made
        QTest::addColumn<bool>("runtimeUsed");
        QTest::newRow("our own, closed") << QStringLiteral("0700") << true;
        QTest::newRow("open to others") << QStringLiteral("0777") << false;
        QTest::newRow("a link to our own") << QStringLiteral("link") << false;
        QTest::newRow("not set") << QString() << false;
    }
    void privateFolderRefusesWhatOthersCouldReach() {
        QFETCH(QString, runtime);
        QFETCH(bool, runtimeUsed);
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        const QString base = freshFolder(path(QStringLiteral("rt")));
        const QString folder = base + QStringLiteral("/run");
        QDir().mkpath(folder);
        QFile::setPermissions(folder, runtime == QLatin1String("0777")
                                          ? QFile::Permissions(0x7777)
                                          : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QString pointed = folder;
        if (runtime == QLatin1String("link")) {
            pointed = base + QStringLiteral("/link");
            QVERIFY(QFile::link(folder, pointed));
        }
        if (runtime.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(pointed));
        }
        const std::optional<QString> chosen = SingleInstance::privateFolder();
        qputenv("XDG_RUNTIME_DIR", saved);
        QVERIFY(chosen);
        QCOMPARE(*chosen == pointed, runtimeUsed);
        struct stat status {};
        QCOMPARE(::lstat(QFile::encodeName(*chosen).constData(), &status), 0);
        QVERIFY(S_ISDIR(status.st_mode));
        QCOMPARE(status.st_mode & 0777, mode_t(0700));
        QCOMPARE(status.st_uid, ::getuid());
    }

    // Without any folder of ours (another user made it), the program runs alone.
    void noPrivateFolderMeansNoLock() {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        const QString base = freshFolder(path(QStringLiteral("strange-cache")));
        QDir().mkpath(base + QStringLiteral("/TarvikZarvo"));
        QVERIFY(QFile::link(QStringLiteral("/tmp"), base + QStringLiteral("/TarvikZarvo/run")));
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(base));
        QString problem;
        const bool found = SingleInstance::privateFolder(&problem).has_value();
        SingleInstance instance;
        const SingleInstance::Lock lock = instance.acquire();
        const bool handedOver = SingleInstance::handOver({QStringLiteral("/a.mpg")}, 100);
        qputenv("XDG_RUNTIME_DIR", saved);
        qputenv("XDG_CACHE_HOME", cache);
        QVERIFY(!found);
        QVERIFY2(problem.contains(QStringLiteral("symbolic link")), qPrintable(problem));
        QCOMPARE(lock, SingleInstance::Lock::NoSafeFolder);
        QVERIFY(!handedOver);
    }

    void secondStartHandsItsFilesOver() {
        Listening running;
        QVERIFY(running.listen());
        MainWindow& window = running.window;
        const QString a = writeFile(path(QStringLiteral("handed/a.mpg")), "a");
        const QString b = writeFile(path(QStringLiteral("handed/b c.mpg")), "b");
        const QByteArray before = readFile(SettingsStore::defaultPath());
        QProcess second;
        second.setWorkingDirectory(path(QStringLiteral("handed")));
        const QString bar = writeFile(path(QStringLiteral("handed/Live | Part 1.mpg")), "c");
        second.start(appProgram(),
                     {QStringLiteral("a.mpg"), b, QStringLiteral("Live | Part 1.mpg")});
        QVERIFY(second.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(), QByteArray());
        QCOMPARE(window.packList().fullPaths(), (QStringList{a, b, bar}));
        QVERIFY(window.packListWindow()->isVisible());
        QCOMPARE(readFile(SettingsStore::defaultPath()), before);
        // Garbage on the socket is ignored.
        QLocalSocket stranger;
        stranger.connectToServer(SingleInstance::socketPath());
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("GET / HTTP/1.0\r\n\r\n");
        QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(window.packList().rowCount(), 3);
    }

    void secondInstanceRefusesAndTouchesNothing() {
        const QString app = appProgram();
        QProcess first;
        first.start(app, QStringList());
        QVERIFY(first.waitForStarted());
        // The first program listens once its start-up has written the settings.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(SingleInstance::socketPath()), 10000);
        const QByteArray before = readFile(SettingsStore::defaultPath());
        QProcess second;
        second.start(app, QStringList());  // no files to hand over: the message
        QVERIFY(second.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT(
            (said += second.readAllStandardError()).contains("This program is already running!"),
            10000);
        second.kill();
        second.waitForFinished();
        QCOMPARE(readFile(SettingsStore::defaultPath()), before);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        first.waitForFinished();
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
