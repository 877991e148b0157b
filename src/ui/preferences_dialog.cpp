#include "ui/preferences_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "core/job_host.h"
#include "core/registry.h"
#include "core/settings_table.h"
#include "packlist/pack_list_window.h"
#include "ui/main_window.h"

namespace {

const QString kSeparator(20, QLatin1Char('_'));
const QStringList kNoYes = {QStringLiteral("No"), QStringLiteral("Yes")};
const QStringList kSaveEntries = {QStringLiteral("Custom Directory..."),
                                  QStringLiteral("Last Saved Directory")};

// Where the rows of read-only boxes and the one visible list sit.
constexpr int kListY = 354;
int rowY(int row) {
    return 8 + row * 26;
}

bool isSeparatorPage(int index) {
    return index == 1 || index == 5 || index == 7 || index == 10 || index == 14 || index == 17 ||
           index == 19;
}

QString customText(const QString& directory) {
    return QStringLiteral("Custom - ") + directory;
}

}  // namespace

PreferencesDialog::PreferencesDialog(MainWindow& window, JobHost& host)
    : QDialog(&window),
      m_window(window),
      m_host(host),
      m_pages(new QListWidget(this)),
      m_prev(new QPushButton(QStringLiteral("&Prev"), this)),
      m_next(new QPushButton(QStringLiteral("&Next"), this)),
      m_stamp(new QPushButton(QStringLiteral("Stamp..."), this)),
      m_filetype(new QPushButton(QStringLiteral("Filetype..."), this)),
      m_filterCount(new QLineEdit(this)) {
    setObjectName(QStringLiteral("Preferencesfrm"));
    setWindowTitle(QStringLiteral("Preferences"));
    setFixedSize(620, 440);
    m_pages->setObjectName(QStringLiteral("PrefCmb"));
    m_pages->setGeometry(8, 8, 180, 380);
    m_pages->addItems({QStringLiteral("General"),
                       kSeparator,
                       QStringLiteral("Unpack Type"),
                       QStringLiteral("Unpack To"),
                       QStringLiteral("Unpack Size"),
                       kSeparator,
                       QStringLiteral("Transfer Rate"),
                       kSeparator,
                       QStringLiteral("Save"),
                       QStringLiteral("Startup"),
                       kSeparator,
                       QStringLiteral("Delete After Action"),
                       QStringLiteral("Create Join Batch"),
                       QStringLiteral("Overwrite Save File"),
                       kSeparator,
                       QStringLiteral("Zip Compression"),
                       QStringLiteral("Mpeg Compatibilty Check"),
                       kSeparator,
                       QStringLiteral("Miscellaneous"),
                       kSeparator,
                       QStringLiteral("Custom Filetype")});

    addOption(
        QStringLiteral("UnpkTyp"), QStringLiteral("Unpack Type:"),
        {QStringLiteral("RAW (Read And Write)"), QStringLiteral("EMH (Embedded Mpeg Header)")}, 2,
        0);
    addOption(QStringLiteral("sDir"), QStringLiteral("Unpack To:"),
              {QStringLiteral("Save File"), QStringLiteral(" Where File Is"),
               QStringLiteral("Custom Directory...")},
              3, 1);
    addOption(QStringLiteral("sSize"), QStringLiteral("Unpack Size:"),
              {QStringLiteral("360K"), QStringLiteral("1,200K"), QStringLiteral("1,440K"),
               QStringLiteral("Zip 100"), QStringLiteral("1,440K (Custom...)")},
              4, 2);
    addOption(QStringLiteral("tRate"), QStringLiteral("Transfer Rate:"),
              {QStringLiteral("Slow"), QStringLiteral("Normal"), QStringLiteral("Fast"),
               QStringLiteral("Ultra Fast")},
              6, 3);
    addOption(QStringLiteral("SaveTo"), QStringLiteral("Save To:"), kSaveEntries, 8, 4);
    addOption(QStringLiteral("StartupOpt"), QStringLiteral("Startup:"), kSaveEntries, 9, 5);
    const QStringList yesPrompt = {QStringLiteral("No"), QStringLiteral("Yes (Prompt)"),
                                   QStringLiteral("Yes (No Prompt)")};
    addOption(QStringLiteral("Delact"), QStringLiteral("Delete After Action:"), yesPrompt, 11, 6);
    addOption(QStringLiteral("JBat"), QStringLiteral("Generate Batch File:"),
              {QStringLiteral("No"), QStringLiteral("Yes"), QStringLiteral("Yes w/ Extra Info")},
              12, 7);
    addOption(QStringLiteral("Owrite"), QStringLiteral("Overwrite Save File:"), yesPrompt, 13, 8);
    addOption(QStringLiteral("MZip"), QStringLiteral("Zip Compression:"), kNoYes, 15, 9);
    addOption(QStringLiteral("MCC"), QStringLiteral("Mpeg Compatibility Check:"), kNoYes, 16, 10);
    addOption(QStringLiteral("CmPack"), QStringLiteral("Show 'Pack It' In Explorer:"), kNoYes, 18,
              11);
    (new QLabel(QStringLiteral("No of Custom Filetype:"), this))
        ->setGeometry(200, rowY(12), 190, 24);
    m_filterCount->setObjectName(QStringLiteral("NoOfCustomFilterTxt"));
    m_filterCount->setReadOnly(true);
    m_filterCount->setGeometry(392, rowY(12), 220, 24);
    m_stamp->setGeometry(446, kListY, 80, 26);
    m_filetype->setGeometry(532, kListY, 80, 26);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* reset = new QPushButton(QStringLiteral("Reset"), this);
    m_prev->setGeometry(8, 400, 70, 30);
    m_next->setGeometry(84, 400, 70, 30);
    reset->setGeometry(352, 400, 80, 30);
    ok->setGeometry(440, 400, 80, 30);
    cancel->setGeometry(528, 400, 84, 30);
    connect(m_prev, &QPushButton::clicked, this, &PreferencesDialog::previousPage);
    connect(m_next, &QPushButton::clicked, this, &PreferencesDialog::nextPage);
    connect(ok, &QPushButton::clicked, this, &PreferencesDialog::apply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, &PreferencesDialog::resetToDefaults);
    connect(m_stamp, &QPushButton::clicked, &m_window, &MainWindow::copyrightStampingCommand);
    connect(m_filetype, &QPushButton::clicked, this, [this] {
        m_window.fileTypeCommand();
        m_filterCount->setText(Registry::setting(QStringLiteral("NoOfFilter")));
    });
    connect(m_pages, &QListWidget::currentRowChanged, this, &PreferencesDialog::goToPage);
    load();
}

