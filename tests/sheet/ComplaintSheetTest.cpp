#include <fcntl.h>
#include <unistd.h>
#include <QDialog>
#include <QDir>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <cstdio>
#include <optional>
#include <utility>

#include "MessageRecorder.h"
#include "ReadOnlyFile.h"
#include "TestDatabase.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "common/Clock.h"
#include "common/Session.h"
#include "common/Settings.h"
#include "sheet/ComplaintSheet.h"
#include "sheet/SheetPreview.h"
#include "sheet/SheetStore.h"

namespace {

const QDateTime kNow(QDate(2026, 6, 15), QTime(10, 0));

// The text of a PDF as poppler's pdftotext reads it (a reader we did not write), in reading
// order and without white space, so that a cell's text wrapped over lines reads whole; empty when
// the tool fails.
QString pdfText(const QString &file, int page = 0)
{
    QStringList args;
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    QProcess process;
    process.start(QStringLiteral("pdftotext"), args << file << QStringLiteral("-"));
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s")));
}

// The text of one page with its layout kept, line by line, as pdftotext -layout reads it.
QStringList pdfLines(const QString &file)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
}

// Where a word first stands on the first page, in points from the top (poppler's pdftotext -bbox):
// its top and bottom edge; nothing when the word is not there.
std::optional<std::pair<double, double>> wordTopAndBottom(const QString &file, const QString &word)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), file, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return std::nullopt;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("yMin=\"([\\d.]+)\"[^>]*yMax=\"([\\d.]+)\">") + word + QStringLiteral("<"))
            .match(QString::fromUtf8(process.readAllStandardOutput()));
    if (!m.hasMatch()) return std::nullopt;
    return std::make_pair(m.captured(1).toDouble(), m.captured(2).toDouble());
}

