#include "rules/split_rule.h"

#include <cmath>

#include "core/text_helpers.h"
#include "settings/settings_table.h"

namespace {

constexpr quint64 kDefaultCustomBytes = 1440000;
const QString kCustom = QStringLiteral(" (Custom...)");

QString sizePrefix(SplitKind mode) {
    if (mode == SplitKind::FirstPiece) {
        return QStringLiteral("First ");
    }
    return mode == SplitKind::LastPiece ? QStringLiteral("Last ") : QString();
}

void checkCustom(SplitRule& rule, SplitKind mode) {
    rule.checkedEntry = kCustomSizeEntry;
    rule.SplitMode = mode;
}

bool isSizeMode(SplitKind mode) {
    return mode == SplitKind::CustomSize || mode == SplitKind::FirstPiece ||
           mode == SplitKind::LastPiece;
}

// A stored whole number inside the setting's range, or nothing.
std::optional<quint64> storedNumber(const SplitStore& store, SettingId id) {
    const QString text = store.read(id);
    if (!isValidSetting(settingRow(id), text)) {
        return std::nullopt;
    }
    return text.trimmed().toULongLong();
}

void restoreSizeMode(SplitRule& rule, SplitKind mode, const SplitStore& store) {
    checkCustom(rule, mode);
    if (const auto bytes = storedNumber(store, SettingId::CustomBytes)) {
        rule.SplitSize = *bytes;
        // "#,###" rounds: 1,048,575 bytes are 1,024K, not 1,023K.
        rule.customCaption = customSizeCaption(
            mode, sizeText(static_cast<quint64>(std::llround(static_cast<double>(*bytes) / 1024))));
        return;
    }
    rule.SplitSize = kDefaultCustomBytes;
    rule.customCaption = customSizeCaption(mode, QStringLiteral("1,440"));
    store.write(SettingId::SplitSize, splitModeWord(mode));
    store.write(SettingId::CustomBytes, QString::number(kDefaultCustomBytes));
}

// The piece count or percentage: the stored text in range, else the default, written back.
void restoreCountMode(SplitRule& rule, SplitKind mode, SettingId id, int* field,
                      const SplitStore& store) {
    checkCustom(rule, mode);
    const SettingRow& row = settingRow(id);
    const QString text = store.read(id);
    if (isValidSetting(row, text)) {
        *field = text.trimmed().toInt();
        rule.customCaption = customSizeCaption(mode, text);
        return;
    }
    *field = row.defaultValue.toInt();
    rule.customCaption = customSizeCaption(mode, row.defaultValue);
    store.write(SettingId::SplitSize, splitModeWord(mode));
    store.write(id, row.defaultValue);
}

struct Limits {
    qint64 low;  // the value must be greater than this
    qint64 high;
    const char* refusal;
};

Limits limitsOf(SplitKind mode) {
    if (mode == SplitKind::Percentage) {
        return {0, 99, "Filesize must be between 1% to 99%."};
    }
    if (mode == SplitKind::Pieces) {
        return {1, 99999, "Numbers of files must be between 2 to 99999."};
    }
    return {0, 1024000, "Filesize must be between 1K to 1024000K."};
}

}  // namespace

const QList<SplitPreset>& splitPresets() {
    static const QList<SplitPreset> presets = [] {
        const QStringList words = splitPresetWords();
        return QList<SplitPreset>{
            {words.at(0), QStringLiteral("360K"), 360000},
            {words.at(1), QStringLiteral("1,200K"), 1200000},
            {words.at(2), QStringLiteral("1,440K"), 1440000},
            {words.at(3), QStringLiteral("Zip 100"), 100000000},
        };
    }();
    return presets;
}

QString defaultPresetWord() {
    return settingRow(SettingId::SplitSize).defaultValue;
}

bool SplitRule::hasFixedSize() const {
    return SplitMode != SplitKind::Pieces && SplitMode != SplitKind::Percentage;
}

QString splitModeWord(SplitKind mode) {
    if (mode == SplitKind::Preset) {
        return QString();
    }
    return splitModeWords().value(static_cast<int>(mode) - static_cast<int>(SplitKind::CustomSize));
}

std::optional<SplitKind> splitModeOfWord(const QString& word) {
    const qsizetype index = splitModeWords().indexOf(word);
    if (index < 0) {
        return std::nullopt;
    }
    return static_cast<SplitKind>(static_cast<int>(SplitKind::CustomSize) + index);
}

