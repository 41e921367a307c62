#pragma once

#include <QString>
#include <exception>
#include <functional>

class DbError;

// The four error reports of the program.
namespace ErrorReports {

enum class Kind {
    Numbered,        // "错误号：" n CR LF "错误描述：" description; information icon; title "提示"
    Short,           // n " " description; information icon; the executable's name as title
    Handler,         // n " " handler name; no icon; the program's title
    NumberedTitled,  // as Numbered, with the program's title (the reception's address panel)
};

void ShowNumbered(int number, const QString &description);
void ShowShort(int number, const QString &description);
// The handler report: the error number and the handler's name. The window name is not shown.
void ShowProcError(int number, const QString &handler, const QString &window = QString());
// The connection report: "错误信息：" + description, information icon, the program's title.
void ShowConnection(const QString &description);

// Shows the report of the given kind for the current exception (DbError or any other).
void report(Kind kind, const std::exception_ptr &error, const QString &handler = QString());

// Runs an event handler under an error trap: an exception ends the handler, restores the normal
// mouse pointer and shows the report. Returns true when the handler ran to its end.
bool guard(Kind kind, const std::function<void()> &handler, const QString &handlerName = QString());

}  // namespace ErrorReports
