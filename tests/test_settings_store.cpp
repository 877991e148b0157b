#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

#include <sys/wait.h>
#include <unistd.h>

#include "options/options_model.h"
#include "settings/file_filter_store.h"
#include "settings/settings_migration.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "support/test_files.h"

namespace {

// Stores one of two values in `id` through the model's own setter for it.
void setVariant(OptionsModel& options, SettingId id, int variant) {
    const QString folder = variant == 0 ? QDir::tempPath() : QDir::rootPath();
    SplitRule rule;
    switch (settingRow(id).kind) {
        case SettingKind::Words:
            if (id == SettingId::SplitSize) {
                options.choosePreset(splitPresetWords().at(variant));
            } else {
                options.setChoice(id, variant);
            }
            return;
        case SettingKind::Number:
            if (id == SettingId::PackListDocked) {
                options.setWindowPlaces({}, {}, 1 + variant);
                return;
            }
            rule.SplitMode = id == SettingId::CustomPieces    ? SplitKind::Pieces
                             : id == SettingId::CustomPercent ? SplitKind::Percentage
                                                              : SplitKind::CustomSize;
            rule.SplitSize = 1000 + static_cast<quint64>(variant);
            rule.SplitCount = 3 + variant;
            rule.SplitPercent = 10 + variant;
            options.setSplitRule(rule);
            return;
        case SettingKind::Position:
            options.setWindowPlaces(QPointF(100 + variant, 100 + variant),
                                    QPointF(100 + variant, 100 + variant), 0);
            return;
        case SettingKind::Directory:
            options.setFolder(id, folder);
            return;
        case SettingKind::Count:
            options.saveFileFilters(
                QList<FileFilter>(1 + variant, {QStringLiteral("A"), QStringLiteral("*.a")}));
            return;
        case SettingKind::Flag:
            options.setShowTips(variant == 0);
            return;
        case SettingKind::Marker:
            break;
    }
    QFAIL("no setter for this kind");
}

}  // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;
    QString storeFile() const {
        return m_config.filePath(QStringLiteral("TarvikZarvo/registry.ini"));
    }
    QString root() const { return SettingsStore::SettingsRoot; }
    std::optional<SettingsStore> m_store;
    SettingsStore& store() { return *m_store; }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())); }

    void init() {
        QDir(m_config.path()).removeRecursively();
        QDir().mkpath(m_config.path());
        m_store.emplace(storeFile());
    }

    void storeLivesUnderTheUsersConfigFolder() {
        QCOMPARE(SettingsStore::defaultPath(), storeFile());
        store().saveSetting(QStringLiteral("MZip"), QStringLiteral("On"));
        QVERIFY(readFile(storeFile()).contains("MZip=\"On\""));
    }

    void namesMatchWithoutCase() {
        store().setValue(root(), QStringLiteral("Magnet"), QStringLiteral("On"));
        QCOMPARE(store().value(root(), QStringLiteral("MAGNET")), QStringLiteral("On"));
        QCOMPARE(store().value(QStringLiteral("software\\tarvik\\zarvo"), QStringLiteral("magnet")),
                 QStringLiteral("On"));
        // The two spellings the program uses are one value.
        store().setValue(root(), QStringLiteral("UnPkTyp"), QStringLiteral("EMH"));
        store().setValue(root(), QStringLiteral("UnpkTyp"), QStringLiteral("RAW"));
        QCOMPARE(store().value(root(), QStringLiteral("UnPkTyp")), QStringLiteral("RAW"));
        QCOMPARE(readFile(storeFile()).count("nPkTyp="), 1);
    }

    void missingOrOtherTypedValuesGiveTheDefault() {
        QCOMPARE(store().value(root(), QStringLiteral("tRate"), QStringLiteral("d")),
                 QStringLiteral("d"));
    }

    void textsRoundTripAndEndAtNul() {
        const QString awkward = QStringLiteral("a \"quoted\" \\path\\\nsecond line=x ");
        store().saveSetting(QStringLiteral("Awkward"), awkward);
        QCOMPARE(store().setting(QStringLiteral("Awkward")), awkward);
        store().saveSetting(QStringLiteral("Nul"), QString::fromUtf16(u"ab\0cd", 5));
        QCOMPARE(store().setting(QStringLiteral("Nul")), QStringLiteral("ab"));
        store().saveSetting(QStringLiteral("Empty"), QString());
        QCOMPARE(store().setting(QStringLiteral("Empty"), QStringLiteral("default")), QString());
    }

    void deleteKeyRemovesOnlyALeaf() {
        store().setValue(SettingsStore::FilterKey, QStringLiteral("1"), QStringLiteral("*.a"));
        store().saveSetting(QStringLiteral("MCC"), QStringLiteral("On"));
        store().deleteKey(root());  // still has a subkey: left alone
        QCOMPARE(store().setting(QStringLiteral("MCC")), QStringLiteral("On"));
        store().deleteKey(SettingsStore::FilterKey);
        QCOMPARE(store().value(SettingsStore::FilterKey, QStringLiteral("1")), QString());
        store().deleteKey(QStringLiteral("No\\Such\\Key"));
        QCOMPARE(store().setting(QStringLiteral("MCC")), QStringLiteral("On"));
    }

    // A damaged line costs that line alone; the original is kept, and an earlier backup
    // is never replaced.
    void damagedLinesAreDroppedAndTheOriginalKept_data() {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("no equals sign") << QByteArray("garbage\n");
        QTest::newRow("not UTF-8") << QByteArray("Mark=\"\xff\xfe\"\n");
        QTest::newRow("a NUL byte") << QByteArray("Ma\0rk=\"x\"\n", 10);
    }
    void damagedLinesAreDroppedAndTheOriginalKept() {
        QFETCH(QByteArray, damage);
        for (const QString& backup :
             {storeFile() + QStringLiteral(".bad"), storeFile() + QStringLiteral(".bad.1")}) {
            QFile::remove(backup);
        }
        const QByteArray content =
            "[Software\\Tarvik\\Zarvo]\nMCC=\"Off\"\n" + damage + "tRate=\"fast\"\n";
        for (const char* backup : {".bad", ".bad.1"}) {
            writeFile(storeFile(), content);
            QCOMPARE(store().setting(QStringLiteral("MCC")), QStringLiteral("Off"));
            QCOMPARE(store().setting(QStringLiteral("tRate")), QStringLiteral("fast"));
            store().saveSetting(QStringLiteral("MZip"), QStringLiteral("On"));
            QCOMPARE(readFile(storeFile() + QLatin1String(backup)), content);
            QVERIFY(!readFile(storeFile()).contains(damage));
            QCOMPARE(store().setting(QStringLiteral("tRate")), QStringLiteral("fast"));
        }
    }

    void anUnreadableStoreIsLeftAlone() {
        QDir().mkpath(storeFile());  // a folder where the file should be
        QCOMPARE(store().setting(QStringLiteral("MCC"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        store().saveSetting(QStringLiteral("MZip"), QStringLiteral("On"));
        QVERIFY(QFileInfo(storeFile()).isDir());
        QVERIFY(store().takeWarning().contains(QStringLiteral("cannot be read (it is a folder)")));
        QCOMPARE(store().takeWarning(), QString());  // said once
        QDir(storeFile()).removeRecursively();
    }

    void windowPositionsMustBeOnSomeScreen_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("valid");
        QTest::newRow("twips") << "1845" << true;
        QTest::newRow("negative") << "-300.5" << true;
        for (const char* text : {"nan", "inf", "-inf", "1e12", "-1e308", "abc", ""}) {
            QTest::newRow(text) << QString::fromLatin1(text) << false;
        }
    }
    void windowPositionsMustBeOnSomeScreen() {
        QFETCH(QString, stored);
        QFETCH(bool, valid);
        QCOMPARE(isValidSetting(settingRow(SettingId::PackListX), stored), valid);
    }

    void wordsOutsideTheVocabularyFallBack_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("used");
        QTest::newRow("tRate Normal") << "tRate"
                                      << "Normal"
                                      << "normal";
        QTest::newRow("tRate ufast") << "tRate"
                                     << "ufast"
                                     << "ufast";
        QTest::newRow("MCC on") << "MCC"
                                << "on"
                                << "On";
        QTest::newRow("MCC Off") << "MCC"
                                 << "Off"
                                 << "Off";
        QTest::newRow("cSize zero") << "cSize"
                                    << "0"
                                    << "1440000";
        QTest::newRow("cSize too big") << "cSize"
                                       << "1048576001"
                                       << "1440000";
        QTest::newRow("cSize text") << "cSize"
                                    << "abc"
                                    << "1440000";
        QTest::newRow("cSize largest") << "cSize"
                                       << "1048576000"
                                       << "1048576000";
        QTest::newRow("cNof 1") << "cNof"
                                << "1"
                                << "2";
        QTest::newRow("cNof 99999") << "cNof"
                                    << "99999"
                                    << "99999";
        QTest::newRow("cPfs 100") << "cPfs"
                                  << "100"
                                  << "50";
        QTest::newRow("JBat Jbat") << "Jbat"
                                   << "Jbat"
                                   << "Jbat";
        QTest::newRow("sSize customnof") << "sSize"
                                         << "customnof"
                                         << "customnof";
    }
    void wordsOutsideTheVocabularyFallBack() {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(QString, used);
        QCOMPARE(effectiveSetting(settingRow(*settingIdOf(name)), stored, {}), used);
    }

    void normalisingWritesBackTheValueInForce() {
        store().saveSetting(QStringLiteral("tRate"), QStringLiteral("Normal"));
        store().saveSetting(QStringLiteral("sSize"), QStringLiteral("customfs"));
        store().saveSetting(QStringLiteral("cSize"), QStringLiteral("abc"));
        store().saveSetting(QStringLiteral("cNof"), QStringLiteral("abc"));
        store().saveSetting(QStringLiteral("PkLstXpos"), QStringLiteral("abc"));
        store().saveSetting(QStringLiteral("LastUsedDir"), QStringLiteral("/no/such/folder"));
        OptionsModel(storeFile()).restoreFromStore({QStringLiteral("/tmp"), {1500, 2500}, {}});
        QCOMPARE(store().setting(QStringLiteral("tRate")), QStringLiteral("normal"));
        QCOMPARE(store().setting(QStringLiteral("cSize")), QStringLiteral("1440000"));
        QCOMPARE(store().setting(QStringLiteral("cNof")), QStringLiteral("abc"));  // not in use
        QCOMPARE(store().setting(QStringLiteral("PkLstXpos")), QStringLiteral("1500"));
        QCOMPARE(store().setting(QStringLiteral("LastUsedDir")), QStringLiteral("/tmp"));
    }

    void firstStartWritesEveryDefault() {
        const QString here = m_config.path();
        OptionsModel(storeFile()).restoreFromStore({here, {100, 200}, {}});
        const QString mismatch =
            firstStartMismatch(here, QStringLiteral("100"), QStringLiteral("200"));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(store().setting(QStringLiteral("fCheck")), QStringLiteral("fPass"));
        QCOMPARE(store().setting(QStringLiteral("NoOfFilter")), QStringLiteral("3"));
        QCOMPARE(store().setting(QStringLiteral("Version")), QStringLiteral("1"));
        const QStringList patterns = {QStringLiteral("*.mpg,*.mpeg,*.mpe"), QStringLiteral("*.mp3"),
                                      QStringLiteral("*.*")};
        const QStringList names = {QStringLiteral("Mpeg"), QStringLiteral("Mp3"),
                                   QStringLiteral("All Files")};
        for (int i = 0; i < 3; ++i) {
            const QString number = QString::number(i + 1);
            QCOMPARE(store().value(SettingsStore::FilterKey, number), patterns.at(i));
            QCOMPARE(store().value(SettingsStore::FilterInfoKey, number), names.at(i));
        }
    }

    void filterResetLeavesNoStaleNumbers() {
        store().setValue(SettingsStore::FilterKey, QStringLiteral("4"), QStringLiteral("*.avi"));
        store().setValue(SettingsStore::FilterInfoKey, QStringLiteral("4"), QStringLiteral("Avi"));
        store().saveSetting(QStringLiteral("fCheck"), QStringLiteral("tampered"));
        OptionsModel(storeFile()).restoreFromStore({m_config.path(), {}, {}});
        QCOMPARE(store().value(SettingsStore::FilterKey, QStringLiteral("4")), QString());
        QCOMPARE(store().value(SettingsStore::FilterInfoKey, QStringLiteral("4")), QString());
    }

    // A settings file that cannot be written is said once, and the options still change.
    // Two programs writing at once each keep every value of their own.
    void writesOfTwoProgramsDoNotUndoEachOther() {
        store().saveSetting(QStringLiteral("Start"), QStringLiteral("1"));
        const pid_t child = ::fork();
        const QString who = child == 0 ? QStringLiteral("child") : QStringLiteral("parent");
        for (int i = 0; i < 200; ++i) {
            store().saveSetting(who + QString::number(i), QString::number(i));
        }
        if (child == 0) {
            ::_exit(0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        SettingsStore afresh(storeFile());
        for (const QString& writer : {QStringLiteral("child"), QStringLiteral("parent")}) {
            for (int i = 0; i < 200; ++i) {
                QCOMPARE(afresh.setting(writer + QString::number(i)), QString::number(i));
            }
        }
    }

    void aFailedSaveIsReportedOnce() {
        const QString blocker = writeFile(m_config.filePath(QStringLiteral("blocker")), "x");
        const QString store = blocker + QStringLiteral("/registry.ini");
        OptionsModel options(store);
        QSignalSpy failed(&options, &OptionsModel::storeFailed);
        options.choose(SettingId::Rate, Speed::Fast);
        options.setOn(SettingId::Zip, true);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(),
                 QStringLiteral("The settings could not be saved to '") + store +
                     QStringLiteral("': Not a directory."));
        QCOMPARE(options.speed(), Speed::Fast);
        QVERIFY(options.zip());
    }

    // The old store kept its state in globals: a batch on one file held back the writes
    // of another, and a second file read the first one's values.
    void storesOnTwoFilesDoNotSeeEachOther() {
        const QString otherFile = m_config.filePath(QStringLiteral("other/registry.ini"));
        SettingsStore other(otherFile);
        {
            const SettingsStore::Batch batch(store());
            store().saveSetting(QStringLiteral("tRate"), QStringLiteral("fast"));
            other.saveSetting(QStringLiteral("tRate"), QStringLiteral("slow"));
            QVERIFY(readFile(otherFile).contains("tRate=\"slow\""));
            QVERIFY(!QFileInfo::exists(storeFile()));
        }
        QCOMPARE(SettingsStore(storeFile()).setting(QStringLiteral("tRate")),
                 QStringLiteral("fast"));
        QCOMPARE(other.setting(QStringLiteral("tRate")), QStringLiteral("slow"));
        OptionsModel first(storeFile());
        OptionsModel second(otherFile);
        first.setShowTips(false);
        second.setShowTips(true);
        QVERIFY(!first.showTips() && second.showTips());
    }

    void everySetterAnnouncesOnceARealChange_data() {
        QTest::addColumn<int>("id");
        for (const SettingRow& row : settingsTable()) {
            QTest::newRow(row.name.toUtf8().constData()) << int(row.id);
        }
    }
    void everySetterAnnouncesOnceARealChange() {
        QFETCH(int, id);
        const auto setting = static_cast<SettingId>(id);
        OptionsModel options(storeFile());
        QSignalSpy spy(&options, &OptionsModel::changed);
        const auto announced = [&] {
            const auto count =
                std::count_if(spy.cbegin(), spy.cend(), [&](const QList<QVariant>& args) {
                    return args.first().value<SettingId>() == setting;
                });
            spy.clear();
            return static_cast<int>(count);
        };
        if (settingRow(setting).kind == SettingKind::Marker) {
            store().saveSetting(settingRow(setting).name, QStringLiteral("tampered"));
            options.ResetFileFilter();
            QCOMPARE(announced(), 1);
            options.ResetFileFilter();
            QCOMPARE(announced(), 0);
            return;
        }
        setVariant(options, setting, 0);
        announced();
        for (const auto& [variant, expected] : {std::pair{0, 0}, {1, 1}, {1, 0}, {0, 1}}) {
            setVariant(options, setting, variant);
            QCOMPARE(announced(), expected);
        }
    }

    // How a later format change would go: a step moves a value under a new name; it runs
    // once, and a file from a newer program is left alone.
    void migrationStepsRunOnceInOrder() {
        QCOMPARE(migrateSettings(store()), 1);  // a file without a version is version 0
        QCOMPARE(store().setting(QStringLiteral("Version")), QStringLiteral("1"));
        const QList<SettingsMigration> later{
            settingsMigrations().first(),
            {2, [](SettingsStore& file) {
                 file.saveSetting(QStringLiteral("WrChk"), file.setting(QStringLiteral("OldChk")));
             }}};
        store().saveSetting(QStringLiteral("OldChk"), QStringLiteral("On"));
        QCOMPARE(migrateSettings(store(), later), 2);
        QCOMPARE(store().setting(QStringLiteral("WrChk")), QStringLiteral("On"));
        store().saveSetting(QStringLiteral("WrChk"), QStringLiteral("Off"));
        QCOMPARE(migrateSettings(store(), later), 2);
        QCOMPARE(store().setting(QStringLiteral("WrChk")), QStringLiteral("Off"));
        store().saveSetting(QStringLiteral("Version"), QStringLiteral("3"));
        QCOMPARE(migrateSettings(store(), later), 3);
        QCOMPARE(SettingsStore(storeFile()).setting(QStringLiteral("Version")),
                 QStringLiteral("3"));
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "test_settings_store.moc"
