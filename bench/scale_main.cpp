// Times the operations that grow with the user's data: a settings file of 200,000 keys,
// a pack list of 32,767 entries, a folder of 20,000 files. Prints each figure with its
// target. Usage: zarvo-bench-scale FOLDER (scratch space; run offscreen).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>

#include <cstdio>
#include <functional>

#include "core/job_host.h"
#include "options/options_model.h"
#include "packlist/pack_list_file.h"
#include "packlist/pack_list_model.h"
#include "settings/file_filter_store.h"
#include "settings/settings_table.h"
#include "ui/file_browser_widget.h"

namespace {

class QuietHost : public JobHost {
public:
    MessageAnswer message(MessageIcon, const QString&, MessageButtons) override {
        return MessageAnswer::No;
    }
    void progress(const ProgressReport&) override {}
};

bool g_allMet = true;

void report(const char* what, double seconds, double target) {
    const bool met = seconds < target;
    g_allMet = g_allMet && met;
    std::printf("%-44s %7.3f s   target < %.0f s  %s\n", what, seconds, target,
                met ? "met" : "MISSED");
}

double timed(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void touchFiles(const QString& folder, int count, const char* pattern) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QLatin1Char('/') + QString::asprintf(pattern, i));
        if (!file.exists() && file.open(QIODevice::WriteOnly)) {
            file.write("x");
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: zarvo-bench-scale FOLDER\n", stderr);
        return 2;
    }
    const QString scratch = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(scratch);

    // A settings file of 200,000 keys, then what a start-up reads and writes back.
    const QString store = scratch + QStringLiteral("/registry.ini");
    {
        QByteArray text = "[Software\\Tarvik\\Zarvo]\n";
        for (int i = 0; i < 200000; ++i) {
            text += "Key" + QByteArray::number(i) + "=\"value " + QByteArray::number(i) + "\"\n";
        }
        QFile file(store);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text);
    }
    OptionsModel options(store);
    report("settings, 200,000 keys: start-up", timed([&] {
               options.restoreFromStore({scratch, {}, {}});
           }),
           1);

    // A pack list of 32,767 entries: add, sort, save, load.
    const QString listFolder = scratch + QStringLiteral("/list");
    touchFiles(listFolder, 32767, "entry %05d.mpg");
    QStringList paths;
    for (int i = 32766; i >= 0; --i) {
        paths << listFolder + QString::asprintf("/entry %05d.mpg", i);
    }
    QuietHost host;
    PackListModel model;
    report("pack list, 32,767 entries: add", timed([&] {
               for (const QString& path : std::as_const(paths)) {
                   model.appendPath(path, true);
               }
           }),
           1);
    report("pack list, 32,767 entries: sort", timed([&] { model.sortEntries(true); }), 1);
    const QString listFile = scratch + QStringLiteral("/big.zpl");
    report("pack list, 32,767 entries: save",
           timed([&] { savePackList(listFile, model.fullPaths(), host); }), 1);
    PackListModel loaded;
    report("pack list, 32,767 entries: load", timed([&] {
               for (const QString& path : readPackList(listFile)) {
                   loaded.appendPath(path);
               }
           }),
           1);

    // The browser in a folder of 20,000 files.
    const QString crowded = scratch + QStringLiteral("/crowded");
    touchFiles(crowded, 20000, "clip %05d.mpg");
    FileBrowserWidget browser(options, host);
    browser.loadFilters();
    report("browser, folder of 20,000 files", timed([&] { browser.setFolder(crowded); }), 1);
    return g_allMet ? 0 : 1;
}
