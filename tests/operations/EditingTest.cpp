// Parameter editing: entry, key filter, options, redraw (limits and lengths: MetricSensorTest).
#include "operations/Editing.h"

#include "support/SimSession.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

constexpr int GainField = 0; // extend gain, register 2
constexpr int DriveLimitField = 4;
constexpr int MinimumTravelField = 13;
constexpr int InPositionField = 15;

class EditingTest : public ::testing::Test {
protected:
    EditingTest() {
        QLocale::setDefault(QLocale::c());
        InitParameterTable(data);
        data.setUnits(QStringLiteral("in"));
    }
    ~EditingTest() override { QLocale::setDefault(QLocale::system()); }

    std::int32_t Edited(int field) const {
        return data.ReadParameterData(NumberFields()[field].reg, clsSensorData::ChangedDataColumn);
    }

    clsSensorData data;
};

} // namespace

TEST_F(EditingTest, FieldsTakeDigitsLengthsThePointAndOnlyZeroAdjustTheMinus) {
    for (int field = 0; field < NumberFieldCount; ++field) {
        for (const QChar key : {QChar(u'0'), QChar(u'9'), BackspaceKey}) {
            EXPECT_EQ(FilterKey(field, key), KeyAction::Accept) << field;
        }
        EXPECT_EQ(FilterKey(field, EnterKey), KeyAction::MoveOn);
        EXPECT_EQ(FilterKey(field, u'.'),
                  field >= MinimumTravelField ? KeyAction::Accept : KeyAction::Swallow)
            << field;
        EXPECT_EQ(FilterKey(field, u'-'),
                  field == ZeroAdjustField ? KeyAction::Accept : KeyAction::Swallow)
            << field;
        for (const QChar key : {u'a', u' ', u',', u'+'}) {
            EXPECT_EQ(FilterKey(field, key), KeyAction::Swallow) << field;
        }
    }
}

TEST_F(EditingTest, EntriesBeyondAnyNumberAreHeldWithoutOverflow) {
    const QString huge = QStringLiteral("99999999999999999999999");
    const struct {
        int field;
        QString text;
        std::int32_t stored;
    } entries[] = {
        {GainField, huge, 65535},
        {MinimumTravelField, huge, std::numeric_limits<std::int32_t>::max()},
        {ZeroAdjustField, "-1" + QString(45, u'0') + ".5", -32000}, // beyond a float
    };
    for (const auto& e : entries) {
        const FieldEntry entry = CommitField(data, e.field, e.text);
        EXPECT_TRUE(entry.clamped);
        EXPECT_EQ(entry.value, e.stored) << e.text.toStdString();
        EXPECT_EQ(data.Parameter(), NumberFields()[e.field].reg)
            << "the field's register is current";
    }
}

TEST_F(EditingTest, AFieldWithoutANumberKeepsItsValueAndIsRedrawn) {
    CommitField(data, GainField, "700");
    CommitField(data, ZeroAdjustField, "0.25");
    for (const QString& text :
         {QString(), QStringLiteral("  "), QStringLiteral("-"), QStringLiteral("."),
          QStringLiteral("-."), QStringLiteral("1.2.3")}) {
        const FieldEntry gain = CommitField(data, GainField, text);
        EXPECT_TRUE(gain.refused) << text.toStdString();
        EXPECT_FALSE(gain.clamped);
        EXPECT_EQ(Edited(GainField), 700);
        EXPECT_EQ(gain.text, "700");
        const FieldEntry zero = CommitField(data, ZeroAdjustField, text);
        EXPECT_TRUE(zero.refused);
        EXPECT_EQ(Edited(ZeroAdjustField), 250);
        EXPECT_EQ(zero.text, "0.250");
    }
}

TEST_F(EditingTest, AShownTextInTheUsersLocaleReadsBackUnchanged) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CommitField(data, InPositionField, "2.5");
    const QString shown = FieldText(data, InPositionField);
    EXPECT_EQ(shown, "2,500");
    EXPECT_FALSE(CommitField(data, InPositionField, shown).refused);
    EXPECT_EQ(Edited(InPositionField), 2500);
}

TEST_F(EditingTest, ShowSettingsWithoutForceShowsOnlyChangedRegisters) {
    EXPECT_TRUE(ShowSettings(data, false).fields.empty());
    CommitField(data, DriveLimitField, "51");
    ChooseOption(data, OptionGroup::ServoBaud, 2);
    const SettingsView view = ShowSettings(data, false);
    ASSERT_EQ(view.fields.size(), 1u);
    EXPECT_EQ(view.fields[0].field, DriveLimitField);
    EXPECT_EQ(view.fields[0].text, "51");
    ASSERT_EQ(view.captions.size(), 1u);
    EXPECT_EQ(view.captions[0].caption, "Drive Limit\r\n(20.0% Output)");
    ASSERT_EQ(view.options.size(), 1u);
    EXPECT_EQ(view.options[0].group, OptionGroup::ServoBaud);
    EXPECT_EQ(view.options[0].index, 2);
    EXPECT_FALSE(view.addressIndex.has_value());
}

using EditingApplyTest = test::SimSessionTest;

TEST_F(EditingApplyTest, OptionsDoWhatTheyDoBesidesApplyFollowsAndAShownRunOptionIsTheRunMode) {
    std::vector<bool> applyStates;
    QObject::connect(&session.apply, &cApplyFlow::applyEnabledChanged,
                     [&](bool enabled) { applyStates.push_back(enabled); });
    clsSensorData& data = session.sensor;
    data.setDataIsLoaded(true);
    data.WriteParameterData(Param::AutoNullWindow, 0, 30);
    data.WriteParameterData(Param::AutoNullWindow, 1, 30);
    ChooseOption(data, OptionGroup::Cylinder, 1);
    EXPECT_EQ(data.ReadParameterData(Param::AutoNullWindow, 1), 30);
    ChooseOption(data, OptionGroup::Cylinder, 0); // hydraulic: the window goes to 0
    EXPECT_EQ(data.ReadParameterData(Param::AutoNullWindow, 1), 0);
    ChooseOption(data, OptionGroup::VelocityEnable, 2);
    EXPECT_EQ(data.VelocityValue(), 2);
    RefreshApplyState(session, false);
    EXPECT_EQ(applyStates, std::vector<bool>{true});

    data.WriteParameterData(Param::RunMode, 1, 3);
    RefreshApplyState(session, false);
    EXPECT_EQ(session.read.RunModeOption(), 3);
    data.WriteParameterData(Param::RunMode, 1, 9);
    RefreshApplyState(session, false);
    EXPECT_EQ(session.read.RunModeOption(), -1);
}

TEST_F(EditingTest, SpinButtonsStopAt255ForTheAccelerationsAndDriveLimits) {
    for (int field = 0; field < 12; ++field) {
        const int top = field == 1 || field == 4 || field == 7 || field == 10 ? 255 : 65535;
        EXPECT_EQ(SpinValue(field, 255, 1), std::min(256, top)) << field;
        EXPECT_EQ(SpinValue(field, 65535, 1), top) << field;
        EXPECT_EQ(SpinValue(field, 0, -1), 0) << field;
    }
}
