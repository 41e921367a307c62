#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "ExportProbe.h"
#include "MessageRecorder.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "common/FlexGrid.h"
#include "stats/ExportWindow.h"
#include "xlsx/Workbook.h"

namespace {

QString chosenPath;
QString shownPath;
QString askedFolder;
QString answerWithChosenPath(QWidget *, const QString &folder)
{
    askedFolder = folder;
    return chosenPath;
}
void recordShown(const QString &path) { shownPath = path; }

template <typename T>
T *find(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromUtf8(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

QStringList pickerTexts(ExportWindow *window, int row)
{
    GridModel *picker = find<FlexGrid>(window, "Grid1")->grid();
    QStringList texts;
    for (int c = 0; c < picker->columns(); ++c) texts << picker->gridText(row, c);
    return texts;
}

}  // namespace

// The export window: the column picker, the input checks, and an export from the buttons.
class ExportWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ExportWindow::setFileChooser(&answerWithChosenPath);
        ExportWindow::setWorkbookViewer(&recordShown);
        chosenPath.clear();
        shownPath.clear();
    }
    void cleanup()
    {
        ExportWindow::setFileChooser(nullptr);
        ExportWindow::setWorkbookViewer(nullptr);
    }

    // The file dialog starts in the documents folder, then where the last workbook was chosen or
    // written; never in the program's folder.
    void fileDialogStartsWhereTheUserWorks()
    {
        ExportWindow::forgetLastFolder();
        GridModel grid;
        export_probe::fillGrid(grid, QStringLiteral("<编号"), {{"1"}});
        ExportWindow window;
        window.Config(&grid, QStringLiteral("表"), QStringLiteral("标题"));
        window.show();
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        find<QPushButton>(&window, "Command1")->click();  // cancelled
        QCOMPARE(askedFolder, QFileInfo(documents).isDir() ? documents : QDir::homePath());
        QVERIFY(askedFolder != QCoreApplication::applicationDirPath());

        QTemporaryDir other;
        chosenPath = other.filePath(QStringLiteral("a.xlsx"));
        find<QPushButton>(&window, "Command1")->click();
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(askedFolder, other.path());
        find<QLineEdit>(&window, "Text1(0)")->setText(m_dir->filePath(QStringLiteral("typed.xlsx")));
        find<QPushButton>(&window, "Command2")->click();
        QVERIFY(QFileInfo::exists(m_dir->filePath(QStringLiteral("typed.xlsx"))));
        ExportWindow next;
        next.Config(&grid, QStringLiteral("表"), QStringLiteral("标题"));
        find<QPushButton>(&next, "Command1")->click();
        QCOMPARE(askedFolder, m_dir->path());
    }

