#include <QAbstractItemModelTester>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "packlist/pack_list_file.h"
#include "packlist/pack_list_model.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/pack_list_window.h"

namespace {

QStringList names(const PackListModel& model) {
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row) {
        result.append(model.name(row));
    }
    return result;
}

QList<int> selectedRows(const QItemSelectionModel& selection) {
    QList<int> rows;
    for (const QModelIndex& index : selection.selectedIndexes()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void fill(PackListModel& model, int count) {
    for (int i = 0; i < count; ++i) {
        model.append(QStringLiteral("/d%1/").arg(i), QStringLiteral("f%1.mpg").arg(i));
    }
}

void select(QItemSelectionModel& selection, const QList<int>& rows, int current) {
    for (const int row : rows) {
        selection.select(selection.model()->index(row, 0), QItemSelectionModel::Select);
    }
    selection.setCurrentIndex(selection.model()->index(current, 0), QItemSelectionModel::NoUpdate);
}

}  // namespace

class PackListTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void modelStaysConsistent() {
        PackListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        fill(model, 6);
        select(selection, {1, 2, 4}, 4);
        model.moveSelectedUp(selection, host);
        model.moveSelectedDown(selection, host);
        model.sortEntries(false);
        select(selection, {0, 5}, 0);
        model.removeSelected(selection, host);
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }

    void moveUpMovesBlocks() {
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        fill(model, 6);
        select(selection, {1, 2, 4}, 4);
        model.moveSelectedUp(selection, host);
        QCOMPARE(selectedRows(selection), (QList<int>{0, 1, 3}));
        QCOMPARE(names(model), (QStringList{QStringLiteral("f1.mpg"), QStringLiteral("f2.mpg"),
                                            QStringLiteral("f0.mpg"), QStringLiteral("f4.mpg"),
                                            QStringLiteral("f3.mpg"), QStringLiteral("f5.mpg")}));
        QCOMPARE(model.directory(2), QStringLiteral("/d0/"));  // directories move along
        QCOMPARE(model.directory(4), QStringLiteral("/d3/"));
        QVERIFY(host.messages.isEmpty());
    }

    void moveDownMirrorsMoveUp() {
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        fill(model, 6);
        select(selection, {1, 3, 4}, 1);
        model.moveSelectedDown(selection, host);
        QCOMPARE(selectedRows(selection), (QList<int>{2, 4, 5}));
        QCOMPARE(names(model).at(1), QStringLiteral("f2.mpg"));
        QCOMPARE(names(model).at(3), QStringLiteral("f5.mpg"));
    }

    void movesAtTheEdgesDoNothing() {
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        fill(model, 4);
        select(selection, {0, 2}, 0);
        model.moveSelectedUp(selection, host);
        QCOMPARE(names(model).at(1), QStringLiteral("f1.mpg"));
        selection.setCurrentIndex(model.index(3), QItemSelectionModel::NoUpdate);
        model.moveSelectedDown(selection, host);
        QCOMPARE(names(model).at(2), QStringLiteral("f2.mpg"));
        QVERIFY(host.messages.isEmpty());
    }

    void refusalsWhenNothingIsSelected() {
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        model.moveSelectedUp(selection, host);
        fill(model, 2);
        model.moveSelectedDown(selection, host);
        model.removeSelected(selection, host);
        QCOMPARE(host.texts(), (QStringList{QStringLiteral("Nothing to swap."),
                                            QStringLiteral("Nothing to swap."),
                                            QStringLiteral("Nothing to remove.")}));
        QCOMPARE(host.messages.first().icon, MessageIcon::Warning);
    }

    void busyListDoesNotChange() {
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        fill(model, 3);
        select(selection, {1}, 1);
        model.setBusy(true);
        model.removeSelected(selection, host);
        model.sortEntries(false);
        model.moveSelectedUp(selection, host);
        QCOMPARE(names(model), (QStringList{QStringLiteral("f0.mpg"), QStringLiteral("f1.mpg"),
                                            QStringLiteral("f2.mpg")}));
    }

    void sortsAsPeopleRead_data() {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("sorted");
        const auto list = [](const char* names) {
            return QString::fromUtf8(names).split(QLatin1Char(' '));
        };
        QTest::newRow("numbers by value")
            << list("part10.mpg part2.mpg part1.mpg part9.mpg") << true
            << list("part1.mpg part2.mpg part9.mpg part10.mpg");
        QTest::newRow("descending is the reverse")
            << list("part10.mpg part2.mpg part1.mpg") << false
            << list("part10.mpg part2.mpg part1.mpg");
        QTest::newRow("case only breaks ties")
            << list("b.mpg A.mpg a.mpg B2.mpg") << true << list("A.mpg a.mpg b.mpg B2.mpg");
        QTest::newRow("ties descending")
            << list("a.mpg b.mpg A.mpg") << false << list("b.mpg a.mpg A.mpg");
        QTest::newRow("chapters") << list("GH020012.MP4 GH010012.MP4 GH100012.MP4") << true
                                  << list("GH010012.MP4 GH020012.MP4 GH100012.MP4");
    }
    void sortsAsPeopleRead() {
        QFETCH(QStringList, given);
        QFETCH(bool, ascending);
        QFETCH(QStringList, sorted);
        PackListModel model;
        for (const QString& name : given) {
            model.append(QLatin1Char('/') + name + QLatin1Char('/'), name);
        }
        model.sortEntries(ascending);
        QCOMPARE(names(model), sorted);
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(model.directory(row), QLatin1Char('/') + model.name(row) + QLatin1Char('/'));
        }
    }

    void draggedRowsMoveTogether_data() {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("first");
        QTest::newRow("one down") << QList<int>{0} << 3 << "1 2 0 3 4" << 2;
        QTest::newRow("two up, in their order") << QList<int>{3, 1} << 0 << "1 3 0 2 4" << 0;
        QTest::newRow("to the end") << QList<int>{1} << 99 << "0 2 3 4 1" << 4;
        QTest::newRow("onto itself") << QList<int>{2} << 2 << "0 1 2 3 4" << 2;
        QTest::newRow("rows that are not there") << QList<int>{7, -1} << 0 << "0 1 2 3 4" << -1;
    }
    void draggedRowsMoveTogether() {
        QFETCH(QList<int>, rows);
        QFETCH(int, target);
        QFETCH(QString, order);
        QFETCH(int, first);
        PackListModel model;
        fill(model, 5);
        const std::unique_ptr<QMimeData> dragged(PackListModel::rowsData(rows));
        QCOMPARE(model.moveRowsTo(PackListModel::rowsIn(dragged.get()), target).first, first);
        QString shown;
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(model.directory(row), QStringLiteral("/d%1/").arg(model.name(row).mid(1, 1)));
            shown += model.name(row).mid(1, 1) + QLatin1Char(' ');
        }
        QCOMPARE(shown.trimmed(), order);
    }

    // Undo brings back the list before the last Clear, Remove or sort; other edits, or a
    // running job, leave nothing to undo.
    void undoTheLastClearRemoveOrSort_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("undone");
        QTest::newRow("clear") << "clear" << true;
        QTest::newRow("remove") << "remove" << true;
        QTest::newRow("sort") << "sort" << true;
        QTest::newRow("clear, then add") << "clear add" << false;
        QTest::newRow("remove, then move up") << "remove up" << false;
        QTest::newRow("undo during a job") << "clear busy" << false;
    }
    void undoTheLastClearRemoveOrSort() {
        QFETCH(QString, edit);
        QFETCH(bool, undone);
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        fill(model, 4);
        const QStringList before = names(model);
        select(selection, {1, 2}, 2);
        const QStringList steps = edit.split(QLatin1Char(' '));
        if (steps.contains(QStringLiteral("clear"))) {
            model.clear();
        } else if (steps.contains(QStringLiteral("remove"))) {
            model.removeSelected(selection, host);
        } else {
            model.sortEntries(false);
        }
        if (steps.contains(QStringLiteral("add"))) {
            model.append(QStringLiteral("/n/"), QStringLiteral("new.mpg"));
        }
        if (steps.contains(QStringLiteral("up"))) {
            select(selection, {1}, 1);
            model.moveSelectedUp(selection, host);
        }
        model.setBusy(steps.contains(QStringLiteral("busy")));
        const QStringList edited = names(model);
        model.undo();
        QCOMPARE(names(model), undone ? before : edited);
        QCOMPARE(model.canUndo(), !undone && steps.contains(QStringLiteral("busy")));
    }

    void widestNameSetsTheScrollRange() {
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        model.setWidthFunction(
            [](const QString& text) { return static_cast<int>(text.size()) * 100; });
        model.append(QStringLiteral("/"), QString(30, QLatin1Char('s')), true);  // 3000 twips
        QCOMPARE(model.horizontalExtent(), 0);
        model.append(QStringLiteral("/"), QString(45, QLatin1Char('w')), true);  // 4500 → 310 px
        model.append(QStringLiteral("/"), QString(45, QLatin1Char('v')), true);
        QCOMPARE(model.horizontalExtent(), 310);
        select(selection, {1}, 1);
        model.removeSelected(selection, host);  // one of two equally wide: kept
        QCOMPARE(model.horizontalExtent(), 310);
        selection.clearSelection();
        select(selection, {1}, 1);
        model.removeSelected(selection, host);
        QCOMPARE(model.horizontalExtent(), 0);
        QCOMPARE(model.widestName(), 0);
    }

    void dropsAppendFilesAndSkipFolders() {
        const QString a = writeFile(path(QStringLiteral("drop/a.mpg")), "a");
        const QString b = writeFile(path(QStringLiteral("drop/b.mpg")), "b");
        const QString folder = path(QStringLiteral("drop"));
        PackListModel model;
        RecorderJobHost host;
        model.dropPaths({folder, a, QStringLiteral("//") + b.mid(1)}, host);
        QCOMPARE(host.texts(), QStringList{QLatin1Char('\'') + folder +
                                           QStringLiteral("' is a directory. Filename skipped.")});
        QCOMPARE(host.messages.first().icon, MessageIcon::Information);
        QCOMPARE(model.fullPaths().size(), 2);
        QCOMPARE(model.fullPath(0), a);
    }

    void missingDropEndsTheDrop() {
        const QString a = writeFile(path(QStringLiteral("miss/a.mpg")), "a");
        const QString gone = path(QStringLiteral("miss/gone.mpg"));
        PackListModel model;
        RecorderJobHost host;
        QSignalSpy refresh(&model, &PackListModel::browserRefreshWanted);
        model.dropPaths({a, gone, a}, host);
        QCOMPARE(host.texts(),
                 QStringList{QLatin1Char('\'') + gone + QStringLiteral("' was not found!")});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(refresh.count(), 1);
    }

    void lostLinks() {
        const QString kept = writeFile(path(QStringLiteral("lost/kept.mpg")), "k");
        const QString hidden = writeFile(path(QStringLiteral("lost/.hidden.mpg")), "h");
        PackListModel model;
        QItemSelectionModel selection(&model);
        RecorderJobHost host;
        model.appendPath(kept);
        model.clearLostLinks(selection, host);
        QCOMPARE(host.texts(), QStringList{QStringLiteral("Nothing to remove.")});
        model.appendPath(hidden);
        model.appendPath(path(QStringLiteral("lost/gone.mpg")));
        model.clearLostLinks(selection, host);
        QCOMPARE(model.fullPaths(), QStringList{kept});
    }

    void popupFollowsTheRowUnderThePointer() {
        PackListModel model;
        RecorderJobHost host;
        PackListWindow window(model, host);
        fill(model, 3);
        QVERIFY(window.preparePopup(1));
        QVERIFY(window.popupMenu()->actions().at(0)->isVisible());
        QVERIFY(!window.preparePopup(3));  // the first empty line
        QVERIFY(window.preparePopup(5));
        QVERIFY(!window.popupMenu()->actions().at(0)->isVisible());
        QCOMPARE(window.popupMenu()->actions().at(0)->text(), QStringLiteral("R&emove"));
        model.clear();
        QVERIFY(!window.preparePopup(0));
        QVERIFY(window.preparePopup(1));
        QCOMPARE(PackListModel::rowAt(45, 15, 2), 5);
    }

    void savesOnePathPerLine() {
        RecorderJobHost host;
        const QString file = path(QStringLiteral("lists/saved.zpl"));
        QDir().mkpath(path(QStringLiteral("lists")));
        QVERIFY(
            savePackList(file, {QStringLiteral("/a.mpg"), QStringLiteral("/video/b.mpg")}, host));
        QCOMPARE(readFile(file), QByteArray("/a.mpg\r\n/video/b.mpg\r\n"));
    }

    void savingToAnUnwritablePlaceAsks() {
        RecorderJobHost host;
        const QString file = path(QStringLiteral("no/such/folder/x.zpl"));
        QVERIFY(!savePackList(file, {QStringLiteral("/a.mpg")}, host));
        QCOMPARE(host.texts(),
                 QStringList{QStringLiteral("Cannot overwrite '") + file +
                             QStringLiteral("'. Disk full/write-protected or file is in use.")});
        QCOMPARE(host.messages.first().buttons, MessageButtons::RetryCancel);
    }

    void loadSkipsWhatIsNotThere() {
        const QString a = writeFile(path(QStringLiteral("load/a.mpg")), "a");
        const QString hidden = writeFile(path(QStringLiteral("load/.h.mpg")), "h");
        const QString b = writeFile(path(QStringLiteral("load/b.mpg")), "b");
        writeFile(path(QStringLiteral("load/x1.mpg")), "x");
        const QByteArray content =
            (a + QStringLiteral("\r\n") + path(QStringLiteral("load/deleted.mpg")) +
             QStringLiteral("\nb.mpg\r") + hidden + QStringLiteral("\r\n\r\n") +
             path(QStringLiteral("load")) + QStringLiteral("\r\n") +
             path(QStringLiteral("load/x?.mpg")) + QStringLiteral("\r\n") + b)
                .toUtf8();
        const QString list = writeFile(path(QStringLiteral("load.zpl")), content);
        QCOMPARE(readPackList(list), (QStringList{a, path(QStringLiteral("load/x?.mpg")), b}));
        QVERIFY(readPackList(path(QStringLiteral("missing.zpl"))).isEmpty());
    }

    void windowLoadAppendAndSave() {
        const QString a = writeFile(path(QStringLiteral("win/a.mpg")), "a");
        const QString list =
            writeFile(path(QStringLiteral("win/list.zpl")), (a + QStringLiteral("\r\n")).toUtf8());
        PackListModel model;
        RecorderJobHost host;
        PackListWindow window(model, host);
        QStringList titles;
        QStringList folders;
        window.chooseOpenFile = [&](const QString& title, const QString& folder) {
            titles << title;
            folders << folder;
            return list;
        };
        window.loadPackListFile(false);
        window.loadPackListFile(true);
        QCOMPARE(model.fullPaths(), (QStringList{a, a}));
        window.loadPackListFile(false);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(titles, (QStringList{QStringLiteral("Load which Pack List?"),
                                      QStringLiteral("Append which Pack List?"),
                                      QStringLiteral("Load which Pack List?")}));
        // The dialogs open where the last pack list was.
        QCOMPARE(folders.last(), path(QStringLiteral("win")));
        QString typed;
        window.chooseSaveFile = [&](const QString& title, const QString&) {
            titles << title;
            return FileChoice{typed, QStringLiteral("Zarvo Pack List (*.zpl)")};
        };
        window.savePackListFile();  // cancelled
        QCOMPARE(titles.last(), QStringLiteral("Save Pack List As"));
        typed = path(QStringLiteral("saved/mine"));
        QDir().mkpath(path(QStringLiteral("saved")));
        window.savePackListFile();
        QCOMPARE(readPackList(typed + QStringLiteral(".zpl")), QStringList{a});
        QCOMPARE(window.listFolder(), path(QStringLiteral("saved")));
        // The added extension names an existing list: asked, and No keeps it.
        writeFile(typed + QStringLiteral(".zpl"), "keep");
        window.savePackListFile();
        QCOMPARE(host.texts().last(), QLatin1Char('\'') + typed +
                                          QStringLiteral(".zpl' already exists. Do you want to "
                                                         "replace it?"));
        QCOMPARE(readFile(typed + QStringLiteral(".zpl")), QByteArray("keep"));
        model.clear();
        window.savePackListFile();
        QCOMPARE(host.texts().last(), QStringLiteral("Nothing to save."));
    }

    void keysAndDoubleClickEdit() {
        PackListModel model;
        RecorderJobHost host;
        PackListWindow window(model, host);
        fill(model, 3);
        window.show();
        QItemSelectionModel& selection = *window.list()->selectionModel();
        select(selection, {2}, 2);
        QTest::keyClick(window.list(), Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(model.name(1), QStringLiteral("f2.mpg"));
        selection.setCurrentIndex(model.index(1), QItemSelectionModel::NoUpdate);
        QTest::keyClick(window.list(), Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(model.name(2), QStringLiteral("f2.mpg"));
        QTest::keyClick(window.list(), Qt::Key_Delete);
        QCOMPARE(names(model), (QStringList{QStringLiteral("f0.mpg"), QStringLiteral("f1.mpg")}));
        QCOMPARE(model.data(model.index(1), Qt::ToolTipRole).toString(),
                 QStringLiteral("/d1/f1.mpg"));
    }
};

QTEST_MAIN(PackListTest)
#include "test_pack_list.moc"