void PreferencesDialog::addOption(const QString& setting, const QString& label,
                                  const QStringList& entries, int page, int row) {
    const int y = rowY(row);
    (new QLabel(label, this))->setGeometry(200, y, 190, 24);
    auto* box = new QLineEdit(this);
    box->setReadOnly(true);
    box->setGeometry(392, y, 220, 24);
    auto* list = new QComboBox(this);
    list->addItems(entries);
    list->setGeometry(200, kListY, 240, 26);
    list->hide();
    m_options.append({setting, page, list, box});
    connect(list, &QComboBox::activated, this, [this, setting](int i) { choose(setting, i); });
}

const PreferencesDialog::Option* PreferencesDialog::option(const QString& setting) const {
    for (const Option& candidate : m_options) {
        if (candidate.setting == setting) {
            return &candidate;
        }
    }
    return nullptr;
}

QComboBox* PreferencesDialog::list(const QString& setting) const {
    return option(setting)->list;
}

QLineEdit* PreferencesDialog::box(const QString& setting) const {
    return option(setting)->box;
}

int PreferencesDialog::index(const QString& setting) const {
    return list(setting)->currentIndex();
}

// Shows entry `index` in the list and the box; `text` replaces the entry's caption.
void PreferencesDialog::select(const QString& setting, int entry, const QString& text) {
    QComboBox* combo = list(setting);
    if (!text.isEmpty()) {
        combo->setItemText(entry, text);
    }
    combo->setCurrentIndex(entry);
    box(setting)->setText(combo->itemText(entry));
}

