#include "ui/main_menus_widget.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QToolButton>

#include <functional>
#include <optional>
#include <vector>

#include "browse/file_browser_widget.h"
#include "core/options_model.h"
#include "core/split_rule.h"
#include "ui/main_chrome_widget.h"
#include "ui/main_window.h"
#include "ui/skin_widget.h"

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
    std::function<void(MainWindow&)> command = {};
    std::optional<SettingId> setting = std::nullopt;  // what a choice or toggle shows and changes
    int word = -1;
    int x = 0;
    MenuBusy busy = MenuBusy::Disabled;
};

namespace {

using Entry = MenuEntry;

Entry caption(const char* name, const char* title, int x, MenuBusy busy = MenuBusy::Disabled) {
    return {.kind = MenuKind::Caption, .name = name, .caption = title, .x = x, .busy = busy};
}
Entry submenu(const char* title, const char* name = "") {
    return {.kind = MenuKind::Submenu, .name = name, .caption = title};
}
Entry end() {
    return {.kind = MenuKind::End};
}
Entry separator() {
    return {.kind = MenuKind::Separator};
}
Entry command(const char* name, const char* title, std::function<void(MainWindow&)> run,
              const char* shortcut = "", MenuBusy busy = MenuBusy::Disabled) {
    return {.kind = MenuKind::Command,
            .name = name,
            .caption = title,
            .shortcut = shortcut,
            .command = std::move(run),
            .busy = busy};
}
template <typename Choice>
Entry choice(const char* name, const char* title, SettingId setting, Choice word) {
    return {.kind = MenuKind::Choice,
            .name = name,
            .caption = title,
            .setting = setting,
            .word = static_cast<int>(word)};
}
// The custom folder entries run the folder chooser instead of choosing at once.
template <typename Choice>
Entry folderChoice(const char* name, const char* title, SettingId setting, Choice word,
                   FolderChoice which) {
    Entry entry = choice(name, title, setting, word);
    entry.command = [which](MainWindow& window) { window.customDirectoryCommand(which); };
    return entry;
}
Entry toggle(const char* name, const char* title, SettingId setting,
             std::function<void(MainWindow&)> run = {}) {
    return {.kind = MenuKind::Toggle,
            .name = name,
            .caption = title,
            .command = std::move(run),
            .setting = setting,
            .word = kOnIndex};
}
Entry preset(const char* name, int number) {
    return {
        .kind = MenuKind::Preset, .name = name, .setting = SettingId::SplitSize, .word = number};
}
Entry customSize() {
    return {.kind = MenuKind::CustomSize,
            .name = "CustomSizeChk",
            .caption = "1,440K (Custom...)",
            .command = &MainWindow::customSizeCommand,
            .setting = SettingId::SplitSize};
}

using Id = SettingId;

const std::vector<Entry>& menuTable() {
    static const std::vector<Entry> table = {
        caption("FileMenu_File_Img", "File", 228),
        command("SaveAsMnu", "Save As...", &MainWindow::outputFileCommand, "Ctrl+S"),
        command("VerifyMnu", "&Verify...", &MainWindow::verifyCommand),
        separator(),
        command("ExitMnu", "E&xit", [](MainWindow& w) { w.close(); }),
        end(),

        caption("FileMenu_Action_Img", "Action", 278),
        command("PackMnu", "&Pack", &MainWindow::packMenuCommand, "Ctrl+P", MenuBusy::Arms),
        command("UnpackMnu", "&Unpack", &MainWindow::unpackMenuCommand, "Ctrl+U", MenuBusy::Arms),
        separator(),
        command(
            "SelAllMnu", "Select &All", [](MainWindow& w) { w.browser()->selectAll(); }, "Ctrl+A"),
        command(
            "DeSelAllMnu", "De&select All", [](MainWindow& w) { w.browser()->deselectAll(); },
            "Ctrl+D"),
        command(
            "InvSelMnu", "&Inverse Select", [](MainWindow& w) { w.browser()->invertSelection(); },
            "Ctrl+I"),
        separator(),
        command(
            "RefreshMnu", "Re&fresh", [](MainWindow& w) { w.setCurrentDir(w.currentDir()); }, "F5"),
        end(),

        caption("FileMenu_Option_Img", "Options", 340),
        submenu("Pre&ferences..."),
        command("GeneralMnu", "&General...", &MainWindow::preferencesCommand, "Ctrl+K"),
        separator(),
        submenu("Unpack Ty&pe"),
        choice("UnpackRAWMnu", "Unpack (&RAW)", Id::UnpackType, UnpackType::RAW),
        choice("UnpackEMHMnu", "Unpack (&EMH)", Id::UnpackType, UnpackType::EMH),
        separator(),
        toggle("CleanCutsMnu", "&Clean Cuts", Id::CleanCuts),
        end(),
        submenu("Unpack &To"),
        choice("UnpackSaveFileMnu", "&Save File", Id::Destination, UnpackDestination::SaveFile),
        choice("UnpackWhereFileDirMnu", "Where &File Is", Id::Destination,
               UnpackDestination::WhereFile),
        folderChoice("UnpackCustomDirMnu", "&Custom Directory...", Id::Destination,
                     UnpackDestination::CustomDir, FolderChoice::Unpack),
        end(),
        submenu("Unpack &Size"),
        preset("SmallFloppySizeChk", 0),
        preset("LowFloppySizeChk", 1),
        preset("HighFloppySizeChk", 2),
        preset("ZipSizeChk", 3),
        customSize(),
        end(),
        separator(),
        submenu("Sa&ve"),
        submenu("Save &To"),
        folderChoice("SaveCustomDirMnu", "&Custom Directory...", Id::SaveTo, SaveFolder::Custom,
                     FolderChoice::Save),
        choice("LastSavedDirMnu", "Last &Saved Directory", Id::SaveTo, SaveFolder::LastSaved),
        end(),
        submenu("&Overwrite"),
        choice("OverwriteNoMnu", "&Don't Overwrite Saved File", Id::Overwrite, OverwritePolicy::No),
        choice("OverwritePromptMnu", "&Ask Before Overwrite Saved File", Id::Overwrite,
               OverwritePolicy::Prompt),
        choice("OverwriteNoPromptMnu", "Do&n't Ask Before Overwrite Saved File", Id::Overwrite,
               OverwritePolicy::NoPrompt),
        end(),
        end(),
        submenu("Startup"),
        folderChoice("StartupCustomDirMnu", "&Custom Directory...", Id::Startup,
                     StartupFolder::Custom, FolderChoice::Startup),
        choice("StartupLastUsedDirMnu", "Last &Used Directory", Id::Startup,
               StartupFolder::LastUsed),
        end(),
        separator(),
        submenu("Transfer &Rate", "Spdmnu"),
        choice("SlowSpeedChk", "&Slow", Id::Rate, Speed::Slow),
        choice("NormalSpeedChk", "&Normal", Id::Rate, Speed::Normal),
        choice("FastSpeedChk", "&Fast", Id::Rate, Speed::Fast),
        choice("UltraSpeedChk", "&Ultra Fast", Id::Rate, Speed::UltraFast),
        end(),
        separator(),
        submenu("&Delete After Action"),
        choice("DelNoMnu", "&Don't Delete", Id::DeleteAction, DeleteAction::No),
        choice("DelPromptMnu", "&Ask Before Sending To Recycle Bin", Id::DeleteAction,
               DeleteAction::Prompt),
        choice("DelNoPromptMnu", "Do&n't Ask Before Sending To Recycle Bin", Id::DeleteAction,
               DeleteAction::NoPrompt),
        end(),
        submenu("&Join.bat"),
        choice("CreateJoinBatNoMnu", "&Don't Create Join.bat", Id::JoinBatch, JoinBatchMode::None),
        choice("CreateJoinBatMnu", "Create &Join.bat", Id::JoinBatch, JoinBatchMode::Names),
        choice("CreateJoinBatwExtraInfoMnu", "Create Join.bat w/ &Extra Info", Id::JoinBatch,
               JoinBatchMode::FullPaths),
        separator(),
        command("CopyrightStampingMnu", "Copyright Stamping...",
                &MainWindow::copyrightStampingCommand),
        end(),
        separator(),
        toggle("ZipCompressMnu", "&Zip Compression", Id::Zip),
        toggle("MCheckMnu", "&MPEG Compatibility", Id::MpegCheck),
        toggle("ChecksumMnu", "Write &Checksums", Id::Checksums),
        toggle("SeamlessMnu", "&Seamless MPEG Join", Id::SeamlessJoin),
        separator(),
        submenu("Miscella&neous"),
        toggle("AddContextMenuMnu", "Show \"Pack It...\" in &Explorer", Id::ContextMenu),
        end(),
        separator(),
        command("FileTypeMnu", "Custom FileT&ype...", &MainWindow::fileTypeCommand),
        end(),
        separator(),
        command("ShowPackLstMnu", "Show Pack List", &MainWindow::showPackListCommand),
        separator(),
        toggle("MagnetMnu", "Magnet", Id::Magnet,
               [](MainWindow& window) { window.chrome()->magnetCommand(); }),
        command(
            "MagnetiseMnu", "&Magnetise",
            [](MainWindow& window) { window.chrome()->MagnetisePackList(); }, "", MenuBusy::Stays),
        end(),

        caption("FileMenu_Help_Img", "Help", 408, MenuBusy::Stays),
        command("HelpTopicMnu", "Tarvik Zarvo Help Topics", &MainWindow::helpCommand, "F1",
                MenuBusy::Stays),
        command("TODMnu", "Tip of the Day", &MainWindow::tipCommand, "", MenuBusy::Stays),
        separator(),
        command("AboutMnu", "&About Tarvik Zarvo Pro...", &MainWindow::aboutCommand, "",
                MenuBusy::Stays),
        end(),
    };
    return table;
}

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

MainMenus::MainMenus(MainWindow& window, OptionsModel& options)
    : QObject(&window), m_window(window), m_options(options) {
    connect(&m_options, &OptionsModel::changed, this, &MainMenus::refreshChecks);
}

void MainMenus::build(QWidget* captionBar) {
    std::vector<QMenu*> open;
    for (const Entry& entry : menuTable()) {
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
                auto* popup = new QMenu(title, button);
                popup->setObjectName(title);
                const bool always = entry.busy == MenuBusy::Stays;
                connect(button, &QToolButton::clicked, this, [this, button, popup, always] {
                    // While a job shows the hourglass only Help opens: at the mouse, or
                    // below the picture when the keyboard pressed it.
                    if (always || !m_window.jobRunning()) {
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
                entry.command(m_window);
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
