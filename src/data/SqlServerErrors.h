#pragma once

#include <QString>

#include "FailureText.h"

// How the SQL Server backend names a failure for the user (FailureText's kinds), from what the
// ODBC driver reports: its SQLSTATE values ("08S01") and the server's or FreeTDS's own error
// numbers, several joined by ";" in the order the driver gave them.
namespace SqlServerErrors {

// The first code that names a kind decides, except that a connection that could not be made is
// named so even after the state of a broken link (FreeTDS gives 08S01 before 08001 for a server
// that does not answer), and a refused login above both. Other when no code names one.
FailureText::Kind classify(const QString &codes);

}  // namespace SqlServerErrors
