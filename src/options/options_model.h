#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <utility>

#include "rules/split_rule.h"
#include "rules/transfer_rate.h"
#include "settings/file_filter_store.h"
#include "settings/option_types.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"

class JobHost;

// The user's options in one place, and the only reader and writer of the settings
// store, which it owns. Every change is stored at once and announced, once per setting
// whose stored value really changed, after the model is consistent again; menus, the
// preferences dialog, start-up and the jobs read it here.
class OptionsModel : public QObject {
    Q_OBJECT

public:
    explicit OptionsModel(const QString& storePath = SettingsStore::defaultPath(),
                          QObject* parent = nullptr);

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

    // Where the windows stand, in twips, the sides the pack list is docked to (bits of
    // `DockedFlags`), and their change.
    QPointF packListPosition() const;
    QPointF mainPosition() const;
    int packListDockedSides() const;
    void setWindowPlaces(QPointF main, QPointF packList, int dockedSides);

    // The user's file types (see file_filter_store.h). A damaged count is told to
    // `host` and the defaults written.
    QList<FileFilter> fileFilters(JobHost& host, bool writeCount = true);
    int fileFilterCount(JobHost& host);
    FileFilter fileFilter(int number);
    void saveFileFilters(const QList<FileFilter>& filters);
    void ResetFileFilter();
    // The number of file types as stored (the filters keep it themselves).
    QString fileTypeCount() const { return storedSetting(SettingId::FilterCount); }

    bool showTips();
    void setShowTips(bool show);

    // Start-up: the file brought to this program's format, every stored value back
    // inside its vocabulary (the file-type filters reset when never initialised), then
    // every option read, in the order the main window applies them, each announced.
    // The returned text says why the settings file could not be read, or is empty.
    QString restoreFromStore(const SettingsContext& context);

Q_SIGNALS:
    void changed(SettingId id);
    // A change could not be written; sent once per run.
    void storeFailed(const QString& text);

private:
    QString storedSetting(SettingId id) const;
    // Stores `text`; the setting is announced at the end of the change when it differs.
    void storeSetting(SettingId id, const QString& text);
    // Runs one change of the model and then announces what it changed.
    void change(const std::function<void()>& apply);
    void announce(SettingId id);
    void changeFileTypes(const std::function<void()>& apply);
    void chooseWord(SettingId id, const QString& word);
    void normaliseSettings(const SettingsContext& context);
    SplitStore splitStore();

    mutable SettingsStore m_store;  // reading may parse the file again
    std::array<int, settingCount()> m_choices{};
    SplitRule m_split;
    QList<SettingId> m_unannounced;
    int m_changeDepth = 0;
};
