#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "MessageRecorder.h"
#include "TestDatabase.h"
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
                                     "打印日期：2026-06-15"})
            QVERIFY2(text.contains(QString::fromUtf8(expected).remove(QLatin1Char(' '))), expected);
        // A post that left the register prints by its code.
        QVERIFY(text.contains(QStringLiteral("399")));
        QVERIFY(text.indexOf(QStringLiteral("请尽快维修1")) < text.indexOf(QStringLiteral("请尽快维修2")));
        QVERIFY(text.indexOf(QStringLiteral("请尽快维修2")) < text.indexOf(QStringLiteral("请尽快维修3")));
        QCOMPARE(pdfPages(file), 1);
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
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(file, page);
            QVERIFY2(text.contains(QStringLiteral("处理结束时间")) && text.contains(QStringLiteral("顺序号")),
                     qPrintable(QString::number(page)));
        }
        const QString all = pdfText(file);
        QVERIFY(all.contains(QStringLiteral("结果40")));
        QVERIFY(!all.contains(QStringLiteral("回访人")));
    }

    // A voided complaint says so beside its status; one never routed shows an empty step table.
    void voidedComplaintWithoutSteps()
    {
        TestDatabase db;
        addComplaint(db, 0);
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = '尚未受理', 撤销时间 = '2026-06-02 00:00:00'"));
        const QString file = m_dir->filePath(QStringLiteral("voided.pdf"));
        QVERIFY(ComplaintSheet::writePdf(*SheetStore(gConn).load(QStringLiteral("00000042")), file, nullptr));
        const QString text = pdfText(file);
        QVERIFY(text.contains(QStringLiteral("尚未受理（已作废）")));
        QVERIFY(text.contains(QStringLiteral("处理结果（无）")));
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
