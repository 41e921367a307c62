#include "ExportWindow.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>
#include <new>

#include "GridExport.h"
#include "common/Clock.h"
#include "common/Controls.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Tag.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"
#include "xlsx/Workbook.h"

namespace {

const QString kChosen = QStringLiteral("√");

QString chooseWithDialog(QWidget *parent, const QString &folder)
{
    QFileDialog dialog(parent, QStringLiteral("输出到Excel文件"), folder,
                       QStringLiteral("Excel 工作簿 (*.xlsx *.xlsm);;所有文件 (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    // An existing workbook is not replaced: the export adds or rewrites one sheet of it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (MainArea::runModal(&dialog) != QDialog::Accepted) return QString();
    return dialog.selectedFiles().value(0);
}

// A file name ends in an extension such as .xlsx: a dot and up to five plain letters or digits, one
// of them a letter ("统计2024.05" has none).
bool hasExtension(const QString &path)
{
    static const QRegularExpression extension(QStringLiteral("\\.(?=[A-Za-z0-9]{1,5}$)[0-9]*[A-Za-z]"));
    return extension.match(QFileInfo(QDir::fromNativeSeparators(path)).fileName()).hasMatch();
}

void openWithDesktop(const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

ExportWindow::FileChooser fileChooser = &chooseWithDialog;
ExportWindow::WorkbookViewer workbookViewer = &openWithDesktop;

// The folder of the last workbook chosen or written while the program runs.
QString lastFolder;

void rememberFolderOf(const QString &path)
{
    const QString folder = QFileInfo(QDir::fromNativeSeparators(path)).absolutePath();
    if (QFileInfo(folder).isDir()) lastFolder = folder;
}

// Where the file dialog starts: the folder of the last workbook, else the user's documents
// folder (the home folder when there is none).
QString startFolder()
{
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir()) return lastFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

}  // namespace

ExportWindow::FileChooser ExportWindow::setFileChooser(FileChooser chooser)
{
    FileChooser previous = fileChooser;
    fileChooser = chooser ? chooser : &chooseWithDialog;
    return previous;
}

void ExportWindow::forgetLastFolder() { lastFolder.clear(); }

ExportWindow::WorkbookViewer ExportWindow::setWorkbookViewer(WorkbookViewer viewer)
{
    WorkbookViewer previous = workbookViewer;
    workbookViewer = viewer ? viewer : &openWithDesktop;
    return previous;
}

ExportWindow::ExportWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmToExcel"));
    setWindowTitle(QStringLiteral("输出到Excel"));
    setFixedSize(Twips::toPixels(5070) + 12, Twips::toPixels(3795));

    m_picker = named(new FlexGrid(this), QStringLiteral("Grid1"));
    m_picker->setGeometry(6, 6, width() - 12, 62);
    m_picker->setSelectionMode(QAbstractItemView::NoSelection);
    m_picker->setFocusPolicy(Qt::NoFocus);
    m_picker->horizontalHeader()->setSectionsClickable(true);
    m_picker->setToolTip(QStringLiteral("单击选择要输出的列，双击取消选择"));

    const int right = width() - 6;
    makeCaption(this, QStringLiteral("Excel文件路径和名称"), QRect(6, 72, 200, 20));
    m_path = named(new QLineEdit(this), QStringLiteral("Text1(0)"));
    m_path->setGeometry(6, 92, right - 6 - 30, 24);
    m_browse = named(new QPushButton(this), QStringLiteral("Command1"));
    m_browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_browse->setToolTip(QStringLiteral("选择文件"));
    m_browse->setAutoDefault(false);
    m_browse->setGeometry(right - 28, 92, 28, 24);

    makeCaption(this, QStringLiteral("文档标题"), QRect(6, 124, 72, 24));
    m_title = named(new QLineEdit(this), QStringLiteral("Text1(1)"));
    m_title->setGeometry(80, 124, right - 80, 24);
    makeCaption(this, QStringLiteral("工作表名称"), QRect(6, 154, 72, 24));
    m_sheetName = named(new QLineEdit(this), QStringLiteral("Text1(2)"));
    m_sheetName->setGeometry(80, 154, right - 80, 24);

    m_show = named(new QCheckBox(QStringLiteral("输出时启动Microsoft Excel程序"), this), QStringLiteral("Check1"));
    m_show->setGeometry(6, 188, 200, 24);
    m_ok = named(new QPushButton(QStringLiteral("确定"), this), QStringLiteral("Command2"));
    m_ok->setGeometry(right - 130, 186, 62, 28);
    m_ok->setAutoDefault(false);
    m_exit = named(new QPushButton(QStringLiteral("退出"), this), QStringLiteral("Command3"));
    m_exit->setGeometry(right - 62, 186, 62, 28);
    m_exit->setAutoDefault(false);

    m_status = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    m_status->setSizeGripEnabled(false);
    m_status->addWidget(new QLabel(QStringLiteral("提示: 打“√”表示要输出的列，双击可取消选择。"), m_status), 1);
    m_status->setGeometry(0, height() - 24, width(), 24);

    // A column is chosen when the button goes down, so the double-click that drops it always
    // comes last, in the cells and in the header alike.
    connect(m_picker, &QAbstractItemView::pressed, this, [this](const QModelIndex &index) {
        if (index.isValid()) chooseColumn(index.column());
    });
    connect(m_picker, &FlexGrid::cellDoubleClicked, this, [this](int, int column) { dropColumn(column); });
    connect(m_picker->horizontalHeader(), &QHeaderView::sectionPressed, this, &ExportWindow::chooseColumn);
    connect(m_picker->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, &ExportWindow::dropColumn);
    connect(m_browse, &QPushButton::clicked, this, &ExportWindow::chooseFile);
    connect(m_ok, &QPushButton::clicked, this, &ExportWindow::exportGrid);
    connect(m_exit, &QPushButton::clicked, this, &QWidget::close);
}

void ExportWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        CenterInMain(this);
    }
}

