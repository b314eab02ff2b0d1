#include "operations/FactoryReset.h"

#include "model/Numbers.h"
#include "model/Parameters.h"
#include "model/SensorData.h"
#include "operations/Prompter.h"
#include "operations/Session.h"

namespace kelvar {

FactoryReset LoadDefaultValues(clsSensorData& data, cPrompter& prompter) {
    const QString crlf = QStringLiteral("\r\n");
    const QString resetText = QStringLiteral("This will reset the sensor settings to the factory") +
                              crlf + QStringLiteral("default values. The sensors null zero and") +
                              crlf + QStringLiteral("zero adjust settings will not be changed.") +
                              crlf + crlf +
                              QStringLiteral("The default settings will not be applied until ") +
                              crlf + QStringLiteral("the Apply button is clicked.") + crlf + crlf +
                              QStringLiteral("Do you wish to reset sensor settings") + crlf +
                              QStringLiteral("to the default factory values?");
    if (prompter.Ask(QStringLiteral("Reset Sensor Settings"), resetText, MessageIcon::Information,
                     MessageButtons::YesNo) != MessageAnswer::Yes) {
        return FactoryReset::Declined;
    }

    const std::int32_t sensorLength =
        data.ReadParameterData(Param::SensorLength, clsSensorData::SensorDataColumn);
    for (int row = 1; row <= data.MaxParameters(); ++row) {
        const std::int32_t type = data.ReadParameterData(row, clsSensorData::DataTypeColumn);
        if (type == clsSensorData::NotUsedType || type == clsSensorData::SkippedType) {
            continue;
        }
        std::int32_t value = data.ReadParameterData(row, clsSensorData::DefaultColumn);
        switch (row) {
        case Param::Address:
        case Param::BaudRate:
        case Param::ZeroAdjust:
        case Param::NullZero:
        case Param::LoopTime:
        case Param::SensorLength:
            // Settings of this sensor and its installation, not factory values.
            value = data.ReadParameterData(row, clsSensorData::SensorDataColumn);
            break;
        case Param::MinimumTravel:
            value = 250;
            break;
        case Param::MaximumTravel:
            value = sensorLength;
            break;
        case Param::InPositionWindow:
            value = 60;
            break;
        default:
            break;
        }
        data.WriteParameterData(row, clsSensorData::ChangedDataColumn, value);
    }

    if (prompter.Ask(QStringLiteral("Default Setpoint Data Settings"),
                     QStringLiteral("Do you wish to reset setpoints") + crlf +
                         QStringLiteral("to default values?"),
                     MessageIcon::Information, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return FactoryReset::Parameters;
    }
    // Targets one user unit apart, starting at one unit.
    for (int i = 0; i <= data.MaxSetpoints(); ++i) {
        const auto target = RoundHalfEven((i + 1) / static_cast<double>(data.Resolution()));
        data.WriteSetpointData(i, clsSensorData::EditedTargetColumn,
                               static_cast<std::int32_t>(target));
        data.WriteSetpointData(i, clsSensorData::EditedVelocityColumn, 20);
        data.WriteSetpointData(i, clsSensorData::EditedDwellColumn, 10);
    }
    return FactoryReset::ParametersAndSetpoints;
}

FactoryReset LoadDefaultValues(cSession& session) {
    const FactoryReset reset = LoadDefaultValues(session.sensor, session.view);
    if (reset != FactoryReset::Declined) {
        session.setpoints.ShowSetpointDisplay(0);
    }
    return reset;
}

} // namespace kelvar
