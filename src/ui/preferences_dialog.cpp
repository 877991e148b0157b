#include "ui/preferences_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/job_host.h"
#include "options/options_model.h"
#include "ui/skin_widget.h"

// One page of the dialog, in the order of the page list, and the option it shows: the
// option's list entries and the settings word each stands for.
struct PreferencesDialog::Option {
    const char* page = "";                            // its title in the page list
    bool opensGroup = false;                          // a separator line comes before it
    std::optional<SettingId> setting = std::nullopt;  // none: the page shows no option
    const char* label = "";
    QStringList entries = {};
    QList<int> words = {};                              // per entry; -1 for the custom size entry
    std::optional<FolderChoice> folder = std::nullopt;  // the entry of `customWord` chooses one
    int customWord = -1;
    bool resetKeepsChoice = false;
    // Where the dialog put it.
    int pageRow = -1;
    int row = -1;
    QComboBox* list = nullptr;
    QLineEdit* box = nullptr;
};

namespace {

const QString kSeparator(20, QLatin1Char('_'));

// Where the rows of read-only boxes and the one visible list sit.
constexpr int kListY = 434;
constexpr int kFilterCountRow = 15;
int rowY(int row) {
    return 8 + row * 26;
}

QStringList texts(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items) {
        list.append(QLatin1String(item));
    }
    return list;
}

QString customText(const QString& directory) {
    return QStringLiteral("Custom - ") + directory;
}

template <typename... Choice>
QList<int> words(Choice... choices) {
    return {static_cast<int>(choices)...};
}

// "No" and "Yes" of an On/Off setting.
const QList<int> kOffOn = {kOffIndex, kOnIndex};

}  // namespace

