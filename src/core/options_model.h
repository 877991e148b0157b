#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include "pack/transfer_rate.h"
#include "unpack/split_rule.h"

// The options the menus show with check marks, in one place. Every command sets its
// value, writes its settings word at once and announces the change; menus, the
// preferences dialog, start-up and the jobs read it here.
class OptionsModel : public QObject {
    Q_OBJECT

public:
    explicit OptionsModel(QObject* parent = nullptr);

    // A word setting (tRate, sDir, UnpkTyp, JBat, Delact, SaveTo, StartupOpt, Owrite)
    // or an on/off one (MZip, MCC, CmPack, Magnet).
    QString value(const QString& name) const;
    bool isOn(const QString& name) const { return value(name) == QLatin1String("On"); }

    // Checks `word` in its group and stores it; a word outside the vocabulary stores the
    // setting's default instead.
    void choose(const QString& name, const QString& word);
    void setOn(const QString& name, bool on);
    void toggle(const QString& name) { setOn(name, !isOn(name)); }

    TransferRate rate() const { return TransferRate::fromWord(value(QStringLiteral("tRate"))); }

    // The split rule: presets, custom choices and start-up go through these.
    const SplitRule& splitRule() const { return m_split; }
    SplitRule& splitRule() { return m_split; }
    void choosePreset(const QString& word);
    void splitRuleChanged() { Q_EMIT changed(QStringLiteral("sSize")); }

    // Start-up: every option from the store, normalised and written back, in the order
    // the main window applies them.
    void restoreFromStore();

Q_SIGNALS:
    void changed(const QString& name);

private:
    QHash<QString, QString> m_values;
    SplitRule m_split;
};
