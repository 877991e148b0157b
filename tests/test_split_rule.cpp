#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "rules/split_rule.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "support/test_files.h"

namespace {

// The settings file, as the options model gives it to the split rule.
QString readSetting(SettingId id) {
    return storedValue(settingRow(id).name);
}
void writeSetting(SettingId id, const QString& text) {
    storeValue(settingRow(id).name, text);
}
const SplitStore kStore{readSetting, writeSetting};

SplitRule ruleOf(SplitKind kind, quint64 size, int count = 2, int percent = 50) {
    SplitRule rule;
    rule.SplitMode = kind;
    rule.SplitSize = size;
    rule.SplitCount = count;
    rule.SplitPercent = percent;
    return rule;
}

// "1440000+1440000+220000": the bytes of every piece of a plan.
QString pieces(const PiecePlan& plan, quint64 length) {
    QStringList sizes;
    for (quint64 n = 1; n <= plan.pieceCount; ++n) {
        sizes.append(QString::number(plan.pieceBytes(n, length)));
    }
    return sizes.join(QLatin1Char('+'));
}

}  // namespace

class SplitRuleTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void init() { QFile::remove(SettingsStore::defaultPath()); }

    void plans_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<quint64>("size");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("percent");
        QTest::addColumn<quint64>("length");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("digits");
        const int preset = int(SplitKind::Preset);
        const int pieces = int(SplitKind::Pieces);
        QTest::newRow("3,100,000 with 1,440K") << preset << quint64(1440000) << 2 << 50
                                               << quint64(3100000) << "1440000+1440000+220000" << 3;
        QTest::newRow("10 in 3") << pieces << quint64(0) << 3 << 50 << quint64(10) << "4+4+2" << 3;
        QTest::newRow("10 in 4") << pieces << quint64(0) << 4 << 50 << quint64(10) << "4+4+2" << 3;
        QTest::newRow("10 in 5") << pieces << quint64(0) << 5 << 50 << quint64(10) << "2+2+2+2+2"
                                 << 3;
        QTest::newRow("3 in 5") << pieces << quint64(0) << 5 << 50 << quint64(3) << "3" << 3;
        QTest::newRow("100 in 7") << pieces << quint64(0) << 7 << 50 << quint64(100)
                                  << "16+16+16+16+16+16+4" << 3;
        QTest::newRow("1,000,000 in 3")
            << pieces << quint64(0) << 3 << 50 << quint64(1000000) << "333334+333334+333332" << 3;
        QTest::newRow("1,001 at 50%") << int(SplitKind::Percentage) << quint64(0) << 2 << 50
                                      << quint64(1001) << "500+500+1" << 3;
        QTest::newRow("exact multiple")
            << preset << quint64(360000) << 2 << 50 << quint64(720000) << "360000+360000" << 3;
        QTest::newRow("one whole piece")
            << preset << quint64(1440000) << 2 << 50 << quint64(1440000) << "1440000" << 3;
        QTest::newRow("first piece") << int(SplitKind::FirstPiece) << quint64(102400) << 2 << 50
                                     << quint64(1000000) << "102400" << 3;
        QTest::newRow("last piece") << int(SplitKind::LastPiece) << quint64(102400) << 2 << 50
                                    << quint64(1000000) << "102400" << 3;
        QTest::newRow("first 1K of 1 GiB") << int(SplitKind::FirstPiece) << quint64(1024) << 2 << 50
                                           << quint64(1073741824) << "1024" << 7;
    }
    void plans() {
        QFETCH(int, kind);
        QFETCH(quint64, size);
        QFETCH(int, count);
        QFETCH(int, percent);
        QFETCH(quint64, length);
        QFETCH(QString, expected);
        QFETCH(int, digits);
        SplitRule rule = ruleOf(static_cast<SplitKind>(kind), size, count, percent);
        const auto plan = planPieces(rule, length);
        QVERIFY(plan.has_value());
        QCOMPARE(pieces(*plan, length), expected);
        QCOMPARE(plan->digits, digits);
        if (rule.SplitMode == SplitKind::LastPiece) {
            QCOMPARE(plan->firstOffset, length - size);
        }
    }

    void digitsFollowTheFullPieceCount_data() {
        QTest::addColumn<quint64>("length");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("lastNumber");
        QTest::newRow("998 full + remainder") << quint64(998 * 10 + 5) << 3 << "999";
        QTest::newRow("999 full, no remainder") << quint64(999 * 10) << 4 << "0999";
        QTest::newRow("999 full + remainder") << quint64(999 * 10 + 5) << 4 << "1000";
    }
    void digitsFollowTheFullPieceCount() {
        QFETCH(quint64, length);
        QFETCH(int, digits);
        QFETCH(QString, lastNumber);
        SplitRule rule = ruleOf(SplitKind::CustomSize, 10);
        const auto plan = planPieces(rule, length);
        QCOMPARE(plan->digits, digits);
        QCOMPARE(pieceNumberText(plan->pieceCount, plan->digits), lastNumber);
        QCOMPARE(pieceNumberText(1, plan->digits), QLatin1String(digits == 3 ? "001" : "0001"));
    }

    void zeroPieceSizeHasNoPlan() {
        SplitRule rule = ruleOf(SplitKind::Percentage, 0, 2, 50);
        QVERIFY(!planPieces(rule, 1).has_value());
    }

    void presetsCountKAsThousand() {
        SplitRule rule;
        const QList<quint64> bytes = {360000, 1200000, 1440000, 100000000};
        for (qsizetype i = 0; i < splitPresets().size(); ++i) {
            applyPreset(rule, splitPresets().at(i).word, &kStore);
            QCOMPARE(rule.SplitSize, bytes.at(i));
            QCOMPARE(rule.SplitMode, SplitKind::Preset);
            QCOMPARE(storedValue(QStringLiteral("sSize")), splitPresets().at(i).word);
        }
    }

    void customDialogRefusals_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        const QString size = QStringLiteral("Filesize must be between 1K to 1024000K.");
        const QString percent = QStringLiteral("Filesize must be between 1% to 99%.");
        const QString count = QStringLiteral("Numbers of files must be between 2 to 99999.");
        QTest::newRow("0 K") << int(SplitKind::CustomSize) << "0" << size;
        QTest::newRow("empty") << int(SplitKind::FirstPiece) << "" << size;
        QTest::newRow("1,024,001 K") << int(SplitKind::LastPiece) << "1024001" << size;
        QTest::newRow("1 K") << int(SplitKind::CustomSize) << "1" << QString();
        QTest::newRow("1,024,000 K") << int(SplitKind::CustomSize) << "1024000" << QString();
        QTest::newRow("100 %") << int(SplitKind::Percentage) << "100" << percent;
        QTest::newRow("0 %") << int(SplitKind::Percentage) << "0" << percent;
        QTest::newRow("1 %") << int(SplitKind::Percentage) << "1" << QString();
        QTest::newRow("99 %") << int(SplitKind::Percentage) << "99" << QString();
        QTest::newRow("1 piece") << int(SplitKind::Pieces) << "1" << count;
        QTest::newRow("100,000 pieces") << int(SplitKind::Pieces) << "100000" << count;
        QTest::newRow("2 pieces") << int(SplitKind::Pieces) << "2" << QString();
        QTest::newRow("99,999 pieces") << int(SplitKind::Pieces) << "99999" << QString();
    }
    void customDialogRefusals() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        SplitRule rule;
        applyPreset(rule, QStringLiteral("zip"), &kStore);
        const CustomSizeOutcome outcome =
            applyCustomSize(rule, static_cast<SplitKind>(kind), text, false, &kStore);
        QCOMPARE(outcome.refusal, refusal);
        QCOMPARE(rule.checkedEntry,
                 refusal.isEmpty() ? QStringLiteral("custom") : QStringLiteral("zip"));
    }

    void customChoiceSetsRuleCaptionAndStore_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("stored");
        QTest::newRow("1440K") << int(SplitKind::CustomSize) << "1440"
                               << "1,440K (Custom...)"
                               << "customfs"
                               << "cSize"
                               << "1474560";
        QTest::newRow("first 100K") << int(SplitKind::FirstPiece) << "100"
                                    << "First 100K (Custom...)"
                                    << "customffs"
                                    << "cSize"
                                    << "102400";
        QTest::newRow("last 2000K") << int(SplitKind::LastPiece) << "2000"
                                    << "Last 2,000K (Custom...)"
                                    << "customlfs"
                                    << "cSize"
                                    << "2048000";
        QTest::newRow("05%") << int(SplitKind::Percentage) << "05"
                             << "05% (Custom...)"
                             << "custompfs"
                             << "cPfs"
                             << "05";
        QTest::newRow("3 files") << int(SplitKind::Pieces) << "3"
                                 << "3 Files (Custom...)"
                                 << "customnof"
                                 << "cNof"
                                 << "3";
    }
    void customChoiceSetsRuleCaptionAndStore() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(QString, word);
        QFETCH(QString, setting);
        QFETCH(QString, stored);
        SplitRule rule;
        const CustomSizeOutcome outcome =
            applyCustomSize(rule, static_cast<SplitKind>(kind), text, false, &kStore);
        QVERIFY(outcome.refusal.isEmpty());
        QCOMPARE(rule.customCaption, caption);
        QCOMPARE(storedValue(QStringLiteral("sSize")), word);
        QCOMPARE(storedValue(setting), stored);
        QCOMPARE(outcome.choice.value, text.toInt());
        if (rule.SplitMode == SplitKind::Percentage) {
            QCOMPARE(outcome.choice.caption, QStringLiteral("5% (Custom...)"));
        }
    }

    void fromPreferencesOnlyTheRuleChanges() {
        SplitRule rule;
        applyPreset(rule, QStringLiteral("small"), &kStore);
        const CustomSizeOutcome outcome =
            applyCustomSize(rule, SplitKind::CustomSize, QStringLiteral("10"), true, &kStore);
        QVERIFY(outcome.refusal.isEmpty());
        QCOMPARE(rule.SplitSize, quint64(10240));
        QCOMPARE(rule.checkedEntry, QStringLiteral("custom"));
        QCOMPARE(rule.customCaption, QStringLiteral("1,440K (Custom...)"));
        QCOMPARE(storedValue(QStringLiteral("sSize")), QStringLiteral("small"));
        QCOMPARE(outcome.choice.caption, QStringLiteral("10K (Custom...)"));
    }

    void restoreFromTheStore_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<quint64>("size");
        QTest::addColumn<QString>("writtenBack");
        QTest::newRow("customfs 1474560") << "customfs"
                                          << "cSize"
                                          << "1474560"
                                          << "1,440K (Custom...)" << quint64(1474560) << "1474560";
        QTest::newRow("customfs 1440000") << "customfs"
                                          << "cSize"
                                          << "1440000"
                                          << "1,406K (Custom...)" << quint64(1440000) << "1440000";
        QTest::newRow("customfs rounds") << "customfs"
                                         << "cSize"
                                         << "1048575"
                                         << "1,024K (Custom...)" << quint64(1048575) << "1048575";
        QTest::newRow("customffs bad")
            << "customffs"
            << "cSize"
            << "abc"
            << "First 1,440K (Custom...)" << quint64(1440000) << "1440000";
        QTest::newRow("customlfs 0") << "customlfs"
                                     << "cSize"
                                     << "0"
                                     << "Last 1,440K (Custom...)" << quint64(1440000) << "1440000";
        QTest::newRow("custompfs 05") << "custompfs"
                                      << "cPfs"
                                      << "05"
                                      << "05% (Custom...)" << quint64(0) << "05";
        QTest::newRow("custompfs 100") << "custompfs"
                                       << "cPfs"
                                       << "100"
                                       << "50% (Custom...)" << quint64(0) << "50";
        QTest::newRow("customnof 1") << "customnof"
                                     << "cNof"
                                     << "1"
                                     << "2 Files (Custom...)" << quint64(0) << "2";
        QTest::newRow("unknown word") << "huge"
                                      << "cSize"
                                      << "5"
                                      << "1,440K (Custom...)" << quint64(1440000) << "5";
    }
    void restoreFromTheStore() {
        QFETCH(QString, word);
        QFETCH(QString, setting);
        QFETCH(QString, stored);
        QFETCH(QString, caption);
        QFETCH(quint64, size);
        QFETCH(QString, writtenBack);
        storeValue(QStringLiteral("sSize"), word);
        storeValue(setting, stored);
        SplitRule rule;
        restoreSplitRule(rule, kStore);
        QCOMPARE(rule.customCaption, caption);
        if (size != 0) {
            QCOMPARE(rule.SplitSize, size);
        }
        QCOMPARE(storedValue(setting), writtenBack);
        QCOMPARE(storedValue(QStringLiteral("sSize")),
                 word == QLatin1String("huge") ? QStringLiteral("high") : word);
    }
};

QTEST_GUILESS_MAIN(SplitRuleTest)
#include "test_split_rule.moc"
