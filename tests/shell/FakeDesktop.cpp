#include "FakeDesktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

QByteArray shellQuote(const QString &text) {
    QByteArray bytes = QFile::encodeName(text);
    bytes.replace('\'', "'\\''");
    return '\'' + bytes + '\'';
}

// Appends one line per call, written with a single printf so that concurrent detached
// calls cannot interleave within a line.
QByteArray logLine(const QString &logFile) {
    return "line=''\nfor a in \"$@\"; do line=\"$line[$a] \"; done\n"
           "printf '%s\\n' \"$line\" >> " +
           shellQuote(logFile) + "\n";
}

} // namespace

void FakeDesktop::SetUp() {
    ASSERT_TRUE(m_dir.isValid());
    QDir top(root());
    for (const char *sub :
         {"bin", "tmp", "logs", "data/applications", "dirs/applications", "bin dir"})
        ASSERT_TRUE(top.mkpath(QString::fromLatin1(sub)));

    writeScript(binDir() + QStringLiteral("/xdg-open"),
                logLine(root() + QStringLiteral("/logs/xdg-open.log")));
    // query filetype: keeps a copy of the document it was asked about, answers text/html.
    // query default: prints the chosen default (none at first).
    writeScript(binDir() + QStringLiteral("/xdg-mime"),
                logLine(root() + QStringLiteral("/logs/xdg-mime.log")) +
                    "if [ \"$1 $2\" = 'query filetype' ]; then\n"
                    "  cat \"$3\" > " +
                    shellQuote(root() + QStringLiteral("/logs/seen-document")) +
                    "\n  echo text/html\nfi\n"
                    "if [ \"$1 $2\" = 'query default' ]; then\n  cat " +
                    shellQuote(root() + QStringLiteral("/logs/default-app")) +
                    " 2>/dev/null\nfi\nexit 0\n");
    writeScript(browserPath(), logLine(root() + QStringLiteral("/logs/browser.log")));

    setEnv("PATH", QFile::encodeName(binDir()) + ":/usr/bin:/bin");
    setEnv("TMPDIR", QFile::encodeName(tmpDir()));
    setEnv("XDG_DATA_HOME", QFile::encodeName(root() + QStringLiteral("/data")));
    setEnv("XDG_DATA_DIRS", QFile::encodeName(root() + QStringLiteral("/dirs")));

    writeDesktopFile(QStringLiteral("fake-browser.desktop"),
                     "[Desktop Entry]\nType=Application\nName=Fake Browser\nExec=\"" +
                         QFile::encodeName(browserPath()) + "\" --new-window %u\n");
}

void FakeDesktop::TearDown() {
    for (const auto &[name, value] : m_savedEnv) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
    m_savedEnv.clear();
}

void FakeDesktop::setEnv(const char *name, const std::optional<QByteArray> &value) {
    const QByteArray key(name);
    if (m_savedEnv.find(key) == m_savedEnv.end()) {
        m_savedEnv[key] = qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                          : std::nullopt;
    }
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

QString FakeDesktop::browserPath() const { return root() + QStringLiteral("/bin dir/browser"); }

void FakeDesktop::setDefaultApp(const QByteArray &desktopId) {
    QFile file(root() + QStringLiteral("/logs/default-app"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(desktopId + "\n");
}

void FakeDesktop::writeDesktopFile(const QString &relativePath, const QByteArray &content,
                                   bool inDataHome) {
    const QString base = root() + (inDataHome ? QStringLiteral("/data/applications/")
                                              : QStringLiteral("/dirs/applications/"));
    const QString path = base + relativePath;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void FakeDesktop::removeXdgOpen() {
    ASSERT_TRUE(QFile::remove(binDir() + QStringLiteral("/xdg-open")));
    setEnv("PATH", QFile::encodeName(binDir()));
}

QStringList FakeDesktop::calls(const QString &program) const {
    QFile file(root() + QStringLiteral("/logs/") + program + QStringLiteral(".log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            out.append(QString::fromUtf8(line).trimmed());
    }
    return out;
}

bool FakeDesktop::waitForCalls(const QString &program, int count) const {
    return QTest::qWaitFor([&] { return calls(program).size() >= count; }, 15000);
}

QByteArray FakeDesktop::seenDocument() const {
    QFile file(root() + QStringLiteral("/logs/seen-document"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString FakeDesktop::makeFile(const QString &relativePath, const QByteArray &content) {
    const QString path = root() + u'/' + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    return path;
}

void FakeDesktop::writeScript(const QString &path, const QByteArray &body) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#!/bin/sh\n" + body);
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner));
}
