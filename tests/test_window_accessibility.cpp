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
        return nullptr;
    }

    void press(QAccessibleInterface* control) {
        ASSERT_NE(control, nullptr);
        auto* actions = control->actionInterface();
        ASSERT_NE(actions, nullptr);
        actions->doAction(QAccessibleActionInterface::pressAction());
    }
};

} // namespace

TEST_F(AccessibleWindow, ListsEveryControlWithItsRole) {
    EXPECT_EQ(root->text(QAccessible::Name), "Metronome");
    EXPECT_EQ(root->childCount(), 15);
    EXPECT_EQ(named("Tempo")->role(), QAccessible::Slider);
    EXPECT_EQ(named("Play")->role(), QAccessible::Button);
    EXPECT_EQ(named("Stop")->role(), QAccessible::Button);
    EXPECT_EQ(named("Tempo, beats per minute")->role(), QAccessible::StaticText);
    EXPECT_EQ(named("1 beat per measure")->role(), QAccessible::RadioButton);
    EXPECT_EQ(named("8 beats per measure")->role(), QAccessible::RadioButton);
    EXPECT_EQ(named("Sound")->role(), QAccessible::CheckBox);
    EXPECT_EQ(named("Tempo scale and key help")->role(), QAccessible::CheckBox);
    EXPECT_EQ(named("Close")->role(), QAccessible::Button);
    for (int i = 0; i < root->childCount(); ++i) {
        EXPECT_EQ(root->child(i)->parent(), root);
        EXPECT_EQ(root->indexOfChild(root->child(i)), i);
    }
}

TEST_F(AccessibleWindow, StatesAndValuesFollowTheMetronome) {
    EXPECT_EQ(named("Tempo, beats per minute")->text(QAccessible::Value), "120");
    EXPECT_EQ(named("Tempo, beats per minute")->textInterface()->text(0, 3), "120");
    EXPECT_EQ(named("Tempo")->valueInterface()->currentValue(), 120);
    EXPECT_TRUE(named("2 beats per measure")->state().checked);
    EXPECT_FALSE(named("5 beats per measure")->state().checked);
    EXPECT_TRUE(named("Sound")->state().checked);
    EXPECT_FALSE(named("Tempo scale and key help")->state().checked);
    EXPECT_FALSE(named("Play")->state().invisible);
    EXPECT_TRUE(named("Stop")->state().invisible);

    QTest::keyClick(&window, Qt::Key_5);
    QTest::keyClick(&window, Qt::Key_Space);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_TRUE(named("5 beats per measure")->state().checked);
    EXPECT_FALSE(named("2 beats per measure")->state().checked);
    EXPECT_FALSE(named("Sound")->state().checked);
    EXPECT_EQ(named("Tempo, beats per minute")->text(QAccessible::Value),
              QString::fromStdString(window.form().controls.L_temo.Caption));
    EXPECT_EQ(named("Tempo")->text(QAccessible::Value),
              QString::number(window.form().state().Tempo));
}

TEST_F(AccessibleWindow, PressActionsWorkTheButtons) {
    press(named("3 beats per measure"));
    EXPECT_EQ(window.form().state().BeatsPerMeasure, 3);
    press(named("Tempo scale and key help"));
    EXPECT_TRUE(window.form().state().ScaleShown);
    press(named("Play"));
    EXPECT_TRUE(window.form().state().Playing);
    EXPECT_FALSE(named("Stop")->state().invisible);
    press(named("Stop"));
    EXPECT_FALSE(window.form().state().Playing);
    press(named("Close"));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(AccessibleWindow, PlacesMatchThePaintedControls) {
    const QRect play = named("Play")->rect();
    const QPoint topLeft = window.mapToGlobal(QPoint(178, 392));
    EXPECT_EQ(play.topLeft(), topLeft);
    EXPECT_EQ(play.size(), QSize(13, 15));
    EXPECT_EQ(root->childAt(topLeft.x() + 5, topLeft.y() + 5), named("Play"));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installWindowAccessibility();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
