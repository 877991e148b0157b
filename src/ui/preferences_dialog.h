#pragma once

#include <QDialog>

#include "unpack/split_rule.h"

class JobHost;
class MainWindow;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Preferences": every option on one screen; a page list shows one option's list at a
// time. Nothing is stored before "&OK", which applies each choice through the same
// commands as the menus.
class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kLastPage = 20;

    PreferencesDialog(MainWindow& window, JobHost& host);

    QListWidget* pageList() const { return m_pages; }
    QPushButton* prevButton() const { return m_prev; }
    QPushButton* nextButton() const { return m_next; }
    // The list and read-only box of a setting ("UnpkTyp", "sDir", ... "CmPack").
    QComboBox* list(const QString& setting) const;
    QLineEdit* box(const QString& setting) const;
    QLineEdit* filterCountBox() const { return m_filterCount; }

    void goToPage(int index);
    void previousPage();
    void nextPage();
    // A choice in one of the lists, as the user makes it.
    void choose(const QString& setting, int index);
    void apply();  // "&OK"
    void resetToDefaults();

private:
    struct Option {
        QString setting;
        int page;
        QComboBox* list;
        QLineEdit* box;
    };

    void addOption(const QString& setting, const QString& label, const QStringList& entries,
                   int page, int row);
    void load();
    void select(const QString& setting, int index, const QString& text = QString());
    const Option* option(const QString& setting) const;
    int index(const QString& setting) const;

    MainWindow& m_window;
    JobHost& m_host;
    QList<Option> m_options;
    QListWidget* m_pages;
    QPushButton* m_prev;
    QPushButton* m_next;
    QPushButton* m_stamp;
    QPushButton* m_filetype;
    QLineEdit* m_filterCount;
    bool m_movingBack = false;
    bool m_loaded = false;
    QString m_unpackDir, m_saveDir, m_startupDir;  // chosen here, stored on "&OK"
    std::optional<CustomSizeChoice> m_customSize;
};
