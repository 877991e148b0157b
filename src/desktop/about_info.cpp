#include "desktop/about_info.h"

#include <QtGlobal>

#include <clocale>
#include <memory>

#include <mpv/client.h>
#include <openssl/crypto.h>
#include <zip.h>

namespace {

// The player library's own version, from a silent player that plays nothing; its client
// interface version when that cannot be read.
QString mpvVersion() {
    std::setlocale(LC_NUMERIC, "C");  // libmpv refuses any other numeric locale
    const std::unique_ptr<mpv_handle, decltype(&mpv_terminate_destroy)> player(
        mpv_create(), &mpv_terminate_destroy);
    const unsigned long api = mpv_client_api_version();
    QString client = QStringLiteral("client API %1.%2").arg(api >> 16).arg(api & 0xffff);
    char* version = nullptr;
    if (player) {
        for (const char* option : {"vo", "ao"}) {
            mpv_set_option_string(player.get(), option, "null");
        }
        mpv_set_option_string(player.get(), "config", "no");
        if (mpv_initialize(player.get()) >= 0) {
            version = mpv_get_property_string(player.get(), "mpv-version");
        }
    }
    if (version == nullptr) {
        return client;
    }
    QString text = QString::fromUtf8(version).remove(QStringLiteral("mpv ")) +
                   QStringLiteral(" (") + client + QLatin1Char(')');
    mpv_free(version);
    return text;
}

}  // namespace

QList<LibraryVersion> libraryVersions() {
    return {
        {QStringLiteral("Qt"), QString::fromLatin1(qVersion())},
        {QStringLiteral("libzip"), QString::fromLatin1(zip_libzip_version())},
        {QStringLiteral("libmpv"), mpvVersion()},
        {QStringLiteral("OpenSSL"), QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION_STRING))},
    };
}
