// Calibration against the simulated sensor: values written at once, the
// automatic zero adjust and the target set to the position or the midpoint.
#include "operations/Calibration.h"

#include "link/Commands.h"
#include "support/ColumnsApart.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <optional>

using namespace kelvar;
using Field = CalibrationField;

namespace {

class CalibrationTest : public test::ColumnsApartTest {
protected:
    static QByteArray Write(int reg, std::int32_t value) {
        return "L" + test::Hex(reg, 3) + test::Hex(EncodeZeroAdjust(value), 4);
    }
    std::int32_t Held() const { return DecodeZeroAdjust(sim->parameter(Param::ZeroAdjust)); }

    // The automatic zero adjust, OK'd, while the test magnet's reading moves
    // by `drift` after each answered position reading; its writes.
    QList<QByteArray> AutoZero(int drift) {
        const QObject magnet;
        // The sensor's zero adjust shifts its reading (it is in its write mode by then).
        QObject::connect(
            &session.link.Decoder(), &cResponseDecoder::positionAnswered, &magnet,
            [this, drift] { sim->Respond(Write(Param::ZeroAdjust, Held() + drift), 0); });
        Answer({MessageAnswer::Ok});
        session.calibration.AutoZeroAdjust();
        return Sent(from, "L");
    }

    // Resting 2000 counts out: the zero adjust shifted by 1000 reads 3000.
    sim::SimSensor* sim = &ReadApart();
};

} // namespace

TEST_F(CalibrationTest, TypedAndSteppedValuesAreWrittenAtOnceWithinTheirLimits) {
    QLocale::setDefault(QLocale::c()); // a display text: the user's locale would change it
    EXPECT_EQ(CalibrationFieldText(session.sensor, Field::ZeroAdjust), "0.500") << "as held";
    QLocale::setDefault(QLocale::system());
    const struct {
        Field field;
        QString text; // empty: an up-click
        std::optional<std::int32_t> written;
    } cases[] = {
        {Field::ZeroAdjust, {}, 701},                                    // from the edited 700
        {Field::ZeroAdjust, "0.0005", 0}, {Field::ZeroAdjust, "32", {}}, // half to even; refused
        {Field::NullZero, "4093.5", {}},                                 // counts are whole
        {Field::NullZero, "4094", 4094},  {Field::NullZero, {}, 4095},
        {Field::NullZero, {}, {}}, // at 4095 an up-click sends nothing
    };
    for (const auto& c : cases) {
        from = network.log().size();
        if (c.text.isEmpty()) {
            session.calibration.StepCalibrationValue(c.field, 1);
        } else {
            session.calibration.EnterCalibrationValue(c.field, c.text);
        }
        const int reg = CalibrationRegister(c.field);
        const QList<QByteArray> sent = Requests(from);
        if (!c.written) {
            EXPECT_TRUE(sent.isEmpty()) << c.text.toStdString();
            continue;
        }
        EXPECT_EQ(sent.mid(sent.size() - 2),
                  QList<QByteArray>({Write(reg, *c.written), "D" + test::Hex(reg, 4)}));
        EXPECT_EQ(session.sensor.ReadParameterData(reg, clsSensorData::SensorDataColumn),
                  *c.written);
    }
    EXPECT_EQ(sim->parameter(Param::NullZero), 4095);
}

// The magnet reads 3000, 3405, 3810 and 4215 counts: each reading halves the
// weight of those before, 3860.625 on average, rounded to 3861. The zero
// adjust starts from the read 500, so 1500 (05DC) while the magnet is read.

TEST_F(CalibrationTest, AutoZeroAdjustWithReadoutDirection0SubtractsTheAverage) {
    // 1500 - 3861 = -2361, sent as 65535 - 2361.
    EXPECT_EQ(AutoZero(405), QList<QByteArray>({"L02105DC", "L021F6C6"}));
}

TEST_F(CalibrationTest, AutoZeroAdjustWithReadoutDirection1AddsTheRestOfTheEditedLength) {
    session.sensor.WriteParameterData(Param::ReadoutDirection, clsSensorData::ChangedDataColumn, 1);
    // 1500 + (20000 - 3861) = 17639.
    EXPECT_EQ(AutoZero(405), QList<QByteArray>({"L02105DC", "L02144E7"}));
}

TEST_F(CalibrationTest, AutoZeroAdjustPutsBackTheZeroAdjustItStartedFromWhenAnythingFails) {
    // The reading goes negative after the first: no magnet.
    Answer({MessageAnswer::Ok});
    EXPECT_EQ(AutoZero(-10000), QList<QByteArray>({"L02105DC", "L02101F4"}));
    EXPECT_TRUE(view.prompter.asked.last().text.contains("magnet was not found"));

    // The sensor goes silent after the shifted value is set: nothing computed
    // is written, and it cannot be put back.
    from = network.log().size();
    network.faults().silentAfter = network.requestCount() + 3; // C, L, D
    Answer({MessageAnswer::Ok});
    EXPECT_EQ(AutoZero(0), QList<QByteArray>({"L02105DC"}));
    EXPECT_EQ(Sent(from, "A").size(), 1 + session.link.Retries);
    EXPECT_TRUE(view.prompter.asked.last().text.contains("could not be put back"));
}

TEST_F(CalibrationTest, MidpointTargetIsHalfTheLengthAsRead) {
    session.calibration.SetTargetToMidpoint();
    EXPECT_EQ(Sent(from, "IB"), QList<QByteArray>({"I2EE0", "B"})); // 12000
}

TEST_F(CalibrationTest, TargetToPositionOnlyFromThisClicksAnsweredPosition) {
    network.faults().drop = 1.0;
    Answer({MessageAnswer::Ok});
    session.calibration.SetTargetToPosition();
    EXPECT_EQ(Sent(from, "A").size(), 1 + session.link.Retries);

    network.faults().drop = 0;
    sim->setMotionEnabled(false);
    Answer({MessageAnswer::Ok});
    session.calibration.SetTargetToPosition();
    EXPECT_EQ(view.prompter.asked.last().title, " Calibration Error");
    EXPECT_TRUE(Sent(from, "I").isEmpty());

    sim->setMotionEnabled(true);
    session.commands.PollPosition(); // as the monitor sees it
    session.calibration.SetTargetToPosition();
    EXPECT_EQ(Sent(from, "I"), QList<QByteArray>({"I07D0"}));
}
