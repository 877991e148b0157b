#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "ui/job_host_dialog.h"

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool onTop = false;
};

// Presses `button` on the next message box and records what it showed.
void pressOnNextBox(QMessageBox::StandardButton button, SeenBox* seen) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        *seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                 box->windowFlags().testFlag(Qt::WindowStaysOnTopHint)};
        if (button == QMessageBox::Escape) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            box->button(button)->click();
        }
    });
}

}  // namespace

class JobHostDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messageBoxShowsAndAnswers_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("boxIcon");
        QTest::addColumn<int>("boxButtons");
        QTest::newRow("error ok") << int(MessageIcon::Error) << int(MessageButtons::Ok)
                                  << int(QMessageBox::Ok) << int(MessageAnswer::Ok)
                                  << int(QMessageBox::Critical) << int(QMessageBox::Ok);
        QTest::newRow("yes") << int(MessageIcon::Warning) << int(MessageButtons::YesNo)
                             << int(QMessageBox::Yes) << int(MessageAnswer::Yes)
                             << int(QMessageBox::Warning)
                             << int(QMessageBox::Yes | QMessageBox::No);
        QTest::newRow("escape is no")
            << int(MessageIcon::Error) << int(MessageButtons::YesNo) << int(QMessageBox::Escape)
            << int(MessageAnswer::No) << int(QMessageBox::Critical)
            << int(QMessageBox::Yes | QMessageBox::No);
        QTest::newRow("retry") << int(MessageIcon::Error) << int(MessageButtons::RetryCancel)
                               << int(QMessageBox::Retry) << int(MessageAnswer::Retry)
                               << int(QMessageBox::Critical)
                               << int(QMessageBox::Retry | QMessageBox::Cancel);
        QTest::newRow("information")
            << int(MessageIcon::Information) << int(MessageButtons::Ok) << int(QMessageBox::Ok)
            << int(MessageAnswer::Ok) << int(QMessageBox::Information) << int(QMessageBox::Ok);
    }
    void messageBoxShowsAndAnswers() {
        QFETCH(int, icon);
        QFETCH(int, buttons);
        QFETCH(int, press);
        QFETCH(int, answer);
        QFETCH(int, boxIcon);
        QFETCH(int, boxButtons);
        QWidget window;
        DialogJobHost host(&window);
        SeenBox seen;
        pressOnNextBox(static_cast<QMessageBox::StandardButton>(press), &seen);
        const MessageAnswer got =
            host.message(static_cast<MessageIcon>(icon), QStringLiteral("Nothing to pack."),
                         static_cast<MessageButtons>(buttons));
        QCOMPARE(int(got), answer);
        QCOMPARE(seen.title, QStringLiteral("Tarvik Zarvo Pro"));
        QCOMPARE(seen.text, QStringLiteral("Nothing to pack."));
        QCOMPARE(int(seen.icon), boxIcon);
        QCOMPARE(int(seen.buttons), boxButtons);
        QVERIFY(seen.onTop);
    }
};

QTEST_MAIN(JobHostDialogTest)
#include "test_job_host_dialog.moc"
