#include "SheetPreview.h"

#include <QPaintEngine>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <csignal>
#include <cstdio>

#include "ComplaintSheet.h"
#include "SheetStore.h"
#include "common/Clock.h"
#include "common/ErrorReports.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Settings.h"
#include "common/WaitCursor.h"

QString noSuchComplaint(const QString &code) { return QStringLiteral("没有编号为%1的投诉").arg(code); }

namespace {

// Prints the sheet on what the preview hands over: its own pages while it shows them (a picture
// engine), or the printer the user chose. A PDF file is written by the program itself, so that a
// full disk or a read-only file is reported and an existing file is never left half-written.
void printFromPreview(const SheetData &sheet, QPrinter *target)
{
    const bool previewing = target->paintEngine() && target->paintEngine()->type() == QPaintEngine::Picture;
    if (previewing || target->outputFormat() != QPrinter::PdfFormat || target->outputFileName().isEmpty()) {
        ComplaintSheet::print(sheet, target, Clock::today());
        return;
    }
    QString error;
    bool written = false;
    {
        WaitCursor wait;
        written = ComplaintSheet::writePdf(sheet, target->outputFileName(), &error);
    }
    if (!written) Messages::information(QStringLiteral("投诉处理单没有保存。\n") + error);
}

}  // namespace

void openComplaintSheet(QWidget *parent, const QString &code)
{
    if (code.trimmed().isEmpty()) {
        Messages::plain(QStringLiteral("请先在列表中选择一条投诉"));
        return;
    }
    std::optional<SheetData> sheet;
    const bool read = ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        sheet = SheetStore(gConn).load(code);
    });
    if (!read) return;
    if (!sheet) {
        Messages::plain(noSuchComplaint(code));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    ComplaintSheet::preparePrinter(&printer);
    printer.setDocName(QStringLiteral("投诉处理单 %1").arg(code));
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName(QStringLiteral("frm投诉处理单"));
    preview.setWindowTitle(QStringLiteral("投诉处理单 %1").arg(code));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&](QPrinter *target) { printFromPreview(*sheet, target); });
    MainArea::runModal(&preview);
}

int writeSheetCommand(const QString &code, const QString &file)
{
    const auto fail = [](const QString &text) {
        std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 1;
    };
    if (code.trimmed().isEmpty()) return fail(QStringLiteral("请指定投诉编号"));
#ifdef SIGXFSZ
    // Beyond a file-size limit a write fails and is reported, instead of ending the program
    // with a half-written file beside the target.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    try {
        gConn.open(Settings::current());
        const std::optional<SheetData> sheet = SheetStore(gConn).load(code);
        if (!sheet) return fail(noSuchComplaint(code));
        QString error;
        if (!ComplaintSheet::writePdf(*sheet, file, &error)) return fail(error);
        return 0;
    } catch (const DbError &e) {
        return fail(QStringLiteral("数据库错误 %1：%2").arg(e.number()).arg(e.description()));
    }
}
