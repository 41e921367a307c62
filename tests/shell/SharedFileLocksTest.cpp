#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "FileLocks.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Session.h"
#include "sheet/SheetPreview.h"
#include "stats/ExportWindow.h"

namespace {

// Runs `act` on the next modal window of type T once it is shown (the window's own event loop
// is running then).
template <typename T>
void whenShown(std::function<void(T *)> act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(window);
        }
    });
    poll->start(20);
}

// What a user does in a file dialog: shows the folder, lets it list with its icons, and types
// the beginning of a name there so that the completer offers the files.
void browse(QFileDialog *dialog, const QString &folder)
{
    dialog->setDirectory(folder);
    if (dialog->nameFilters().size() > 1) dialog->selectNameFilter(dialog->nameFilters().constLast());  // all files
    auto *model = dialog->findChild<QFileSystemModel *>();
    QVERIFY(model);
    QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(model->index(folder)) >= 3, 10000);  // the file, -wal, -shm
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    QTest::keyClicks(name, QStringLiteral("test.sq"));
    QTest::qWait(1500);  // the icon and mime look-ups run beside the window
}

// The sheet preview's printer: the file box of printing to a PDF file, its completer and its
// file dialog.
void usePrinterFileBox(QPrintDialog *dialog, const QString &folder)
{
    auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
    auto *file = dialog->findChild<QLineEdit *>(QStringLiteral("filename"));
    auto *browseButton = dialog->findChild<QToolButton *>(QStringLiteral("fileBrowser"));
    if (!printers || !file || !browseButton) {
        dialog->reject();
        QFAIL("the print dialog has no file box");
    }
    if (!file->isEnabled()) printers->setCurrentIndex(printers->count() - 1);  // print to file
    file->clear();
    QTest::keyClicks(file, folder + QStringLiteral("/test.sq"));
    QTest::qWait(1500);
    whenShown<QFileDialog>([folder](QFileDialog *files) {
        browse(files, folder);
        files->reject();
    });
    browseButton->click();
    dialog->reject();
}

}  // namespace

// The program's hold on its database while the user browses the database's own folder.
class SharedFileLocksTest : public QObject {
    Q_OBJECT
private slots:
    // The export's folder button and the sheet printer's file box over the database's folder:
    // the locks stay, so another station that writes and closes cannot take the journal away;
    // both writes survive and the file stays whole.
    void fileDialogsOverTheFolderKeepTheLocks()
    {
        REQUIRE_SQLITE_SHELL();
        TestDatabase t(true);
        TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                            QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
        const QString shm = t.file() + QStringLiteral("-shm");
        QVERIFY(t.count(QStringLiteral("投诉信息")) > 0);
        QVERIFY(file_locks::on(t.file()) > 0);
        QVERIFY(file_locks::on(shm) > 0);

        MessageRecorder messages;
        {
            ExportWindow window;
            window.show();
            ModalDriver driver([&](QDialog *dialog) {
                auto *files = qobject_cast<QFileDialog *>(dialog);
                if (files) browse(files, t.folder());
                return int(QDialog::Rejected);
            });
            window.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
            QCOMPARE(driver.runs, 1);
        }
        {
            bool printed = false;
            ModalDriver driver([&](QDialog *preview) {
                whenShown<QPrintDialog>([&](QPrintDialog *dialog) { usePrinterFileBox(dialog, t.folder()); });
                printed = QMetaObject::invokeMethod(preview, "_q_print");
                return int(QDialog::Rejected);
            });
            openComplaintSheet(nullptr, QStringLiteral("00000015"));
            QVERIFY(printed);
        }
        QVERIFY2(messages.texts().isEmpty(), qPrintable(messages.texts().join(QLatin1Char('\n'))));
        QVERIFY(file_locks::on(t.file()) > 0);
        QVERIFY(file_locks::on(shm) > 0);

        QCOMPARE(file_locks::otherStation(
                     t.file(), QStringLiteral("INSERT INTO 投诉类别 (编号, 类别) VALUES ('90', '别处写入');")),
                 QString());
        QVERIFY(file_locks::on(t.file()) > 0);
        QVERIFY(QFile::exists(shm));
        t.db().insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), QStringLiteral("91")},
                                                   {QStringLiteral("类别"), QStringLiteral("本站写入")}});
        QCOMPARE(t.count(QStringLiteral("投诉类别"), QStringLiteral("编号 IN ('90', '91')")), 2);
        t.db().close();
        QCOMPARE(
            file_locks::otherStation(t.file(), QStringLiteral("PRAGMA integrity_check; SELECT group_concat(类别) FROM "
                                                              "(SELECT 类别 FROM 投诉类别 WHERE 编号 IN ('90', '91') "
                                                              "ORDER BY 编号);")),
            QStringLiteral("ok\n别处写入,本站写入"));
    }
};

TAVIMOR_TEST(SharedFileLocksTest)
#include "SharedFileLocksTest.moc"
