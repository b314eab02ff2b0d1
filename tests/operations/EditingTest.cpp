// Parameter editing: entry, key filter, spin buttons, options, redraw, tips.
#include "operations/Editing.h"

#include "model/Errors.h"
#include "model/Parameters.h"
#include "operations/Session.h"
#include "sim/SimSerialPort.h"
#include "support/TestView.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

constexpr int ExtendGainField = 0;
constexpr int ExtendAccelerationField = 1;
constexpr int ExtendDriveLimitField = 4;
constexpr int MinimumTravelField = 13;
constexpr int InPositionField = 15;
constexpr int ZeroAdjustFieldIndex = 16;

class EditingTest : public ::testing::Test {
protected:
    EditingTest() {
        QLocale::setDefault(QLocale::c());
        InitParameterTable(data);
        data.setUnits(QStringLiteral("in"));
    }
    ~EditingTest() override { QLocale::setDefault(QLocale::system()); }

    std::int32_t Edited(int reg) const {
        return data.ReadParameterData(reg, clsSensorData::ChangedDataColumn);
    }

    clsSensorData data;
};

// ------------------------------------------------------------- the table

TEST_F(EditingTest, CountFieldsTakeOnlyDigitsAndBackspace) {
    for (int field = 0; field <= 12; ++field) {
        EXPECT_EQ(FilterKey(field, u'0'), KeyAction::Accept);
        EXPECT_EQ(FilterKey(field, u'9'), KeyAction::Accept);
        EXPECT_EQ(FilterKey(field, BackspaceKey), KeyAction::Accept);
        EXPECT_EQ(FilterKey(field, u'.'), KeyAction::Swallow) << field;
        EXPECT_EQ(FilterKey(field, u'-'), KeyAction::Swallow) << field;
        EXPECT_EQ(FilterKey(field, u'a'), KeyAction::Swallow);
        EXPECT_EQ(FilterKey(field, u' '), KeyAction::Swallow);
    }
}

TEST_F(EditingTest, LengthFieldsTakeThePointAndOnlyZeroAdjustTheMinus) {
    for (int field = 13; field <= 15; ++field) {
        EXPECT_EQ(FilterKey(field, u'.'), KeyAction::Accept);
        EXPECT_EQ(FilterKey(field, u'-'), KeyAction::Swallow) << field;
        EXPECT_EQ(FilterKey(field, u','), KeyAction::Swallow);
    }
    EXPECT_EQ(FilterKey(ZeroAdjustFieldIndex, u'.'), KeyAction::Accept);
    EXPECT_EQ(FilterKey(ZeroAdjustFieldIndex, u'-'), KeyAction::Accept);
    EXPECT_EQ(FilterKey(ZeroAdjustFieldIndex, u'+'), KeyAction::Swallow);
}

TEST_F(EditingTest, EnterMovesOnInEveryFieldAndBadFieldsRaise) {
    EXPECT_EQ(FilterKey(0, EnterKey), KeyAction::MoveOn);
    EXPECT_EQ(FilterKey(16, EnterKey), KeyAction::MoveOn);
    EXPECT_THROW(FilterKey(17, u'1'), SubscriptOutOfRange);
    EXPECT_THROW(FilterKey(-1, u'1'), SubscriptOutOfRange);
}

// ------------------------------------------------------------- entering

TEST_F(EditingTest, EntriesOutsideTheLimitsAreClampedAndFlagged) {
    FieldEntry entry = CommitField(data, ExtendGainField, QStringLiteral("70000"));
    EXPECT_TRUE(entry.clamped);
    EXPECT_EQ(entry.value, 65535);
    EXPECT_EQ(Edited(2), 65535);
    EXPECT_EQ(entry.text, QStringLiteral("65535"));

    entry = CommitField(data, ExtendGainField, QStringLiteral("0"));
    EXPECT_TRUE(entry.clamped);
    EXPECT_EQ(Edited(2), 1);

    entry = CommitField(data, ExtendGainField, QStringLiteral("800"));
    EXPECT_FALSE(entry.clamped);
    EXPECT_FALSE(entry.refused);
    EXPECT_EQ(Edited(2), 800);
    EXPECT_EQ(data.Parameter(), 2); // the field's register became current
}

