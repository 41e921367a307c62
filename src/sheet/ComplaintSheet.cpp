#include "ComplaintSheet.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QScreen>
#include <QTextDocument>

#include "common/Clock.h"
#include "common/DateText.h"

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped()
        .replace(QLatin1String("\r\n"), QLatin1String("<br>"))
        .replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

// In the narrow columns of the step table the time goes below the date.
QString whenStacked(const QDateTime &value)
{
    return value.isValid()
               ? DateText::day(value.date()) + QStringLiteral("<br>") + value.toString(QStringLiteral("HH:mm"))
               : QString();
}

// A label cell and its value; `span` value columns wide.
QString field(const QString &label, const QString &value, int span = 1)
{
    return QStringLiteral("<td class=\"label\" width=\"14%\">%1</td><td colspan=\"%2\">%3</td>")
        .arg(escaped(label))
        .arg(span)
        .arg(escaped(value));
}

QString row(const QString &cells) { return QStringLiteral("<tr>") + cells + QStringLiteral("</tr>"); }

const char *const kStyle =
    "table { border-collapse: collapse; }"
    "td, th { border: 1px solid #000000; padding: 4px; vertical-align: top; }"
    "th { background-color: #e8e8e8; font-weight: bold; }"
    "td.label { background-color: #f4f4f4; font-weight: bold; }"
    "table.steps td, table.steps th { font-size: 9pt; }"
    "h1 { font-size: 18pt; }"
    "h2 { font-size: 12pt; }";

}  // namespace

namespace ComplaintSheet {

std::unique_ptr<QTextDocument> document(const SheetData &sheet, const QDate &printed)
{
    QString status = sheet.status;
    if (sheet.voided) status += QStringLiteral("（已作废）");

    QString html =
        QStringLiteral("<html><head><style>") + QString::fromLatin1(kStyle) + QStringLiteral("</style></head><body>");
    html += QStringLiteral("<h1 align=\"center\">投诉处理单</h1>");
    html += QStringLiteral("<p align=\"center\">%1</p>").arg(escaped(sheet.department));

    html += QStringLiteral("<table width=\"100%\" cellspacing=\"0\">");
    html += row(field(QStringLiteral("投诉编号"), sheet.code) +
                field(QStringLiteral("投诉时间"), DateText::minutes(sheet.time)));
    html +=
        row(field(QStringLiteral("投诉人"), sheet.complainant) + field(QStringLiteral("联系电话"), sheet.telephone));
    html += row(field(QStringLiteral("地址"), sheet.address, 3));
    html += row(field(QStringLiteral("投诉类别"), sheet.category) + field(QStringLiteral("投诉方式"), sheet.channel));
    html += row(field(QStringLiteral("接待人"), sheet.receiver) + field(QStringLiteral("处理状态"), status));
    html += row(field(QStringLiteral("投诉内容"), sheet.content, 3));
    html += row(field(QStringLiteral("调查情况"), sheet.findings, 3));
    html += row(field(QStringLiteral("处理结果"), sheet.result, 3));
    html += row(field(QStringLiteral("处理时间"), DateText::minutes(sheet.finishedAt), 3));
    html += QStringLiteral("</table>");

    // The steps: the header row is the table's header, which the layout repeats on every page.
    html += QStringLiteral("<h2>处理过程</h2><table class=\"steps\" width=\"100%\" cellspacing=\"0\"><thead><tr>");
    const std::pair<const char *, int> columns[] = {{"顺序号", 8},    {"部门", 17},         {"岗位", 15},
                                                    {"接受时间", 13}, {"处理结束时间", 13}, {"处理意见", 17},
                                                    {"处理结果", 17}};
    for (const auto &[title, percent] : columns)
        html += QStringLiteral("<th width=\"%1%\">%2</th>").arg(percent).arg(QString::fromUtf8(title));
    html += QStringLiteral("</tr></thead><tbody>");
    for (const SheetStep &step : sheet.steps) {
        html += QStringLiteral(
                    "<tr><td align=\"center\">%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                    "<td>%6</td><td>%7</td></tr>")
                    .arg(step.order)
                    .arg(escaped(step.department), escaped(step.post), whenStacked(step.accepted),
                         whenStacked(step.finished), escaped(step.opinion), escaped(step.result));
    }
    if (sheet.steps.isEmpty()) html += QStringLiteral("<tr><td colspan=\"7\" align=\"center\">（无）</td></tr>");
    html += QStringLiteral("</tbody></table>");

    if (sheet.hasVisit()) {
        html += QStringLiteral("<h2>回访</h2><table width=\"100%\" cellspacing=\"0\">");
        html += row(field(QStringLiteral("回访人"), sheet.visitor) +
                    field(QStringLiteral("回访时间"), DateText::minutes(sheet.visitedAt)) +
                    field(QStringLiteral("结果满意度"), sheet.satisfaction));
        html += QStringLiteral("</table>");
    }

    html += QStringLiteral("<p align=\"right\">打印日期：%1</p></body></html>").arg(DateText::day(printed));

    auto doc = std::make_unique<QTextDocument>();
    QFont font = doc->defaultFont();
    font.setPointSize(10);
    doc->setDefaultFont(font);
    doc->setHtml(html);
    return doc;
}

void preparePrinter(QPrinter *printer)
{
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                       QPageLayout::Millimeter));
}

void print(const SheetData &sheet, QPagedPaintDevice *printer)
{
    // The document is laid out in pages of the printer's printable area, measured in the
    // document's own resolution, so that it fills the page between the printer's margins.
    const std::unique_ptr<QTextDocument> doc = document(sheet, Clock::today());
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    const QRectF area = printer->pageLayout().paintRect(QPageLayout::Inch);
    doc->setPageSize(QSizeF(area.width() * dpi, area.height() * dpi));
    doc->print(printer);
}

bool writePdf(const SheetData &sheet, const QString &file, QString *error)
{
    const QString part = file + QStringLiteral(".part");
    QFile::remove(part);
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(part);
        printer.setCreator(QStringLiteral("tavimor-complaints"));
        printer.setDocName(QStringLiteral("投诉处理单 %1").arg(sheet.code));
        preparePrinter(&printer);
        print(sheet, &printer);
    }
    // Replaces the file only with a sheet that was written whole.
    if (QFileInfo(part).size() > 0) {
        QFile::remove(file);
        if (QFile::rename(part, file)) return true;
    }
    QFile::remove(part);
    if (error) *error = QStringLiteral("无法写入文件：%1").arg(file);
    return false;
}

}  // namespace ComplaintSheet
