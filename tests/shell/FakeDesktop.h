#pragma once

#include "QtPrinters.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <optional>

// A stand-in desktop for one test: a temporary home with its own $PATH, $TMPDIR and XDG
// data folders, and fake xdg-open, xdg-mime and browser programs (shell scripts) that log
// every call. Everything the test changed in the environment is restored afterwards.
class FakeDesktop : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets (or with nullopt removes) an environment variable until the test ends.
    void setEnv(const char *name, const std::optional<QByteArray> &value);

    [[nodiscard]] QString root() const { return m_dir.path(); }
    [[nodiscard]] QString binDir() const { return root() + QStringLiteral("/bin"); }
    [[nodiscard]] QString tmpDir() const { return root() + QStringLiteral("/tmp"); }
    // The fake browser's full path; it holds a blank to exercise the Exec quoting.
    [[nodiscard]] QString browserPath() const;

    // What `xdg-mime query default TYPE` prints from now on (empty: no default set).
    void setDefaultApp(const QByteArray &desktopId);
    // Installs `applications/<id>` with `content` under $XDG_DATA_HOME.
    void writeDesktopFile(const QString &relativePath, const QByteArray &content,
                          bool inDataHome = true);
    // Removes the fake xdg-open from $PATH (PATH then holds only the fake folder).
    void removeXdgOpen();

    // Every logged call of `program` ("xdg-open", "xdg-mime", "browser"), one entry per call,
    // each the arguments joined as "[a] [b]".
    [[nodiscard]] QStringList calls(const QString &program) const;
    // Waits until `program` has logged `count` calls (they run detached); false on timeout.
    [[nodiscard]] bool waitForCalls(const QString &program, int count) const;
    // The scratch file as the fake xdg-mime saw it during `query filetype`.
    [[nodiscard]] QByteArray seenDocument() const;

    // Creates a file under root() with `content`; returns its path.
    QString makeFile(const QString &relativePath, const QByteArray &content = "x");

private:
    void writeScript(const QString &path, const QByteArray &body);

    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_savedEnv;
};
