#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#include <cstring>
#include <memory>

ScopedEnv::ScopedEnv(const char *name, const QByteArray &value)
    : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

QString writeScript(const QString &dir, const QString &name, const QByteArray &body) {
    const QString path = dir + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                        QFile::ExeGroup);
    return path;
}

std::vector<RegisteredTest> &registeredTests() {
    static std::vector<RegisteredTest> tests;
    return tests;
}

TestRegistration::TestRegistration(const char *name, TestFactory factory) {
    registeredTests().push_back({name, std::move(factory)});
}

// about_tests [CLASS [Qt Test options]]: runs one registered class, or every class when
// none is named. ctest runs each class as its own test.
int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const char *only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    int status = 0;
    bool ran = false;
    for (const RegisteredTest &test : registeredTests()) {
        if (only && std::strcmp(only, test.name) != 0)
            continue;
        ran = true;
        std::unique_ptr<QObject> object(test.factory());
        // Pass the options after the class name through to Qt Test.
        std::vector<char *> args{argv[0]};
        for (int i = only ? 2 : 1; i < argc; ++i)
            args.push_back(argv[i]);
        status |= QTest::qExec(object.get(), static_cast<int>(args.size()), args.data());
    }
    if (!ran) {
        qWarning("about_tests: no test class named %s", only);
        return 2;
    }
    return status;
}