void ExportWindow::Config(GridModel *grid, const QString &sheetName, const QString &title)
{
    m_source = grid;
    GridModel *picker = m_picker->grid();
    const int columns = grid ? grid->columns() : 0;
    picker->setColumnCount(columns);
    picker->setFixedRows(1);
    for (int c = 0; c < columns; ++c) {
        picker->setHeaderText(c, grid->headerText(c, 0));
        picker->setFixedAlignment(c, grid->fixedAlignment(c));
        picker->setAlignment(c, 4);
        picker->setWidthTwips(c, grid->widthTwips(c));
    }
    // Two header rows: the picker shows the second in brackets where it says something else.
    if (grid && grid->fixedRows() == 2) {
        for (int c = 0; c < columns; ++c) {
            const QString top = picker->headerText(c);
            const QString below = grid->headerText(c, 1);
            if (below.trimmed() != top.trimmed())
                picker->setHeaderText(c, top + QLatin1Char('(') + below + QLatin1Char(')'));
        }
    }
    picker->appendRow(QStringList(QVector<QString>(columns, kChosen)));
    AutoFitColumns(*picker, font());
    // A column without a header is neither shown nor exported.
    for (int c = 0; c < columns; ++c) {
        if (picker->headerText(c).isEmpty()) {
            picker->setWidthTwips(c, 0);
            picker->setText(0, c, QString());
        }
    }
    m_title->setText(title);
    m_sheetName->setText(sheetName);
}

void ExportWindow::chooseColumn(int column)
{
    GridModel *picker = m_picker->grid();
    if (column < 0 || column >= picker->columns() || picker->headerText(column).isEmpty()) return;
    picker->setText(0, column, kChosen);
    picker->setAlignment(column, 4);
}

void ExportWindow::dropColumn(int column)
{
    GridModel *picker = m_picker->grid();
    if (column < 0 || column >= picker->columns()) return;
    picker->setText(0, column, QString());
}

QVector<int> ExportWindow::chosenColumns() const
{
    const GridModel *picker = m_picker->grid();
    QVector<int> columns;
    for (int c = 0; c < picker->columns(); ++c)
        if (!picker->text(0, c).isEmpty()) columns << c;
    return columns;
}

