#pragma once

#include <QDialog>

#include <optional>

#include "rules/split_rule.h"
#include "settings/option_types.h"
#include "settings/settings_table.h"

class JobHost;
class OptionsModel;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// What the preferences dialog opens on top of itself; the main window provides it.
class PreferencesChoosers {
public:
    virtual ~PreferencesChoosers() = default;
    // The custom folder of a choice as it stands.
    virtual QString customDirectory(FolderChoice which) const = 0;
    // The folder chooser; "" when cancelled.
    virtual QString chooseCustomDirectory(FolderChoice which, QWidget* owner) = 0;
    // Checks the choice's custom entry and stores the folder.
    virtual void applyCustomDirectory(FolderChoice which, const QString& folder) = 0;
    // The custom size dialog; nothing when cancelled.
    virtual std::optional<CustomSizeChoice> chooseCustomSize(QWidget* owner) = 0;
    virtual void editStampingTexts() = 0;
    virtual void editFileTypes() = 0;
    virtual void resetFileFilters() = 0;
};

// "Preferences": every option on one screen; a page list shows one option's list at a
// time. Nothing is stored before "&OK", which applies each choice through the options
// model.
class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    PreferencesDialog(OptionsModel& options, PreferencesChoosers& choosers, JobHost& host,
                      QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    QListWidget* pageList() const { return m_pages; }
    int lastPage() const;
    QPushButton* prevButton() const { return m_prev; }
    QPushButton* nextButton() const { return m_next; }
    // The list and read-only box of a setting's option.
    QComboBox* list(SettingId setting) const;
    QLineEdit* box(SettingId setting) const;
    QLineEdit* filterCountBox() const { return m_filterCount; }

    void goToPage(int index);
    void previousPage();
    void nextPage();
    // A choice in one of the lists, as the user makes it.
    void choose(SettingId setting, int index);
    void apply();  // "&OK"
    void resetToDefaults();

private:
    struct Option;

    void addPage(const Option& page);
    void load();
    void select(SettingId setting, int entry, const QString& text = QString());
    const Option& option(SettingId setting) const;
    int entryOf(const Option& option, int word) const;
    int wordOf(SettingId setting) const;
    QString& chosenFolder(FolderChoice which);

    OptionsModel& m_options;
    PreferencesChoosers& m_choosers;
    JobHost& m_host;
    QList<Option> m_optionList;
    QListWidget* m_pages;
    QPushButton* m_prev;
    QPushButton* m_next;
    QPushButton* m_stamp;
    QPushButton* m_filetype;
    QLineEdit* m_filterCount;
    int m_shownPage = 0;  // a separator is passed over in the direction of travel
    bool m_loaded = false;
    QString m_unpackDir, m_saveDir, m_startupDir;  // chosen here, stored on "&OK"
    std::optional<CustomSizeChoice> m_customSize;
};