void PreferencesDialog::load() {
    const auto stored = [](const char* name) { return currentSetting(QLatin1String(name)); };
    const auto indexOf = [](const QString& value, const QStringList& words, int fallback) {
        const int at = static_cast<int>(words.indexOf(value));
        return at < 0 ? fallback : at;
    };
    select(QStringLiteral("UnpkTyp"), stored("UnpkTyp") == QLatin1String("EMH") ? 1 : 0);
    select(QStringLiteral("CmPack"), stored("CmPack") == QLatin1String("On") ? 1 : 0);
    select(QStringLiteral("tRate"), indexOf(stored("tRate"),
                                            {QStringLiteral("slow"), QStringLiteral("normal"),
                                             QStringLiteral("fast"), QStringLiteral("ufast")},
                                            1));
    const SplitRule& rule = m_window.options().splitRule();
    const int size = indexOf(stored("sSize"),
                             {QStringLiteral("small"), QStringLiteral("low"),
                              QStringLiteral("high"), QStringLiteral("zip")},
                             4);
    select(QStringLiteral("sSize"), size, size == 4 ? rule.customCaption : QString());
    const QString destination = stored("sDir");
    if (destination == QLatin1String("custom")) {
        select(QStringLiteral("sDir"), 2, customText(m_window.unpackCustomDir()));
    } else {
        select(QStringLiteral("sDir"), destination == QLatin1String("wfile") ? 1 : 0);
    }
    select(
        QStringLiteral("JBat"),
        indexOf(stored("JBat"),
                {QStringLiteral("JbatNo"), QStringLiteral("Jbat"), QStringLiteral("JbatInfo")}, 0));
    const QStringList deletion = {QStringLiteral("No"), QStringLiteral("Prompt"),
                                  QStringLiteral("NoPrompt")};
    select(QStringLiteral("Delact"), indexOf(stored("Delact"), deletion, 0));
    if (stored("SaveTo") == QLatin1String("Custom")) {
        select(QStringLiteral("SaveTo"), 0, customText(m_window.saveCustomDir()));
    } else {
        select(QStringLiteral("SaveTo"), 1);
    }
    if (stored("StartupOpt") == QLatin1String("Custom")) {
        select(QStringLiteral("StartupOpt"), 0, customText(m_window.startupCustomDir()));
    } else {
        select(QStringLiteral("StartupOpt"), 1);
    }
    select(QStringLiteral("Owrite"), indexOf(stored("Owrite"), deletion, 1));
    select(QStringLiteral("MZip"), stored("MZip") == QLatin1String("On") ? 1 : 0);
    select(QStringLiteral("MCC"), stored("MCC") == QLatin1String("Off") ? 0 : 1);
    m_filterCount->setText(Registry::setting(QStringLiteral("NoOfFilter")));
    m_unpackDir = m_window.unpackCustomDir();
    m_saveDir = m_window.saveCustomDir();
    m_startupDir = m_window.startupCustomDir();
    m_pages->setCurrentRow(0);
    goToPage(0);
    m_loaded = true;
}

void PreferencesDialog::goToPage(int page) {
    if (page < 0) {
        return;
    }
    if (isSeparatorPage(page)) {
        m_pages->setCurrentRow(m_movingBack ? page - 1 : page + 1);  // runs this again
        return;
    }
    if (m_pages->currentRow() != page) {
        m_pages->setCurrentRow(page);
        return;
    }
    for (const Option& candidate : std::as_const(m_options)) {
        candidate.list->setVisible(candidate.page == page);
    }
    m_stamp->setEnabled(page == 12);
    m_filetype->setEnabled(page == kLastPage);
    m_prev->setEnabled(page != 0);
    m_next->setEnabled(page != kLastPage);
}

void PreferencesDialog::previousPage() {
    m_movingBack = true;
    if (m_pages->currentRow() > 0) {
        m_pages->setCurrentRow(m_pages->currentRow() - 1);
    }
    m_movingBack = false;
}

void PreferencesDialog::nextPage() {
    m_movingBack = false;
    if (m_pages->currentRow() < kLastPage) {
        m_pages->setCurrentRow(m_pages->currentRow() + 1);
    }
}