TEST_F(EditingTest, HugeEntriesClampWithoutOverflow) {
    const FieldEntry entry =
        CommitField(data, ExtendGainField, QStringLiteral("99999999999999999999999"));
    EXPECT_TRUE(entry.clamped);
    EXPECT_EQ(Edited(2), 65535);
    // The travel limits are not held to their limits, only to a register.
    const FieldEntry travel =
        CommitField(data, MinimumTravelField, QStringLiteral("99999999999999999999999"));
    EXPECT_TRUE(travel.clamped);
    EXPECT_EQ(Edited(30), std::numeric_limits<std::int32_t>::max());
    // Beyond the range of a float.
    const FieldEntry zero =
        CommitField(data, ZeroAdjustFieldIndex,
                    QStringLiteral("-1") + QString(45, u'0') + QStringLiteral(".5"));
    EXPECT_TRUE(zero.clamped);
    EXPECT_EQ(Edited(33), -32000);
}

TEST_F(EditingTest, TravelLimitsAreStoredWithoutALimitCheck) {
    // 70 in at 0.001 is 70000 counts, above the table's maximum of 65535.
    const FieldEntry entry = CommitField(data, MinimumTravelField, QStringLiteral("70"));
    EXPECT_FALSE(entry.clamped);
    EXPECT_EQ(Edited(30), 70000);
}

TEST_F(EditingTest, ZeroAdjustTakesNegativeLengths) {
    const FieldEntry entry = CommitField(data, ZeroAdjustFieldIndex, QStringLiteral("-1.5"));
    EXPECT_FALSE(entry.clamped);
    EXPECT_EQ(Edited(33), -1500);
    EXPECT_EQ(entry.text, QStringLiteral("-1.500"));
    EXPECT_TRUE(CommitField(data, ZeroAdjustFieldIndex, QStringLiteral("-40")).clamped);
    EXPECT_EQ(Edited(33), -32000);
}

TEST_F(EditingTest, AFieldWithoutANumberKeepsItsValueAndIsRedrawn) {
    CommitField(data, ExtendGainField, QStringLiteral("700"));
    CommitField(data, ZeroAdjustFieldIndex, QStringLiteral("0.25"));
    for (const QString& text : {QString(), QStringLiteral("  "), QStringLiteral("-"),
                                QStringLiteral("."), QStringLiteral("-.")}) {
        const FieldEntry gain = CommitField(data, ExtendGainField, text);
        EXPECT_TRUE(gain.refused) << text.toStdString();
        EXPECT_FALSE(gain.clamped);
        EXPECT_EQ(Edited(2), 700);
        EXPECT_EQ(gain.text, QStringLiteral("700"));

        const FieldEntry zero = CommitField(data, ZeroAdjustFieldIndex, text);
        EXPECT_TRUE(zero.refused);
        EXPECT_EQ(Edited(33), 250);
        EXPECT_EQ(zero.text, QStringLiteral("0.250"));
    }
}

TEST_F(EditingTest, UnreadableNumbersAreRefusedNotMisread) {
    CommitField(data, InPositionField, QStringLiteral("0.5"));
    const FieldEntry entry = CommitField(data, InPositionField, QStringLiteral("1.2.3"));
    EXPECT_TRUE(entry.refused);
    EXPECT_EQ(Edited(32), 500);
}

TEST_F(EditingTest, LengthsAtResolution0001) {
    data.setResolution(0.001f);
    const FieldEntry entry = CommitField(data, InPositionField, QStringLiteral("2.5"));
    EXPECT_EQ(Edited(32), 2500);
    EXPECT_EQ(entry.text, QStringLiteral("2.500"));
}

