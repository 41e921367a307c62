#include "ComplaintSheet.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTextDocument>
#include <memory>

#include "common/Clock.h"
#include "common/DateText.h"
#include "common/SafeWrite.h"

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

// The text of a value cell. An empty one keeps a blank: a table that ends in an empty cell loses
// the space above the heading that follows it.
QString cellText(const QString &value) { return value.isEmpty() ? QStringLiteral("&nbsp;") : escaped(value); }

// A label cell and its value; `span` value columns wide.
QString field(const QString &label, const QString &value, int span = 1)
{
    return QStringLiteral("<td class=\"label\" width=\"14%\">%1</td><td colspan=\"%2\">%3</td>")
        .arg(escaped(label))
        .arg(span)
        .arg(cellText(value));
}

QString row(const QString &cells) { return QStringLiteral("<tr>") + cells + QStringLiteral("</tr>"); }

// A box that is filled in by hand when the complaint has nothing in it yet: a few empty lines.
QString handwritten(const QString &label, const QString &value)
{
    if (!value.trimmed().isEmpty()) return field(label, value, 3);
    return QStringLiteral(
               "<td class=\"label\" width=\"14%\">%1</td><td colspan=\"3\">&nbsp;<br><br><br><br>&nbsp;</td>")
        .arg(escaped(label));
}

// The band above and below the body of every page, and the room of the signature lines at the
// foot of every page's body, in the document's units.
constexpr qreal kBandHeight = 22;
constexpr qreal kSignatureHeight = 40;

// The lines the handler and the owner sign on, side by side across `line`.
void drawSignatures(QPainter &painter, const QRectF &line)
{
    const QString blank(16, QLatin1Char('_'));
    const QString texts[] = {QStringLiteral("处理人签字：") + blank, QStringLiteral("业主签字：") + blank,
                             QStringLiteral("日期：") + QString(12, QLatin1Char('_'))};
    const qreal third = line.width() / 3;
    for (int i = 0; i < 3; ++i)
        painter.drawText(QRectF(line.left() + i * third, line.top(), third, line.height()),
                         Qt::AlignLeft | Qt::AlignBottom, texts[i]);
}

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

static std::unique_ptr<QTextDocument> document(const SheetData &sheet)
{
    QString status = sheet.status;
    if (sheet.voidedAt.isValid()) status += QStringLiteral("（已作废 %1）").arg(DateText::day(sheet.voidedAt.date()));

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
    html += row(handwritten(QStringLiteral("调查情况"), sheet.findings));
    html += row(handwritten(QStringLiteral("处理结果"), sheet.result));
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
                         whenStacked(step.finished), cellText(step.opinion), cellText(step.result));
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

    html += QStringLiteral("</body></html>");

    auto doc = std::make_unique<QTextDocument>();
    QFont font = doc->defaultFont();
    font.setPointSize(10);
    doc->setDefaultFont(font);
    doc->setHtml(html);
    return doc;
}

void preparePrinter(QPagedPaintDevice *device)
{
    device->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                      QPageLayout::Millimeter));
}

void print(const SheetData &sheet, QPagedPaintDevice *device, const QDate &printed)
{
    // The document is laid out in pages of the printable area less a band at the top and the
    // bottom and the room of the signature lines, measured in the document's own resolution, and
    // scaled onto the device. The top band names the complaint on every page after the first; the
    // bottom one holds the print date and the page number, and the last page the signature lines
    // above it: none of them can end up on a page of its own.
    const std::unique_ptr<QTextDocument> doc = document(sheet);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    const QRectF area = device->pageLayout().paintRect(QPageLayout::Inch);
    const QSizeF page(area.width() * dpi, area.height() * dpi);
    const qreal bodyHeight = page.height() - 2 * kBandHeight - kSignatureHeight;
    doc->setPageSize(QSizeF(page.width(), bodyHeight));
    const int pages = doc->pageCount();

    QPainter painter(device);
    painter.scale(device->logicalDpiX() / dpi, device->logicalDpiY() / dpi);
    QFont bandFont = doc->defaultFont();
    bandFont.setPixelSize(qRound(9 * dpi / 72));
    QFont signatureFont = doc->defaultFont();
    signatureFont.setPixelSize(qRound(10 * dpi / 72));
    const QString date = QStringLiteral("打印日期：") + DateText::day(printed);
    for (int index = 0; index < pages; ++index) {
        if (index > 0) device->newPage();
        painter.setFont(bandFont);
        painter.setPen(Qt::black);
        if (index > 0) {
            const QRectF top(0, 0, page.width(), kBandHeight - 4);
            painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("投诉处理单（续）  投诉编号：") + sheet.code);
            painter.drawLine(top.bottomLeft(), top.bottomRight());
        }
        const QRectF bottom(0, page.height() - kBandHeight + 4, page.width(), kBandHeight - 4);
        painter.drawText(bottom, Qt::AlignLeft | Qt::AlignVCenter, date);
        painter.drawText(bottom, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("第 %1 页 / 共 %2 页").arg(index + 1).arg(pages));
        if (index == pages - 1) {
            painter.setFont(signatureFont);
            drawSignatures(painter, QRectF(0, kBandHeight + bodyHeight, page.width(), kSignatureHeight - 8));
        }

        painter.save();
        painter.translate(0, kBandHeight);
        painter.setClipRect(QRectF(0, 0, page.width(), bodyHeight));
        painter.translate(0, -index * bodyHeight);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(0, index * bodyHeight, page.width(), bodyHeight);
        doc->documentLayout()->draw(&painter, context);
        painter.restore();
    }
}

QByteArray pdf(const SheetData &sheet, const QDate &printed)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("tavimor-complaints"));
        writer.setTitle(QStringLiteral("投诉处理单 %1").arg(sheet.code));
        preparePrinter(&writer);
        print(sheet, &writer, printed);
    }
    return bytes;
}

bool writePdf(const SheetData &sheet, const QString &file, QString *error)
{
    const QString failure = SafeWrite::replaceFile(file, pdf(sheet, Clock::today()));
    if (error) *error = failure;
    return failure.isEmpty();
}

}  // namespace ComplaintSheet
