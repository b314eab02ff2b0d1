// Sensor selection, the address selector, the name field and the status
// display, against the in-process simulated network.
#include "operations/Selection.h"
#include "operations/StatusDisplay.h"

#include "support/SimSession.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

// Sensors 1 and 3 on the network.
class SelectionTest : public test::SimSessionTest {
protected:
    SelectionTest() : display(session), selection(session, [this] { SaveSettings(); }) {
        AddSensor(1);
        AddSensor(3);
        selection.FormReady = true;
    }

    // As the settings save does, it walks the sensor list.
    void SaveSettings() {
        ++saves;
        for (int n = 1; n <= session.sensors.Count(); ++n) {
            session.sensors.setSensorNumber(n);
        }
    }

    // Sensors 1 and 2 of the list at `first` and `second`; the first read.
    void LoadFirstOf(int first, int second, bool secondActive = true) {
        AddListedSensor(first);
        AddListedSensor(second, secondActive);
        session.read.LoadSensor(1);
        ASSERT_TRUE(session.sensor.DataIsLoaded());
        selection.FillSensorSelector();
        logStart = network.log().size();
    }

    // The command texts sent to `address` since the last LoadFirstOf.
    QList<QByteArray> RequestsTo(int address) const { return Requests(logStart, address); }

    // The one question asked so far.
    void ExpectAsked(const QString& title, MessageButtons buttons) {
        ASSERT_EQ(view.prompter.asked.size(), 1);
        EXPECT_EQ(view.prompter.asked[0].title, title);
        EXPECT_EQ(view.prompter.asked[0].icon, MessageIcon::Critical);
        EXPECT_EQ(view.prompter.asked[0].buttons, buttons);
    }

    cStatusDisplay display;
    cSensorSelection selection;
    int saves = 0;
    std::size_t logStart = 0;
};

} // namespace

// ------------------------------------------------------------ status display

TEST_F(SelectionTest, LightsChangeOnlyWhenTheirColourMust) {
    std::vector<unsigned> redrawn;
    QObject::connect(&display, &cStatusDisplay::panelChanged,
                     [&](unsigned lights) { redrawn.push_back(lights); });
    session.link.StateFlags.setMap(1 << StateBit::PortOpen | 1 << StateBit::OnLine); // known
    session.link.StatusWord.setMap(0x7F7E); // bits 0, 7 and 15 clear
    session.link.RefreshStatus();
    EXPECT_TRUE(redrawn.empty()) << "the panel waits for the Information tab";
    EXPECT_TRUE(display.Light(0).good);

    view.tab = Tab::Information;
    session.link.RefreshStatus();
    EXPECT_EQ(redrawn, std::vector<unsigned>({0x8081}));
    session.link.StatusWord.setMap(0x00FE);
    session.link.RefreshStatus();
    session.link.RefreshStatus(); // the same word again: nothing to redraw
    EXPECT_EQ(redrawn, std::vector<unsigned>({0x8081, 0x7F80}));
    EXPECT_EQ(display.LightColour(0), StatusColour::Red);
    // The byte labels show their byte of the word; the link's flags are in neither.
    session.link.StatusWord.setMap(0x03FF41A5);
    display.UpdateStatusDisplay();
    EXPECT_EQ(display.StatusByteText(), "A5H (1010 0101)");
    EXPECT_EQ(display.ControlByteText(), "41H (0100 0001)");
    session.link.OpenPort(0, 0); // no such port: the sensor's state is not known
    EXPECT_EQ(display.LightColour(0), StatusColour::Grey);
}

TEST_F(SelectionTest, StripFollowsFlagsStatusBitsAndLoading) {
    std::vector<unsigned> changed;
    QObject::connect(&display, &cStatusDisplay::stripChanged,
                     [&](unsigned fields) { changed.push_back(fields); });
    auto& flags = session.link.StateFlags;
    for (const int bit :
         {StateBit::PortOpen, StateBit::OnLine, StateBit::LinkHealthy, StateBit::DataLoaded}) {
        flags.SetBit(bit);
    }
    session.link.StatusWord.setMap(0x20BB); // every strip bit good
    session.link.RefreshStatus();
    EXPECT_TRUE(changed.empty()) << "every field starts good";

    session.link.StatusWord.setMap(0x00B9); // in motion, input 2 off
    flags.ClearBit(StateBit::LinkHealthy);  // and so no communications
    session.link.RefreshStatus();
    EXPECT_EQ(changed, std::vector<unsigned>({0x43}));
    EXPECT_EQ(display.FieldText(0), "NO COMM");
    EXPECT_EQ(display.FieldColour(1), StatusColour::Red);
    EXPECT_EQ(display.FieldColour(2), StatusColour::DarkGreen);

    changed.clear();
    display.BeginLoading();
    flags.ClearBit(StateBit::DataLoaded);
    display.UpdateStatusStrip();
    EXPECT_EQ(display.FieldText(8), "LOADING DATA");
    EXPECT_EQ(display.FieldColour(8), StatusColour::Blue);
    display.EndLoading();
    EXPECT_EQ(display.FieldText(8), "ON-LINE") << "what it showed before the read";
    display.UpdateStatusStrip();
    EXPECT_EQ(display.FieldText(8), "OFF-LINE");
    EXPECT_EQ(changed, std::vector<unsigned>({0x100, 0x100, 0x100}));
}

