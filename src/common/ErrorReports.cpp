#include "ErrorReports.h"

#include <QApplication>

#include "Messages.h"
#include "data/DbError.h"

namespace {

QString numberedText(int number, const QString &description)
{
    return QStringLiteral("错误号：%1\r\n错误描述：%2").arg(number).arg(description);
}

}  // namespace

namespace ErrorReports {

void ShowNumbered(int number, const QString &description)
{
    Messages::show(numberedText(number, description), QStringLiteral("提示"), Messages::Icon::Information);
}

void ShowShort(int number, const QString &description)
{
    Messages::show(QStringLiteral("%1 %2").arg(number).arg(description), Messages::executableName(),
                   Messages::Icon::Information);
}

void ShowProcError(int number, const QString &handler, const QString &window)
{
    Q_UNUSED(window);
    Messages::show(QStringLiteral("%1 %2").arg(number).arg(handler), Messages::programTitle());
}

void ShowConnection(const QString &description) { Messages::information(QStringLiteral("错误信息：") + description); }

void report(Kind kind, const std::exception_ptr &error, const QString &handler)
{
    int number = -1;
    QString description;
    try {
        std::rethrow_exception(error);
    } catch (const DbError &e) {
        number = e.number();
        description = e.description();
    } catch (const std::exception &e) {
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        description = QStringLiteral("未知错误");
    }
    switch (kind) {
        case Kind::Numbered: ShowNumbered(number, description); break;
        case Kind::Short: ShowShort(number, description); break;
        case Kind::Handler: ShowProcError(number, handler); break;
        case Kind::NumberedTitled: Messages::information(numberedText(number, description)); break;
    }
}

bool guard(Kind kind, const std::function<void()> &handler, const QString &handlerName)
{
    try {
        handler();
        return true;
    } catch (...) {
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        report(kind, std::current_exception(), handlerName);
        return false;
    }
}

}  // namespace ErrorReports
