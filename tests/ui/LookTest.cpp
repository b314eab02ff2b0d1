#include "ui/Look.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>
#include <gtest/gtest.h>
#include <memory>

using namespace kelvar;

TEST(Look, SelectOptionOfNoneUnticksEveryOptionAndTheGroupStaysExclusive) {
    QWidget owner;
    QButtonGroup group;
    for (int i = 0; i < 3; ++i) {
        group.addButton(new QRadioButton(&owner), i);
    }
    SelectOption(&group, 2);
    SelectOption(&group, -1);
    EXPECT_EQ(group.checkedId(), -1);
    EXPECT_TRUE(group.exclusive());
}
