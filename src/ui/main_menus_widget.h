#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <utility>

#include "core/settings_table.h"

struct MenuEntry;
class MainWindow;
class OptionsModel;
class QAction;
class QMenu;
class QToolButton;
class QWidget;

// The main window's four caption menus, built from one declarative table (see
// main_menus.cpp). Choices and toggles act on the options model, and their check
// marks are a view of it.
class MainMenus : public QObject {
    Q_OBJECT

public:
    MainMenus(MainWindow& window, OptionsModel& options);

    // Makes the caption buttons on `captionBar` and every menu and entry.
    void build(QWidget* captionBar);

    const QList<QToolButton*>& captionButtons() const { return m_captionButtons; }
    QAction* action(const QString& name) const;

    // While a job runs, the File, Action and Options menus and their shortcuts show
    // disabled; Help stays, and the pack and unpack entries only arm.
    void showBusy(bool busy);

    // The check marks (and the custom size caption) of one setting's entries.
    void refreshChecks(SettingId id);

private:
    MainWindow& m_window;
    OptionsModel& m_options;
    QList<QToolButton*> m_captionButtons;
    QList<QAction*> m_entries;
    QList<std::pair<QAction*, const MenuEntry*>> m_checkable;
};