TEST_F(SelectionTest, PendingPowerCycleIsShownAndASilentSensorStillShows) {
    LoadFirstOf(1, 3);
    session.monitor.Stop();
    view.tab = Tab::Information;
    session.commands.PollPosition();
    session.commands.PollPosition();
    EXPECT_EQ(display.FieldText(0), "COMM OK");
    const QString shown = display.StatusByteText();
    session.sensor.WriteParameterData(Param::Address, 1, 2);
    ASSERT_TRUE(session.sensor.CyclePowerFlag());
    session.link.StatusWord.mask(0x7FFFFF00, 0);
    session.link.StatusWord.mask(0xA5, 1);
    session.read.SetRunModeOption(2);
    session.link.RefreshStatus();
    EXPECT_EQ(display.StatusByteText(), shown) << "the panel holds still";
    EXPECT_EQ(display.FieldText(0), "POWER CYCLE PENDING");
    EXPECT_EQ(display.FieldText(cStatusDisplay::RunModeField), RunModeText(2)) << "at once";
    session.ShowCommStatus();
    EXPECT_EQ(session.CommStatus().line(0).caption, "Power Cycle Pending");

    // The sensor goes silent: no "OK" of any kind.
    network.faults().drop = 1.0;
    session.commands.PollPosition();
    EXPECT_EQ(display.FieldText(0), "NO COMM");
    session.ShowCommStatus();
    EXPECT_EQ(session.CommStatus().line(0).caption, "Communications Error");
    const auto counted = session.link.TxErrors()[0];
    session.commands.PollPosition();
    EXPECT_EQ(session.link.TxErrors()[0], counted) << "the counters stay frozen";

    session.sensor.WriteParameterData(Param::Address, 1, 1);
    network.faults().drop = 0.0;
    session.commands.PollPosition();
    session.commands.PollPosition(); // the verdict of one exchange shows at the next
    EXPECT_EQ(display.FieldText(0), "COMM OK");
}

// ----------------------------------------------------------- sensor selector

TEST_F(SelectionTest, SelectorListsTheSensorsKeepsTheCurrentOneAndItsName) {
    emit session.search.sensorsChanged();
    const SensorSelectorState& s = selection.Selector();
    EXPECT_EQ(s.entries, QStringList({"No Sensor"}));
    EXPECT_FALSE(s.enabled);

    AddListedSensor(3);
    emit session.search.sensorsChanged();
    EXPECT_FALSE(s.enabled) << "one sensor: nothing to choose";
    AddListedSensor(5, false);
    AddListedSensor(7);
    session.sensors.setSensorNumber(2);
    emit session.search.sensorsChanged();
    EXPECT_EQ(s.entries, QStringList({" #1 (10000003) On-Line", " #2 (10000005) ** Off-Line **",
                                      " #3 (10000007) On-Line"}));
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.selected, 1) << "the current sensor stays current";
    EXPECT_EQ(session.sensors.SensorNumber(), 2);
    EXPECT_EQ(s.sensorLabel, "Network Address: 5");

    // A name is stored trimmed, for its own sensor only.
    selection.BeginNameEdit();
    selection.EndNameEdit("  Right Knee  ");
    session.sensors.setSensorNumber(1);
    EXPECT_EQ(session.sensors.SensorName(), "");
    session.sensors.setSensorNumber(2);
    EXPECT_EQ(session.sensors.SensorName(), "Right Knee");
}

