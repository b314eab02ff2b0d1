#include "operations/StatusDisplay.h"

#include "operations/StatusTexts.h"

#include "model/Errors.h"
#include "model/Parameters.h"
#include "operations/Session.h"

namespace kelvar {

namespace {

enum class Source { StateFlags, StatusWord, RunMode };

// Where each strip field of StatusStripTexts takes its state from.
struct FieldSource {
    Source source;
    int bit;
};

constexpr std::array<FieldSource, cStatusDisplay::FieldCount> FieldSources = {{
    {Source::StateFlags, StateBit::CommOk},
    {Source::StatusWord, StatusBit::InPosition},
    {Source::StatusWord, StatusBit::WithinLimits},
    {Source::StatusWord, StatusBit::NullOk},
    {Source::StatusWord, StatusBit::ZevirOk},
    {Source::StatusWord, StatusBit::MotionEnabled},
    {Source::StatusWord, StatusBit::Input2On},
    {Source::StatusWord, StatusBit::PositionOk},
    {Source::StateFlags, StateBit::DataLoaded},
    {Source::RunMode, 0},
}};
static_assert(StatusStripTexts.size() == FieldSources.size());

// The fields that show the sensor's own status bits (1 to 7).
constexpr unsigned StatusBitFields = [] {
    unsigned mask = 0;
    for (std::size_t i = 0; i < FieldSources.size(); ++i) {
        mask |= FieldSources[i].source == Source::StatusWord ? 1U << i : 0U;
    }
    return mask;
}();

StatusIndicator MakeIndicator(const IndicatorTexts& texts) {
    return {true, QString::fromLatin1(texts.on), QString::fromLatin1(texts.off),
            QString::fromLatin1(texts.toolTip)};
}

void CheckIndex(const char* what, int index, int count) {
    if (index < 0 || index >= count) {
        throw SubscriptOutOfRange(what, index, 0, count - 1);
    }
}

// "A5H (1010 0101)": the byte in hexadecimal without leading zeros, then
// its eight binary digits.
QString ByteText(std::int32_t byte, const QString& digits) {
    return QString::number(byte, 16).toUpper() + QStringLiteral("H (") + digits + u')';
}

} // namespace

QString RunModeText(int index) {
    if (index < 0 || index >= static_cast<int>(RunModeCaptions.size())) {
        return {};
    }
    if (index == IncrementRunMode) {
        return QStringLiteral("INC. MODE");
    }
    return QString::fromLatin1(RunModeCaptions[index]).toUpper() + QStringLiteral(" MODE");
}

bool StatusIndicator::Show(bool state) {
    if (state == good) {
        return false;
    }
    good = state;
    std::swap(caption, spare);
    return true;
}

// ------------------------------------------------------------ status display

cStatusDisplay::cStatusDisplay(cSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    for (int i = 0; i < LightCount; ++i) {
        lights_[i] = MakeIndicator(StatusBitTexts[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < FieldCount; ++i) {
        fields_[i] = MakeIndicator(StatusStripTexts[static_cast<std::size_t>(i)]);
    }
    connect(&session_.link, &cSensorLink::statusRefreshed, this,
            &cStatusDisplay::UpdateStatusDisplay);
    connect(&session_, &cSession::sensorStateKnownChanged, this,
            &cStatusDisplay::UpdateStatusDisplay);
}

void cStatusDisplay::UpdateStatusDisplay() {
    // While a power cycle is pending the panel holds still; the strip says
    // so, and still shows a sensor that does not answer.
    if (session_.sensor.CyclePowerFlag()) {
        UpdateStatusStrip();
        return;
    }
    const clsBitMap& word = session_.link.StatusWord;
    const bool known = session_.SensorStateKnown();
    if (session_.view.VisibleTab() == Tab::Information &&
        (word.Map() != lastWordShown_ || known != panelKnown_)) {
        unsigned changed = known != panelKnown_ ? (1U << LightCount) - 1 : 0;
        panelKnown_ = known;
        for (int bit = 0; bit < LightCount; ++bit) {
            if (lights_[bit].Show(word.TestBit(bit))) {
                changed |= 1U << bit;
            }
        }
        statusByteText_ = ByteText(word.Map() & 0xFF, word.BinaryText(7, true));
        controlByteText_ = ByteText((word.Map() >> 8) & 0xFF, word.BinaryText(15, true).left(9));
        lastWordShown_ = word.Map();
        emit panelChanged(changed);
    }
    UpdateStatusStrip();
}

void cStatusDisplay::UpdateStatusStrip() {
    const auto& link = session_.link;
    unsigned changed = 0;
    if (const bool known = session_.SensorStateKnown(); known != stripKnown_) {
        stripKnown_ = known;
        changed = StatusBitFields;
    }
    for (int i = 0; i < RunModeField; ++i) {
        if (i == SensorStateField && loading_) {
            continue;
        }
        const FieldSource& row = FieldSources[static_cast<std::size_t>(i)];
        const clsBitMap& word =
            row.source == Source::StateFlags ? link.StateFlags : link.StatusWord;
        if (fields_[i].Show(word.TestBit(row.bit))) {
            changed |= 1U << i;
        }
    }
    StatusIndicator& comm = fields_[0];
    QString& goodText = comm.good ? comm.caption : comm.spare;
    const QString wanted = session_.sensor.CyclePowerFlag()
                               ? QStringLiteral("POWER CYCLE PENDING")
                               : QString::fromLatin1(StatusStripTexts[0].on);
    if (goodText != wanted) {
        goodText = wanted;
        changed |= comm.good ? 1U : 0U;
    }
    if (session_.read.RunModeOption() != lastRunMode_) {
        lastRunMode_ = session_.read.RunModeOption();
        fields_[RunModeField].caption = RunModeText(lastRunMode_);
        changed |= 1U << RunModeField;
    }
    if (changed != 0) {
        emit stripChanged(changed);
    }
}

void cStatusDisplay::BeginLoading() {
    loading_ = true;
    emit stripChanged(1U << SensorStateField);
}

void cStatusDisplay::EndLoading() {
    loading_ = false;
    emit stripChanged(1U << SensorStateField);
}

const StatusIndicator& cStatusDisplay::Light(int bit) const {
    CheckIndex("status light", bit, LightCount);
    return lights_[bit];
}

std::uint32_t cStatusDisplay::LightColour(int bit) const {
    const bool good = Light(bit).good;
    if (!panelKnown_) {
        return StatusColour::Grey;
    }
    return good ? StatusColour::Green : StatusColour::Red;
}

const StatusIndicator& cStatusDisplay::Field(int index) const {
    CheckIndex("status strip field", index, FieldCount);
    return fields_[index];
}

QString cStatusDisplay::FieldText(int index) const {
    const StatusIndicator& field = Field(index);
    return index == SensorStateField && loading_ ? QStringLiteral("LOADING DATA") : field.caption;
}

std::uint32_t cStatusDisplay::FieldColour(int index) const {
    const StatusIndicator& field = Field(index);
    if (index == SensorStateField && loading_) {
        return StatusColour::Blue;
    }
    if (!stripKnown_ && (StatusBitFields & (1U << index)) != 0) {
        return StatusColour::Grey;
    }
    return field.good ? StatusColour::DarkGreen : StatusColour::Red;
}

} // namespace kelvar
