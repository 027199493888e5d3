// What a screen reader finds in the window: names, roles, places, values, states and actions
// (the real program over the desktop's accessibility bus: atspi_test.sh).

#include "support/QtPrinting.h"
#include "ui/qt/MetronomeWindow.h"
#include "ui/qt/WindowAccessibility.h"

#include <QAccessible>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace metro;

namespace {

struct AccessibleWindow : ::testing::Test {
    static void SetUpTestSuite() { installWindowAccessibility(); }
    static std::unique_ptr<MetronomeWindow> shownWindow() {
        auto window = std::make_unique<MetronomeWindow>();
        window->showMessage = [](const QString&) {};
        window->form().Form_Load();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
};

} // namespace

TEST_F(AccessibleWindow, ListsEveryControlWithItsRoleStateAndPlaceAndPressesItsButtons) {
    const auto window = shownWindow();
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(QAccessible::Name), "Metronome");
    ASSERT_EQ(root->childCount(), 15);
    std::map<QString, QAccessibleInterface*> named;
    for (int i = 0; i < root->childCount(); ++i) {
        named[root->child(i)->text(QAccessible::Name)] = root->child(i);
        EXPECT_EQ(root->child(i)->parent(), root) << i;
        EXPECT_EQ(root->indexOfChild(root->child(i)), i);
    }
    // Name, role, and whether checked (a button: shown) at start-up.
    for (const auto& [name, role, on] :
         {std::tuple{"Tempo", QAccessible::Slider, false},
          {"Play", QAccessible::Button, true},
          {"Stop", QAccessible::Button, false},
          {"Tempo, beats per minute", QAccessible::StaticText, false},
          {"2 beats per measure", QAccessible::RadioButton, true},
          {"8 beats per measure", QAccessible::RadioButton, false},
          {"Sound", QAccessible::CheckBox, true},
          {"Tempo scale and key help", QAccessible::CheckBox, false},
          {"Close", QAccessible::Button, true}}) {
        ASSERT_TRUE(named.count(name)) << name;
        EXPECT_EQ(named[name]->role(), role) << name;
        const QAccessible::State state = named[name]->state();
        EXPECT_EQ(role == QAccessible::Button ? !state.invisible : state.checked, on) << name;
    }
    EXPECT_EQ(named["Tempo, beats per minute"]->textInterface()->text(0, 3), "120");
    EXPECT_EQ(named["Tempo"]->valueInterface()->currentValue().toInt(), 120);
    const QPoint topLeft = window->mapToGlobal(QPoint(178, 392)); // where Play is painted
    EXPECT_EQ(named["Play"]->rect(), QRect(topLeft, QSize(13, 15)));
    EXPECT_EQ(root->childAt(topLeft.x() + 5, topLeft.y() + 5), named["Play"]);

    const auto press = [&](const char* name) {
        named[name]->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    };
    for (const char* name : {"3 beats per measure", "Tempo scale and key help", "Play"})
        press(name);
    EXPECT_TRUE(named["3 beats per measure"]->state().checked);
    EXPECT_FALSE(named["2 beats per measure"]->state().checked);
    EXPECT_TRUE(named["Tempo scale and key help"]->state().checked);
    EXPECT_TRUE(window->form().state().Playing);
    EXPECT_FALSE(named["Stop"]->state().invisible);
    press("Stop");
    EXPECT_FALSE(window->form().state().Playing);
    press("Close");
    EXPECT_FALSE(window->isVisible());
}

// Qt's cache deletes an interface with its object, and the painted controls have none: they
// must go with the window's own interface, or they outlive the window they describe.
TEST_F(AccessibleWindow, ItsControlsGoWithTheWindowEachTime) {
    for (int round = 0; round < 2; ++round) {
        std::vector<QAccessible::Id> controls;
        {
            const auto window = shownWindow();
            QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window.get());
            ASSERT_NE(root, nullptr);
            for (int i = 0; i < root->childCount(); ++i)
                controls.push_back(QAccessible::uniqueId(root->child(i)));
            ASSERT_EQ(controls.size(), 15u);
        }
        for (const QAccessible::Id id : controls)
            EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr) << round;
    }
}
