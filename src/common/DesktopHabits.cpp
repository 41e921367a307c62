#include "DesktopHabits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QRadioButton>
#include <QTranslator>

namespace {

// Enter on a focused push or tool button clicks it. Buttons are made without "auto default", so
// Enter typed in a text box never presses a button that merely exists; this gives back what a
// user expects of the button that has the focus.
class EnterPressesFocusedButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress) return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        if (key->modifiers() & ~Qt::KeypadModifier) return false;
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (!button || qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button)) return false;
        if (!button->hasFocus() || !button->isEnabled() || !button->isVisible()) return false;
        if (!key->isAutoRepeat()) button->click();
        return true;
    }
};

}  // namespace

namespace DesktopHabits {

namespace {

// Loads Qt's own translations for `locale`; false when they are not installed.
bool loadQtTranslations(QApplication &app, const QLocale &locale)
{
    // "qt" is the meta catalogue that pulls in qtbase and the other modules' texts.
    auto *translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"), folder) ||
        translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        app.installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
}

}  // namespace

void install(QApplication &app)
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    app.installEventFilter(new EnterPressesFocusedButton(&app));
    // The calendars name their months and days after the default locale.
    const QLocale locale = translationLocale(QLocale::system());
    QLocale::setDefault(locale);
    loadQtTranslations(app, locale);
}

QLocale translationLocale(const QLocale &user)
{
    if (user.language() == QLocale::Chinese) return user;
    return QLocale(QLocale::Chinese, QLocale::China);
}
}  // namespace DesktopHabits
