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

// ---- Option groups

struct OptionGroup {
    const char* name;
    int tab;
    const char* frame;
    QStringList captions;
    bool powerCycle;
};

const QList<OptionGroup>& OptionGroups() {
    static const QList<OptionGroup> groups{
        {"ServoBaudOptions",
         Tab::Sensor,
         " Baud Rate ",
         {"19.2K", "38.4K", "57.6K", "115.2K"},
         true},
        {"RunOption",
         Tab::Sensor,
         " Run Mode ",
         {"Serial", "Cycle", "Pulse", "Increment", "RAM Cycle"},
         true},
        {"CylinderOption", Tab::Sensor, " Cylinder Type ", {"Hydraulic", "Pneumatic"}, true},
        {"OutPutOption",
         Tab::Sensor,
         " Output Mode ",
         {"In Position", "In Track", "Cycle Complete", "Open Loop Enable"},
         true},
        {"EnableOption",
         Tab::Sensor,
         " Enable Mode ",
         {"Disable Set", "Stop Set", "Disable Set, Target Allowed", "Stop Set, Target Allowed"},
         true},
        {"optVelocityEnable",
         Tab::Dynamics,
         " Velocity Response ",
         {"Drive Limits", "Slow (0-40.00 in/sec)", "Fast (0-400.0 in/sec)"},
         true},
        {"ReadoutDirectionOption",
         Tab::Limits,
         " Readout Direction ",
         {"Retract To 0", "Extend to 0"},
         false},
        {"optLoopTime", Tab::Calibration, " Loop Time ", {"625uSec", "1mSec", "2 mSec"}, true},
        {"optCalSetpoints",
         Tab::Calibration,
         " Select Setpoint Test",
         {"Even Spread Over Stroke Length", "Compound Cycle Mode Test Over Sensor Length",
          "Complex Cycle Mode Test Over Sensor Length"},
         false},
        {"optPort", Tab::Communications, " Port", {"Comm 1", "Comm 2"}, false},
        {"optBaud", Tab::Communications, " Speed", {"115.2K", "57.6K", "38.4K", "19.2K"}, false},
    };
    return groups;
}

TEST_F(TabsTest, OptionGroupsCarryTheirCaptionsOnTheirTabAndFrame) {
    for (const OptionGroup& group : OptionGroups()) {
        const QString name = QLatin1String(group.name);
        auto* buttons = window.Control<QButtonGroup>(name);
        EXPECT_TRUE(buttons->exclusive()) << group.name;
        EXPECT_EQ(buttons->checkedId(), -1) << group.name;
        for (int i = 0; i < group.captions.size(); ++i) {
            auto* option = window.Control<QRadioButton>(name, i);
            EXPECT_EQ(option->text(), group.captions[i]) << group.name;
            EXPECT_EQ(buttons->id(option), i) << group.name;
            EXPECT_TRUE(OnTab(group.tab, option)) << group.name;
            EXPECT_EQ(FrameOf(option), QLatin1String(group.frame)) << group.name;
        }
    }
}

TEST_F(TabsTest, SettingsThatNeedAPowerCycleAreBlue) {
    for (const OptionGroup& group : OptionGroups()) {
        auto* option = window.Control<QRadioButton>(QLatin1String(group.name), 0);
        const bool blue = option->palette().color(QPalette::WindowText).rgb() == Colour::Blue &&
                          option->palette().color(QPalette::ButtonText).rgb() == Colour::Blue;
        EXPECT_EQ(blue, group.powerCycle) << group.name;
    }
    auto* address = window.Control<QComboBox>(QStringLiteral("SensorAddressSelect"));
    EXPECT_EQ(address->palette().color(QPalette::ButtonText).rgb(), Colour::Blue);
}

