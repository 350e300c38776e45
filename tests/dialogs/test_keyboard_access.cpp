// Keyboard access in the three dialogs: every control that takes the focus
// has a name a screen reader announces (in the language of the texts), and
// Tab visits the controls in the order of their stored tab indexes.
#include <QAccessible>
#include <algorithm>

#include "dialogs/main/form_tcp_settings.h"
#include "dialogs/security/form_security.h"
#include "tests/dialogs/search/search_fixture.h"

namespace zelmar::testing {
namespace {

// What a technician reaches with Tab: shown, enabled, taking the focus by Tab;
// in the order of the stored tab indexes.
QList<QWidget*> tabStops(QDialog& dialog) {
    QList<QWidget*> stops;
    for (QWidget* w : dialog.findChildren<QWidget*>())
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            stops << w;
    std::stable_sort(stops.begin(), stops.end(), [](QWidget* a, QWidget* b) {
        return a->property("tabIndex").toInt() < b->property("tabIndex").toInt();
    });
    return stops;
}

void expectNamedAndTabbedInStoredOrder(QDialog& dialog) {
    SCOPED_TRACE(dialog.metaObject()->className());
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const QList<QWidget*> stops = tabStops(dialog);
    ASSERT_GT(stops.size(), 2);

    QStringList expected;
    for (QWidget* w : stops) {
        const std::string name = w->objectName().toStdString();
        expected << w->objectName();
        EXPECT_TRUE(w->property("tabIndex").isValid()) << name << " has no stored tab index";
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(control->state().focusable) << name;
        EXPECT_FALSE(control->text(QAccessible::Name).trimmed().isEmpty()) << name << " has no accessible name";
    }

    // Tab's order is a ring: the lowest index is where the focus starts.
    const auto focused = [] {
        const QWidget* w = QApplication::focusWidget();
        return (w ? w->objectName() : QStringLiteral("(none)")).toStdString();
    };
    ASSERT_EQ(focused(), expected.first().toStdString()) << "the first focus";
    QStringList visited;
    for (int i = 0; i < stops.size(); ++i) {
        visited << QString::fromStdString(focused());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited.join(' ').toStdString(), expected.join(' ').toStdString());
    EXPECT_EQ(focused(), expected.first().toStdString()) << "and round again";
}

using KeyboardAccess = SearchDialogTest;

TEST_F(KeyboardAccess, EveryFocusableControlIsNamedAndTabFollowsTheStoredIndexes) {
    dialogs::FormTCPSettings main;
    main.SetLanguage();
    expectNamedAndTabbedInStoredOrder(main);
    main.hide();

    dialogs::FormSecurity security;
    expectNamedAndTabbedInStoredOrder(security);
    security.hide();

    // With a row clicked, so that OK and Upgrade take the focus too.
    startFleet(standardSite());
    openDialog();
    clickRow(QStringLiteral("10-00001"));
    expectNamedAndTabbedInStoredOrder(*dialog_);
    // No label names the list: its name comes from the texts catalogue.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(list())->text(QAccessible::Name), support::GetText(4580));
}

}  // namespace
}  // namespace zelmar::testing
