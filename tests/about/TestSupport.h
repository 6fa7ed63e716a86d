#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

// Sets an environment variable for one scope and restores the old value (or its absence)
// when the scope ends, so one test's PATH or desktop never leaks into the next.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

// Writes an executable shell script `name` into `dir` with the given body; returns its
// path. Fails the calling test (returns an empty string) when it cannot.
QString writeScript(const QString &dir, const QString &name, const QByteArray &body);

// Every test class registers itself under its class name; main() runs one or all.
using TestFactory = std::function<QObject *()>;
struct TestRegistration {
    TestRegistration(const char *name, TestFactory factory);
};
struct RegisteredTest {
    const char *name;
    TestFactory factory;
};
std::vector<RegisteredTest> &registeredTests();

#define DIRWISE_REGISTER_TEST(Class)                                                               \
    static const TestRegistration registration##Class(#Class, [] { return new Class; })
