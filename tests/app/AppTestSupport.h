// Shared pieces of the window tests: the settings files, prompts answered at once, and a
// fixture that makes loaded main windows whose program end is only counted.
#pragma once

#include "MainWindow.h"
#include "Prompts.h"
#include "ResultsModel.h"
#include "TempTree.h"
#include "WindowHost.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

// Failed comparisons show a QString as its text, quoted; a failure's message unquoted.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
inline std::ostream &operator<<(std::ostream &os, const QString &s) {
    return os << s.toStdString();
}

namespace dirwise::test {

// The user's settings file (under XDG_CONFIG_HOME, a temporary directory of this run) or
// the system-wide one (under XDG_CONFIG_DIRS) that must be ignored.
inline QString SettingsFile(bool systemWide = false) {
    return qEnvironmentVariable(systemWide ? "XDG_CONFIG_DIRS" : "XDG_CONFIG_HOME") +
           QStringLiteral("/Dirwise/Dirwise.conf");
}

// Writes `content` as that file, making its directory; an empty `content` removes it.
inline void WriteSettings(const QString &content, bool systemWide = false) {
    QFile f(SettingsFile(systemWide));
    f.remove();
    QDir().mkpath(QFileInfo(f).absolutePath());
    if (!content.isEmpty() && f.open(QIODevice::WriteOnly))
        f.write(content.toUtf8());
}

// The user's settings file's content; empty when it does not exist.
inline QString ReadSettings() {
    QFile f(SettingsFile());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Answers every chooser and message box at once and records what was asked. It is the
// process-wide Prompts for its lifetime.
class FakePrompts final : public Prompts {
public:
    FakePrompts() { setPrompts(this); }
    ~FakePrompts() override { setPrompts(nullptr); }
    QString browseForFolder(QWidget *, const QString &title, const QString &initial) override {
        return answer({title, initial});
    }
    QString saveFileName(QWidget *, const QString &title, const QString &initialName,
                         const QString &filters, QString *chosenFilter) override {
        if (chosenFilter)
            *chosenFilter = fileType.isEmpty() ? filters.section(";;", 0, 0) : fileType;
        return answer({title, initialName, filters});
    }
    QString openFileName(QWidget *, const QString &title, const QString &initialPath,
                         const QString &filters) override {
        return answer({title, initialPath, filters});
    }
    void message(QWidget *, Icon icon, const QString &title, const QString &text,
                 const QString &detailText) override {
        said << QStringLiteral("%1 %2: %3").arg(QChar(u"i!x"[static_cast<int>(icon)]), title, text);
        details << detailText;
    }

    QStringList answers; // the choosers' answers in turn; none left: the user cancels
    QString fileType;    // the save chooser's chosen file type; empty: the first offered
    QStringList asked;   // each chooser's arguments, joined by "|"
    // Each message as "<icon> <title>: <text>", the icon as "i" (information), "!"
    // (exclamation) or "x" (critical); and its details.
    QStringList said, details;

private:
    QString answer(const QStringList &question) {
        asked << question.join(u'|');
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

// The texts of `w` that break the access-key rule of one key to a text in each group: the
// window's own (menu titles, buttons, labels with a buddy) and each menu's items. A text is
// named when an earlier one of its group has its key and, with `everyItemHasOne`, when it is
// a menu item without a key.
inline QStringList AccessKeyFaults(const QMainWindow &w, bool everyItemHasOne) {
    QStringList faults;
    const auto check = [&faults](const QStringList &texts, bool needKey) {
        QStringList keys;
        for (const QString &text : texts) {
            const QString key = QKeySequence::mnemonic(text).toString();
            if (key.isEmpty() ? needKey : keys.contains(key))
                faults << text;
            keys << key;
        }
    };
    QStringList window;
    for (QAction *action : w.menuBar()->actions())
        window << action->text();
    for (QAbstractButton *b : w.findChildren<QAbstractButton *>())
        window << b->text();
    for (QLabel *l : w.findChildren<QLabel *>())
        if (l->buddy())
            window << l->text();
    check(window, false);
    for (QMenu *menu : w.findChildren<QMenu *>()) {
        QStringList items;
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                items << action->text();
        check(items, everyItemHasOne);
    }
    return faults;
}

// No settings file before or after each test, fake prompts, a scratch tree, and `open()`.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override { WriteSettings({}); }
    void TearDown() override {
        WriteSettings({});
        WriteSettings({}, true);
    }

    // Destroys the previous window, then makes, loads and (when `show`) shows a new one as
    // `w`, with a model tester watching its list. Its program end only counts in `ends`.
    // Load's LoadError passes through.
    MainWindow &open(bool show = true) {
        tester.reset();
        w.reset();
        w = std::make_unique<MainWindow>();
        w->setProgramEnd([this] { ++ends; });
        w->load();
        tester = std::make_unique<QAbstractItemModelTester>(
            &w->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        if (show) {
            w->show();
            (void)QTest::qWaitForWindowExposed(w.get());
        }
        return *w;
    }
    template <typename T = QWidget> T *child(const char *name) {
        return w->findChild<T *>(QString::fromLatin1(name));
    }
    // One property of each named control, joined by "|"; a Boolean reads "1" or "0".
    QString props(const char *property, std::initializer_list<const char *> names) {
        QStringList out;
        for (const char *name : names) {
            const QVariant v = child<QObject>(name)->property(property);
            out << (v.typeId() == QMetaType::Bool ? QString::number(v.toBool()) : v.toString());
        }
        return out.join(QLatin1Char('|'));
    }
    // The check boxes, the directory boxes, one extension box and the Options menu's checks.
    QString state() {
        return props("checked", {"chkSubDir", "chkSize", "chkDate", "chkHide", "chkSave"}) + "|" +
               props("text", {"txtMasterDir", "txtCompareDir", "txtEXT3"}) + "|" +
               props("checked", {"mnuTimeExact", "mnuTime1", "mnuTime2", "mnuHourShifts",
                                 "mnuShowExtra", "mnuVerify", "mnuFollowLinks"});
    }
    // The display texts of one column of the list, top to bottom, joined by ",".
    QString column(int c) {
        QStringList out;
        for (int r = 0; r < w->model().rowCount(); ++r)
            out << w->model().index(r, c).data().toString();
        return out.join(u',');
    }

    FakePrompts prompts;
    TempTree tree;
    int ends = 0;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<QAbstractItemModelTester> tester; // destroyed before the window
};

// A window on two small trees, its boxes filled: b, d and e match; a differs in size;
// sub/c is missing from the compare tree.
class RunFixture : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        for (const char *n : {"m/a", "m/b", "m/d", "m/e", "m/sub/c", "c/b", "c/d", "c/e"})
            tree.file(std::string(n) + ".txt", 100);
        tree.file("c/a.txt", 7);
        openOnTrees();
    }
    // A new window (see open) with the trees in its boxes.
    void openOnTrees() {
        open();
        child<QLineEdit>("txtMasterDir")->setText(QString::fromStdString(tree.path("m")));
        child<QLineEdit>("txtCompareDir")->setText(QString::fromStdString(tree.path("c")));
        w->updateBeginEnabled();
    }
    QTableView *lv() { return child<QTableView>("lvDw"); }
    QMenu *menu() { return child<QMenu>("mnuPopupMenu"); }
    void fill() {
        w->beginCompare();
        prompts.said.clear();
    }
    void select(std::initializer_list<int> rows) {
        lv()->selectionModel()->clearSelection();
        for (int r : rows)
            lv()->selectionModel()->select(w->model().index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void clickHeader(int c) {
        QHeaderView *h = lv()->horizontalHeader();
        const int x = h->sectionViewportPosition(c) + h->sectionSize(c) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, {x, h->height() / 2});
    }
    // Every yield is a real turn of the event loop.
    void turnAtEveryYield() {
        w->host().setClock([this] { return clock += 20'000'000; });
    }
    std::int64_t clock = 0;
};

} // namespace dirwise::test
