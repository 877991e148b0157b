// zarvo-listfeed: started by a file manager's "Pack it..." with the chosen files; starts
// zarvo with them, each as an argument of its own after "--", so that no file name is
// read as an option or split at a "|" it holds.
#include <QByteArray>
#include <QList>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <spawn.h>
#include <unistd.h>

#include "platform/native_path.h"

extern char** environ;

namespace {

const char* const kUsage =
    "usage: zarvo-listfeed [--] FILE...\n"
    "\n"
    "Hands the files to Tarvik Zarvo Pro's pack list (the file manager's \"Pack it...\"\n"
    "action runs it). After \"--\" every argument is a file name, even one that starts\n"
    "with \"-\".\n";

// zarvo beside this program, found through the running program's own file.
QByteArray zarvoBesideUs() {
    QByteArray self(4096, '\0');
    const ssize_t length =
        ::readlink("/proc/self/exe", self.data(), static_cast<size_t>(self.size()));
    if (length <= 0 || length >= self.size()) {
        return QByteArrayLiteral("zarvo");  // looked up on the PATH
    }
    self.truncate(length);
    return self.left(self.lastIndexOf('/') + 1) + "zarvo";
}

}  // namespace

int main(int argc, char* argv[]) {
    // Names as the file system holds them, made full paths by their bytes.
    QList<QByteArray> paths;
    bool literal = false;
    for (int i = 1; i < argc; ++i) {
        if (!literal && std::strcmp(argv[i], "--") == 0) {
            literal = true;
        } else if (!literal &&
                   (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (argv[i][0] != '\0') {
            paths.append(nativePath(absolutePathOf(fromNativePath(QByteArray(argv[i])))));
        }
    }
    if (paths.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QByteArray zarvo = zarvoBesideUs();
    QList<char*> arguments{const_cast<char*>(zarvo.constData()), const_cast<char*>("--")};
    for (QByteArray& path : paths) {
        arguments.append(path.data());
    }
    arguments.append(nullptr);
    pid_t child = 0;
    const int error = zarvo.contains('/') ? ::posix_spawn(&child, zarvo.constData(), nullptr,
                                                          nullptr, arguments.data(), environ)
                                          : ::posix_spawnp(&child, zarvo.constData(), nullptr,
                                                           nullptr, arguments.data(), environ);
    if (error != 0) {
        std::fprintf(stderr, "zarvo-listfeed: cannot start %s: %s\n", zarvo.constData(),
                     std::strerror(error));
        return 1;
    }
    return 0;  // zarvo goes on alone
}
