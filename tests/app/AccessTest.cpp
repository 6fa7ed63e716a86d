// What assistive technology finds in the main window, read through QAccessible's own
// interfaces: a name on every control, no two controls of one role alike, the columns
// sortable from the keyboard and the list readable row by row.
#include "AppTestSupport.h"

#include <QAccessible>
#include <QAccessibleInterface>

#include <map>

using namespace dirwise;
using namespace dirwise::test;

namespace {

using AccessTest = RunFixture;

// Roles that group or decorate and are never a control a user reaches on its own.
bool isContainer(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Window:
    case QAccessible::Client:
    case QAccessible::Pane:
    case QAccessible::Grouping:
    case QAccessible::Separator:
    case QAccessible::Border:
    case QAccessible::ToolBar:
    case QAccessible::MenuBar:
    case QAccessible::PopupMenu:
    case QAccessible::ScrollBar:
    case QAccessible::Grip:
    case QAccessible::StatusBar:
        return true;
    default:
        return false;
    }
}

// Every control under `root` as "role|name" (its object's name after "@"), the controls of
// item views (cells, headers) left out: their names are the model's data.
void collect(QAccessibleInterface *iface, QStringList &found, QStringList &unnamed) {
    if (!iface || !iface->isValid())
        return;
    const QAccessible::Role role = iface->role();
    const QString name = iface->text(QAccessible::Name);
    const QString object = iface->object() ? iface->object()->objectName() : QString();
    if (!isContainer(role)) {
        if (name.trimmed().isEmpty())
            unnamed << QStringLiteral("role %1 @%2").arg(role).arg(object);
        else
            found << QStringLiteral("%1|%2").arg(role).arg(name);
    }
    if (role == QAccessible::Tree || role == QAccessible::Table || role == QAccessible::List)
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        collect(iface->child(i), found, unnamed);
}

} // namespace

TEST_F(AccessTest, EveryControlHasANameNoOtherControlOfItsRoleShares) {
    QStringList found, unnamed;
    collect(QAccessible::queryAccessibleInterface(w.get()), found, unnamed);
    // The menu bar holds its menus' items; the list's context menu is read on its own, so
    // it may offer a command the menu bar has too, but no two of its own items alike.
    QStringList popup;
    collect(QAccessible::queryAccessibleInterface(menu()), popup, unnamed);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ");
    for (const QStringList *controls : {&found, &popup}) {
        std::map<QString, int> seen;
        for (const QString &control : *controls)
            ++seen[control];
        for (const auto &[control, count] : seen)
            EXPECT_EQ(count, 1) << control;
    }
    // The look-alike pair a screen-reader user must tell apart, each a button with a menu.
    EXPECT_TRUE(
        found.contains(QStringLiteral("%1|Choose master folder…").arg(QAccessible::ButtonMenu)))
        << found.join(", ");
}

TEST_F(AccessTest, SortByMenuSortsAsAHeaderClickDoes) {
    fill();
    ASSERT_EQ(w->model().rowCount(), 5);
    // Ctrl+3 is File Name; as with header clicks, the first sort is descending.
    QTest::keyClick(w.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(column(2), "e.txt,d.txt,c.txt,b.txt,a.txt");
    QTest::keyClick(w.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(column(2), "a.txt,b.txt,c.txt,d.txt,e.txt");
    EXPECT_EQ(lv()->horizontalHeader()->sortIndicatorSection(), 2);
}

TEST_F(AccessTest, EachRowReadsAsItsCellsAfterTheirHeaders) {
    fill();
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(lv());
    ASSERT_NE(list, nullptr);
    QAccessibleTableInterface *table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 5);
    QAccessibleInterface *first = table->cellAt(0, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(QAccessible::Name), column(0).section(',', 0, 0));
    const QString description = first->text(QAccessible::Description);
    EXPECT_TRUE(description.startsWith("Compare Path: ")) << description;
    EXPECT_TRUE(description.contains("; File Name: " + column(2).section(',', 0, 0) + ";"))
        << description;
}

TEST_F(AccessTest, EveryMenuItemHasAnAccessKeyOfItsOwn) {
    EXPECT_EQ(AccessKeyFaults(*w, true), QStringList());
}

TEST_F(AccessTest, AWindowAccessKeyActsOnTheFirstPress) {
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    // The window's keys and the menu bar's share one keyboard: no key may serve two.
    QStringList keys;
    QStringList texts;
    for (QAction *action : w->menuBar()->actions())
        texts << action->text();
    for (QAbstractButton *b : w->findChildren<QAbstractButton *>())
        texts << b->text();
    for (QLabel *l : w->findChildren<QLabel *>())
        if (l->buddy())
            texts << l->text();
    for (const QString &text : texts) {
        const QString key = QKeySequence::mnemonic(text).toString();
        EXPECT_TRUE(key.isEmpty() || !keys.contains(key)) << text;
        keys << key;
    }
    ASSERT_TRUE(child("cmdBegin")->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_B, Qt::AltModifier);
    // A button's key clicks it as a short animation, from the event loop.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->model().rowCount() == 5; }, 3000))
        << "one press of Alt+B began the compare";
    auto *sub = child<QCheckBox>("chkSubDir");
    const bool was = sub->isChecked();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_U, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sub->isChecked() != was; }, 3000));
}
