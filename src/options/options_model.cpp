#include "options/options_model.h"

#include <QFileInfo>

#include "core/text_helpers.h"
#include "settings/settings_migration.h"

namespace {

// The options start-up applies, in its order; the split rule follows the rate.
constexpr SettingId kRestoreOrder[] = {
    SettingId::ContextMenu,  SettingId::Magnet,       SettingId::Rate,
    SettingId::Destination,  SettingId::UnpackType,   SettingId::JoinBatch,
    SettingId::DeleteAction, SettingId::SaveTo,       SettingId::Startup,
    SettingId::Overwrite,    SettingId::Zip,          SettingId::MpegCheck,
    SettingId::Checksums,    SettingId::SeamlessJoin, SettingId::CleanCuts,
};

}  // namespace

OptionsModel::OptionsModel(const QString& storePath, QObject* parent)
    : QObject(parent), m_store(storePath) {
    for (const SettingRow& row : settingsTable()) {
        if (row.kind == SettingKind::Words) {
            m_choices[static_cast<size_t>(row.id)] = defaultWordIndex(row.id);
        }
    }
    applyPreset(m_split, defaultPresetWord());
}

QString OptionsModel::storedSetting(SettingId id) const {
    return m_store.setting(settingRow(id).name);
}

void OptionsModel::storeSetting(SettingId id, const QString& text) {
    if (storedSetting(id) == text) {
        return;
    }
    m_store.saveSetting(settingRow(id).name, text);
    announce(id);
}

// Announcements wait for the outermost change, so that a listener never sees the model
// half changed (a split rule whose size is stored but whose mode is not yet).
void OptionsModel::change(const std::function<void()>& apply) {
    ++m_changeDepth;
    apply();
    if (--m_changeDepth > 0) {
        return;
    }
    if (const QString failure = m_store.takeWriteFailure(); !failure.isEmpty()) {
        Q_EMIT storeFailed(failure);
    }
    const QList<SettingId> changedIds = std::exchange(m_unannounced, {});
    for (const SettingId id : changedIds) {
        Q_EMIT changed(id);
    }
}

int OptionsModel::choice(SettingId id) const {
    return m_choices[static_cast<size_t>(id)];
}

void OptionsModel::setChoice(SettingId id, int index) {
    const bool known = index >= 0 && index < settingRow(id).words.size();
    const int used = known ? index : defaultWordIndex(id);
    change([&] {
        m_choices[static_cast<size_t>(id)] = used;
        storeSetting(id, settingWord(id, used));
    });
}

void OptionsModel::chooseWord(SettingId id, const QString& word) {
    setChoice(id, settingWordIndex(id, word));
}

SplitStore OptionsModel::splitStore() {
    return {[this](SettingId id) { return storedSetting(id); },
            [this](SettingId id, const QString& text) { storeSetting(id, text); }};
}

void OptionsModel::setSplitRule(const SplitRule& rule) {
    change([&] {
        m_split = rule;
        if (rule.SplitMode == SplitKind::Preset) {
            storeSetting(SettingId::SplitSize, rule.checkedEntry);
            return;
        }
        storeSetting(SettingId::SplitSize, splitModeWord(rule.SplitMode));
        if (rule.SplitMode == SplitKind::Percentage) {
            storeSetting(SettingId::CustomPercent, QString::number(rule.SplitPercent));
        } else if (rule.SplitMode == SplitKind::Pieces) {
            storeSetting(SettingId::CustomPieces, QString::number(rule.SplitCount));
        } else {
            storeSetting(SettingId::CustomBytes, QString::number(rule.SplitSize));
        }
    });
}

void OptionsModel::choosePreset(const QString& word) {
    change([&] {
        const SplitStore writer = splitStore();
        applyPreset(m_split, word, &writer);
    });
}

std::optional<SplitKind> OptionsModel::storedSplitMode() const {
    return splitModeOfWord(storedSetting(SettingId::SplitSize));
}

CustomSizeOutcome OptionsModel::applyCustomSize(SplitKind mode, const QString& text,
                                                bool prefsOpen) {
    CustomSizeOutcome outcome;
    change([&] {
        const SplitStore writer = splitStore();
        outcome = ::applyCustomSize(m_split, mode, text, prefsOpen, &writer);
    });
    return outcome;
}

QString OptionsModel::folder(SettingId id) const {
    return storedSetting(id);
}

void OptionsModel::setFolder(SettingId id, const QString& folder) {
    change([&] { storeSetting(id, folder); });
}

QString OptionsModel::settleFolder(SettingId id, const QString& fallback) {
    const QString stored = folder(id);
    const QString held = withoutTrailingSlashes(stored);
    QString used = !stored.isEmpty() && QFileInfo(held).isDir() ? held : fallback;
    setFolder(id, used);
    return used;
}

SettingId OptionsModel::folderSetting(FolderChoice which) {
    switch (which) {
        case FolderChoice::Save:
            return SettingId::SaveCustomDir;
        case FolderChoice::Startup:
            return SettingId::StartupCustomDir;
        case FolderChoice::Unpack:
            break;
    }
    return SettingId::UnpackCustomDir;
}