    // A disk that fills up while the workbook is saved: the failure and its reason are shown, the
    // workbook that was there is untouched and nothing is left beside it.
    void fullDiskLeavesTheWorkbook()
    {
        GridModel grid;
        QList<QStringList> rows;
        for (int i = 0; i < 2000; ++i) rows << QStringList{QString::number(i), QStringLiteral("投诉人%1").arg(i)};
        export_probe::fillGrid(grid, QStringLiteral("<编号|<投诉人"), rows);
        const QString path = m_dir->filePath(QStringLiteral("full.xlsx"));
        ExportWindow window;
        window.Config(&grid, QStringLiteral("统计"), QStringLiteral("标题"));
        window.show();
        find<QLineEdit>(&window, "Text1(0)")->setText(path);
        find<QPushButton>(&window, "Command2")->click();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        window.Config(&grid, QStringLiteral("统计"), QStringLiteral("标题"));
        window.show();
        MessageRecorder messages;
        {
            test_files::FileSizeLimit limit(4096);
            find<QPushButton>(&window, "Command2")->click();
        }
        QCOMPARE(messages.count(), 1);
        QVERIFY2(messages.last().startsWith(QStringLiteral("输出到Execl失败: 无法保存工作簿")) &&
                     messages.last().contains(QStringLiteral("文件超出了允许的大小")),
                 qPrintable(messages.last()));
        QVERIFY(window.isVisible());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"full.xlsx"});
    }

    // Every column with a header starts chosen; a column without one is hidden and never
    // exported; a second header row is shown in brackets where it differs; a click chooses a
    // column, a double-click drops it.
    void columnPicker()
    {
        GridModel grid;
        export_probe::fillGrid(grid, QStringLiteral("序|<编号|<投诉人||>金额"), {{"1", "0012", "王", "x", "3"}});
        grid.setHeaderText(1, QStringLiteral("编号 "), 1);
        grid.setHeaderText(2, QStringLiteral("姓名"), 1);
        ExportWindow window;
        window.Config(&grid, QStringLiteral("表"), QStringLiteral("标题"));
        window.show();
        QCOMPARE(pickerTexts(&window, 0), (QStringList{"序()", "编号", "投诉人(姓名)", "", "金额()"}));
        QCOMPARE(pickerTexts(&window, 1), (QStringList{"√", "√", "√", "", "√"}));
        QCOMPARE(window.chosenColumns(), (QVector<int>{0, 1, 2, 4}));
        auto *picker = find<FlexGrid>(&window, "Grid1");
        QVERIFY(picker->isColumnHidden(3));
        QCOMPARE(find<QLineEdit>(&window, "Text1(1)")->text(), QStringLiteral("标题"));
        QCOMPARE(find<QLineEdit>(&window, "Text1(2)")->text(), QStringLiteral("表"));
        QVERIFY(find<QLineEdit>(&window, "Text1(0)")->text().isEmpty());

        // Mouse input through the window system, which turns a quick second press into a double-click.
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint cell =
            picker->viewport()->mapTo(&window, picker->visualRect(picker->grid()->index(0, 2)).center());
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, cell);
        QCOMPARE(window.chosenColumns(), (QVector<int>{0, 1, 4}));
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, cell);
        QCOMPARE(window.chosenColumns(), (QVector<int>{0, 1, 2, 4}));
        window.chooseColumn(3);  // a column without a header cannot be chosen
        QCOMPARE(window.chosenColumns(), (QVector<int>{0, 1, 2, 4}));
    }

    // Empty title, sheet name or file name: messages, nothing written, the window stays.
    void inputChecks()
    {
        GridModel grid;
        export_probe::fillGrid(grid, QStringLiteral("<编号"), {{"1"}});
        ExportWindow window;
        window.Config(&grid, QStringLiteral("表"), QStringLiteral("标题"));
        window.show();
        MessageRecorder messages;
        for (const char *box : {"Text1(1)", "Text1(2)"}) {
            QLineEdit *edit = find<QLineEdit>(&window, box);
            const QString kept = edit->text();
            edit->clear();
            find<QPushButton>(&window, "Command2")->click();
            edit->setText(kept);
        }
        find<QPushButton>(&window, "Command2")->click();
        QCOMPARE(messages.texts(),
                 (QStringList{"请输入标题内容", "请输入标题内容", "请确定输出的文件名", "输出到Execl失败: "}));
        QCOMPARE(messages.messages[0].title, Messages::programTitle());
        QCOMPARE(messages.messages[2].title, Messages::executableName());
        QCOMPARE(messages.messages[2].icon, Messages::Icon::None);
        QCOMPARE(messages.messages[3].icon, Messages::Icon::Information);
        QVERIFY(window.isVisible());
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    // The file from the dialog, an export that fails (the window stays with its inputs and says
    // why), and one that succeeds (the workbook is shown when asked, the window closes).
    void exportFromTheButtons()
    {
        GridModel grid;
        export_probe::fillGrid(grid, QStringLiteral("<编号|<投诉人"), {{"0012", "王"}});
        ExportWindow window;
        window.Config(&grid, QStringLiteral("统计"), QStringLiteral("标题"));
        window.show();
        MessageRecorder messages;

        chosenPath = m_dir->filePath(QStringLiteral("old.xls"));
        QFile old(chosenPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("not a workbook");
        old.close();
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(find<QLineEdit>(&window, "Text1(0)")->text(), QDir::toNativeSeparators(chosenPath));
        find<QPushButton>(&window, "Command2")->click();
        QCOMPARE(messages.count(), 1);
        // The reason as the workbook module gives it, in the user's language.
        QCOMPARE(messages.last(), QStringLiteral("输出到Execl失败: ") + QDir::toNativeSeparators(chosenPath) +
                                      QStringLiteral(" 不是 .xlsx 工作簿（它不是 zip 压缩文件）"));
        QVERIFY(window.isVisible());
        QCOMPARE(find<QLineEdit>(&window, "Text1(1)")->text(), QStringLiteral("标题"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("not a workbook"));

        chosenPath = m_dir->filePath(QStringLiteral("new.xlsx"));
        find<QPushButton>(&window, "Command1")->click();
        find<QCheckBox>(&window, "Check1")->setChecked(true);
        find<QPushButton>(&window, "Command2")->click();
        QCOMPARE(messages.count(), 1);
        QVERIFY(!window.isVisible());
        QCOMPARE(shownPath, chosenPath);
        xlsx::Workbook book = xlsx::Workbook::open(chosenPath);
        QCOMPARE(book.sheetNames(), (QStringList{"Sheet1", "统计"}));
        QCOMPARE(book.sheet(1).usedRange(), xlsx::CellRange(1, 1, 5, 2));
    }

    // A typed name without an extension gets ".xlsx"; a workbook LibreOffice has open is written
    // only when the user says so; a workbook with a password is said to be one.
    void fileNames()
    {
        GridModel grid;
        export_probe::fillGrid(grid, QStringLiteral("<编号|<投诉人"), {{"0012", "王"}});
        MessageRecorder messages;
        auto exportTo = [&](const QString &path) {
            QPointer<ExportWindow> window = new ExportWindow;
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->Config(&grid, QStringLiteral("统计"), QStringLiteral("标题"));
            window->show();
            find<QLineEdit>(window, "Text1(0)")->setText(QDir::toNativeSeparators(path));
            find<QPushButton>(window, "Command2")->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // a closed window is gone
            return window;
        };

        const QString typed = m_dir->filePath(QStringLiteral("统计2024.05"));
        QVERIFY(!exportTo(typed));  // written, and the window closed
        QVERIFY(QFileInfo::exists(typed + QStringLiteral(".xlsx")));
        QCOMPARE(messages.count(), 0);

        const QString open = typed + QStringLiteral(".xlsx");
        QFile lock(m_dir->filePath(QStringLiteral(".~lock.统计2024.05.xlsx#")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QStringLiteral("张晓燕,office-pc,/home/zxy,09.12.2026 10:00,file:///home/zxy/.config/libreoffice/4;")
                       .toUtf8());
        lock.close();
        const QDateTime written = QFileInfo(open).lastModified();
        messages.answers = {Messages::Answer::No};
        QPointer<ExportWindow> refused = exportTo(open);
        QCOMPARE(messages.count(), 1);  // the question, and no failure after No
        QCOMPARE(messages.messages.last().buttons, Messages::Buttons::YesNo);
        QVERIFY2(messages.last().contains(QStringLiteral("LibreOffice")) &&
                     messages.last().contains(QStringLiteral("张晓燕")),
                 qPrintable(messages.last()));
        QVERIFY(refused && refused->isVisible());
        QCOMPARE(QFileInfo(open).lastModified(), written);
        delete refused;
        messages.answers = {Messages::Answer::Yes};
        QVERIFY(!exportTo(open));
        QCOMPARE(messages.count(), 2);

        const QString locked = m_dir->filePath(QStringLiteral("locked.xlsx"));
        QVERIFY(test_files::writePasswordProtectedWorkbook(locked));
        QPointer<ExportWindow> protectedOne = exportTo(locked);
        QVERIFY(protectedOne && protectedOne->isVisible());
        QVERIFY2(messages.last().startsWith(QStringLiteral("输出到Execl失败: ")) &&
                     messages.last().contains(QStringLiteral("密码")) &&
                     !messages.last().contains(QStringLiteral("zip")),
                 qPrintable(messages.last()));
        delete protectedOne;
    }
};

TAVIMOR_TEST(ExportWindowTest)
#include "ExportWindowTest.moc"