TEST_F(EditingTest, LengthsAtResolution00005ShowFourDecimals) {
    data.setResolution(0.0005f);
    FieldEntry entry = CommitField(data, InPositionField, QStringLiteral("2.5"));
    EXPECT_EQ(Edited(32), 5000);
    EXPECT_EQ(entry.text, QStringLiteral("2.5000"));
    entry = CommitField(data, InPositionField, QStringLiteral("0.0015"));
    EXPECT_EQ(Edited(32), 3);
    EXPECT_EQ(entry.text, QStringLiteral("0.0015"));
}

TEST_F(EditingTest, AShownTextInTheUsersLocaleReadsBackUnchanged) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CommitField(data, InPositionField, QStringLiteral("2.5"));
    const QString shown = FieldText(data, InPositionField);
    EXPECT_EQ(shown, QStringLiteral("2,500"));
    const FieldEntry again = CommitField(data, InPositionField, shown);
    EXPECT_FALSE(again.refused);
    EXPECT_EQ(Edited(32), 2500);
}

// ------------------------------------------------------------- spin buttons

TEST_F(EditingTest, SpinButtonsStopAtTheirOwnRanges) {
    EXPECT_EQ(SpinValue(ExtendGainField, 65535, 1), 65535);
    EXPECT_EQ(SpinValue(ExtendGainField, 500, 1), 501);
    EXPECT_EQ(SpinValue(ExtendGainField, 0, -1), 0);
    for (const int field : {ExtendAccelerationField, 7, ExtendDriveLimitField, 10}) {
        EXPECT_EQ(SpinValue(field, 255, 1), 255) << field;
        EXPECT_EQ(SpinValue(field, 254, 1), 255);
    }
    EXPECT_EQ(SpinValue(8, 300, 1), 301);
}

// ------------------------------------------------------------- options

TEST_F(EditingTest, OptionsAndRegisterValuesRoundTrip) {
    for (const OptionGroupDef& g : OptionGroups()) {
        for (int i = 0; i < static_cast<int>(g.captions.size()); ++i) {
            ChooseOption(data, g.group, i);
            const std::int32_t value = data.ReadParameterData(g.reg, 1);
            EXPECT_EQ(value, OptionValue(g.group, i));
            EXPECT_EQ(OptionIndex(g.group, value), i);
        }
        EXPECT_EQ(OptionIndex(g.group, OptionValue(g.group, 0) - 1), -1);
        EXPECT_THROW(OptionValue(g.group, static_cast<int>(g.captions.size())),
                     SubscriptOutOfRange);
    }
}

TEST_F(EditingTest, BaudRateAndLoopTimeAreOneAboveTheirOption) {
    ChooseOption(data, OptionGroup::ServoBaud, 3); // "115.2K"
    EXPECT_EQ(Edited(Param::BaudRate), 4);
    ChooseOption(data, OptionGroup::LoopTime, 0); // "625uSec"
    EXPECT_EQ(Edited(Param::LoopTime), 1);
    EXPECT_EQ(OptionIndex(OptionGroup::ServoBaud, 1), 0);
    EXPECT_EQ(OptionIndex(OptionGroup::ServoBaud, 5), -1);
}

TEST_F(EditingTest, HydraulicAlsoClearsTheAutoNullWindow) {
    data.WriteParameterData(17, clsSensorData::SensorDataColumn, 40);
    data.WriteParameterData(17, clsSensorData::ChangedDataColumn, 40);
    ChooseOption(data, OptionGroup::Cylinder, 1);
    EXPECT_EQ(Edited(17), 40);
    ChooseOption(data, OptionGroup::Cylinder, 0);
    EXPECT_EQ(Edited(17), 0);
}

TEST_F(EditingTest, VelocityOptionsSetTheRecordAndTheScale) {
    ChooseOption(data, OptionGroup::VelocityEnable, 2);
    EXPECT_EQ(data.VelocityValue(), 2);
    EXPECT_EQ(VelocityScale(0), 40);
    EXPECT_EQ(VelocityScale(1), 40);
    EXPECT_EQ(VelocityScale(2), 400);
}

// ------------------------------------------------------------- ShowSettings

