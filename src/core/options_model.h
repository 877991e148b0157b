#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <utility>

#include "core/option_types.h"
#include "core/settings_table.h"
#include "core/split_rule.h"
#include "core/transfer_rate.h"

// The user's options in one place, and the only reader and writer of the settings
// store outside start-up's normalisation. Every change is stored at once and
// announced; menus, the preferences dialog, start-up and the jobs read it here.
class OptionsModel : public QObject {
    Q_OBJECT

public:
    explicit OptionsModel(QObject* parent = nullptr);

    // A words setting as the index of its word (its enum value), and its change. An
    // index outside the words stores the setting's default.
    int choice(SettingId id) const;
    void setChoice(SettingId id, int index);
    template <typename Choice>
    void choose(SettingId id, Choice value) {
        setChoice(id, static_cast<int>(value));
    }

    // The On/Off settings.
    bool isOn(SettingId id) const { return choice(id) == kOnIndex; }
    void setOn(SettingId id, bool on) { setChoice(id, on ? kOnIndex : kOffIndex); }
    void toggle(SettingId id) { setOn(id, !isOn(id)); }

    Speed speed() const { return static_cast<Speed>(choice(SettingId::Rate)); }
    TransferRate rate() const { return TransferRate::of(speed()); }
    UnpackType unpackType() const { return static_cast<UnpackType>(choice(SettingId::UnpackType)); }
    UnpackDestination destination() const {
        return static_cast<UnpackDestination>(choice(SettingId::Destination));
    }
    JoinBatchMode batchMode() const {
        return static_cast<JoinBatchMode>(choice(SettingId::JoinBatch));
    }
    DeleteAction deleteAction() const {
        return static_cast<DeleteAction>(choice(SettingId::DeleteAction));
    }
    OverwritePolicy overwritePolicy() const {
        return static_cast<OverwritePolicy>(choice(SettingId::Overwrite));
    }
    SaveFolder saveTo() const { return static_cast<SaveFolder>(choice(SettingId::SaveTo)); }
    StartupFolder startup() const { return static_cast<StartupFolder>(choice(SettingId::Startup)); }
    bool zip() const { return isOn(SettingId::Zip); }
    bool mpegCheck() const { return isOn(SettingId::MpegCheck); }
    bool checksums() const { return isOn(SettingId::Checksums); }
    bool seamlessJoin() const { return isOn(SettingId::SeamlessJoin); }
    bool cleanCuts() const { return isOn(SettingId::CleanCuts); }

    // The split rule. Every change goes through these, which store and announce it.
    const SplitRule& splitRule() const { return m_split; }
    void setSplitRule(const SplitRule& rule);
    void choosePreset(const QString& word);
    // The custom mode the store holds, if any (the custom size dialog opens on it).
    std::optional<SplitKind> storedSplitMode() const;
    // The custom size dialog's "&OK" (see applyCustomSize in split_rule.h).
    CustomSizeOutcome applyCustomSize(SplitKind mode, const QString& text, bool prefsOpen);

    // The folders, as stored (a directory setting), and their change.
    QString folder(SettingId id) const;
    void setFolder(SettingId id, const QString& folder);
    // The setting that holds a folder choice's custom folder, and the setting and word of
    // the custom entry it checks.
    static SettingId folderSetting(FolderChoice which);
    static std::pair<SettingId, int> customEntry(FolderChoice which);
    // Stores the folder and checks the custom entry of its choice.
    void chooseCustomFolder(FolderChoice which, const QString& folder);
    // Start-up: the stored folder when it still exists (without a trailing "/"), else
    // `fallback`; the folder in force is stored.
    QString settleFolder(SettingId id, const QString& fallback);

    // Where the pack list window stands, in twips, and its change.
    double packListX() const;
    double packListY() const;
    void setPackListPosition(double x, double y);

    // The number of file types as stored (the filters keep it themselves).
    QString fileTypeCount() const { return storedSetting(SettingId::FilterCount); }

    bool showTips() const;
    void setShowTips(bool show);

    // Start-up: every stored value back inside its vocabulary (the file-type filters
    // reset by `resetFilters` when never initialised), then every option read, in the
    // order the main window applies them. The returned text says why the settings file
    // could not be read, or is empty.
    QString restoreFromStore(const SettingsContext& context,
                             const std::function<void()>& resetFilters);

Q_SIGNALS:
    void changed(SettingId id);
    // A change could not be written; sent once per run.
    void storeFailed(const QString& text);

private:
    void store(SettingId id, const QString& text);
    void chooseWord(SettingId id, const QString& word);
    SplitStore splitStore();

    std::array<int, settingCount()> m_choices{};
    SplitRule m_split;
};
