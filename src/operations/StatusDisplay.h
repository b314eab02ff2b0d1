#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

namespace kelvar {

class cSession;

// Colours of the status lights and the status strip, as RGB values.
namespace StatusColour {
inline constexpr std::uint32_t Green = 0x00FF00; // a light that is good
inline constexpr std::uint32_t Red = 0xFF0000;
inline constexpr std::uint32_t DarkGreen = 0x008000; // a strip field that is good
inline constexpr std::uint32_t Blue = 0x0000FF;      // the sensor field while a sensor is read
inline constexpr std::uint32_t Grey = 0x808080;      // the sensor's state is not known
} // namespace StatusColour

// The run-mode options of the Sensor tab, in index order.
inline constexpr std::array<const char*, 5> RunModeCaptions = {"Serial", "Cycle", "Pulse",
                                                               "Increment", "RAM Cycle"};
inline constexpr int IncrementRunMode = 3;
// What the status strip shows for a run-mode option: "SERIAL MODE", ...,
// "INC. MODE"; empty while no option is chosen (any index outside 0 to 4).
QString RunModeText(int index);

// A light or a strip field and its caption. The caption and the other text
// of its pair are exchanged whenever the colour flips, so the two always
// agree.
struct StatusIndicator {
    bool good = true;
    QString caption;
    QString spare;
    QString toolTip;

    // True when the colour flipped (and the texts were exchanged).
    bool Show(bool state);
};

// The status and control byte panel of the Information tab (16 lights) and
// the status strip (10 fields), without their widgets. It follows the link:
// after every exchange the link refreshes its flags and this display redraws
// what changed, and reports exactly that so the window repaints no more.
class cStatusDisplay : public QObject {
    Q_OBJECT
public:
    static constexpr int LightCount = 16; // word bits 0 to 15
    static constexpr int FieldCount = 10;
    static constexpr int SensorStateField = 8;
    static constexpr int RunModeField = 9;

    explicit cStatusDisplay(cSession& session, QObject* parent = nullptr);

    // The panel (only while the Information tab shows and the word changed)
    // and then the strip. While a change that needs a power cycle is pending
    // the panel holds still and the strip's first field says so.
    void UpdateStatusDisplay();
    void UpdateStatusStrip();

    // While a sensor is read the sensor field shows "LOADING DATA" on blue
    // and the strip leaves it alone; afterwards it shows what it showed
    // before, until the next strip update sets it from the data-loaded flag.
    void BeginLoading();
    void EndLoading();

    // Light n is word bit n; indices outside the panel or the strip raise
    // SubscriptOutOfRange. While the sensor's state is not known, the lights
    // and the strip's fields of the sensor's status bits are grey.
    const StatusIndicator& Light(int bit) const;
    std::uint32_t LightColour(int bit) const;
    const StatusIndicator& Field(int index) const;
    QString FieldText(int index) const;
    std::uint32_t FieldColour(int index) const;
    // "A5H (1010 0101)"; empty until the panel is first drawn.
    const QString& StatusByteText() const { return statusByteText_; }
    const QString& ControlByteText() const { return controlByteText_; }

signals:
    // The panel was redrawn: the byte texts are current, and the lights in
    // the mask (bit n for light n) changed colour and caption.
    void panelChanged(unsigned changedLights);
    // The fields in the mask (bit n for field n) changed.
    void stripChanged(unsigned changedFields);

private:
    cSession& session_;
    std::array<StatusIndicator, LightCount> lights_;
    std::array<StatusIndicator, FieldCount> fields_;
    bool loading_ = false;
    QString statusByteText_;
    QString controlByteText_;
    // No word can be -1 (bit 31 is never set): the first chance draws.
    std::int32_t lastWordShown_ = -1;
    // Whether the panel and the strip last showed a known state.
    bool panelKnown_ = true;
    bool stripKnown_ = true;
    int lastRunMode_ = -1;
};

} // namespace kelvar
