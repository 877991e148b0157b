#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "browse/file_filters.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"
#include "settings/settings_store.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/custom_filter_dialog.h"
#include "ui/file_browser_widget.h"
#include "ui/main_window.h"
#include "ui/preferences_dialog.h"
#include "ui/preview_player_widget.h"
#include "ui/tip_window.h"

namespace {

QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) {
        texts.append(box->itemText(i));
    }
    return texts;
}

QStringList items(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts.append(list->item(i)->text());
    }
    return texts;
}

}  // namespace

class BrowserPrefsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString folderWithFiles() const {
        const QString folder = path(QStringLiteral("files"));
        writeFile(folder + QStringLiteral("/CLIP.MPG"),
                  mpegBytes(3000, 14, QByteArray("\x16\x00\xF0\x13", 4)));
        writePatternFile(folder + QStringLiteral("/big.mpeg"), 1234567, 1);
        writeFile(folder + QStringLiteral("/empty.mpe"), QByteArray());
        writeFile(folder + QStringLiteral("/notes.txt"), "text");
        writeFile(folder + QStringLiteral("/song.mp3"), "mp3");
        QDir().mkpath(folder + QStringLiteral("/sub"));
        return folder;
    }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }
    void init() { QFile::remove(SettingsStore::defaultPath()); }

    void freshStoreFiltersTheBrowser() {
        const QString folder = folderWithFiles();
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.setCurrentDir(folder);
        FileBrowserWidget* browser = window.browser();
        QCOMPARE(items(browser->patternBox()),
                 (QStringList{QStringLiteral("Mpeg (*.mpg,*.mpeg,*.mpe)"),
                              QStringLiteral("Mp3 (*.mp3)"), QStringLiteral("All Files (*.*)")}));
        QCOMPARE(browser->patternBox()->currentIndex(), 0);
        QCOMPARE(withSemicolons(window.options().fileFilter(1).patterns),
                 QStringLiteral("*.mpg;*.mpeg;*.mpe"));
        QCOMPARE(items(browser->fileList()),
                 (QStringList{QStringLiteral("big.mpeg"), QStringLiteral("CLIP.MPG"),
                              QStringLiteral("empty.mpe")}));
        // After the folder change the first file is selected and mirrored.
        QCOMPARE(browser->selectedNames(), QStringList{QStringLiteral("big.mpeg")});
        browser->patternBox()->setCurrentIndex(2);
        QCOMPARE(browser->fileList()->count(), 5);
        QVERIFY(host.messages.isEmpty());
    }

    void countsAreCheckedAndWrittenBack() {
        OptionsModel options;
        options.ResetFileFilter();
        storeValue(QStringLiteral("NoOfFilter"), QStringLiteral("5"));
        RecorderJobHost host;
        QCOMPARE(options.fileFilters(host).size(), 3);
        QCOMPARE(storedValue(QStringLiteral("NoOfFilter")), QStringLiteral("3"));
        // A count no settings file of ours holds is damage, however large.
        for (const char* damaged : {"0", "1001", "2000000000", "-4", "many"}) {
            storeValue(QStringLiteral("NoOfFilter"), QLatin1String(damaged));
            QCOMPARE(options.fileFilters(host).size(), 3);
            QCOMPARE(host.texts().last(), kFilterTamperMessage);
        }
        QCOMPARE(host.texts().size(), 5);
        QCOMPARE(saveDialogTypeList(options, host),
                 QStringLiteral("Mpeg (*.mpg,*.mpeg,*.mpe)|*.mpg;*.mpeg;*.mpe|Mp3 "
                                "(*.mp3)|*.mp3|All Files (*.*)|*.*"));
    }

    void patternsMatchWithoutCase_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<bool>("matches");
        QTest::newRow("capitals") << "CLIP.MPG"
                                  << "*.mpg;*.mpeg" << true;
        QTest::newRow("other type") << "clip.avi"
                                    << "*.mpg;*.mpeg" << false;
        QTest::newRow("all files, no dot") << "README"
                                           << "*.*" << true;
        QTest::newRow("question mark") << "a1.mpg"
                                       << "a?.mpg" << true;
        QTest::newRow("commas") << "x.mp3"
                                << "*.mpg,*.mp3" << true;
        QTest::newRow("no partial match") << "clip.mpg.001"
                                          << "*.mpg" << false;
        QTest::newRow("unbalanced bracket matches itself") << "[a"
                                                           << "[a" << true;
        QTest::newRow("unbalanced bracket, other name") << "a"
                                                        << "[a" << false;
    }
    void patternsMatchWithoutCase() {
        QFETCH(QString, name);
        QFETCH(QString, patterns);
        QFETCH(bool, matches);
        QCOMPARE(matchesFilePattern(name, patternList(patterns)), matches);
    }

    void filterDialogAddsAndSaves() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        CustomFilterDialog dialog(window.options(), host);
        dialog.add();
        dialog.descriptionBox()->setText(QStringLiteral("Video"));
        dialog.add();
        dialog.descriptionBox()->clear();
        dialog.patternBox()->setText(QStringLiteral("*.avi"));
        dialog.add();
        QCOMPARE(host.texts(),
                 (QStringList{QStringLiteral("Nothing to add."),
                              QStringLiteral("Please key in an appropriate FileType."),
                              QStringLiteral("Please key in a Description.")}));
        dialog.descriptionBox()->setText(QStringLiteral("Video"));
        dialog.patternBox()->setText(QStringLiteral("*.avi,*.mpg"));
        dialog.add();
        QCOMPARE(dialog.list()->item(3)->text(), QStringLiteral("Video (*.avi,*.mpg)"));
        dialog.accept();
        window.loadFilters();
        QCOMPARE(window.browser()->patternBox()->itemText(3),
                 QStringLiteral("Video (*.avi,*.mpg)"));
        QVERIFY(saveDialogTypeList(window.options(), host)
                    .endsWith(QStringLiteral("|Video (*.avi,*.mpg)|*.avi;*.mpg")));
        QVERIFY(qtFileDialogFilter(saveDialogTypeList(window.options(), host))
                    .endsWith(QStringLiteral(";;Video (*.avi *.mpg)")));
    }

    void typedNamesGetTheTypeExtension_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("saved");
        const QString mpeg = QStringLiteral("Mpeg (*.mpg *.mpeg *.mpe)");
        QTest::newRow("bare name") << "/v/joined" << mpeg << "/v/joined.mpg";
        QTest::newRow("has extension") << "/v/joined.mpeg" << mpeg << "/v/joined.mpeg";
        QTest::newRow("other extension kept") << "/v/joined.bin" << mpeg << "/v/joined.bin";
        QTest::newRow("hidden name") << "/v/.joined" << mpeg << "/v/.joined.mpg";
        QTest::newRow("dot in folder") << "/v.d/joined" << mpeg << "/v.d/joined.mpg";
        QTest::newRow("all files") << "/v/joined"
                                   << "All Files (*)"
                                   << "/v/joined";
        QTest::newRow("pack list") << "/v/list"
                                   << "Zarvo Pack List (*.zpl)"
                                   << "/v/list.zpl";
        QTest::newRow("wildcard first") << "/v/a"
                                        << "Parts (*.0?? *.bin)"
                                        << "/v/a.bin";
    }
    void typedNamesGetTheTypeExtension() {
        QFETCH(QString, typed);
        QFETCH(QString, type);
        QFETCH(QString, saved);
        QCOMPARE(withTypeExtension(typed, type), saved);
    }

    void filterDialogMovesBlocks() {
        OptionsModel options;
        options.saveFileFilters({{QStringLiteral("1"), QStringLiteral("*.1")},
                                 {QStringLiteral("2"), QStringLiteral("*.2")},
                                 {QStringLiteral("3"), QStringLiteral("*.3")},
                                 {QStringLiteral("4"), QStringLiteral("*.4")},
                                 {QStringLiteral("5"), QStringLiteral("*.5")}});
        RecorderJobHost host;
        CustomFilterDialog dialog(options, host);
        dialog.list()->clearSelection();
        dialog.list()->item(1)->setSelected(true);
        dialog.list()->item(2)->setSelected(true);
        dialog.list()->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        dialog.moveDown();
        QStringList order;
        for (const FileFilter& filter : dialog.filters()) {
            order.append(filter.description);
        }
        QCOMPARE(order, (QStringList{QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("2"),
                                     QStringLiteral("3"), QStringLiteral("5")}));
        QVERIFY(dialog.list()->item(2)->isSelected() && dialog.list()->item(3)->isSelected());
        dialog.list()->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        dialog.moveUp();  // the focused entry is the first: nothing happens
        QCOMPARE(dialog.filters().at(1).description, QStringLiteral("4"));
        QVERIFY(host.messages.isEmpty());
    }

    void filterDialogNeedsOneType() {
        OptionsModel options;
        options.ResetFileFilter();
        RecorderJobHost host;
        host.answer(MessageAnswer::Yes);
        CustomFilterDialog dialog(options, host);
        dialog.reset();
        dialog.list()->selectAll();
        dialog.removeSelected();
        dialog.accept();
        QCOMPARE(host.texts().last(), QStringLiteral("At least 1 FileType must exist!"));
        QCOMPARE(
            host.texts().first(),
            QStringLiteral("Are you sure you want to reset and restore the default File Filter?"));
        QCOMPARE(host.messages.first().buttons, MessageButtons::NoYes);  // No is the default
        QCOMPARE(dialog.result(), int(QDialog::Rejected));               // still open
    }

    void rootFolderAndSelectionRules() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.setCurrentDir(QStringLiteral("/"));
        QCOMPARE(window.currentDir(), QStringLiteral("/"));
        QCOMPARE(window.browser()->pathOf(QStringLiteral("x.mpg")), QStringLiteral("/x.mpg"));

        window.setCurrentDir(folderWithFiles());
        FileBrowserWidget* browser = window.browser();
        browser->show();
        const QRect first = browser->fileList()->visualItemRect(browser->fileList()->item(0));
        QTest::mouseClick(browser->fileList()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          first.center());
        QCOMPARE(host.texts(), QStringList{QStringLiteral("No filename(s) selected.")});
        window.addToPackList();
        QCOMPARE(host.texts().last(), QStringLiteral("Nothing to add."));

        browser->fileList()->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        browser->selectAll();  // not a click: the mirror keeps one name
        QCOMPARE(browser->selectedNames(), QStringList{QStringLiteral("CLIP.MPG")});
        browser->invertSelection();
        QVERIFY(browser->selectedNames().isEmpty());
        browser->invertSelection();
        QCOMPARE(browser->selectedNames().size(), 3);
        window.addToPackList();
        QCOMPARE(window.packList().rowCount(), 3);
        QCOMPARE(window.packList().directory(0), folderWithFiles() + QLatin1Char('/'));
    }

    void listsEveryNameInReadingOrder() {
        const QString folder = path(QStringLiteral("reading"));
        for (const char* name : {"part10.mpg", "part2.mpg", "Part1.mpg", ".hidden.mpg", "a.txt"}) {
            writeFile(folder + QLatin1Char('/') + QLatin1String(name), "x");
        }
        const QString odd = folder + QLatin1Char('/') + fromNativePath("bad\377name.mpg");
        QString error;
        QVERIFY(replaceWholeFile(odd, "odd", &error));
        for (const char* sub : {"d10", "d9", ".git"}) {
            QDir().mkpath(folder + QLatin1Char('/') + QLatin1String(sub));
        }
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.setCurrentDir(folder);
        const QString shownOdd = QStringLiteral("bad\uFFFDname.mpg");
        QCOMPARE(items(window.browser()->fileList()),
                 (QStringList{shownOdd, QStringLiteral("Part1.mpg"), QStringLiteral("part2.mpg"),
                              QStringLiteral("part10.mpg")}));
        QCOMPARE(items(window.browser()->folderList()),
                 (QStringList{QStringLiteral(".."), QStringLiteral("d9"), QStringLiteral("d10")}));
        window.addToPackList();  // the first file is selected after the folder change
        QCOMPARE(nativePath(window.packList().fullPaths().value(0)), nativePath(odd));
        QVERIFY(host.messages.isEmpty());
    }

    void theListFollowsTheDisk() {
        const QString folder = freshFolder(path(QStringLiteral("follow")));
        writeFile(folder + QStringLiteral("/a.mpg"), "a");
        writeFile(folder + QStringLiteral("/b.mpg"), "b");
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.setCurrentDir(folder);
        FileBrowserWidget* browser = window.browser();
        browser->fileList()->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        const QStringList chosen{QStringLiteral("b.mpg")};
        writeFile(folder + QStringLiteral("/c.mpg"), "c");
        QTRY_COMPARE(browser->fileList()->count(), 3);
        QFile::remove(folder + QStringLiteral("/a.mpg"));
        QTRY_COMPARE(browser->fileList()->count(), 2);
        QCOMPARE(browser->selectedNames(), chosen);
        QCOMPARE(browser->focusedPath(), folder + QStringLiteral("/b.mpg"));
        // During a job the list stands still, and catches up once it ends.
        browser->setBusy(true);
        writeFile(folder + QStringLiteral("/d.mpg"), "d");
        QTest::qWait(700);
        QCOMPARE(browser->fileList()->count(), 2);
        browser->setBusy(false);
        QCOMPARE(browser->fileList()->count(), 3);
        QCOMPARE(browser->selectedNames(), chosen);
        QVERIFY(host.messages.isEmpty());
    }

    void sizeTooltipsAndPopup() {
        QCOMPARE(fileSizeTooltip(QStringLiteral("big.mpeg"), 1234567),
                 QStringLiteral("big.mpeg (1,234,567 bytes)"));
        QCOMPARE(fileSizeTooltip(QStringLiteral("empty.mpe"), 0),
                 QStringLiteral("empty.mpe (0 byte)"));
        RecorderJobHost host;
        OptionsModel options;
        FileBrowserWidget browser(options, host);
        browser.setFolder(folderWithFiles());
        browser.loadFilters();
        QCOMPARE(browser.fileList()->tooltipFor(0), QStringLiteral("big.mpeg (1,234,567 bytes)"));
        QVERIFY(browser.preparePopup(0));
        for (QAction* item : browser.popupMenu()->actions()) {
            QVERIFY(item->isVisible());
        }
        QVERIFY(!browser.preparePopup(3));
        QVERIFY(browser.preparePopup(4));
        for (QAction* item : browser.popupMenu()->actions()) {
            if (item->text() == QLatin1String("&Add") || item->text() == QLatin1String("&Play")) {
                QVERIFY(!item->isVisible());
            }
        }
    }

    // The panel follows the file the preview loads; duration and frames come from it.
    void mpegPanelFollowsThePreview() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        const QString folder = path(QStringLiteral("clips"));
        QVERIFY(makeMpegClip(folder + QStringLiteral("/clip.mpg")));
        writeFile(folder + QStringLiteral("/broken.mpg"),
                  mpegBytes(3000, 14, QByteArray("\x16\x00\xF0\x13", 4)));
        window.setCurrentDir(folder);
        QListWidget* files = window.browser()->fileList();
        const auto focus = [files](const char* name) {
            files->setCurrentItem(files->findItems(QLatin1String(name), Qt::MatchExactly).first(),
                                  QItemSelectionModel::ClearAndSelect);
        };
        focus("clip.mpg");
        QCOMPARE(window.videoSizeLabel()->text(), QStringLiteral("Not Available"));  // off
        QTest::mouseClick(window.previewCheck(), Qt::LeftButton);
        QVERIFY(window.player()->previewOn());
        QCOMPARE(window.videoSizeLabel()->text(), QStringLiteral("352x240 (pxls)"));
        QCOMPARE(window.videoRateLabel()->text(), QStringLiteral("25 fps"));
        QVERIFY(window.moreInfoButton()->isEnabled());
        window.moreInfoCommand();
        QVERIFY2(host.texts().last().startsWith(QStringLiteral("Filename: ") + folder +
                                                QStringLiteral("/clip.mpg\r\nDuration: 00:00:02:")),
                 qPrintable(host.texts().last()));
        QVERIFY(host.texts().last().endsWith(
            QStringLiteral("\r\nTotal Frames: 50 frames\r\nVideo Rate: 25 fps\r\nVideo Size: "
                           "352x240 (pixels)")));
        // A file the preview cannot open shows no information; the next one is tried.
        focus("broken.mpg");
        QCOMPARE(window.videoSizeLabel()->text(), QStringLiteral("Not Available"));
        QVERIFY(!window.moreInfoButton()->isEnabled());
        QVERIFY(window.player()->openFailed());
        focus("clip.mpg");
        QCOMPARE(window.videoSizeLabel()->text(), QStringLiteral("352x240 (pxls)"));
        QTest::mouseClick(window.previewCheck(), Qt::LeftButton);
        QVERIFY(!window.player()->previewOn());
        QCOMPARE(window.videoSizeLabel()->text(), QStringLiteral("Not Available"));
        QVERIFY(!window.player()->playButton()->isEnabled());
        // An MPEG-4 file is described by its container; a file that cannot be described
        // never shows the file before's values.
        const QString mp4 = folder + QStringLiteral("/clip.mp4");
        QVERIFY(runShell(QStringLiteral("ffmpeg -loglevel fatal -y -f lavfi -i "
                                        "testsrc=size=320x240:rate=30000/1001 -t 1 -c:v libx264 "
                                        "-pix_fmt yuv420p '%1'")
                             .arg(mp4)));
        const QString png = writeFile(folder + QStringLiteral("/picture.png"), "\x89PNG\r\n\x1a\n");
        for (const QString& shown : {mp4, png, folder + QStringLiteral("/clip.mpg"), png}) {
            window.player()->showMpegInfo(shown);
            const bool described = shown != png;
            QCOMPARE(window.moreInfoButton()->isEnabled(), described);
            QCOMPARE(window.videoSizeLabel()->text(), !described ? QStringLiteral("Not Available")
                                                      : shown == mp4
                                                          ? QStringLiteral("320x240 (pxls)")
                                                          : QStringLiteral("352x240 (pxls)"));
        }
        window.player()->showMpegInfo(mp4);
        QCOMPARE(window.videoRateLabel()->text(), QStringLiteral("29.97 fps"));
        QComboBox* types = window.browser()->patternBox();
        types->setCurrentIndex(types->findText(QStringLiteral("All Files (*.*)")));
        focus("clip.mp4");
        window.moreInfoCommand();
        QVERIFY2(host.texts().last().contains(QStringLiteral("\r\nVideo: H.264 High")),
                 qPrintable(host.texts().last()));
    }

    void droppingOnTheOutputName() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        const QString folder = folderWithFiles();
        window.outputNameDropped({folder + QStringLiteral("/song.mp3")});
        QCOMPARE(window.outputNameBox()->text(), folder + QStringLiteral("/song.mp3"));
        QCOMPARE(storedValue(QStringLiteral("LastSavedDir")), folder);
        window.outputNameDropped({folder + QStringLiteral("/sub")});
        QCOMPARE(host.texts(),
                 QStringList{QLatin1Char('\'') + folder + QStringLiteral("/sub' is a directory.")});
        QCOMPARE(window.outputNameBox()->text(), folder + QStringLiteral("/song.mp3"));
    }

    void preferencePages() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        PreferencesDialog prefs(window.options(), window, host, &window);
        QList<int> visited = {prefs.pageList()->currentRow()};
        while (prefs.nextButton()->isEnabled()) {
            prefs.nextPage();
            visited.append(prefs.pageList()->currentRow());
        }
        QCOMPARE(visited,
                 (QList<int>{0, 2, 3, 4, 6, 8, 9, 11, 12, 13, 15, 16, 17, 18, 19, 21, 23}));
        QList<int> back = {prefs.pageList()->currentRow()};
        while (prefs.prevButton()->isEnabled()) {
            prefs.previousPage();
            back.append(prefs.pageList()->currentRow());
        }
        std::reverse(back.begin(), back.end());
        QCOMPARE(back, visited);
        // The arrow keys pass over the separators both ways, as the buttons do.
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
            QList<int> walked = {prefs.pageList()->currentRow()};
            for (qsizetype step = 1; step < visited.size(); ++step) {
                QTest::keyClick(prefs.pageList(), key);
                walked.append(prefs.pageList()->currentRow());
            }
            if (key == Qt::Key_Up) {
                std::reverse(walked.begin(), walked.end());
            }
            QCOMPARE(walked, visited);
        }
        prefs.pageList()->setCurrentRow(7);  // a separator: the page after it
        QCOMPARE(prefs.pageList()->currentRow(), 8);
        QVERIFY(!prefs.list(SettingId::SaveTo)->isHidden());
        QVERIFY(prefs.list(SettingId::Rate)->isHidden());
    }

    void preferencesApplyOnlyOnOk() {
        QDir().mkpath(path(QStringLiteral("pieces")));
        QDir().mkpath(path(QStringLiteral("saves")));
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.chooseFolder = [&](const QString& prompt, const QString&) {
            return prompt.startsWith(QStringLiteral("Unpack")) ? path(QStringLiteral("pieces"))
                                                               : path(QStringLiteral("saves"));
        };
        {
            PreferencesDialog prefs(window.options(), window, host, &window);
            prefs.choose(SettingId::Destination, 2);
            QCOMPARE(prefs.box(SettingId::Destination)->text(),
                     QStringLiteral("Custom - ") + path(QStringLiteral("pieces")));
            QCOMPARE(storedValue(QStringLiteral("sDir")), QStringLiteral("sfile"));
            prefs.apply();
        }
        QCOMPARE(storedValue(QStringLiteral("sDir")), QStringLiteral("custom"));
        QCOMPARE(storedValue(QStringLiteral("UnpackCustomDir")), path(QStringLiteral("pieces")));
        QVERIFY(window.findChild<QAction*>(QStringLiteral("UnpackCustomDirMnu"))->isChecked());

        const QString savedBefore = storedValue(QStringLiteral("SaveCustomDir"));
        {
            PreferencesDialog prefs(window.options(), window, host, &window);
            prefs.choose(SettingId::SaveTo, 0);
            prefs.reject();
        }
        QCOMPARE(storedValue(QStringLiteral("SaveCustomDir")), savedBefore);
        QCOMPARE(window.saveCustomDir(), savedBefore);
        QCOMPARE(storedValue(QStringLiteral("SaveTo")), QStringLiteral("LastSaved"));
    }

    void resetThenCancelResetsOnlyTheFilters() {
        RecorderJobHost host;
        MainWindow window(&host);
        window.load();
        window.findChild<QAction*>(QStringLiteral("UltraSpeedChk"))->trigger();
        window.options().saveFileFilters({{QStringLiteral("Video"), QStringLiteral("*.avi")}});
        host.answer(MessageAnswer::Yes);
        {
            PreferencesDialog prefs(window.options(), window, host, &window);
            prefs.resetToDefaults();
            QCOMPARE(prefs.box(SettingId::Rate)->text(), QStringLiteral("Normal"));
            QCOMPARE(prefs.filterCountBox()->text(), QStringLiteral("3"));
            prefs.reject();
        }
        QCOMPARE(
            host.texts().last(),
            QStringLiteral("Are you sure you want to reset and restore all default settings?"));
        QCOMPARE(host.messages.last().buttons, MessageButtons::NoYes);
        QCOMPARE(storedValue(QStringLiteral("tRate")), QStringLiteral("ufast"));
        QCOMPARE(storedValue(QStringLiteral("NoOfFilter")), QStringLiteral("3"));
        QCOMPARE(storedValueIn(SettingsStore::FilterInfoKey, QStringLiteral("1")),
                 QStringLiteral("Mpeg"));
    }

    void tips_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QStringList>("possible");
        QTest::newRow("three lines")
            << QByteArray("one\r\ntwo\r\nthree\r\n") << true
            << QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")};
        QTest::newRow("empty file") << QByteArray() << true << QStringList{QString()};
        QTest::newRow("missing file")
            << QByteArray() << false
            << QStringList{QStringLiteral("That the tod.ctd file was not found? ")};
    }
    void tips() {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QStringList, possible);
        const QString file = path(QStringLiteral("tips/tod.ctd"));
        QFile::remove(file);
        if (exists) {
            writeFile(file, content);
        }
        OptionsModel options;
        TipWindow window(file, options);
        for (int i = 0; i < 5; ++i) {
            QVERIFY2(possible.contains(window.tipText()->text()),
                     qPrintable(window.tipText()->text()));
            window.nextTip();
        }
    }

    void untickingTheBoxStopsTipsAtStartup() {
        OptionsModel options;
        TipWindow window(path(QStringLiteral("tips/none.ctd")), options);
        QVERIFY(window.showAtStartup()->isChecked());
        window.showAtStartup()->setChecked(false);
        QCOMPARE(storedValue(QStringLiteral("ShowTod")), QStringLiteral("0"));
        TipWindow again(path(QStringLiteral("tips/none.ctd")), options);
        QVERIFY(!again.showAtStartup()->isChecked());
    }
};

QTEST_MAIN(BrowserPrefsTest)
#include "test_browser_prefs.moc"
