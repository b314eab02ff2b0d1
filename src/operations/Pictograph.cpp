#include "operations/Pictograph.h"

#include "model/Numbers.h"
#include "model/Parameters.h"
#include "model/SensorData.h"

#include <QLocale>

namespace kelvar {

namespace {

QString Length(const clsSensorData& data, int reg, int column, QStringView pattern) {
    if (data.ParameterUnknown(reg, column)) {
        return NotReadText();
    }
    const float value = static_cast<float>(data.ReadParameterData(reg, column)) * data.Resolution();
    return FormatNumber(value, pattern, QLocale()) + data.Units().trimmed();
}

} // namespace

int PictographLabel(PictoQuantity quantity, bool mirrored) {
    // "Retract to 0": zero adjust, length, maximum, minimum; "Extend to 0":
    // length, zero adjust, minimum, maximum.
    switch (quantity) {
    case PictoQuantity::ZeroAdjust:
        return mirrored ? 1 : 0;
    case PictoQuantity::SensorLength:
        return mirrored ? 0 : 1;
    case PictoQuantity::MaxLimit:
        return mirrored ? 3 : 2;
    case PictoQuantity::MinLimit:
        return mirrored ? 2 : 3;
    case PictoQuantity::InPositionWindow:
        break;
    }
    return -1;
}

bool PictographQuantityOf(int reg, PictoQuantity* quantity) {
    switch (reg) {
    case Param::ZeroAdjust:
        *quantity = PictoQuantity::ZeroAdjust;
        return true;
    case Param::MaximumTravel:
        *quantity = PictoQuantity::MaxLimit;
        return true;
    case Param::MinimumTravel:
        *quantity = PictoQuantity::MinLimit;
        return true;
    case Param::InPositionWindow:
        *quantity = PictoQuantity::InPositionWindow;
        return true;
    default:
        return false;
    }
}

PictographView Pictograph(const clsSensorData& data) {
    PictographView view;
    view.mirrored =
        data.ReadParameterData(Param::ReadoutDirection, clsSensorData::ChangedDataColumn) != 0;
    const auto put = [&](PictoQuantity quantity, const char* caption, const QString& value) {
        view.labels[static_cast<std::size_t>(PictographLabel(quantity, view.mirrored))] =
            QLatin1String(caption) + QStringLiteral("\r\n") + value;
    };
    put(PictoQuantity::ZeroAdjust, "Zero Adjust", Length(data, Param::ZeroAdjust, 1, u"###0.000#"));
    put(PictoQuantity::SensorLength, "Sensor Length",
        Length(data, Param::SensorLength, 0, u"###0.0"));
    put(PictoQuantity::MaxLimit, "Max. Limit", Length(data, Param::MaximumTravel, 1, u"###0.000#"));
    put(PictoQuantity::MinLimit, "Min. Limit", Length(data, Param::MinimumTravel, 1, u"###0.000#"));
    const QString window = QStringLiteral("In Position Window\r\n") +
                           Length(data, Param::InPositionWindow, 1, u"###0.000#");
    view.windowLabels.fill(window);
    return view;
}

} // namespace kelvar