TEST_F(EditingTest, ShowSettingsWithoutForceShowsOnlyChangedRegisters) {
    EXPECT_TRUE(ShowSettings(data, false).fields.empty());
    CommitField(data, ExtendDriveLimitField, QStringLiteral("51"));
    ChooseOption(data, OptionGroup::ServoBaud, 2);
    const SettingsView view = ShowSettings(data, false);
    ASSERT_EQ(view.fields.size(), 1u);
    EXPECT_EQ(view.fields[0].field, ExtendDriveLimitField);
    EXPECT_EQ(view.fields[0].text, QStringLiteral("51"));
    ASSERT_EQ(view.captions.size(), 1u);
    EXPECT_EQ(view.captions[0].caption, QStringLiteral("Drive Limit\r\n(20.0% Output)"));
    ASSERT_EQ(view.options.size(), 1u);
    EXPECT_EQ(view.options[0].group, OptionGroup::ServoBaud);
    EXPECT_EQ(view.options[0].index, 2);
    EXPECT_FALSE(view.addressIndex.has_value());
}

TEST_F(EditingTest, EnableTipsStopOnDisableSetAndContinueOnStopSet) {
    const FieldHelp help = SetFieldHelp(data);
    const auto tip = [&](OptionGroup group, int index) {
        for (const OptionTip& t : help.options) {
            if (t.group == group && t.index == index) {
                return t.tip;
            }
        }
        return QStringLiteral("<none>");
    };
    EXPECT_EQ(
        tip(OptionGroup::Enable, 0),
        QStringLiteral("Disable Set will stop motion drive when Motion/Set Enable is removed."));
    EXPECT_EQ(tip(OptionGroup::Enable, 1),
              QStringLiteral("Stop Set will continue motion to target when the Motion/Set Enable "
                             "is removed."));
    EXPECT_EQ(tip(OptionGroup::Enable, 2), QStringLiteral("<none>"));
    EXPECT_EQ(tip(OptionGroup::OutPut, 3), QStringLiteral("<none>"));
    EXPECT_TRUE(tip(OptionGroup::OutPut, 2).startsWith(QStringLiteral("Cycle Complete - This")));
    EXPECT_EQ(tip(OptionGroup::ServoBaud, 3), QStringLiteral(" Select the Actimar baud rate."));
    EXPECT_EQ(tip(OptionGroup::DrivePolarity, -1),
              QStringLiteral(" Enter a value for Drive Polarity   Options: Normal or Reversed"));
}

// ------------------------------------------------------------- Apply state

class EditingApplyTest : public ::testing::Test {
protected:
    EditingApplyTest() : port(network, {"comm1"}), session(port, view) {
        view.session = &session;
        InitParameterTable(session.sensor);
        session.sensor.setDataIsLoaded(true);
        QObject::connect(&session, &cSession::applyEnabledChanged,
                         [this](bool enabled) { applyStates.push_back(enabled); });
    }

    SimNetwork network;
    SimSerialPort port;
    test::TestView view;
    cSession session;
    std::vector<bool> applyStates; // every state Apply was given, in order
};

TEST_F(EditingApplyTest, HydraulicEnablesApplyWhenTheWindowDiffers) {
    session.sensor.WriteParameterData(17, clsSensorData::SensorDataColumn, 30);
    session.sensor.WriteParameterData(17, clsSensorData::ChangedDataColumn, 30);
    ChooseOption(session.sensor, OptionGroup::Cylinder, 0);
    RefreshApplyState(session, false);
    EXPECT_EQ(applyStates, std::vector<bool>{true});
}

TEST_F(EditingApplyTest, AShownRunOptionBecomesTheSessionsRunMode) {
    session.sensor.WriteParameterData(61, clsSensorData::ChangedDataColumn, 3);
    RefreshApplyState(session, false);
    EXPECT_EQ(session.RunModeOption, 3);
    session.sensor.WriteParameterData(61, clsSensorData::ChangedDataColumn, 9);
    RefreshApplyState(session, false);
    EXPECT_EQ(session.RunModeOption, -1);
}

} // namespace
