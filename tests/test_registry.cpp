#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

#include "core/file_filter_store.h"
#include "core/options_model.h"
#include "core/registry.h"
#include "core/settings_table.h"
#include "support/test_files.h"

class RegistryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;
    QString storeFile() const {
        return m_config.filePath(QStringLiteral("TarvikZarvo/registry.ini"));
    }
    QString root() const { return Registry::SettingsRoot; }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())); }

    void init() {
        QDir(m_config.path()).removeRecursively();
        QDir().mkpath(m_config.path());
    }

    void storeLivesUnderTheUsersConfigFolder() {
        QCOMPARE(Registry::storePath(), storeFile());
        Registry::saveSetting(QStringLiteral("MZip"), QStringLiteral("On"));
        QVERIFY(readFile(storeFile()).contains("MZip=\"On\""));
    }

    void namesMatchWithoutCase() {
        Registry::SaveStringValue(root(), QStringLiteral("Magnet"), QStringLiteral("On"));
        QCOMPARE(Registry::GetStringValue(root(), QStringLiteral("MAGNET")), QStringLiteral("On"));
        QCOMPARE(Registry::GetStringValue(QStringLiteral("software\\tarvik\\zarvo"),
                                          QStringLiteral("magnet")),
                 QStringLiteral("On"));
        // The two spellings the program uses are one value.
        Registry::SaveStringValue(root(), QStringLiteral("UnPkTyp"), QStringLiteral("EMH"));
        Registry::SaveStringValue(root(), QStringLiteral("UnpkTyp"), QStringLiteral("RAW"));
        QCOMPARE(Registry::GetStringValue(root(), QStringLiteral("UnPkTyp")),
                 QStringLiteral("RAW"));
        QCOMPARE(readFile(storeFile()).count("nPkTyp="), 1);
    }

    void missingOrOtherTypedValuesGiveTheDefault() {
        QCOMPARE(Registry::GetStringValue(root(), QStringLiteral("tRate"), QStringLiteral("d")),
                 QStringLiteral("d"));
    }

    void textsRoundTripAndEndAtNul() {
        const QString awkward = QStringLiteral("a \"quoted\" \\path\\\nsecond line=x ");
        Registry::saveSetting(QStringLiteral("Awkward"), awkward);
        QCOMPARE(Registry::setting(QStringLiteral("Awkward")), awkward);
        Registry::saveSetting(QStringLiteral("Nul"), QString::fromUtf16(u"ab\0cd", 5));
        QCOMPARE(Registry::setting(QStringLiteral("Nul")), QStringLiteral("ab"));
        Registry::saveSetting(QStringLiteral("Empty"), QString());
        QCOMPARE(Registry::setting(QStringLiteral("Empty"), QStringLiteral("default")), QString());
    }

    void deleteKeyRemovesOnlyALeaf() {
        Registry::SaveStringValue(Registry::FilterKey, QStringLiteral("1"), QStringLiteral("*.a"));
        Registry::saveSetting(QStringLiteral("MCC"), QStringLiteral("On"));
        Registry::DeleteKey(root());  // still has a subkey: left alone
        QCOMPARE(Registry::setting(QStringLiteral("MCC")), QStringLiteral("On"));
        Registry::DeleteKey(Registry::FilterKey);
        QCOMPARE(Registry::GetStringValue(Registry::FilterKey, QStringLiteral("1")), QString());
        Registry::DeleteKey(QStringLiteral("No\\Such\\Key"));
        QCOMPARE(Registry::setting(QStringLiteral("MCC")), QStringLiteral("On"));
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
            QCOMPARE(Registry::setting(QStringLiteral("MCC")), QStringLiteral("Off"));
            QCOMPARE(Registry::setting(QStringLiteral("tRate")), QStringLiteral("fast"));
            Registry::saveSetting(QStringLiteral("MZip"), QStringLiteral("On"));
            QCOMPARE(readFile(storeFile() + QLatin1String(backup)), content);
            QVERIFY(!readFile(storeFile()).contains(damage));
            QCOMPARE(Registry::setting(QStringLiteral("tRate")), QStringLiteral("fast"));
        }
    }

    void anUnreadableStoreIsLeftAlone() {
        QDir().mkpath(storeFile());  // a folder where the file should be
        QCOMPARE(Registry::setting(QStringLiteral("MCC"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        Registry::saveSetting(QStringLiteral("MZip"), QStringLiteral("On"));
        QVERIFY(QFileInfo(storeFile()).isDir());
        QVERIFY(
            Registry::takeWarning().contains(QStringLiteral("cannot be read (it is a folder)")));
        QCOMPARE(Registry::takeWarning(), QString());  // said once
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
        Registry::saveSetting(name, stored);
        QCOMPARE(currentSetting(*settingIdOf(name)), used);
    }

    void normalisingWritesBackTheValueInForce() {
        Registry::saveSetting(QStringLiteral("tRate"), QStringLiteral("Normal"));
        Registry::saveSetting(QStringLiteral("sSize"), QStringLiteral("customfs"));
        Registry::saveSetting(QStringLiteral("cSize"), QStringLiteral("abc"));
        Registry::saveSetting(QStringLiteral("cNof"), QStringLiteral("abc"));
        Registry::saveSetting(QStringLiteral("PkLstXpos"), QStringLiteral("abc"));
        Registry::saveSetting(QStringLiteral("LastUsedDir"), QStringLiteral("/no/such/folder"));
        normaliseSettings({QStringLiteral("/tmp"), 1500, 2500}, ResetFileFilter);
        QCOMPARE(Registry::setting(QStringLiteral("tRate")), QStringLiteral("normal"));
        QCOMPARE(Registry::setting(QStringLiteral("cSize")), QStringLiteral("1440000"));
        QCOMPARE(Registry::setting(QStringLiteral("cNof")), QStringLiteral("abc"));  // not in use
        QCOMPARE(Registry::setting(QStringLiteral("PkLstXpos")), QStringLiteral("1500"));
        QCOMPARE(Registry::setting(QStringLiteral("LastUsedDir")), QStringLiteral("/tmp"));
    }

    void firstStartWritesEveryDefault() {
        const QString here = m_config.path();
        normaliseSettings({here, 100, 200}, ResetFileFilter);
        const QString mismatch =
            firstStartMismatch(here, QStringLiteral("100"), QStringLiteral("200"));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(Registry::setting(QStringLiteral("fCheck")), QStringLiteral("fPass"));
        QCOMPARE(Registry::setting(QStringLiteral("NoOfFilter")), QStringLiteral("3"));
        const QStringList patterns = {QStringLiteral("*.mpg,*.mpeg,*.mpe"), QStringLiteral("*.mp3"),
                                      QStringLiteral("*.*")};
        const QStringList names = {QStringLiteral("Mpeg"), QStringLiteral("Mp3"),
                                   QStringLiteral("All Files")};
        for (int i = 0; i < 3; ++i) {
            const QString number = QString::number(i + 1);
            QCOMPARE(Registry::GetStringValue(Registry::FilterKey, number), patterns.at(i));
            QCOMPARE(Registry::GetStringValue(Registry::FilterInfoKey, number), names.at(i));
        }
    }

    void filterResetLeavesNoStaleNumbers() {
        Registry::SaveStringValue(Registry::FilterKey, QStringLiteral("4"),
                                  QStringLiteral("*.avi"));
        Registry::SaveStringValue(Registry::FilterInfoKey, QStringLiteral("4"),
                                  QStringLiteral("Avi"));
        Registry::saveSetting(QStringLiteral("fCheck"), QStringLiteral("tampered"));
        normaliseSettings({m_config.path(), 0, 0}, ResetFileFilter);
        QCOMPARE(Registry::GetStringValue(Registry::FilterKey, QStringLiteral("4")), QString());
        QCOMPARE(Registry::GetStringValue(Registry::FilterInfoKey, QStringLiteral("4")), QString());
    }

    // A settings file that cannot be written is said once, and the options still change.
    // Two programs writing at once each keep every value of their own.
    void writesOfTwoProgramsDoNotUndoEachOther() {
        Registry::saveSetting(QStringLiteral("Start"), QStringLiteral("1"));
        const pid_t child = ::fork();
        const QString who = child == 0 ? QStringLiteral("child") : QStringLiteral("parent");
        for (int i = 0; i < 200; ++i) {
            Registry::saveSetting(who + QString::number(i), QString::number(i));
        }
        if (child == 0) {
            ::_exit(0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        Registry::setStorePath(QString());  // read the file afresh
        for (const QString& writer : {QStringLiteral("child"), QStringLiteral("parent")}) {
            for (int i = 0; i < 200; ++i) {
                QCOMPARE(Registry::setting(writer + QString::number(i)), QString::number(i));
            }
        }
    }

    void aFailedSaveIsReportedOnce() {
        const QString blocker = writeFile(m_config.filePath(QStringLiteral("blocker")), "x");
        const QString store = blocker + QStringLiteral("/registry.ini");
        Registry::setStorePath(store);
        OptionsModel options;
        QSignalSpy failed(&options, &OptionsModel::storeFailed);
        options.choose(SettingId::Rate, Speed::Fast);
        options.setOn(SettingId::Zip, true);
        Registry::setStorePath(QString());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(),
                 QStringLiteral("The settings could not be saved to '") + store +
                     QStringLiteral("': Not a directory."));
        QCOMPARE(options.speed(), Speed::Fast);
        QVERIFY(options.zip());
    }
};

QTEST_GUILESS_MAIN(RegistryTest)
#include "test_registry.moc"
