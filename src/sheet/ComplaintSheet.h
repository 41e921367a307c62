#pragma once

#include <QDate>
#include <QString>
#include <memory>

#include "SheetStore.h"

class QPagedPaintDevice;
class QPrinter;
class QTextDocument;

// The complaint sheet (投诉处理单) of one complaint: one drawing for the preview, the printer and
// PDF files. It is laid out on A4; the table of routing steps breaks over pages with its header
// repeated on each.
namespace ComplaintSheet {

// The sheet as a document, printed on `printed`.
std::unique_ptr<QTextDocument> document(const SheetData &sheet, const QDate &printed);

// Sets a printer up for the sheet: A4 portrait with the sheet's margins.
void preparePrinter(QPrinter *printer);

// Draws the sheet on a printer (or the preview's printer), printed today.
void print(const SheetData &sheet, QPagedPaintDevice *printer);

// Writes the sheet as a PDF file, replacing `file` only once the whole sheet is written.
// Returns false with a message in Chinese when the file cannot be written.
bool writePdf(const SheetData &sheet, const QString &file, QString *error);

}  // namespace ComplaintSheet
