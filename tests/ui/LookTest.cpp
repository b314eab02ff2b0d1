#include "ui/Look.h"

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

TEST(Look, SelectOptionTicksOneOrNoneAndTheGroupStaysExclusive) {
    QWidget owner;
    QButtonGroup group;
    for (int i = 0; i < 3; ++i) {
        group.addButton(new QRadioButton(&owner), i);
    }
    for (const int index : {2, 0, -1, 1}) {
        SelectOption(&group, index);
        EXPECT_EQ(group.checkedId(), index);
    }
    group.button(2)->setChecked(true);
    EXPECT_FALSE(group.button(1)->isChecked());
}

TEST(Look, EachMarkChangesOnlyItself) {
    QPushButton button("7");
    SetBold(&button, true);
    SetUnderline(&button, true);
    SetBold(&button, false);
    EXPECT_FALSE(button.font().bold());
    EXPECT_TRUE(button.font().underline());
    SetButtonHighlight(&button, true);
    EXPECT_TRUE(button.font().bold());
    EXPECT_TRUE(button.font().underline());
    SetButtonHighlight(&button, false);
    EXPECT_FALSE(button.font().bold());

    QLineEdit field;
    const QColor normal = field.palette().color(QPalette::Base);
    SetEditing(&field, true);
    EXPECT_NE(field.palette().color(QPalette::Base), normal);
    SetTextColour(&field, Colour::Red);
    SetEditing(&field, false);
    EXPECT_EQ(field.palette().color(QPalette::Base), normal);
    EXPECT_EQ(field.palette().color(QPalette::Text).rgb(), Colour::Red);
    // A disabled control still looks disabled.
    EXPECT_NE(field.palette().color(QPalette::Disabled, QPalette::Text).rgb(), Colour::Red);
}

TEST(Look, IndicatorsOfBothKindsSwapTheirCaptionsWithTheirColour) {
    const cIndicator lamp =
        MakeIndicator(IndicatorKind::Lamp, "Lamp_3", "lblLamp_3", "Rx OK", "Rx Error", "tip");
    const std::unique_ptr<QLabel> lampLight(lamp.light);
    const std::unique_ptr<QLabel> lampCaption(lamp.caption);
    EXPECT_NE(lamp.light, lamp.caption);
    EXPECT_EQ(LightColour(lamp.light), Colour::LightGreen);
    SetIndicator(lamp, false);
    EXPECT_EQ(lamp.caption->text(), "Rx Error");
    EXPECT_EQ(LightColour(lamp.light), Colour::Red);

    const cIndicator field =
        MakeIndicator(IndicatorKind::Field, {}, "lblField_0", "COMM OK", "NO COMM");
    const std::unique_ptr<QLabel> fieldLabel(field.caption);
    EXPECT_EQ(field.light, field.caption);
    SetIndicator(field, false);
    EXPECT_EQ(field.caption->text(), "NO COMM");
    EXPECT_EQ(LightColour(field.light), Colour::Red);
    SetIndicator(field, true);
    EXPECT_EQ(field.caption->text(), "COMM OK");
    EXPECT_EQ(LightColour(field.light), Colour::DarkGreen);
}

TEST(Look, UpDownReportsEachArrowAndTakesNoFocus) {
    cUpDown upDown("UpDown2");
    QSignalSpy up(&upDown, &cUpDown::up);
    QSignalSpy down(&upDown, &cUpDown::down);
    const QList<QToolButton*> arrows = upDown.findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    for (QToolButton* arrow : arrows) {
        EXPECT_EQ(arrow->focusPolicy(), Qt::NoFocus);
        const qsizetype ups = up.count();
        arrow->click();
        EXPECT_EQ(up.count() - ups, arrow->arrowType() == Qt::UpArrow ? 1 : 0);
    }
    EXPECT_EQ(up.count(), 1);
    EXPECT_EQ(down.count(), 1);
}
