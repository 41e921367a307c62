#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include "SheetStore.h"

class QPagedPaintDevice;

// The complaint sheet (投诉处理单) of one complaint: one drawing for the preview, the printer and
// PDF files. It is laid out on A4; the table of routing steps breaks over pages with its header
// repeated on each. Every page after the first is headed with the complaint code, and every page
// ends with the print date and 「第 n 页 / 共 m 页」. Empty 调查情况 and 处理结果 leave room to be
// written by hand, and the foot of the last page holds the signature lines.
namespace ComplaintSheet {

// Sets a printer (or a PDF writer) up for the sheet: A4 portrait with the sheet's margins.
void preparePrinter(QPagedPaintDevice *device);

// Draws the sheet on a printer, the preview's printer or a PDF writer.
void print(const SheetData &sheet, QPagedPaintDevice *device, const QDate &printed);

// The sheet as the bytes of a PDF file.
QByteArray pdf(const SheetData &sheet, const QDate &printed);

// Writes the sheet, printed today, as a PDF file, replacing `file` only once the whole sheet is
// written; a read-only file is not replaced. Returns false with the reason in Chinese.
bool writePdf(const SheetData &sheet, const QString &file, QString *error);

}  // namespace ComplaintSheet