void applyPreset(SplitRule& rule, const QString& word, const SplitStore* store) {
    for (const SplitPreset& preset : splitPresets()) {
        if (preset.word == word) {
            rule.checkedEntry = preset.word;
            rule.SplitMode = SplitKind::Preset;
            rule.SplitSize = preset.bytes;
            if (store != nullptr) {
                store->write(SettingId::SplitSize, preset.word);
            }
            return;
        }
    }
    applyPreset(rule, defaultPresetWord(), store);
}

void restoreSplitRule(SplitRule& rule, const SplitStore& store) {
    const QString word = store.read(SettingId::SplitSize);
    const std::optional<SplitKind> mode = splitModeOfWord(word);
    if (!mode) {
        applyPreset(rule, word, &store);
    } else if (*mode == SplitKind::Percentage) {
        restoreCountMode(rule, *mode, SettingId::CustomPercent, &rule.SplitPercent, store);
    } else if (*mode == SplitKind::Pieces) {
        restoreCountMode(rule, *mode, SettingId::CustomPieces, &rule.SplitCount, store);
    } else {
        restoreSizeMode(rule, *mode, store);
    }
}

QString customSizeCaption(SplitKind mode, const QString& valueText) {
    if (mode == SplitKind::Percentage) {
        return valueText + QLatin1Char('%') + kCustom;
    }
    if (mode == SplitKind::Pieces) {
        return valueText + QStringLiteral(" Files") + kCustom;
    }
    return sizePrefix(mode) + valueText + QLatin1Char('K') + kCustom;
}

CustomSizeOutcome applyCustomSize(SplitRule& rule, SplitKind mode, const QString& text,
                                  bool prefsOpen, const SplitStore* store) {
    const Limits limits = limitsOf(mode);
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value <= limits.low || value > limits.high) {
        return {QLatin1String(limits.refusal), {}};
    }
    checkCustom(rule, mode);
    if (isSizeMode(mode)) {
        rule.SplitSize = static_cast<quint64>(value) * 1024;
    } else if (mode == SplitKind::Percentage) {
        rule.SplitPercent = static_cast<int>(value);
    } else {
        rule.SplitCount = static_cast<int>(value);
    }
    const QString shown = isSizeMode(mode) ? sizeText(static_cast<quint64>(value)) : text;
    if (!prefsOpen) {
        rule.customCaption = customSizeCaption(mode, shown);
    }
    if (!prefsOpen && store != nullptr) {
        store->write(SettingId::SplitSize, splitModeWord(mode));
        if (isSizeMode(mode)) {
            store->write(SettingId::CustomBytes, QString::number(rule.SplitSize));
        } else {
            store->write(
                mode == SplitKind::Percentage ? SettingId::CustomPercent : SettingId::CustomPieces,
                text);
        }
    }
    CustomSizeChoice choice;
    choice.mode = mode;
    choice.value = static_cast<qint32>(value);
    choice.caption =
        customSizeCaption(mode, mode == SplitKind::Percentage ? QString::number(value) : shown);
    return {QString(), choice};
}

quint64 PiecePlan::pieceBytes(quint64 number, quint64 length) const {
    if (number <= fullPieces || pieceCount == 1) {
        return std::min(pieceSize, length);
    }
    return length - fullPieces * pieceSize;
}

std::optional<PiecePlan> planPieces(SplitRule& rule, quint64 length) {
    PiecePlan plan;
    switch (rule.SplitMode) {
        case SplitKind::Pieces: {
            const auto count = static_cast<quint64>(rule.SplitCount);
            const quint64 base = length / count;
            rule.SplitSize = base + (length - base * count);
            break;
        }
        case SplitKind::Percentage:
            rule.SplitSize = static_cast<quint64>(
                std::floor(static_cast<double>(length) * (rule.SplitPercent / 100.0)));
            break;
        default:
            break;
    }
    plan.pieceSize = rule.SplitSize;
    if (plan.pieceSize == 0) {
        return std::nullopt;
    }
    plan.fullPieces = length / plan.pieceSize;
    const quint64 digitsOf = plan.fullPieces + 1;
    plan.digits = std::max(3, static_cast<int>(QString::number(digitsOf).size()));
    if (rule.SplitMode == SplitKind::FirstPiece || rule.SplitMode == SplitKind::LastPiece) {
        plan.pieceCount = 1;
        plan.pieceSize = std::min(plan.pieceSize, length);
        plan.lastPieceMode = rule.SplitMode == SplitKind::LastPiece;
        plan.firstOffset = plan.lastPieceMode ? length - plan.pieceSize : 0;
        return plan;
    }
    plan.pieceCount = plan.fullPieces + (length > plan.fullPieces * plan.pieceSize ? 1 : 0);
    return plan;
}

QString pieceNumberText(quint64 number, int digits) {
    return QStringLiteral("%1").arg(number, digits, 10, QLatin1Char('0'));
}
