#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

// Test classes register themselves so that one executable per folder can run any of them by name.
namespace testing_support {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

std::map<QString, TestFactory> &registry();

struct Registrar {
    Registrar(const char *name, TestFactory factory) { registry()[QString::fromLatin1(name)] = std::move(factory); }
};

}  // namespace testing_support

#define TAVIMOR_TEST(Class)                                          \
    static const testing_support::Registrar tavimorRegistrar##Class( \
        #Class, []() { return std::unique_ptr<QObject>(new Class); });
