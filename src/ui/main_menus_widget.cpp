#include "ui/main_menus_widget.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QToolButton>

#include <functional>
#include <optional>
#include <vector>

#include "options/options_model.h"
#include "rules/split_rule.h"
#include "ui/skin_widget.h"

namespace {

using Entry = MenuEntry;

// The check mark a choice shows for the options in force.
bool isChecked(const Entry& entry, const OptionsModel& options) {
    const SplitRule& rule = options.splitRule();
    switch (entry.kind) {
        case MenuKind::Preset:
            return rule.checkedEntry == splitPresets().at(entry.word).word;
        case MenuKind::CustomSize:
            return rule.checkedEntry == kCustomSizeEntry;
        default:
            return options.choice(*entry.setting) == entry.word;
    }
}

}  // namespace

MainMenus::MainMenus(QWidget& window, OptionsModel& options, std::vector<MenuEntry> table,
                     std::function<bool()> jobRunning)
    : QObject(&window),
      m_window(window),
      m_options(options),
      m_table(std::move(table)),
      m_jobRunning(std::move(jobRunning)) {
    connect(&m_options, &OptionsModel::changed, this, &MainMenus::refreshChecks);
}

void MainMenus::build(QWidget* captionBar) {
    std::vector<QMenu*> open;
    for (const Entry& entry : m_table) {
        const QString title = QLatin1String(entry.caption);
        switch (entry.kind) {
            case MenuKind::Caption: {
                const QString name = QLatin1String(entry.name);
                const QString picture = QString(name).remove(QStringLiteral("_Img"));
                ImageButton* button =
                    makeImageButton(captionBar, name, title + QStringLiteral(" Menu"),
                                    QRect(QPoint(entry.x, 5), skinPictureSize(picture)));
                button->setText(title);
                button->setProperty("busy", static_cast<int>(entry.busy));
                button->setShortcut(QKeySequence(QLatin1String(entry.shortcut)));
                auto* popup = new QMenu(title, button);
                popup->setObjectName(title);
                const bool always = entry.busy == MenuBusy::Stays;
                connect(button, &QToolButton::clicked, this, [this, button, popup, always] {
                    // While a job shows the hourglass only Help opens: at the mouse, or
                    // below the picture when the keyboard pressed it.
                    if (always || !m_jobRunning()) {
                        popup->popup(button->underMouse()
                                         ? QCursor::pos()
                                         : button->mapToGlobal(QPoint(0, button->height())));
                    }
                });
                m_captionButtons.append(button);
                open.push_back(popup);
                continue;
            }
            case MenuKind::Submenu: {
                QMenu* inner = open.back()->addMenu(title);
                if (*entry.name != '\0') {
                    inner->setObjectName(QLatin1String(entry.name));
                }
                open.push_back(inner);
                continue;
            }
            case MenuKind::End:
                open.pop_back();
                continue;
            case MenuKind::Separator:
                open.back()->addSeparator();
                continue;
            default:
                break;
        }
        const bool isPreset = entry.kind == MenuKind::Preset;
        QAction* action =
            open.back()->addAction(isPreset ? splitPresets().at(entry.word).caption : title);
        action->setObjectName(QLatin1String(entry.name));
        action->setShortcut(QKeySequence(QLatin1String(entry.shortcut)));
        action->setShortcutContext(Qt::WindowShortcut);
        action->setProperty("busy", static_cast<int>(entry.busy));
        m_window.addAction(action);  // the window sees the shortcut before its controls
        m_entries.append(action);
        connect(action, &QAction::triggered, this, [this, &entry] {
            if (entry.command) {
                entry.command();
            } else if (entry.kind == MenuKind::Choice) {
                m_options.setChoice(*entry.setting, entry.word);
            } else if (entry.kind == MenuKind::Toggle) {
                m_options.toggle(*entry.setting);
            } else if (entry.kind == MenuKind::Preset) {
                m_options.choosePreset(splitPresets().at(entry.word).word);
            }
        });
        if (entry.kind != MenuKind::Command) {
            action->setCheckable(true);
            m_checkable.append({action, &entry});
        } else if (!entry.command) {
            action->setEnabled(false);
        }
    }
    for (const SettingRow& row : settingsTable()) {
        refreshChecks(row.id);
    }
}

QAction* MainMenus::action(const QString& name) const {
    for (QAction* entry : m_entries) {
        if (entry->objectName() == name) {
            return entry;
        }
    }
    return nullptr;
}

void MainMenus::refreshChecks(SettingId id) {
    // A custom size, count or percentage shows in the custom entry's caption.
    if (id == SettingId::CustomBytes || id == SettingId::CustomPieces ||
        id == SettingId::CustomPercent) {
        id = SettingId::SplitSize;
    }
    for (const auto& [action, entry] : std::as_const(m_checkable)) {
        if (entry->setting != id) {
            continue;
        }
        action->setChecked(isChecked(*entry, m_options));
        if (entry->kind == MenuKind::CustomSize) {
            action->setText(m_options.splitRule().customCaption);
        }
    }
}

void MainMenus::showBusy(bool busy) {
    const auto follows = [](const QObject* control) {
        return static_cast<MenuBusy>(control->property("busy").toInt()) == MenuBusy::Disabled;
    };
    for (QToolButton* button : std::as_const(m_captionButtons)) {
        if (follows(button)) {
            button->setEnabled(!busy);
        }
    }
    for (QAction* entry : std::as_const(m_entries)) {
        if (follows(entry)) {
            entry->setEnabled(!busy);
        }
    }
}