int pdfPages(const QString &file)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {file});
    process.waitForFinished(60000);
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                          .match(QString::fromUtf8(process.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// A complaint with every field, a follow-up visit and `steps` routing steps.
void addComplaint(TestDatabase &db, int steps, const QString &opinion = QStringLiteral("请尽快维修"))
{
    db.exec(QStringLiteral(
        "INSERT INTO 职能部门new (职能部门编号, 职能部门名称) VALUES ('5', '翠苑物业服务中心'), ('3', '工程维修部')"));
    db.exec(
        QStringLiteral("INSERT INTO 岗位信息new (岗位代号, 岗位名称, 职能部门代号) VALUES ('501', '服务中心主任', '5'),"
                       " ('301', '工程部经理', '3')"));
    db.exec(
        QStringLiteral(
            "INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 部门名称, 投诉人, 地址, 联系电话, 投诉类别, 投诉方式,"
            " 投诉时间, 投诉内容, 接待人, 处理状态, 处理结果, 处理时间, 调查情况, 回访人, 回访时间, 结果满意度)"
            " VALUES ('00000042', 42, '5', '翠苑物业服务中心', '王海涛', '翠苑小区8幢1单元101室',"
            " '0571-86001001', '维修质量', '来访', ?, ?, '张晓燕', '处理完成', '已更换水管', ?,"
            " '现场查看属实', '李建国', ?, '满意')"),
        {QDateTime(QDate(2026, 6, 1), QTime(9, 30)), QStringLiteral("卫生间漏水<三次>&楼下受损"),
         QDateTime(QDate(2026, 6, 3), QTime(17, 0)), QDateTime(QDate(2026, 6, 5), QTime(11, 15))});
    for (int n = 1; n <= steps; ++n) {
        const bool first = n == 1;
        db.exec(QStringLiteral(
                    "INSERT INTO 投诉信息处理 (投诉编号, 处理部门, 处理岗位, 处理意见, 处理结果, 顺序号, 接受时间,"
                    " 处理结束时间) VALUES ('00000042', ?, ?, ?, ?, ?, ?, ?)"),
                {first ? "5" : "3", first ? "501" : (n == steps ? "399" : "301"),
                 QStringLiteral("%1%2").arg(opinion).arg(n), QStringLiteral("结果%1").arg(n), n,
                 QDateTime(QDate(2026, 6, 1), QTime(10, n % 60)), QDateTime(QDate(2026, 6, 2), QTime(8, n % 60))});
    }
}

QByteArray contentOf(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What the command writes to the standard error while it runs.
class StandardError {
public:
    StandardError() : m_file(QDir::temp().filePath(QStringLiteral("tavimor-stderr-%1").arg(::getpid())))
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        const int fd = ::open(QFile::encodeName(m_file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~StandardError()
    {
        restore();
        QFile::remove(m_file);
    }
    QString text()
    {
        restore();
        return QString::fromLocal8Bit(contentOf(m_file));
    }

private:
    void restore()
    {
        if (m_saved < 0) return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    QString m_file;
    int m_saved = -1;
};

}  // namespace

class ComplaintSheetTest : public QObject {
    Q_OBJECT

    QString m_noReader;
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            m_noReader = QStringLiteral("pdftotext/pdfinfo are missing (Debian package poppler-utils)");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (m_noReader.isEmpty()) return;
        // In CI a missing reader is a failure, never a silent skip.
        if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(m_noReader));
        QSKIP(qPrintable(m_noReader));
    }
    void cleanup() { TestDatabase::clearSession(); }

    // Every field and every step is text in the PDF (Chinese included), in 顺序号 order, with
    // markup in a value printed as it was typed.
    void pdfHoldsEveryFieldAndStep()
    {
        Clock::Pinned pinned(kNow);
        TestDatabase db;
        addComplaint(db, 3);
        const std::optional<SheetData> sheet = SheetStore(gConn).load(QStringLiteral("00000042"));
        QVERIFY(sheet);
        const QString file = m_dir->filePath(QStringLiteral("sheet.pdf"));
        QString error;
        QVERIFY2(ComplaintSheet::writePdf(*sheet, file, &error), qPrintable(error));
        const QString text = pdfText(file);
        for (const char *expected : {"投诉处理单",
                                     "翠苑物业服务中心",
                                     "投诉编号",
                                     "00000042",
                                     "投诉时间",
                                     "2026-06-01 09:30",
                                     "投诉人",
                                     "王海涛",
                                     "地址",
                                     "翠苑小区8幢1单元101室",
                                     "联系电话",
                                     "0571-86001001",
                                     "投诉类别",
                                     "维修质量",
                                     "投诉方式",
                                     "来访",
                                     "接待人",
                                     "张晓燕",
                                     "投诉内容",
                                     "卫生间漏水<三次>&楼下受损",
                                     "处理状态",
                                     "处理完成",
                                     "调查情况",
                                     "现场查看属实",
                                     "处理结果",
                                     "已更换水管",
                                     "处理时间",
                                     "2026-06-03 17:00",
                                     "顺序号",
                                     "部门",
                                     "岗位",
                                     "接受时间",
                                     "处理结束时间",
                                     "处理意见",
                                     "服务中心主任",
                                     "工程维修部",
                                     "工程部经理",
                                     "请尽快维修1",
                                     "请尽快维修3",
                                     "结果2",
                                     "2026-06-01",
                                     "10:01",
                                     "08:03",
                                     "回访人",
                                     "李建国",
                                     "回访时间",
                                     "2026-06-05 11:15",
                                     "结果满意度",
                                     "满意",
                                     "打印日期：2026-06-15",
                                     "第 1 页 / 共 1 页",
                                     "处理人签字：",
                                     "业主签字：",
                                     "日期："})
            QVERIFY2(text.contains(QString::fromUtf8(expected).remove(QLatin1Char(' '))), expected);
        // A post that left the register prints by its code.
        QVERIFY(text.contains(QStringLiteral("399")));
        QVERIFY(text.indexOf(QStringLiteral("请尽快维修1")) < text.indexOf(QStringLiteral("请尽快维修2")));
        QVERIFY(text.indexOf(QStringLiteral("请尽快维修2")) < text.indexOf(QStringLiteral("请尽快维修3")));
        QCOMPARE(pdfPages(file), 1);
    }

    // Each heading stands clear of the table above it, also when that table's last cell is empty
    // (处理时间 of a complaint not finished yet, the result of a step not yet written).
    void headingsStandClearOfTheTablesAbove()
    {
        TestDatabase db;
        addComplaint(db, 1);
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = '处理中', 处理结果 = NULL, 处理时间 = NULL"));
        db.exec(QStringLiteral("UPDATE 投诉信息处理 SET 处理结果 = NULL"));
        const QString file = m_dir->filePath(QStringLiteral("headings.pdf"));
        QVERIFY(ComplaintSheet::writePdf(*SheetStore(gConn).load(QStringLiteral("00000042")), file, nullptr));
        // From the last line of text in the table (its cell padding below it) to the heading:
        // well over the padding alone.
        const std::pair<const char *, const char *> pairs[] = {{"处理时间", "处理过程"}, {"10:01", "回访"}};
        for (const auto &[last, heading] : pairs) {
            const auto above = wordTopAndBottom(file, QString::fromUtf8(last));
            const auto below = wordTopAndBottom(file, QString::fromUtf8(heading));
            QVERIFY2(above && below, heading);
            const double gap = below->first - above->second;
            QVERIFY2(gap > 12, qPrintable(QStringLiteral("%1 %2").arg(QString::fromUtf8(heading)).arg(gap)));
        }
    }

    // Many long steps run over several A4 pages, each with the step table's header; no visit, no
    // visit block.
    void stepHeaderRepeatsOnEveryPage()
    {
        TestDatabase db;
        addComplaint(db, 40, QStringLiteral("需要协调多个部门共同处理，并在处理后回复业主，说明原因和后续安排。"));
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 回访人 = NULL, 回访时间 = NULL, 结果满意度 = NULL"));
        const QString file = m_dir->filePath(QStringLiteral("long.pdf"));
        QVERIFY(ComplaintSheet::writePdf(*SheetStore(gConn).load(QStringLiteral("00000042")), file, nullptr));
        const int pages = pdfPages(file);
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
        // Every page: the step header, the print date and its number; every page after the first
        // names the complaint; the last one, and only that, has the signature lines.
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(file, page);
            QVERIFY2(text.contains(QStringLiteral("处理结束时间")) && text.contains(QStringLiteral("顺序号")),
                     qPrintable(QString::number(page)));
            QCOMPARE(text.contains(QStringLiteral("业主签字")), page == pages);
            QVERIFY2(text.contains(QStringLiteral("第%1页/共%2页").arg(page).arg(pages)), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("打印日期：")));
            QCOMPARE(text.contains(QStringLiteral("投诉处理单（续）投诉编号：00000042")), page > 1);
        }
        const QString all = pdfText(file);
        QVERIFY(all.contains(QStringLiteral("结果40")));
        QVERIFY(!all.contains(QStringLiteral("回访人")));
    }

    // A voided complaint says since when beside its status; one never routed shows an empty step
    // table; 调查情况 and 处理结果 not yet written leave lines to write them by hand.
    void voidedComplaintWithoutSteps()
    {
        TestDatabase db;
        addComplaint(db, 0);
        const auto rowsBetweenFindingsAndResult = [&](const QString &file) {
            const QStringList lines = pdfLines(file);
            int findings = -1, result = -1;
            for (int i = 0; i < lines.size(); ++i) {
                const QString line = lines.at(i).trimmed();
                if (line.startsWith(QStringLiteral("调查情况"))) findings = i;
                if (line.startsWith(QStringLiteral("处理结果")) && result < 0) result = i;
            }
            return findings >= 0 && result > findings ? result - findings : -1;
        };
        const QString written = m_dir->filePath(QStringLiteral("written.pdf"));
        QVERIFY(ComplaintSheet::writePdf(*SheetStore(gConn).load(QStringLiteral("00000042")), written, nullptr));

        db.exec(
            QStringLiteral("UPDATE 投诉信息 SET 处理状态 = '尚未受理', 撤销时间 = '2026-06-02 08:15:00',"
                           " 调查情况 = NULL, 处理结果 = ''"));
        const QString file = m_dir->filePath(QStringLiteral("voided.pdf"));
        QVERIFY(ComplaintSheet::writePdf(*SheetStore(gConn).load(QStringLiteral("00000042")), file, nullptr));
        const QString text = pdfText(file);
        QVERIFY2(text.contains(QStringLiteral("尚未受理（已作废2026-06-02）")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("处理结果（无）")));
        const int filled = rowsBetweenFindingsAndResult(written);
        const int empty = rowsBetweenFindingsAndResult(file);
        QVERIFY2(filled > 0 && empty >= filled + 3, qPrintable(QStringLiteral("%1 %2").arg(filled).arg(empty)));
    }

    // `--sheet`: over the stored settings, the PDF for a known code, 1 and no file for an unknown.
    void sheetCommand()
    {
        TestDatabase db;
        addComplaint(db, 3);
        Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:") + db.file(), {}, {}, {}});
        const QString file = m_dir->filePath(QStringLiteral("cli.pdf"));
        QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), file), 0);
        QVERIFY(pdfText(file).contains(QStringLiteral("王海涛")));
        const QString missing = m_dir->filePath(QStringLiteral("none.pdf"));
        QCOMPARE(writeSheetCommand(QStringLiteral("99999999"), missing), 1);
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(noSuchComplaint(QStringLiteral("99999999")), QStringLiteral("没有编号为99999999的投诉"));
        // A folder that cannot be written is reported, not claimed as done.
        QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), QStringLiteral("/proc/nowhere/x.pdf")), 1);
        {
            StandardError err;
            QCOMPARE(writeSheetCommand(QString(), m_dir->filePath(QStringLiteral("none.pdf"))), 1);
            QCOMPARE(err.text().trimmed(), QStringLiteral("请指定投诉编号"));
        }
    }

    // A full disk, a device that takes nothing and a read-only file are failures with a reason;
    // a file already at the target keeps its content and no temporary file is left beside it.
    void sheetCommandFailsWithoutDamage()
    {
        TestDatabase db;
        addComplaint(db, 3);
        Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:") + db.file(), {}, {}, {}});
        const QString target = m_dir->filePath(QStringLiteral("sheet.pdf"));
        QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), target), 0);
        const QByteArray whole = contentOf(target);
        QVERIFY2(whole.size() > 16384, qPrintable(QString::number(whole.size())));
        const QByteArray before("an earlier sheet");
        const auto putBack = [&] {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(before);
        };
        putBack();
        {
            // Less room than the sheet needs. A second connection keeps the database's shared
            // memory file as it is while the command opens the database anew.
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
            holder.setDatabaseName(db.file());
            QVERIFY(holder.open());
            QSqlQuery(QStringLiteral("SELECT count(*) FROM 投诉信息"), holder).next();
            StandardError err;
            int status = 0;
            {
                test_files::FileSizeLimit limit(16384);
                status = writeSheetCommand(QStringLiteral("00000042"), target);
            }
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("holder"));
            QCOMPARE(status, 1);
            QVERIFY2(err.text().contains(QStringLiteral("文件超出了允许的大小")), qPrintable(err.text()));
        }
        QCOMPARE(contentOf(target), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sheet.pdf"});

        {
            StandardError err;
            QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), QStringLiteral("/dev/full")), 1);
            QVERIFY2(err.text().contains(QStringLiteral("磁盘空间不足")), qPrintable(err.text()));
            QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
        }
        {
            ReadOnlyFile readOnly(target);
            StandardError err;
            QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), target), 1);
            QVERIFY2(err.text().contains(QStringLiteral("是只读的")), qPrintable(err.text()));
        }
        QCOMPARE(contentOf(target), before);
        // Never over the database it reads, nor over its journal: every complaint would be gone.
        const QByteArray database = contentOf(db.file());
        for (const QString &journal : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            StandardError err;
            QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), db.file() + journal), 1);
            QVERIFY2(err.text().contains(QStringLiteral("是本程序正在使用的数据库，没有替换它")),
                     qPrintable(err.text()));
        }
        QCOMPARE(contentOf(db.file()), database);
        // Written whole over a file that may be replaced.
        QCOMPARE(writeSheetCommand(QStringLiteral("00000042"), target), 0);
        QVERIFY(pdfText(target).contains(QStringLiteral("王海涛")));
    }

    // Printing to a PDF file from the preview: written whole, or a message that says why.
    void previewPrintsToPdfFile()
    {
        TestDatabase db;
        addComplaint(db, 1);
        MessageRecorder messages;
        QString target;
        ModalDriver driver([&](QDialog *dialog) {
            auto *preview = qobject_cast<QPrintPreviewDialog *>(dialog);
            auto *pages = dialog->findChild<QPrintPreviewWidget *>();
            if (!preview || !pages) return 0;
            preview->printer()->setOutputFormat(QPrinter::PdfFormat);
            preview->printer()->setOutputFileName(target);
            const bool existed = QFile::exists(target);
            pages->updatePreview();  // drawing the preview's pages writes no file
            if (pages->pageCount() != 1 || QFile::exists(target) != existed) return 0;
            pages->print();  // what the print dialog's 打印 does
            return 1;
        });
        target = m_dir->filePath(QStringLiteral("printed.pdf"));
        openComplaintSheet(nullptr, QStringLiteral("00000042"));
        QCOMPARE(messages.count(), 0);
        QVERIFY(pdfText(target).contains(QStringLiteral("王海涛")));

        // A full disk: /dev/full takes no byte.
        target = QStringLiteral("/dev/full");
        openComplaintSheet(nullptr, QStringLiteral("00000042"));
        QCOMPARE(messages.count(), 1);
        QVERIFY2(messages.last().contains(QStringLiteral("磁盘空间不足")), qPrintable(messages.last()));
    }

    // The preview opens for a complaint that exists; a gone one and none are told apart.
    void previewOpensOnlyForAComplaint()
    {
        TestDatabase db;
        addComplaint(db, 1);
        MessageRecorder messages;
        QStringList opened;
        ModalDriver driver([&](QDialog *dialog) {
            opened << dialog->objectName();
            return 0;
        });
        openComplaintSheet(nullptr, QString());
        QCOMPARE(messages.last(), QStringLiteral("请先在列表中选择一条投诉"));
        openComplaintSheet(nullptr, QStringLiteral("00000043"));
        QCOMPARE(messages.last(), QStringLiteral("没有编号为00000043的投诉"));
        QCOMPARE(driver.runs, 0);
        openComplaintSheet(nullptr, QStringLiteral("00000042"));
        QCOMPARE(opened, QStringList{QStringLiteral("frm投诉处理单")});
        QCOMPARE(messages.count(), 2);
    }
};

TAVIMOR_TEST(ComplaintSheetTest)
#include "ComplaintSheetTest.moc"
