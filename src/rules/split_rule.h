#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

#include "settings/settings_table.h"

// How every source of an unpack is cut into pieces.
enum class SplitKind { Preset, CustomSize, FirstPiece, LastPiece, Pieces, Percentage };

struct SplitPreset {
    QString word;     // its settings word
    QString caption;  // menu caption: "360K", ...
    quint64 bytes;
};

const QList<SplitPreset>& splitPresets();
QString defaultPresetWord();

// The split rule's mark for the custom entry (any custom mode) of the size menu.
inline const QString kCustomSizeEntry = QStringLiteral("custom");

struct SplitRule {
    SplitKind SplitMode = SplitKind::Preset;
    quint64 SplitSize = 0;
    int SplitCount = 2;
    int SplitPercent = 50;
    QString checkedEntry = defaultPresetWord();  // a preset word, or kCustomSizeEntry
    QString customCaption = QStringLiteral("1,440K (Custom...)");

    // True for the modes whose piece size is fixed before a source is seen.
    bool hasFixedSize() const;
};

// The settings word of a custom mode; empty for the presets. And the mode of a word
// (nothing for a preset word or any other text).
QString splitModeWord(SplitKind mode);
std::optional<SplitKind> splitModeOfWord(const QString& word);

// Where the rule's stored values are read and written: the options model.
struct SplitStore {
    std::function<QString(SettingId)> read;
    std::function<void(SettingId, const QString&)> write;
};

// A preset command: checks it, sets the rule and, given a store, stores its word. An
// unknown word is the default preset.
void applyPreset(SplitRule& rule, const QString& word, const SplitStore* store = nullptr);

// Start-up: the rule from the stored size word and the custom size, piece count and
// percentage, with their fall-backs written back.
void restoreSplitRule(SplitRule& rule, const SplitStore& store);

// The custom entry's caption: "1,440K (Custom...)", "First 100K (Custom...)",
// "50% (Custom...)", "3 Files (Custom...)".
QString customSizeCaption(SplitKind mode, const QString& valueText);

// What the preferences dialog is told of an accepted custom choice.
struct CustomSizeChoice {
    SplitKind mode = SplitKind::CustomSize;
    qint32 value = 0;  // K, percent or pieces, as entered
    QString caption;   // for the preferences list (percent without leading zeros)
};

// The custom size dialog's "&OK": validates `text` for `mode` and, when accepted,
// changes the rule. Unless `prefsOpen`, the caption changes too, and the settings when
// a store is given (the terminal program gives none).
// Returns the refusal text, or the accepted choice.
struct CustomSizeOutcome {
    QString refusal;
    CustomSizeChoice choice;
};
CustomSizeOutcome applyCustomSize(SplitRule& rule, SplitKind mode, const QString& text,
                                  bool prefsOpen, const SplitStore* store = nullptr);

// The pieces of one source of `length` bytes.
struct PiecePlan {
    quint64 pieceSize = 0;    // S
    quint64 fullPieces = 0;   // k = floor(L / S)
    quint64 pieceCount = 0;   // pieces written
    quint64 firstOffset = 0;  // where the first piece starts (L - S for a last piece)
    int digits = 3;           // width of the piece numbers
    bool lastPieceMode = false;

    quint64 pieceBytes(quint64 number, quint64 length) const;  // number from 1
};

// Nothing when the piece size works out to 0 (a percentage of a tiny source).
std::optional<PiecePlan> planPieces(SplitRule& rule, quint64 length);

// The number text of piece `number`: "001", "0012".
QString pieceNumberText(quint64 number, int digits);
