#include <QLocale>
#include <QTest>

#include "core/text_helpers.h"

namespace {

// A fake font: every character is 100 twips wide.
int hundredPerChar(const QString& text) {
    return static_cast<int>(text.size()) * 100;
}

}  // namespace

class TextHelpersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replaceallTurnsCommasIntoSemicolons() {
        QCOMPARE(replaceall(QStringLiteral("*.mpg,*.mpeg,*.mpe"), QStringLiteral(","),
                            QStringLiteral(";")),
                 QStringLiteral("*.mpg;*.mpeg;*.mpe"));
        QCOMPARE(replaceall(QStringLiteral("a,,b"), QStringLiteral(","), QStringLiteral(",,")),
                 QStringLiteral("a,,,,b"));
    }

    void stripItem_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("rest");
        QTest::newRow("first of a list") << "a.mpg|b.mpg||"
                                         << "a.mpg"
                                         << "b.mpg||";
        QTest::newRow("empty item") << "||"
                                    << ""
                                    << "|";
        QTest::newRow("no separator") << "a.mpg"
                                      << "a.mpg"
                                      << "";
    }
    void stripItem() {
        QFETCH(QString, input);
        QFETCH(QString, item);
        QFETCH(QString, rest);
        QCOMPARE(StripItem(input, QLatin1Char('|')), item);
        QCOMPARE(input, rest);
    }

    void formatDir_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("out");
        QTest::newRow("fits") << "/video/a.mpg" << 3800 << "/video/a.mpg";
        // 3800 - 1300 (".../movie.mpg") - 175 = 2325; the head is cut to 2150 or less.
        QTest::newRow("front and last part") << "/home/someone/videos/holiday/2026/august/movie.mpg"
                                             << 3800 << "/home/someone/videos/.../movie.mpg";
        QTest::newRow("last part alone too wide")
            << "/v/a_very_long_file_name_that_will_not_fit_anywhere.mpg" << 3800
            << "/v/a_very_long_file_name_that_will_n...";
        QTest::newRow("no folder part, too wide")
            << QString(50, QLatin1Char('x')) << 3800 << "caller's text";
    }
    void formatDir() {
        QFETCH(QString, in);
        QFETCH(int, maxLength);
        QFETCH(QString, out);
        const QString result =
            fitPathToWidth(in, maxLength, hundredPerChar, QStringLiteral("caller's text"));
        QCOMPARE(result, out);
        if (result != in && result.endsWith(QStringLiteral(".mpg"))) {
            QVERIFY(hundredPerChar(result) <= maxLength - 350);
        }
    }

    void addSlash_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("root stored empty") << ""
                                           << "/";
        QTest::newRow("folder") << "/video"
                                << "/video";
        QTest::newRow("trailing slash") << "/video/"
                                        << "/video";
        QTest::newRow("several slashes") << "/video//"
                                         << "/video";
    }
    void addSlash() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(withoutTrailingSlashes(in), out);
    }

    void joinPathNeverDoublesTheSeparator_data() {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("path");
        QTest::newRow("root") << "/"
                              << "/a.mpg";
        QTest::newRow("folder") << "/video"
                                << "/video/a.mpg";
        QTest::newRow("folder with slash") << "/video/"
                                           << "/video/a.mpg";
    }
    void joinPathNeverDoublesTheSeparator() {
        QFETCH(QString, dir);
        QFETCH(QString, path);
        QCOMPARE(joinPath(dir, QStringLiteral("a.mpg")), path);
        QCOMPARE(folderPart(path) + namePart(path), path);
    }

    void captionVersion_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0.1.0") << "0.1.0"
                               << "0.10";
        QTest::newRow("2.0.5") << "2.0.5"
                               << "2.05";
        QTest::newRow("1.12.3") << "1.12.3"
                                << "1.123";
        QTest::newRow("major.minor") << "3.1"
                                     << "3.1";
    }
    void captionVersion() {
        QFETCH(QString, version);
        QFETCH(QString, shown);
        QCOMPARE(::captionVersion(version), shown);
    }

    void sizeTextGroupsDigits_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US") << "en_US" << quint64(1234567) << "1,234,567";
        QTest::newRow("de_DE") << "de_DE" << quint64(1234567) << "1.234.567";
        QTest::newRow("C groups too") << "C" << quint64(8) << "8";
        QTest::newRow("C large") << "C" << quint64(6442450944) << "6,442,450,944";
        QTest::newRow("zero is empty") << "en_US" << quint64(0) << "";
    }
    void sizeTextGroupsDigits() {
        QFETCH(QString, locale);
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        const QLocale saved;
        QLocale::setDefault(QLocale(locale));
        const QString result = sizeText(bytes);
        QLocale::setDefault(saved);
        QCOMPARE(result, text);
    }

    void unexpectedErrorText() {
        QCOMPARE(::unexpectedErrorText(53, QStringLiteral("File not found")),
                 QStringLiteral("Unexpected error. It may be a bug or an unexpected error has "
                                "occur! Please quit and restart Tarvik Zarvo Pro.\r\n"
                                "If the problem persists, please submit a bug report "
                                "immediately.\r\n\r\nError 53: 'File not found'  detected."));
    }
};

QTEST_GUILESS_MAIN(TextHelpersTest)
#include "test_text_helpers.moc"
