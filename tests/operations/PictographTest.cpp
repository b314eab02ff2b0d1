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
    for (const auto& [parameter, value] :
         {std::pair{Param::MaximumTravel, 20000}, std::pair{Param::MinimumTravel, 250},
          std::pair{Param::ZeroAdjust, -1500}, std::pair{Param::InPositionWindow, 60},
          std::pair{Param::ReadoutDirection, 0}}) { // retract to 0
        data.WriteParameterData(parameter, 1, value);
    }
    PictographView view = Pictograph(data);
    EXPECT_FALSE(view.mirrored);
    const QStringList labels{"Zero Adjust\r\n-1.500in", "Sensor Length\r\n24.0in",
                             "Max. Limit\r\n20.000in", "Min. Limit\r\n0.250in"};
    EXPECT_EQ(QStringList(view.labels.begin(), view.labels.end()), labels);
    EXPECT_EQ(view.windowLabels[0], "In Position Window\r\n0.060in");

    data.WriteParameterData(Param::ReadoutDirection, 1, 1); // extend to 0: mirrored
    view = Pictograph(data);
    EXPECT_TRUE(view.mirrored);
    EXPECT_EQ(QStringList(view.labels.begin(), view.labels.end()),
              QStringList({labels[1], labels[0], labels[3], labels[2]}));
    QLocale::setDefault(QLocale::system());
}
