#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "TestRegistry.h"
#include "common/DesktopHabits.h"

namespace testing_support {
std::map<QString, TestFactory> &registry()
{
    static std::map<QString, TestFactory> tests;
    return tests;
}
}  // namespace testing_support

// Usage: tests_<folder> [TestClass [QTest options...]]
// Without a class name every registered class runs in turn; --list-classes prints their names.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Stored settings of the tests live in a folder of their own, never in the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavimor-complaints-tests"));
    // The program's own desktop habits hold in the tests too.
    DesktopHabits::install(app);

    auto &tests = testing_support::registry();
    QStringList args = QCoreApplication::arguments();
    if (args.size() == 2 && args.at(1) == QLatin1String("--list-classes")) {
        for (const auto &entry : tests) std::printf("%s\n", qPrintable(entry.first));
        return 0;
    }
    if (args.size() >= 2 && !args.at(1).startsWith(QLatin1Char('-'))) {
        const QString name = args.at(1);
        auto it = tests.find(name);
        if (it == tests.end()) {
            std::fprintf(stderr, "no test class %s\n", qPrintable(name));
            return 2;
        }
        args.removeAt(1);
        std::unique_ptr<QObject> test = it->second();
        return QTest::qExec(test.get(), args);
    }
    int failures = 0;
    for (auto &entry : tests) {
        std::unique_ptr<QObject> test = entry.second();
        failures += QTest::qExec(test.get(), args) != 0 ? 1 : 0;
    }
    return failures == 0 ? 0 : 1;
}