void ExportWindow::chooseFile()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const QString path = fileChooser(this, startFolder());
        if (path.isEmpty()) return;
        m_path->setText(QDir::toNativeSeparators(path));
        rememberFolderOf(path);
    });
}

bool ExportWindow::To_Execl(const QString &title, const QString &sheetName)
{
    m_lastError.clear();
    m_cancelled = false;
    QString path = m_path->text().trimmed();
    if (path.isEmpty()) {
        Messages::show(QStringLiteral("请确定输出的文件名"), Messages::executableName());
        return false;
    }
    if (!m_source) {
        m_lastError = QStringLiteral("要输出的表格已经关闭");
        return false;
    }
    if (QFileInfo(QDir::fromNativeSeparators(path)).isDir()) {
        m_lastError = QStringLiteral("%1 是一个文件夹，请在后面加上工作簿的文件名").arg(path);
        return false;
    }
    if (!hasExtension(path)) {
        path += path.endsWith(QLatin1Char('.')) ? QStringLiteral("xlsx") : QStringLiteral(".xlsx");
        m_path->setText(path);
    }
    QString holder;
    if (xlsx::lockedByLibreOffice(QDir::fromNativeSeparators(path), &holder)) {
        const QString who = holder.isEmpty() ? QString() : QStringLiteral("（%1）").arg(holder);
        if (!Messages::ask(QStringLiteral("工作簿 %1 正在 LibreOffice 中打开%2。\n"
                                          "现在写入，它在那里未保存的修改可能会覆盖这次输出。仍然写入吗？")
                               .arg(path, who),
                           Messages::programTitle(), Messages::Icon::Question)) {
            m_cancelled = true;
            return false;
        }
    }

    GridExport::Job job;
    job.path = QDir::fromNativeSeparators(path);
    job.title = title;
    job.tagText = tag(this);
    job.sheetName = sheetName;
    job.printDate = Clock::today();
    job.columns = chosenColumns();

    // Large grids take a while: a progress dialog appears after half a second and can cancel.
    QProgressDialog progress(QStringLiteral("正在输出到 %1 …").arg(QFileInfo(job.path).fileName()),
                             QStringLiteral("取消"), 0, 1000, this);
    progress.setWindowTitle(Messages::programTitle());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setValue(0);
    try {
        WaitCursor wait;
        GridExport::write(*m_source, job, [&](double done) {
            progress.setValue(qMin(1000, int(done * 1000)));
            return !progress.wasCanceled();
        });
        rememberFolderOf(job.path);
        return true;
    } catch (const xlsx::WorkbookError &e) {
        m_cancelled = e.isCancelled();
        if (!m_cancelled) m_lastError = e.message();
    } catch (const std::bad_alloc &) {
        m_lastError = QStringLiteral("内存不足，无法完成输出");
    } catch (const std::exception &e) {
        m_lastError = QString::fromLocal8Bit(e.what());
    }
    return false;
}

void ExportWindow::exportGrid()
{
    if (m_sheetName->text().isEmpty() || m_title->text().isEmpty()) {
        Messages::plain(QStringLiteral("请输入标题内容"));
        return;
    }
    if (To_Execl(m_title->text(), m_sheetName->text())) {
        if (m_show->isChecked()) workbookViewer(QDir::fromNativeSeparators(m_path->text().trimmed()));
        close();
        return;
    }
    if (!m_cancelled) Messages::information(QStringLiteral("输出到Execl失败: ") + m_lastError);
}

void ExportWindow::showFor(QPointer<ExportWindow> &window, QWidget *owner, GridModel *grid, const QString &sheetName,
                           const QString &title)
{
    if (!window || !window->isVisible()) {
        window = new ExportWindow(owner);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->Config(grid, sheetName, title);
    window->show();
    window->raise();
    window->activateWindow();
}

QString ExportWindow::periodSheetName(const QDate &from, const QDate &to, const QString &title)
{
    return QLatin1Char('(') + from.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("至") +
           to.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(')') + title;
}