void PreferencesDialog::choose(const QString& setting, int entry) {
    select(setting, entry);
    if (!m_loaded) {
        return;
    }
    const auto chooseFolder = [this, setting, entry](const QString& which, QString* folder) {
        const QString chosen = m_window.chooseCustomDirectory(which, this);
        if (!chosen.isEmpty()) {
            *folder = chosen;
            select(setting, entry, customText(chosen));
        }
    };
    if (setting == QLatin1String("SaveTo") && entry == 0) {
        chooseFolder(QStringLiteral("save"), &m_saveDir);
    } else if (setting == QLatin1String("StartupOpt") && entry == 0) {
        chooseFolder(QStringLiteral("startup"), &m_startupDir);
    } else if (setting == QLatin1String("sDir") && entry == 2) {
        chooseFolder(QStringLiteral("unpack"), &m_unpackDir);
    } else if (setting == QLatin1String("sSize") && entry == 4) {
        if (const std::optional<CustomSizeChoice> choice = m_window.customSizeFromPreferences()) {
            m_customSize = choice;
            select(setting, entry, choice->caption);
        }
    }
}

void PreferencesDialog::apply() {
    OptionsModel& options = m_window.options();
    options.choose(QStringLiteral("UnpkTyp"), index(QStringLiteral("UnpkTyp")) == 1
                                                  ? QStringLiteral("EMH")
                                                  : QStringLiteral("RAW"));
    const int destination = index(QStringLiteral("sDir"));
    if (destination == 2) {
        m_window.applyCustomDirectory(QStringLiteral("unpack"), m_unpackDir);
    } else {
        options.choose(QStringLiteral("sDir"),
                       destination == 1 ? QStringLiteral("wfile") : QStringLiteral("sfile"));
    }
    const int size = index(QStringLiteral("sSize"));
    if (size < 4) {
        options.choosePreset(splitPresets().at(size).word);
    } else if (m_customSize) {
        m_window.applyCustomSize(*m_customSize);
    }
    const QStringList rates = {QStringLiteral("slow"), QStringLiteral("normal"),
                               QStringLiteral("fast"), QStringLiteral("ufast")};
    options.choose(QStringLiteral("tRate"), rates.at(index(QStringLiteral("tRate"))));
    const QStringList deletion = {QStringLiteral("No"), QStringLiteral("Prompt"),
                                  QStringLiteral("NoPrompt")};
    options.choose(QStringLiteral("Delact"), deletion.at(index(QStringLiteral("Delact"))));
    const QStringList batch = {QStringLiteral("JbatNo"), QStringLiteral("Jbat"),
                               QStringLiteral("JbatInfo")};
    options.choose(QStringLiteral("JBat"), batch.at(index(QStringLiteral("JBat"))));
    if (index(QStringLiteral("SaveTo")) == 0) {
        m_window.applyCustomDirectory(QStringLiteral("save"), m_saveDir);
    } else {
        options.choose(QStringLiteral("SaveTo"), QStringLiteral("LastSaved"));
    }
    if (index(QStringLiteral("StartupOpt")) == 0) {
        m_window.applyCustomDirectory(QStringLiteral("startup"), m_startupDir);
    } else {
        options.choose(QStringLiteral("StartupOpt"), QStringLiteral("LastUsed"));
    }
    options.choose(QStringLiteral("Owrite"), deletion.at(index(QStringLiteral("Owrite"))));
    options.setOn(QStringLiteral("CmPack"), index(QStringLiteral("CmPack")) == 1);
    options.setOn(QStringLiteral("MZip"), index(QStringLiteral("MZip")) == 1);
    options.setOn(QStringLiteral("MCC"), index(QStringLiteral("MCC")) == 1);
    accept();
}

void PreferencesDialog::resetToDefaults() {
    if (m_host.message(MessageIcon::Information,
                       QStringLiteral("Are you sure you want to reset and restore all default "
                                      "settings?"),
                       MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    for (const auto& [setting, entry] :
         {std::pair{"UnpkTyp", 0}, std::pair{"CmPack", 0}, std::pair{"tRate", 1},
          std::pair{"SaveTo", 1}, std::pair{"StartupOpt", 1}, std::pair{"sSize", 2},
          std::pair{"sDir", 0}, std::pair{"JBat", 0}, std::pair{"Delact", 0}, std::pair{"MZip", 0},
          std::pair{"MCC", 1}}) {
        select(QLatin1String(setting), entry);
    }
    m_customSize.reset();
    m_filterCount->setText(QStringLiteral("3"));
    m_window.resetFileFilters();
}
