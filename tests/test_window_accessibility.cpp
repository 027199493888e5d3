// What a screen reader finds in the window: names, roles, values, states and actions.

#include "ui/qt/MetronomeWindow.h"
#include "ui/qt/WindowAccessibility.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace metro;

namespace {

struct AccessibleWindow : ::testing::Test {
    MetronomeWindow window;
    QAccessibleInterface* root = nullptr;

    void SetUp() override {
        window.showMessage = [](const QString&) {};
        window.form().Form_Load();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        root = QAccessible::queryAccessibleInterface(&window);
        ASSERT_NE(root, nullptr);
    }
    QAccessibleInterface* named(const QString& name) {
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(QAccessible::Name) == name)
                return root->child(i);
        ADD_FAILURE() << "no control named " << name.toStdString();
        return root;
    }
    bool checked(const QString& name) { return named(name)->state().checked; }
    void press(const QString& name) {
        named(name)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
};

} // namespace

TEST_F(AccessibleWindow, ListsEveryControlWithItsRoleAndPlace) {
    EXPECT_EQ(root->text(QAccessible::Name), "Metronome");
    EXPECT_EQ(root->childCount(), 15);
    for (const auto& [name, role] : {std::pair{"Tempo", QAccessible::Slider},
                                     {"Play", QAccessible::Button},
                                     {"Stop", QAccessible::Button},
                                     {"Tempo, beats per minute", QAccessible::StaticText},
                                     {"1 beat per measure", QAccessible::RadioButton},
                                     {"8 beats per measure", QAccessible::RadioButton},
                                     {"Sound", QAccessible::CheckBox},
                                     {"Tempo scale and key help", QAccessible::CheckBox},
                                     {"Close", QAccessible::Button}})
        EXPECT_EQ(named(name)->role(), role) << name;
    for (int i = 0; i < root->childCount(); ++i)
        EXPECT_TRUE(root->child(i)->parent() == root && root->indexOfChild(root->child(i)) == i);
    const QPoint topLeft = window.mapToGlobal(QPoint(178, 392)); // where Play is painted
    EXPECT_EQ(named("Play")->rect(), QRect(topLeft, QSize(13, 15)));
    EXPECT_EQ(root->childAt(topLeft.x() + 5, topLeft.y() + 5), named("Play"));
}

TEST_F(AccessibleWindow, StatesAndValuesFollowTheMetronomeAndPressActionsWorkTheButtons) {
    EXPECT_EQ(named("Tempo, beats per minute")->textInterface()->text(0, 3), "120");
    EXPECT_EQ(named("Tempo")->valueInterface()->currentValue(), 120);
    EXPECT_TRUE(checked("2 beats per measure") && checked("Sound"));
    EXPECT_FALSE(checked("5 beats per measure") || checked("Tempo scale and key help"));
    EXPECT_TRUE(named("Stop")->state().invisible && !named("Play")->state().invisible);
    press("3 beats per measure");
    EXPECT_TRUE(checked("3 beats per measure") && !checked("2 beats per measure"));
    press("Tempo scale and key help");
    EXPECT_TRUE(checked("Tempo scale and key help"));
    press("Play");
    EXPECT_TRUE(window.form().state().Playing && !named("Stop")->state().invisible);
    press("Stop");
    EXPECT_FALSE(window.form().state().Playing);
    press("Close");
    EXPECT_FALSE(window.isVisible());
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installWindowAccessibility();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
