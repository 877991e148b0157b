#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "settings/settings_table.h"

class OptionsModel;
class QAction;
class QMenu;
class QToolButton;
class QWidget;

enum class MenuKind {
    Caption,  // a caption button and its menu
    Submenu,  // opens a menu inside the current one
    End,      // closes the current menu
    Separator,
    Command,     // runs `command`
    Choice,      // checks word `word` of `setting`
    Toggle,      // switches an On/Off `setting`
    Preset,      // split size preset number `word`
    CustomSize,  // the custom split size entry
};

// Entries that stay usable while a job runs.
enum class MenuBusy { Disabled, Arms, Stays };

struct MenuEntry {
    MenuKind kind = MenuKind::Command;
    const char* name = "";
    const char* caption = "";
    const char* shortcut = "";
    std::function<void()> command = {};
    std::optional<SettingId> setting = std::nullopt;  // what a choice or toggle shows and changes
    int word = -1;
    int x = 0;
    MenuBusy busy = MenuBusy::Disabled;
};

// The entry kinds of a menu table, written as the table reads.
namespace menu {

inline MenuEntry caption(const char* name, const char* title, int x, const char* shortcut,
                         MenuBusy busy = MenuBusy::Disabled) {
    return {.kind = MenuKind::Caption,
            .name = name,
            .caption = title,
            .shortcut = shortcut,
            .x = x,
            .busy = busy};
}
inline MenuEntry submenu(const char* title, const char* name = "") {
    return {.kind = MenuKind::Submenu, .name = name, .caption = title};
}
inline MenuEntry end() {
    return {.kind = MenuKind::End};
}
inline MenuEntry separator() {
    return {.kind = MenuKind::Separator};
}
inline MenuEntry command(const char* name, const char* title, std::function<void()> run,
                         const char* shortcut = "", MenuBusy busy = MenuBusy::Disabled) {
    return {.kind = MenuKind::Command,
            .name = name,
            .caption = title,
            .shortcut = shortcut,
            .command = std::move(run),
            .busy = busy};
}
template <typename Choice>
MenuEntry choice(const char* name, const char* title, SettingId setting, Choice word) {
    return {.kind = MenuKind::Choice,
            .name = name,
            .caption = title,
            .setting = setting,
            .word = static_cast<int>(word)};
}
inline MenuEntry toggle(const char* name, const char* title, SettingId setting,
                        std::function<void()> run = {}) {
    return {.kind = MenuKind::Toggle,
            .name = name,
            .caption = title,
            .command = std::move(run),
            .setting = setting,
            .word = kOnIndex};
}
inline MenuEntry preset(const char* name, int number) {
    return {
        .kind = MenuKind::Preset, .name = name, .setting = SettingId::SplitSize, .word = number};
}

}  // namespace menu

// A window's caption menus, built from one declarative table (the main window's own).
// Choices and toggles act on the options model, and their check marks are a view of it.
class MainMenus : public QObject {
    Q_OBJECT

public:
    // `jobRunning` tells whether a job runs, when a caption button is pressed.
    MainMenus(QWidget& window, OptionsModel& options, std::vector<MenuEntry> table,
              std::function<bool()> jobRunning);

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
    QWidget& m_window;
    OptionsModel& m_options;
    const std::vector<MenuEntry> m_table;
    std::function<bool()> m_jobRunning;
    QList<QToolButton*> m_captionButtons;
    QList<QAction*> m_entries;
    QList<std::pair<QAction*, const MenuEntry*>> m_checkable;
};