TEST_F(TabsTest, FixedToolTipsOfTheSensorAndLimitsOptions) {
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window.Control<QRadioButton>(QStringLiteral("ServoBaudOptions"), i)->toolTip(),
                  " Select the Actimar baud rate.");
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(window.Control<QRadioButton>(QStringLiteral("RunOption"), i)->toolTip(),
                  " Selects the operational mode for the Actimar(tm)");
    }
    EXPECT_EQ(window.Control<QRadioButton>(QStringLiteral("CylinderOption"), 1)->toolTip(),
              " The pneumatic algorithm for motion is used.");
    EXPECT_EQ(window.Control<QRadioButton>(QStringLiteral("OutPutOption"), 1)->toolTip(),
              "In Track - This will cause the In Position Output to come on when a following "
              "error becomes larger than the In Position window.");
    EXPECT_EQ(window.Control<QRadioButton>(QStringLiteral("ReadoutDirectionOption"), 1)->toolTip(),
              " Readout Direction:  Extend to 0");
    EXPECT_EQ(window.Control<QComboBox>(QStringLiteral("SensorAddressSelect"))->toolTip(),
              " The Actimar network address.");
    EXPECT_EQ(window.Control<QCheckBox>(QStringLiteral("AutoNullCheck"))->toolTip(),
              "Determines if AutoNull is active. Options: Disabled or Enabled");
}

// ---- Parameter fields

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

TEST_F(TabsTest, DynamicsAndSensorTabExtras) {
    auto* autoNull = window.Control<QCheckBox>(QStringLiteral("AutoNullCheck"));
    EXPECT_EQ(autoNull->text(), "Enabled");
    EXPECT_EQ(FrameOf(autoNull), " AutoNull ");
    EXPECT_EQ(FrameOf(window.Control<QLabel>(QStringLiteral("lblAutoNull"))), " AutoNull ");
    auto* polarity = window.Control<QCheckBox>(QStringLiteral("DrivePolarityCheckbox"));
    EXPECT_EQ(polarity->text(), "Reverse Drive Polarity");
    EXPECT_TRUE(OnTab(Tab::Dynamics, polarity));

    auto* address = window.Control<QComboBox>(QStringLiteral("SensorAddressSelect"));
    ASSERT_EQ(address->count(), 26);
    EXPECT_EQ(address->itemText(0), "Address 1");
    EXPECT_EQ(address->itemText(25), "Address 26");
    EXPECT_EQ(address->currentIndex(), 0);
    EXPECT_FALSE(address->isEditable());
    EXPECT_EQ(FrameOf(address), " Network Address ");
    EXPECT_TRUE(OnTab(Tab::Sensor, address));
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblPowerNote"))->text(),
              "Note: Changes to the setups colored Blue will require Actimar power to be cycled "
              "OFF to ON in order to take effect.");
    EXPECT_EQ(window.Control<QGroupBox>(QStringLiteral("fraRS485"))->title(),
              " Actimar RS-485 Communications ");
    EXPECT_EQ(window.Control<QGroupBox>(QStringLiteral("fraOperationalConfiguration"))->title(),
              " Operational Configuration ");
}

TEST_F(TabsTest, PictographLabelsAroundTheCylinder) {
    const QStringList quantities{"Zero Adjust", "Sensor Length", "Max. Limit", "Min. Limit"};
    for (int i = 0; i < 4; ++i) {
        auto* label = window.Control<QLabel>(QStringLiteral("lblPicto"), i);
        EXPECT_EQ(label->text(), quantities[i]);
        EXPECT_TRUE(OnTab(Tab::Limits, label));
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblPictoWindow"), i)->text(),
                  "In Position Window");
    }
    auto* drawing = window.Control<cCylinderDrawing>(QStringLiteral("imgCylinder"));
    EXPECT_FALSE(drawing->Mirrored());
    drawing->SetMirrored(true);
    EXPECT_TRUE(drawing->Mirrored());
    EXPECT_TRUE(OnTab(Tab::Limits, window.Control<QLabel>(QStringLiteral("lblResolution"))));
}

// ---- SetPoints

