#include "operations/Pictograph.h"

#include "model/Parameters.h"
#include "model/SensorData.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvar;

TEST(Pictograph, LabelsFollowTheReadoutDirection) {
    QLocale::setDefault(QLocale::c());
    clsSensorData data;
    InitParameterTable(data);
    data.WriteParameterData(Param::SensorLength, 0, 24000);
    data.WriteParameterData(Param::MaximumTravel, 1, 20000);
    data.WriteParameterData(Param::MinimumTravel, 1, 250);
    data.WriteParameterData(Param::ZeroAdjust, 1, -1500);
    data.WriteParameterData(Param::InPositionWindow, 1, 60);

    data.WriteParameterData(41, 1, 0); // retract to 0
    PictographView view = Pictograph(data);
    EXPECT_FALSE(view.mirrored);
    EXPECT_EQ(view.labels[0], "Zero Adjust\r\n-1.500in");
    EXPECT_EQ(view.labels[1], "Sensor Length\r\n24.0in");
    EXPECT_EQ(view.labels[2], "Max. Limit\r\n20.000in");
    EXPECT_EQ(view.labels[3], "Min. Limit\r\n0.250in");
    EXPECT_EQ(view.windowLabels[0], "In Position Window\r\n0.060in");

    data.WriteParameterData(41, 1, 1); // extend to 0: mirrored
    view = Pictograph(data);
    EXPECT_TRUE(view.mirrored);
    EXPECT_TRUE(view.labels[0].startsWith("Sensor Length"));
    EXPECT_TRUE(view.labels[1].startsWith("Zero Adjust"));
    EXPECT_TRUE(view.labels[2].startsWith("Min. Limit"));
    EXPECT_TRUE(view.labels[3].startsWith("Max. Limit"));
    QLocale::setDefault(QLocale::system());
}