PreferencesDialog::PreferencesDialog(OptionsModel& options, PreferencesChoosers& choosers,
                                     JobHost& host, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_choosers(choosers),
      m_host(host),
      m_pages(new QListWidget(this)),
      m_prev(new QPushButton(QStringLiteral("&Prev"), this)),
      m_next(new QPushButton(QStringLiteral("&Next"), this)),
      m_stamp(new QPushButton(QStringLiteral("Stamp..."), this)),
      m_filetype(new QPushButton(QStringLiteral("Filetype..."), this)),
      m_filterCount(new QLineEdit(this)) {
    setObjectName(QStringLiteral("Preferencesfrm"));
    setPalette(skinPalette());
    setWindowTitle(QStringLiteral("Preferences"));
    setFixedSize(620, 520);
    m_pages->setObjectName(QStringLiteral("PrefCmb"));
    m_pages->setGeometry(8, 8, 180, 460);
    using Id = SettingId;
    const QStringList yesPrompt = texts({"No", "Yes (Prompt)", "Yes (No Prompt)"});
    const QStringList customOrLast = texts({"Custom Directory...", "Last Saved Directory"});
    const QStringList noYes = texts({"No", "Yes"});
    const auto onOff = [&](const char* page, Id setting, const char* label, bool opensGroup) {
        return Option{.page = page,
                      .opensGroup = opensGroup,
                      .setting = setting,
                      .label = label,
                      .entries = noYes,
                      .words = kOffOn};
    };
    const Option table[] = {
        {.page = "General"},
        {.page = "Unpack Type",
         .opensGroup = true,
         .setting = Id::UnpackType,
         .label = "Unpack Type:",
         .entries = texts({"RAW (Read And Write)", "EMH (Embedded Mpeg Header)"}),
         .words = words(UnpackType::RAW, UnpackType::EMH)},
        {.page = "Unpack To",
         .setting = Id::Destination,
         .label = "Unpack To:",
         .entries = texts({"Save File", " Where File Is", "Custom Directory..."}),
         .words = words(UnpackDestination::SaveFile, UnpackDestination::WhereFile,
                        UnpackDestination::CustomDir),
         .folder = FolderChoice::Unpack,
         .customWord = static_cast<int>(UnpackDestination::CustomDir)},
        {.page = "Unpack Size",
         .setting = Id::SplitSize,
         .label = "Unpack Size:",
         .entries = texts({"360K", "1,200K", "1,440K", "Zip 100", "1,440K (Custom...)"}),
         .words = {0, 1, 2, 3, -1}},
        {.page = "Transfer Rate",
         .opensGroup = true,
         .setting = Id::Rate,
         .label = "Transfer Rate:",
         .entries = texts({"Slow", "Normal", "Fast", "Ultra Fast"}),
         .words = words(Speed::Slow, Speed::Normal, Speed::Fast, Speed::UltraFast)},
        {.page = "Save",
         .opensGroup = true,
         .setting = Id::SaveTo,
         .label = "Save To:",
         .entries = customOrLast,
         .words = words(SaveFolder::Custom, SaveFolder::LastSaved),
         .folder = FolderChoice::Save,
         .customWord = static_cast<int>(SaveFolder::Custom)},
        {.page = "Startup",
         .setting = Id::Startup,
         .label = "Startup:",
         .entries = customOrLast,
         .words = words(StartupFolder::Custom, StartupFolder::LastUsed),
         .folder = FolderChoice::Startup,
         .customWord = static_cast<int>(StartupFolder::Custom)},
        {.page = "Delete After Action",
         .opensGroup = true,
         .setting = Id::DeleteAction,
         .label = "Delete After Action:",
         .entries = yesPrompt,
         .words = words(DeleteAction::No, DeleteAction::Prompt, DeleteAction::NoPrompt)},
        {.page = "Create Join Batch",
         .setting = Id::JoinBatch,
         .label = "Generate Batch File:",
         .entries = texts({"No", "Yes", "Yes w/ Extra Info"}),
         .words = words(JoinBatchMode::None, JoinBatchMode::Names, JoinBatchMode::FullPaths)},
        // Reset leaves the overwrite choice as it is.
        {.page = "Overwrite Save File",
         .setting = Id::Overwrite,
         .label = "Overwrite Save File:",
         .entries = yesPrompt,
         .words = words(OverwritePolicy::No, OverwritePolicy::Prompt, OverwritePolicy::NoPrompt),
         .resetKeepsChoice = true},
        onOff("Zip Compression", Id::Zip, "Zip Compression:", true),
        onOff("Mpeg Compatibilty Check", Id::MpegCheck, "Mpeg Compatibility Check:", false),
        onOff("Seamless MPEG Join", Id::SeamlessJoin, "Seamless MPEG Join:", false),
        onOff("Write Checksums", Id::Checksums, "Write Checksums:", false),
        onOff("Clean EMH Cuts", Id::CleanCuts, "Clean EMH Cuts:", false),
        onOff("Miscellaneous", Id::ContextMenu, "Show 'Pack It' In Explorer:", true),
        {.page = "Custom Filetype", .opensGroup = true},
    };
    for (const Option& page : table) {
        addPage(page);
    }
    (new QLabel(QStringLiteral("No of Custom Filetype:"), this))
        ->setGeometry(200, rowY(kFilterCountRow), 190, 24);
    m_filterCount->setObjectName(QStringLiteral("NoOfCustomFilterTxt"));
    m_filterCount->setReadOnly(true);
    m_filterCount->setGeometry(392, rowY(kFilterCountRow), 220, 24);
    m_stamp->setGeometry(446, kListY, 80, 26);
    m_filetype->setGeometry(532, kListY, 80, 26);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* reset = new QPushButton(QStringLiteral("Reset"), this);
    m_prev->setGeometry(8, 480, 70, 30);
    m_next->setGeometry(84, 480, 70, 30);
    reset->setGeometry(352, 480, 80, 30);
    ok->setGeometry(440, 480, 80, 30);
    cancel->setGeometry(528, 480, 84, 30);
    connect(m_prev, &QPushButton::clicked, this, &PreferencesDialog::previousPage);
    connect(m_next, &QPushButton::clicked, this, &PreferencesDialog::nextPage);
    connect(ok, &QPushButton::clicked, this, &PreferencesDialog::apply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, &PreferencesDialog::resetToDefaults);
    connect(m_stamp, &QPushButton::clicked, this, [this] { m_choosers.editStampingTexts(); });
    connect(m_filetype, &QPushButton::clicked, this, [this] {
        m_choosers.editFileTypes();
        m_filterCount->setText(m_options.fileTypeCount());
    });
    connect(m_pages, &QListWidget::currentRowChanged, this, &PreferencesDialog::goToPage);
    load();
}

PreferencesDialog::~PreferencesDialog() = default;

int PreferencesDialog::lastPage() const {
    return m_pages->count() - 1;
}

// The page list follows the table, so no two pages can share a number.
void PreferencesDialog::addPage(const Option& entry) {
    if (entry.opensGroup) {
        m_pages->addItem(kSeparator);
    }
    Option added = entry;
    added.pageRow = m_pages->count();
    m_pages->addItem(QLatin1String(entry.page));
    if (!entry.setting) {
        return;
    }
    added.row = static_cast<int>(m_optionList.size());
    const int y = rowY(added.row);
    (new QLabel(QLatin1String(entry.label), this))->setGeometry(200, y, 190, 24);
    added.box = new QLineEdit(this);
    added.box->setReadOnly(true);
    added.box->setGeometry(392, y, 220, 24);
    added.list = new QComboBox(this);
    added.list->addItems(entry.entries);
    added.list->setGeometry(200, kListY, 240, 26);
    added.list->hide();
    m_optionList.append(added);
    const SettingId setting = *entry.setting;
    connect(added.list, &QComboBox::activated, this,
            [this, setting](int i) { choose(setting, i); });
}

const PreferencesDialog::Option& PreferencesDialog::option(SettingId setting) const {
    for (const Option& candidate : m_optionList) {
        if (candidate.setting == setting) {
            return candidate;
        }
    }
    Q_UNREACHABLE();
}

QComboBox* PreferencesDialog::list(SettingId setting) const {
    return option(setting).list;
}

QLineEdit* PreferencesDialog::box(SettingId setting) const {
    return option(setting).box;
}

int PreferencesDialog::entryOf(const Option& entry, int word) const {
    return static_cast<int>(entry.words.indexOf(word));
}

// The settings word the list shows.
int PreferencesDialog::wordOf(SettingId setting) const {
    const Option& entry = option(setting);
    return entry.words.value(entry.list->currentIndex(), -1);
}

// Shows entry `index` in the list and the box; `text` replaces the entry's caption.
void PreferencesDialog::select(SettingId setting, int entry, const QString& text) {
    QComboBox* combo = list(setting);
    if (!text.isEmpty()) {
        combo->setItemText(entry, text);
    }
    combo->setCurrentIndex(entry);
    box(setting)->setText(combo->itemText(entry));
}

void PreferencesDialog::load() {
    const SplitRule& rule = m_options.splitRule();
    for (const Option& entry : std::as_const(m_optionList)) {
        if (entry.setting == SettingId::SplitSize) {
            const int preset = static_cast<int>(splitPresetWords().indexOf(rule.checkedEntry));
            const int shown = preset < 0 ? entryOf(entry, -1) : entryOf(entry, preset);
            select(*entry.setting, shown, preset < 0 ? rule.customCaption : QString());
            continue;
        }
        const int word = m_options.choice(*entry.setting);
        const bool custom = entry.folder && word == entry.customWord;
        select(*entry.setting, entryOf(entry, word),
               custom ? customText(m_choosers.customDirectory(*entry.folder)) : QString());
    }
    m_filterCount->setText(m_options.fileTypeCount());
    for (const FolderChoice which :
         {FolderChoice::Unpack, FolderChoice::Save, FolderChoice::Startup}) {
        chosenFolder(which) = m_choosers.customDirectory(which);
    }
    m_pages->setCurrentRow(0);
    goToPage(0);
    m_loaded = true;
}

void PreferencesDialog::goToPage(int page) {
    if (page < 0) {
        return;
    }
    if (m_pages->item(page)->text() == kSeparator) {
        m_pages->setCurrentRow(page < m_shownPage ? page - 1 : page + 1);  // runs this again
        return;
    }
    if (m_pages->currentRow() != page) {
        m_pages->setCurrentRow(page);
        return;
    }
    m_shownPage = page;
    for (const Option& candidate : std::as_const(m_optionList)) {
        candidate.list->setVisible(candidate.pageRow == page);
    }
    m_stamp->setEnabled(page == option(SettingId::JoinBatch).pageRow);
    m_filetype->setEnabled(page == lastPage());
    m_prev->setEnabled(page != 0);
    m_next->setEnabled(page != lastPage());
}

void PreferencesDialog::previousPage() {
    if (m_pages->currentRow() > 0) {
        m_pages->setCurrentRow(m_pages->currentRow() - 1);
    }
}

void PreferencesDialog::nextPage() {
    if (m_pages->currentRow() < lastPage()) {
        m_pages->setCurrentRow(m_pages->currentRow() + 1);
    }
}

void PreferencesDialog::choose(SettingId setting, int entry) {
    select(setting, entry);
    if (!m_loaded) {
        return;
    }
    const Option& chosen = option(setting);
    const int word = chosen.words.value(entry, -1);
    if (chosen.folder && word == chosen.customWord) {
        const QString folder = m_choosers.chooseCustomDirectory(*chosen.folder, this);
        if (!folder.isEmpty()) {
            chosenFolder(*chosen.folder) = folder;
            select(setting, entry, customText(folder));
        }
    } else if (setting == SettingId::SplitSize && word < 0) {
        if (const std::optional<CustomSizeChoice> size = m_choosers.chooseCustomSize(this)) {
            m_customSize = size;
            select(setting, entry, size->caption);
        }
    }
}

QString& PreferencesDialog::chosenFolder(FolderChoice which) {
    switch (which) {
        case FolderChoice::Save:
            return m_saveDir;
        case FolderChoice::Startup:
            return m_startupDir;
        case FolderChoice::Unpack:
            break;
    }
    return m_unpackDir;
}

void PreferencesDialog::apply() {
    for (const Option& entry : std::as_const(m_optionList)) {
        const int word = wordOf(*entry.setting);
        if (entry.setting == SettingId::SplitSize) {
            if (word >= 0) {
                m_options.choosePreset(splitPresetWords().at(word));
            } else if (m_customSize) {
                m_options.applyCustomSize(m_customSize->mode, QString::number(m_customSize->value),
                                          false);
            }
        } else if (entry.folder && word == entry.customWord) {
            m_choosers.applyCustomDirectory(*entry.folder, chosenFolder(*entry.folder));
        } else {
            m_options.setChoice(*entry.setting, word);
        }
    }
    accept();
}

void PreferencesDialog::resetToDefaults() {
    if (m_host.message(MessageIcon::Information,
                       QStringLiteral("Are you sure you want to reset and restore all default "
                                      "settings?"),
                       MessageButtons::NoYes) != MessageAnswer::Yes) {
        return;
    }
    for (const Option& entry : std::as_const(m_optionList)) {
        if (entry.resetKeepsChoice) {
            continue;
        }
        const int word = entry.setting == SettingId::SplitSize
                             ? static_cast<int>(splitPresetWords().indexOf(defaultPresetWord()))
                             : defaultWordIndex(*entry.setting);
        select(*entry.setting, entryOf(entry, word));
    }
    m_customSize.reset();
    m_filterCount->setText(settingRow(SettingId::FilterCount).defaultValue);
    m_choosers.resetFileFilters();
}