TEST_F(SelectionTest, GuardsAPendingPowerCycleAndNoToUnappliedEditsChangeNothing) {
    LoadFirstOf(1, 3);
    selection.FormReady = false;
    selection.SelectSensor(1);
    selection.FormReady = true;
    for (const int index : {-1, 0, 2}) {
        selection.SelectSensor(index);
    }
    session.link.StateFlags.SetBit(StateBit::FullScan);
    selection.SelectSensor(1);
    session.link.StateFlags.ClearBit(StateBit::FullScan);
    EXPECT_EQ(saves, 0);

    session.sensor.WriteParameterData(Param::Address, 1, 4);
    selection.SelectSensor(1);
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(view.prompter.asked.isEmpty());
    session.sensor.WriteParameterData(Param::Address, 1, 1);

    session.sensor.WriteParameterData(2, 1, 777);
    Answer({MessageAnswer::No});
    selection.SelectSensor(1);
    ExpectAsked("Changed Sensor Settings", MessageButtons::YesNo);
    EXPECT_EQ(session.sensors.SensorNumber(), 1);
    EXPECT_EQ(session.link.CurrentAddress, 1);
    EXPECT_EQ(session.sensor.ReadParameterData(2, 1), 777);
    EXPECT_TRUE(RequestsTo(3).isEmpty());
    EXPECT_EQ(selection.Selector().selected, 0);
    EXPECT_TRUE(session.monitor.Running());

    Answer({MessageAnswer::Yes});
    selection.SelectSensor(1);
    EXPECT_EQ(session.sensors.SensorNumber(), 2);
    EXPECT_EQ(session.sensor.SerialNumber(), "10000003");
    EXPECT_FALSE(session.sensor.SensorDataChanged());
    EXPECT_EQ(selection.Selector().selected, 1);
    EXPECT_EQ(session.link.RxErrors(), ErrorCounters{}) << "the counters start again";
}

TEST_F(SelectionTest, SilentNewSensorRollsBackToThePreviousOneAndIsReadOnceItAnswers) {
    LoadFirstOf(1, 9);
    Answer({MessageAnswer::Ok});
    selection.SelectSensor(1);
    ExpectAsked("Changed Sensor Settings", MessageButtons::Ok);
    EXPECT_EQ(RequestsTo(9), QList<QByteArray>({"A"}));
    EXPECT_EQ(RequestsTo(1).mid(0, 3), QList<QByteArray>({"A", "A", "F0000"}));
    EXPECT_EQ(session.sensors.SensorNumber(), 1);
    EXPECT_EQ(session.link.CurrentAddress, 1);
    EXPECT_TRUE(session.link.StateFlags.TestBit(StateBit::DataLoaded));
    EXPECT_EQ(selection.Selector().selected, 0);

    network.faults().drop = 1.0; // the previous sensor is gone too
    Answer({MessageAnswer::Ok});
    selection.SelectSensor(1);
    EXPECT_EQ(session.statusBar.Panel(2), "No Sensor");
    EXPECT_EQ(session.link.CurrentAddress, 1);
    EXPECT_EQ(selection.Selector().selected, 0);

    // It answers again: choosing it reads it though it is the one chosen.
    network.faults().drop = 0.0;
    session.read.LoadSensor(2); // silent: the window is off-line
    ASSERT_FALSE(session.link.StateFlags.TestBit(StateBit::OnLine));
    logStart = network.log().size();
    selection.SelectSensor(0);
    EXPECT_EQ(RequestsTo(1).mid(0, 3), QList<QByteArray>({"A", "A", "F0000"}));
    EXPECT_EQ(session.link.CurrentAddress, 1);
}

TEST_F(SelectionTest, OffLineSensorThatAnswersComesOnLineAndIsRead) {
    LoadFirstOf(1, 3, false);
    EXPECT_EQ(selection.Selector().entries[1], " #2 (10000003) ** Off-Line **");
    selection.SelectSensor(1);
    EXPECT_TRUE(view.prompter.asked.isEmpty());
    EXPECT_EQ(selection.Selector().entries[1], " #2 (10000003) On-Line");
    EXPECT_EQ(selection.Selector().selected, 1);
    EXPECT_EQ(session.sensor.SerialNumber(), "10000003");
}

// ------------------------------------------------------ address and name

TEST_F(SelectionTest, AddressSelectorRefusesAnAddressInUseOnTheSamePortAndSpeed) {
    LoadFirstOf(1, 5);
    EXPECT_FALSE(IsAddressInUse(session.sensors, 1, 1, 5));
    EXPECT_FALSE(IsAddressInUse(session.sensors, 2, 0, 5));
    EXPECT_EQ(session.sensors.SensorNumber(), 1);
    std::vector<int> reselected;
    QObject::connect(&selection, &cSensorSelection::addressSelected,
                     [&](int index) { reselected.push_back(index); });
    Answer({MessageAnswer::Ok});
    selection.SelectAddress(4);
    ExpectAsked("Incorrect Sensor Address", MessageButtons::Ok);
    EXPECT_EQ(reselected, std::vector<int>({0}));
    EXPECT_EQ(session.sensor.ReadParameterData(Param::Address, 1), 1);

    for (const auto& [index, address] : {std::pair{6, 7}, std::pair{0, 1}, std::pair{26, 1}}) {
        selection.SelectAddress(index); // its own address is never in use; 26 is no entry
        EXPECT_EQ(session.sensor.ReadParameterData(Param::Address, 1), address) << index;
    }
    EXPECT_EQ(view.prompter.asked.size(), 1);
}
