#pragma once

#include <QString>

class QWidget;

// Opens the print preview of the complaint sheet of `code`, from which the user prints it or
// saves it as PDF. Without a code it asks the user to choose a complaint first; a complaint that
// is gone is reported.
void openComplaintSheet(QWidget *parent, const QString &code);

// The message when a complaint code names no complaint.
QString noSuchComplaint(const QString &code);

// `--sheet CODE FILE`: writes the sheet of complaint CODE as a PDF over the stored connection
// settings (or the demo database). Returns the exit code: 0 when written, 1 otherwise, with the
// reason on the standard error.
int writeSheetCommand(const QString &code, const QString &file);
