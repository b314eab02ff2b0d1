// Calibration against the simulated sensor: values written at once, the
// automatic zero adjust and the target set to the position.
#include "operations/Calibration.h"

#include "link/Commands.h"
#include "support/SimSession.h"

#include <gtest/gtest.h>
#include <optional>

using namespace kelvar;
using Field = CalibrationField;

namespace {

class CalibrationTest : public test::SimSessionTest {
protected:
    // The sensor rests 2000 counts out, its velocity 0 so that it stays
    // there; it is read, its monitor stopped.
    void SetUp() override {
        sim = &AddSensor(1, 115200, 2000);
        sim->Respond("K0000", 0);
        ListAndRead(1);
        from = network.log().size();
    }
    static QByteArray Write(int reg, std::int32_t value) {
        return "L" + test::Hex(reg, 3) + test::Hex(EncodeZeroAdjust(value), 4);
    }
    std::int32_t Held() const { return DecodeZeroAdjust(sim->parameter(Param::ZeroAdjust)); }

    sim::SimSensor* sim = nullptr;
    std::size_t from = 0;
};

} // namespace

TEST_F(CalibrationTest, TypedAndSteppedValuesAreWrittenAtOnceWithinTheirLimits) {
    const struct {
        Field field;
        QString text; // empty: an up-click
        std::optional<std::int32_t> written;
    } cases[] = {
        {Field::ZeroAdjust, "1.5", 1500},   {Field::ZeroAdjust, "0.0005", 0}, // half to even
        {Field::ZeroAdjust, "-1.5", -1500}, {Field::ZeroAdjust, "32", {}},
        {Field::NullZero, "0", {}},         {Field::NullZero, "4096", {}},
        {Field::NullZero, "4094", 4094},    {Field::NullZero, {}, 4095},
        {Field::NullZero, {}, {}}, // at 4095 an up-click sends nothing
    };
    for (const auto& c : cases) {
        from = network.log().size();
        if (c.text.isEmpty()) {
            session.StepCalibrationValue(c.field, 1);
        } else {
            session.EnterCalibrationValue(c.field, c.text);
        }
        const int reg = CalibrationRegister(c.field);
        const QList<QByteArray> sent = Requests(from);
        if (!c.written) {
            EXPECT_TRUE(sent.isEmpty()) << c.text.toStdString();
            continue;
        }
        ASSERT_GE(sent.size(), 2);
        EXPECT_EQ(sent.mid(sent.size() - 2),
                  QList<QByteArray>({Write(reg, *c.written), "D" + test::Hex(reg, 4)}));
        EXPECT_EQ(session.sensor.ReadParameterData(reg, clsSensorData::SensorDataColumn),
                  *c.written);
    }
    EXPECT_EQ(sim->parameter(Param::NullZero), 4095);
}

TEST_F(CalibrationTest, AutoZeroAdjustWritesOnlyWhatAnsweredReadingsGiveAndPutsBackWhatFails) {
    // Cancel: nothing sent.
    Answer({MessageAnswer::Cancel});
    session.AutoZeroAdjust();
    EXPECT_TRUE(Requests(from).isEmpty());

    // Readout direction 1: 1000 + (24000 - 3000), the magnet reading 3.000 in.
    Answer({MessageAnswer::Ok});
    session.AutoZeroAdjust();
    EXPECT_EQ(Sent(from, "L"), QList<QByteArray>({Write(33, 1000), Write(33, 22000)}));
    EXPECT_EQ(Held(), 22000);
    EXPECT_TRUE(view.prompter.ScriptUsedUp());

    // A zero adjust that makes the reading negative: no magnet, the value is put back.
    sim->Respond("G0005", 0);
    sim->Respond(Write(33, -5000), 0);
    Answer({MessageAnswer::Ok}); // the read cannot hold the target at the position
    session.LoadSensor(cSession::ReloadCurrent);
    session.StopMonitor();
    from = network.log().size();
    Answer({MessageAnswer::Ok, MessageAnswer::Ok});
    session.AutoZeroAdjust();
    EXPECT_EQ(Sent(from, "L"), QList<QByteArray>({Write(33, -4000), Write(33, -5000)}));
    EXPECT_EQ(Held(), -5000);
    EXPECT_TRUE(view.prompter.asked.last().text.contains("magnet was not found"));

    // The sensor goes silent after the shifted value is set: nothing computed
    // is written, and it cannot be put back.
    from = network.log().size();
    network.faults().silentAfter = network.requestCount() + 3; // C, L, D
    Answer({MessageAnswer::Ok, MessageAnswer::Ok});
    session.AutoZeroAdjust();
    EXPECT_EQ(Sent(from, "L"), QList<QByteArray>({Write(33, -4000)}));
    EXPECT_EQ(Sent(from, "A").size(), 1 + session.link.Retries);
    EXPECT_TRUE(view.prompter.asked.last().text.contains("could not be put back"));
}

TEST_F(CalibrationTest, TargetToPositionOnlyFromThisClicksAnsweredPosition) {
    network.faults().drop = 1.0;
    Answer({MessageAnswer::Ok});
    session.SetTargetToPosition();
    EXPECT_EQ(Sent(from, "A").size(), 1 + session.link.Retries);

    network.faults().drop = 0;
    sim->setMotionEnabled(false);
    Answer({MessageAnswer::Ok});
    session.SetTargetToPosition();
    EXPECT_EQ(view.prompter.asked.last().title, " Calibration Error");
    EXPECT_TRUE(Sent(from, "I").isEmpty());

    sim->setMotionEnabled(true);
    session.commands.PollPosition(); // as the monitor sees it
    session.SetTargetToPosition();
    EXPECT_EQ(Sent(from, "I"), QList<QByteArray>({"I07D0"}));
}
