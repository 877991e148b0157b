#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// How every source of an unpack is cut into pieces.
enum class SplitKind { Preset, CustomSize, FirstPiece, LastPiece, Pieces, Percentage };

struct SplitPreset {
    QString word;     // settings word: "small", "low", "high", "zip"
    QString caption;  // menu caption: "360K", ...
    quint64 bytes;
};

const QList<SplitPreset>& splitPresets();

struct SplitRule {
    SplitKind SplitMode = SplitKind::Preset;
    quint64 SplitSize = 0;
    int SplitCount = 2;
    int SplitPercent = 50;
    QString checkedEntry = QStringLiteral("high");  // a preset word, or "custom"
    QString customCaption = QStringLiteral("1,440K (Custom...)");

    // True for the modes whose piece size is fixed before a source is seen.
    bool hasFixedSize() const;
};

// The settings word of a mode ("customfs", ...); empty for the presets.
QString splitModeWord(SplitKind mode);

// A preset command: checks it, sets the rule and stores its word (unless told not to).
void applyPreset(SplitRule& rule, const QString& word, bool store = true);

// Start-up: the rule from sSize, cSize, cNof and cPfs, with their fall-backs written back.
void restoreSplitRule(SplitRule& rule);

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
// changes the rule. Unless `prefsOpen`, the caption and the settings change too
// (`storeSettings` false keeps the store untouched, for the terminal program).
// Returns the refusal text, or the accepted choice.
struct CustomSizeOutcome {
    QString refusal;
    CustomSizeChoice choice;
};
CustomSizeOutcome applyCustomSize(SplitRule& rule, SplitKind mode, const QString& text,
                                  bool prefsOpen, bool storeSettings = true);

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