TEST_F(TabsTest, SetpointGridHasSixtyRowsUnderItsHeader) {
    auto* grid = window.Control<QTableWidget>(QStringLiteral("MSFlexGrid1"));
    EXPECT_TRUE(OnTab(Tab::SetPoints, grid));
    ASSERT_EQ(grid->rowCount(), 60);
    ASSERT_EQ(grid->columnCount(), 4);
    const QStringList headings{"Setpoints", "Target", "Velocity", "Dwell"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), headings[c]);
    }
    EXPECT_EQ(grid->horizontalHeader()->font().pointSize(), 8);
    for (int row = 0; row < 60; ++row) {
        EXPECT_EQ(grid->item(row, 0)->text(), QString::number(row + 1));
        EXPECT_EQ(grid->item(row, 0)->textAlignment(), Qt::AlignCenter);
        EXPECT_EQ(grid->item(row, 1)->text(), "0.000");
        EXPECT_EQ(grid->item(row, 2)->text(), "0.0");
        EXPECT_EQ(grid->item(row, 3)->text(), "0.00");
        EXPECT_TRUE(grid->item(row, 3)->textAlignment() & Qt::AlignRight);
    }
    EXPECT_EQ(grid->currentRow(), 0);
    EXPECT_EQ(grid->currentColumn(), 1);
    // Cells are edited only through the edit box.
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    auto* editBox = window.Control<QLineEdit>(QStringLiteral("txtEditCell"));
    EXPECT_EQ(editBox->parentWidget(), grid->viewport());
    EXPECT_TRUE(editBox->isHidden());
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblEditInfo"))->text(),
              "Press <Enter> or <Click> on cell to change data\nTarget values in red are beyond "
              "minimum or maximum travel limits");
}

TEST_F(TabsTest, SetpointDisplayAndViewOnlyOnTheMonitorTab) {
    for (const char* column : {"Number", "Target", "Velocity", "Dwell"}) {
        for (int row = 0; row < 3; ++row) {
            auto* cell =
                window.Control<QLabel>(QStringLiteral("lblSetpoint") + QLatin1String(column), row);
            EXPECT_TRUE(OnTab(Tab::Monitor, cell)) << column << row;
            // The chosen setpoint is the middle row.
            EXPECT_EQ(cell->font().bold(), row == 1) << column << row;
        }
    }
    auto* view = window.Control<QCheckBox>(QStringLiteral("chkView"));
    EXPECT_EQ(view->text(), "View Only");
    EXPECT_TRUE(OnTab(Tab::Monitor, view));
}

// ---- Information

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

TEST_F(TabsTest, IdentityLabelsAndSensorName) {
    for (const char* name : {"lblSerialNumber", "lblModel", "lblFirmwareVersion", "lblFirmwareDate",
                             "lblUnits", "lblInfoResolution", "lblInfoNullZero"}) {
        auto* label = window.Control<QLabel>(QLatin1String(name));
        EXPECT_TRUE(OnTab(Tab::Information, label)) << name;
        EXPECT_TRUE(label->text().isEmpty()) << name;
    }
    auto* name = window.Control<QLineEdit>(QStringLiteral("txtSensorName"));
    EXPECT_TRUE(OnTab(Tab::Information, name));
    EXPECT_EQ(name->maxLength(), 30);
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblSensorNameHint"))->text(),
              "Examples: Right Knee Cylinder, Axis 1");
}

// ---- Graph, Log, Calibration