std::pair<SettingId, int> OptionsModel::customEntry(FolderChoice which) {
    switch (which) {
        case FolderChoice::Save:
            return {SettingId::SaveTo, static_cast<int>(SaveFolder::Custom)};
        case FolderChoice::Startup:
            return {SettingId::Startup, static_cast<int>(StartupFolder::Custom)};
        case FolderChoice::Unpack:
            break;
    }
    return {SettingId::Destination, static_cast<int>(UnpackDestination::CustomDir)};
}

void OptionsModel::chooseCustomFolder(FolderChoice which, const QString& folder) {
    change([&] {
        setFolder(folderSetting(which), folder);
        const auto [setting, word] = customEntry(which);
        setChoice(setting, word);
    });
}

QPointF OptionsModel::packListPosition() const {
    return {storedSetting(SettingId::PackListX).toDouble(),
            storedSetting(SettingId::PackListY).toDouble()};
}

QPointF OptionsModel::mainPosition() const {
    return {storedSetting(SettingId::MainX).toDouble(), storedSetting(SettingId::MainY).toDouble()};
}

int OptionsModel::packListDockedSides() const {
    return storedSetting(SettingId::PackListDocked).toInt();
}

void OptionsModel::setWindowPlaces(QPointF main, QPointF packList, int dockedSides) {
    change([&] {
        storeSetting(SettingId::MainX, QString::number(main.x()));
        storeSetting(SettingId::MainY, QString::number(main.y()));
        storeSetting(SettingId::PackListX, QString::number(packList.x()));
        storeSetting(SettingId::PackListY, QString::number(packList.y()));
        storeSetting(SettingId::PackListDocked, QString::number(dockedSides));
    });
}

// The file-type store writes its count and marker itself; what it changed is announced.
void OptionsModel::changeFileTypes(const std::function<void()>& apply) {
    change([&] {
        const QString count = storedSetting(SettingId::FilterCount);
        const QString marker = storedSetting(SettingId::FiltersReady);
        apply();
        if (storedSetting(SettingId::FilterCount) != count) {
            announce(SettingId::FilterCount);
        }
        if (storedSetting(SettingId::FiltersReady) != marker) {
            announce(SettingId::FiltersReady);
        }
    });
}

QList<FileFilter> OptionsModel::fileFilters(JobHost& host, bool writeCount) {
    QList<FileFilter> filters;
    changeFileTypes([&] { filters = loadFileFilters(m_store, host, writeCount); });
    return filters;
}

int OptionsModel::fileFilterCount(JobHost& host) {
    int count = 0;
    changeFileTypes([&] { count = checkedFilterCount(m_store, host); });
    return count;
}

FileFilter OptionsModel::fileFilter(int number) {
    return storedFilter(m_store, number);
}

void OptionsModel::saveFileFilters(const QList<FileFilter>& filters) {
    changeFileTypes([&] { ::saveFileFilters(m_store, filters); });
}

void OptionsModel::ResetFileFilter() {
    changeFileTypes([&] { ::ResetFileFilter(m_store); });
}

bool OptionsModel::showTips() {
    return isFlagOn(storedSetting(SettingId::ShowTips));
}

void OptionsModel::setShowTips(bool show) {
    change([&] { storeSetting(SettingId::ShowTips, flagText(show)); });
}

void OptionsModel::normaliseSettings(const SettingsContext& context) {
    const SettingsStore::Batch batch(m_store);  // one write of the file for all the values
    const auto current = [&](SettingId id) {
        if (id != SettingId::LastUsedDir) {
            return effectiveSetting(settingRow(id), storedSetting(id), context);
        }
        // A last-used folder that is gone gives way to the start-up folder, not to the
        // folder the program happened to be started in.
        SettingsContext startup = context;
        startup.currentDir = effectiveSetting(settingRow(SettingId::StartupCustomDir),
                                              storedSetting(SettingId::StartupCustomDir), context);
        return effectiveSetting(settingRow(id), storedSetting(id), startup);
    };
    const QString sizeMode = current(SettingId::SplitSize);
    for (const SettingRow& row : settingsTable()) {
        if (row.kind == SettingKind::Flag || row.kind == SettingKind::Count) {
            continue;  // the tip window and the filters look after these
        }
        if (!row.onlyWithSize.isEmpty() && !row.onlyWithSize.contains(sizeMode)) {
            continue;
        }
        if (row.kind == SettingKind::Marker) {
            if (!isValidSetting(row, storedSetting(row.id))) {
                ResetFileFilter();
            }
            continue;
        }
        storeSetting(row.id, current(row.id));
    }
}

void OptionsModel::announce(SettingId id) {
    if (!m_unannounced.contains(id)) {
        m_unannounced.append(id);
    }
}

QString OptionsModel::restoreFromStore(const SettingsContext& context) {
    change([&] {
        migrateSettings(m_store);
        normaliseSettings(context);
        // Every option is announced as it is applied, changed or not: the views learn
        // the start-up state from these.
        for (const SettingId id : kRestoreOrder) {
            chooseWord(id, storedSetting(id));
            announce(id);
            if (id == SettingId::Rate) {
                const SplitStore writer = splitStore();
                restoreSplitRule(m_split, writer);
                announce(SettingId::SplitSize);
            }
        }
    });
    return m_store.takeWarning();
}
