#include "core/options_model.h"

#include <QFileInfo>

#include "core/registry.h"
#include "core/text_helpers.h"

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

OptionsModel::OptionsModel(QObject* parent) : QObject(parent) {
    for (const SettingRow& row : settingsTable()) {
        if (row.kind == SettingKind::Words) {
            m_choices[static_cast<size_t>(row.id)] = defaultWordIndex(row.id);
        }
    }
    applyPreset(m_split, defaultPresetWord());
}

int OptionsModel::choice(SettingId id) const {
    return m_choices[static_cast<size_t>(id)];
}

void OptionsModel::setChoice(SettingId id, int index) {
    const bool known = index >= 0 && index < settingRow(id).words.size();
    const int used = known ? index : defaultWordIndex(id);
    m_choices[static_cast<size_t>(id)] = used;
    store(id, settingWord(id, used));
    Q_EMIT changed(id);
}

void OptionsModel::chooseWord(SettingId id, const QString& word) {
    setChoice(id, settingWordIndex(id, word));
}

void OptionsModel::store(SettingId id, const QString& text) {
    storeSetting(id, text);
    if (const QString failure = Registry::takeWriteFailure(); !failure.isEmpty()) {
        Q_EMIT storeFailed(failure);
    }
}

SplitStore OptionsModel::splitStore() {
    return {[](SettingId id) { return storedSetting(id); },
            [this](SettingId id, const QString& text) { store(id, text); }};
}

void OptionsModel::setSplitRule(const SplitRule& rule) {
    m_split = rule;
    if (rule.SplitMode == SplitKind::Preset) {
        store(SettingId::SplitSize, rule.checkedEntry);
    } else {
        store(SettingId::SplitSize, splitModeWord(rule.SplitMode));
        if (rule.SplitMode == SplitKind::Percentage) {
            store(SettingId::CustomPercent, QString::number(rule.SplitPercent));
        } else if (rule.SplitMode == SplitKind::Pieces) {
            store(SettingId::CustomPieces, QString::number(rule.SplitCount));
        } else {
            store(SettingId::CustomBytes, QString::number(rule.SplitSize));
        }
    }
    Q_EMIT changed(SettingId::SplitSize);
}

void OptionsModel::choosePreset(const QString& word) {
    const SplitStore writer = splitStore();
    applyPreset(m_split, word, &writer);
    Q_EMIT changed(SettingId::SplitSize);
}

std::optional<SplitKind> OptionsModel::storedSplitMode() const {
    return splitModeOfWord(storedSetting(SettingId::SplitSize));
}

CustomSizeOutcome OptionsModel::applyCustomSize(SplitKind mode, const QString& text,
                                                bool prefsOpen) {
    const SplitStore writer = splitStore();
    const CustomSizeOutcome outcome = ::applyCustomSize(m_split, mode, text, prefsOpen, &writer);
    if (outcome.refusal.isEmpty()) {
        Q_EMIT changed(SettingId::SplitSize);
    }
    return outcome;
}

QString OptionsModel::folder(SettingId id) const {
    return storedSetting(id);
}

void OptionsModel::setFolder(SettingId id, const QString& folder) {
    store(id, folder);
}

QString OptionsModel::settleFolder(SettingId id, const QString& fallback) {
    const QString stored = folder(id);
    const QString held = withoutTrailingSlashes(stored);
    const QString used = !stored.isEmpty() && QFileInfo(held).isDir() ? held : fallback;
    store(id, used);
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
    setFolder(folderSetting(which), folder);
    const auto [setting, word] = customEntry(which);
    setChoice(setting, word);
}

double OptionsModel::packListX() const {
    return storedSetting(SettingId::PackListX).toDouble();
}

double OptionsModel::packListY() const {
    return storedSetting(SettingId::PackListY).toDouble();
}

void OptionsModel::setPackListPosition(double x, double y) {
    store(SettingId::PackListX, QString::number(x));
    store(SettingId::PackListY, QString::number(y));
}

bool OptionsModel::showTips() const {
    return isFlagOn(storedSetting(SettingId::ShowTips));
}

void OptionsModel::setShowTips(bool show) {
    store(SettingId::ShowTips, flagText(show));
}

QString OptionsModel::restoreFromStore(const SettingsContext& context,
                                       const std::function<void()>& resetFilters) {
    normaliseSettings(context, resetFilters);
    const QString unreadable = Registry::takeWarning();
    for (const SettingId id : kRestoreOrder) {
        chooseWord(id, storedSetting(id));
        if (id == SettingId::Rate) {
            const SplitStore writer = splitStore();
            restoreSplitRule(m_split, writer);
            Q_EMIT changed(SettingId::SplitSize);
        }
    }
    return unreadable;
}
