#include "ui/AsciiSensor.h"
#include "ui/Look.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class TabsTest : public ::testing::Test {
protected:
    AsciiSensor window;

    bool OnTab(int tab, const QWidget* control) const {
        return window.Control<QTabWidget>(QStringLiteral("SSTab1"))
            ->widget(tab)
            ->isAncestorOf(control);
    }
    // The caption of the frame directly around a control.
    static QString FrameOf(const QWidget* control) {
        for (const QWidget* up = control->parentWidget(); up != nullptr; up = up->parentWidget()) {
            if (const auto* frame = qobject_cast<const QGroupBox*>(up)) {
                return frame->title();
            }
        }
        return {};
    }
};

TEST_F(TabsTest, ParameterFieldsSitInTheirFramesWithSpinButtonsForTheFirstTwelve) {
    struct Field {
        const char* caption;
        int tab;
        const char* frame;
    };
    const Field fields[17] = {
        {"Gain", Tab::Dynamics, " Extend Settings "},
        {"Acceleration", Tab::Dynamics, " Extend Settings "},
        {"Deceleration", Tab::Dynamics, " Extend Settings "},
        {"Deceleration Window", Tab::Dynamics, " Extend Settings "},
        {"Drive Limit", Tab::Dynamics, " Extend Settings "},
        {"Dead Band", Tab::Dynamics, " Extend Settings "},
        {"Gain", Tab::Dynamics, " Retract Settings "},
        {"Acceleration", Tab::Dynamics, " Retract Settings "},
        {"Deceleration", Tab::Dynamics, " Retract Settings "},
        {"Deceleration Window", Tab::Dynamics, " Retract Settings "},
        {"Drive Limit", Tab::Dynamics, " Retract Settings "},
        {"Dead Band", Tab::Dynamics, " Retract Settings "},
        {"Window", Tab::Dynamics, " AutoNull "},
        {"Minimum\n (in)", Tab::Limits, " Travel Limits "},
        {"Maximum\n (in)", Tab::Limits, " Travel Limits "},
        {"In Position\n (in)", Tab::Limits, " In Position Window "},
        {"Zero Adjust\n (In.)", Tab::Limits, " Zero Offset Adjust"},
    };
    for (int i = 0; i < 17; ++i) {
        auto* field = window.Control<QLineEdit>(QStringLiteral("txtData"), i);
        EXPECT_EQ(field->text(), "0") << i;
        EXPECT_FALSE(field->isReadOnly()) << i;
        EXPECT_TRUE(OnTab(fields[i].tab, field)) << i;
        EXPECT_EQ(FrameOf(field), QLatin1String(fields[i].frame)) << i;
        EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblData"), i)->text(),
                  QLatin1String(fields[i].caption));
        const QString spinName = QStringLiteral("UpDown%1").arg(i + 2);
        if (i < 12) {
            auto* spin = window.Control<cUpDown>(spinName);
            EXPECT_EQ(spin->parentWidget(), field->parentWidget()) << i;
        } else {
            EXPECT_EQ(window.findChild<cUpDown*>(spinName), nullptr) << i;
        }
    }
}

TEST_F(TabsTest, StatusAndControlBytePanelsHaveALightPerBit) {
    struct Bit {
        const char* on;
        const char* off;
        const char* toolTip;
    };
    const Bit bits[16] = {
        {"Zevir OK", "Zevir BAD", "Green = Zevir OK, Red = Bad"},
        {"In Position", "In Motion", "Green = In Position, Red = In Motion"},
        {"System OK", "System BAD", "Green = System OK, Red = Bad"},
        {"Within Limits*", "OverTravel", "Green = Within Limits, Red = Over Travel"},
        {"Null OK", "Null BAD", "Green = Null OK, Red = Bad"},
        {"Positive Position*", "Negative Position", "Green = Pos. Position, Red = Neg. Position"},
        {"ON", "OFF", "Green = On, Red = Off"},
        {"Motion Enabled", "Motion Disabled", "Green = Motion Enabled Off, Red = Motion Disabled"},
        {"On", "Off", "Green = ON, Red = OFF"},
        {"On", "Off", "Green = On, Red = OFF"},
        {"Power OK", "Power Bad", "Green = Power OK, Red = Bad"},
        {"On", "Off", "Green =  OFF, Red = ON"},
        {"Jog Active", "Jog Inactive", "Green = Jog Active, Red = Jog Inactive"},
        {"Input 2 On", "Input 2 Off", "Green = Input 2 On, Red = Input 2 Off"},
        {"Write Enabled", "Write Disabled", "Green = Write Enabled, Red = Write Disabled"},
        {"Air Cylinder", "Hydraulic Cylinder", "Green = Air Cylinder, Red = Hydraulic Cylinder"},
    };
    for (int bit = 0; bit < 16; ++bit) {
        const cIndicator line{window.Control<QLabel>(QStringLiteral("StatusLED"), bit),
                              window.Control<QLabel>(QStringLiteral("lblStatus"), bit)};
        EXPECT_TRUE(OnTab(Tab::Information, line.light)) << bit;
        EXPECT_EQ(FrameOf(line.light), bit < 8 ? " Actimar Status" : " Actimar Control ") << bit;
        EXPECT_EQ(line.caption->text(), QLatin1String(bits[bit].on)) << bit;
        EXPECT_EQ(line.caption->toolTip(), QLatin1String(bits[bit].toolTip)) << bit;
        EXPECT_EQ(LightColour(line.light), Colour::LightGreen) << bit;
        EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblStatusBit"), bit)->text(),
                  QString::number(bit % 8));
        SetIndicator(line, false);
        EXPECT_EQ(line.caption->text(), QLatin1String(bits[bit].off)) << bit;
        EXPECT_EQ(LightColour(line.light), Colour::Red) << bit;
    }
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblStatusByte"))->text(), "0H (0000 0000)");
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblControlByte"))->text(), "0H (0000 0000)");
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblInverted"))->text(), "*inverted");
}

TEST_F(TabsTest, FocusOnParameterAndEditFieldsIsReported) {
    QSignalSpy entered(&window, &AsciiSensor::focusEntered);
    const QList<QWidget*> fields{window.Control<QLineEdit>(QStringLiteral("txtData"), 16),
                                 window.Control<QLineEdit>(QStringLiteral("txtEditCell")),
                                 window.Control<QLineEdit>(QStringLiteral("txtNullZero")),
                                 window.Control<QRadioButton>(QStringLiteral("optCalSetpoints"), 1),
                                 window.Control<QComboBox>(QStringLiteral("cboSensorSelect"))};
    for (QWidget* field : fields) {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(field, &in);
    }
    ASSERT_EQ(entered.count(), fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(entered.at(i).at(0).value<QWidget*>(), fields[i]);
    }
}

} // namespace