TEST_F(TabsTest, GraphControls) {
    auto* scale = window.Control<QComboBox>(QStringLiteral("cboScale"));
    const QStringList entries{"  1/4:1", "  1/2:1", "  1:1", "  2:1", "  4:1"};
    ASSERT_EQ(scale->count(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(scale->itemText(i), entries[i]);
    }
    EXPECT_EQ(scale->currentIndex(), 2);
    EXPECT_EQ(scale->toolTip(), "Selects Display Speed");
    auto* start = window.Control<QPushButton>(QStringLiteral("cmdStartGraph"));
    EXPECT_EQ(start->text(), "Start");
    EXPECT_EQ(start->toolTip(), "Starts / Stops Graphing");
    auto* pause = window.Control<QPushButton>(QStringLiteral("cmdPauseGraph"));
    EXPECT_EQ(pause->text(), "Pause");
    EXPECT_EQ(pause->toolTip(), "Pause / Resume Graphing");
    EXPECT_FALSE(pause->isEnabled());
    for (const char* name :
         {"lblGraphPosition", "lblGraphVelocity", "lblGraphTarget", "lblGraph_5", "lblGraph_6"}) {
        EXPECT_TRUE(OnTab(Tab::Graph, window.Control<QLabel>(QLatin1String(name)))) << name;
    }
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblGraphVelocityCaption"))->text(),
              "Velocity\n(in/sec)");
    EXPECT_TRUE(OnTab(Tab::Graph, window.Control<QWidget>(QStringLiteral("TimeBase"))));
    EXPECT_TRUE(window.Control<QLineEdit>(QStringLiteral("txtSampleRate"))->isReadOnly());
    EXPECT_TRUE(
        OnTab(Tab::Graph, window.Control<QAbstractButton>(QStringLiteral("cmdGraphSelect"), 59)));
}

TEST_F(TabsTest, LogIsReadOnlyFixedPitchTextWithItsButtons) {
    auto* log = window.Control<QPlainTextEdit>(QStringLiteral("rtbLog"));
    EXPECT_TRUE(OnTab(Tab::Log, log));
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_TRUE(QFontInfo(log->font()).fixedPitch());
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    const QList<QPair<QString, QString>> buttons{{"cmdUpdateLog", "Update"},
                                                 {"cmdCopyLog", "Copy to Clipboard"},
                                                 {"cmdSaveLog", "Save"},
                                                 {"cmdClearLog", "Clear"},
                                                 {"cmdPrintLog", "Print"}};
    for (const auto& [name, caption] : buttons) {
        auto* button = window.Control<QPushButton>(name);
        EXPECT_EQ(button->text(), caption);
        EXPECT_TRUE(OnTab(Tab::Log, button));
    }
}

TEST_F(TabsTest, CalibrationControlsInTheirFrames) {
    const QList<QPair<QString, QString>> buttons{
        {"cmdAutoAdjust", "Auto Zero Adjust"},
        {"cmdMidPoint", "Set Target to Sensor Midpoint"},
        {"cmdCalibrateSetTarget", "Set Target to Position"},
        {"cmdSetpointTest", "Load Setpoint Table"},
    };
    for (const auto& [name, caption] : buttons) {
        auto* button = window.Control<QPushButton>(name);
        EXPECT_EQ(button->text(), caption);
        EXPECT_TRUE(OnTab(Tab::Calibration, button));
    }
    EXPECT_EQ(FrameOf(window.Control<QLineEdit>(QStringLiteral("txtAdjustValue"))), " Zero Adjust");
    EXPECT_EQ(FrameOf(window.Control<cUpDown>(QStringLiteral("UpDownAdjust"))), " Zero Adjust");
    EXPECT_EQ(FrameOf(window.Control<QLineEdit>(QStringLiteral("txtNullZero"))),
              " Null Zero Adjustment");
    EXPECT_EQ(FrameOf(window.Control<cUpDown>(QStringLiteral("UpDownNullZero"))),
              " Null Zero Adjustment");
    EXPECT_EQ(FrameOf(window.Control<QLabel>(QStringLiteral("lblCalibratePosition"))),
              " Null Zero Adjustment");
    EXPECT_EQ(FrameOf(window.Control<QLabel>(QStringLiteral("lblCalibrateTarget"))),
              " Null Zero Adjustment");
    EXPECT_EQ(FrameOf(window.Control<QGroupBox>(QStringLiteral("fraNullZero"))),
              " Drive Output Calibration");
    EXPECT_TRUE(OnTab(Tab::Calibration, window.Control<QLabel>(QStringLiteral("lblCalibrate"))));
}

// ---- Focus on fields of every tab

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
