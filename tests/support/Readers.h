#pragma once

#include <QString>
#include <QStringList>
#include <QTest>

// Programs we did not write that read what the program writes: openpyxl, LibreOffice, pdftotext.
// Where one is missing, a test that needs it is skipped on a developer's machine and fails in CI
// (CI=true), where the set-up installs every one of them.
namespace readers {

// Why the reader cannot run here, or an empty text.
QString missingOpenpyxl();
QString missingLibreOffice();
QString missingPdfText();

// Converts `file` with LibreOffice into `folder`, headless, with a profile of its own in a temporary
// folder that goes away afterwards, and at most `seconds` long. `filter` is what --convert-to takes
// ("pdf", "csv:Text - txt - csv (StarCalc):44,34,76"). The converted file (for the CSV of one sheet
// other than the first, "NAME-SHEET.csv"), or an empty text after a warning that says why.
QString convertWithLibreOffice(const QString &file, const QString &filter, const QString &folder, int seconds = 240);

// The text of one page of a PDF file, as pdftotext lays it out; an empty text when it cannot be read.
QString pdfPageText(const QString &pdf, int page);

bool inCI();

}  // namespace readers

// In a test function: stops it when the reader is missing (a skip, or a failure in CI).
#define REQUIRE_READER(missing)                                                                 \
    do {                                                                                        \
        const QString why_ = (missing);                                                         \
        if (!why_.isEmpty()) {                                                                  \
            if (readers::inCI()) QFAIL(qPrintable(why_ + QStringLiteral(" (required in CI)"))); \
            QSKIP(qPrintable(why_));                                                            \
        }                                                                                       \
    } while (false)
