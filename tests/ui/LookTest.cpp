#include "ui/Look.h"

#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace kelvar;

namespace {

TEST(LookTest, SelectOptionTicksOneOrNone) {
    QWidget owner;
    QButtonGroup group;
    for (int i = 0; i < 3; ++i) {
        group.addButton(new QRadioButton(&owner), i);
    }
    SelectOption(&group, 2);
    EXPECT_EQ(group.checkedId(), 2);
    SelectOption(&group, 0);
    EXPECT_EQ(group.checkedId(), 0);
    SelectOption(&group, -1);
    EXPECT_EQ(group.checkedId(), -1);
    EXPECT_TRUE(group.exclusive());
    // Still one at a time afterwards.
    SelectOption(&group, 1);
    group.button(2)->setChecked(true);
    EXPECT_FALSE(group.button(1)->isChecked());
}

TEST(LookTest, BoldUnderlineAndHighlightChangeOnlyTheirOwnMark) {
    QPushButton button("7");
    SetBold(&button, true);
    SetUnderline(&button, true);
    EXPECT_TRUE(button.font().bold());
    EXPECT_TRUE(button.font().underline());
    SetBold(&button, false);
    EXPECT_FALSE(button.font().bold());
    EXPECT_TRUE(button.font().underline());

    SetButtonHighlight(&button, true);
    EXPECT_TRUE(button.font().bold());
    EXPECT_EQ(button.font().pointSize(), 12);
    EXPECT_TRUE(button.font().underline());
    SetButtonHighlight(&button, false);
    EXPECT_FALSE(button.font().bold());
    EXPECT_EQ(button.font().pointSize(), 10);
}

TEST(LookTest, EditingBackgroundIsLightYellowThenTheNormalOne) {
    QLineEdit field;
    const QColor normal = field.palette().color(QPalette::Base);
    SetEditing(&field, true);
    EXPECT_EQ(field.palette().color(QPalette::Base).rgb(), Colour::Editing);
    SetTextColour(&field, Colour::Red);
    SetEditing(&field, false);
    EXPECT_EQ(field.palette().color(QPalette::Base), normal);
    // The text colour is a separate mark, and a disabled control still
    // looks disabled.
    EXPECT_EQ(field.palette().color(QPalette::Text).rgb(), Colour::Red);
    EXPECT_NE(field.palette().color(QPalette::Disabled, QPalette::Text).rgb(), Colour::Red);
}

TEST(LookTest, IndicatorsOfBothKinds) {
    const cIndicator lamp =
        MakeIndicator(IndicatorKind::Lamp, "Lamp_3", "lblLamp_3", "Rx OK", "Rx Error", "tip");
    const std::unique_ptr<QLabel> lampLight(lamp.light);
    const std::unique_ptr<QLabel> lampCaption(lamp.caption);
    EXPECT_NE(lamp.light, lamp.caption);
    EXPECT_EQ(lamp.light->objectName(), "Lamp_3");
    EXPECT_EQ(lamp.caption->objectName(), "lblLamp_3");
    EXPECT_EQ(lamp.caption->toolTip(), "tip");
    EXPECT_EQ(lamp.caption->text(), "Rx OK");
    EXPECT_EQ(LightColour(lamp.light), Colour::LightGreen);
    SetIndicator(lamp, false);
    EXPECT_EQ(lamp.caption->text(), "Rx Error");
    EXPECT_EQ(LightColour(lamp.light), Colour::Red);

    const cIndicator field =
        MakeIndicator(IndicatorKind::Field, {}, "lblField_0", "COMM OK", "NO COMM");
    const std::unique_ptr<QLabel> fieldLabel(field.caption);
    EXPECT_EQ(field.light, field.caption);
    EXPECT_EQ(LightColour(field.light), Colour::DarkGreen);
    SetIndicator(field, false);
    EXPECT_EQ(field.caption->text(), "NO COMM");
    SetIndicator(field, true);
    EXPECT_EQ(field.caption->text(), "COMM OK");
    EXPECT_EQ(LightColour(field.light), Colour::DarkGreen);
    // Loading shows blue whatever the kind.
    SetLight(field.light, Colour::Blue);
    EXPECT_EQ(LightColour(field.light), Colour::Blue);
    EXPECT_TRUE(field.light->autoFillBackground());
}

TEST(LookTest, FromCrLfKeepsSingleBreaksAndBlanks) {
    EXPECT_EQ(FromCrLf("a\r\nb\r\n\r\nc "), "a\nb\n\nc ");
    EXPECT_EQ(FromCrLf("no break"), "no break");
}

TEST(LookTest, UpDownReportsEachArrow) {
    cUpDown upDown("UpDown2");
    EXPECT_EQ(upDown.objectName(), "UpDown2");
    QSignalSpy up(&upDown, &cUpDown::up);
    QSignalSpy down(&upDown, &cUpDown::down);
    const QList<QToolButton*> arrows = upDown.findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    for (QToolButton* arrow : arrows) {
        EXPECT_EQ(arrow->focusPolicy(), Qt::NoFocus);
        arrow->click();
    }
    EXPECT_EQ(up.count(), 1);
    EXPECT_EQ(down.count(), 1);
    const bool upFirst = arrows[0]->arrowType() == Qt::UpArrow;
    EXPECT_EQ(arrows[upFirst ? 1 : 0]->arrowType(), Qt::DownArrow);
}

} // namespace
