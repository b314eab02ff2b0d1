#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace kelvar {

// The sensors found on the network, worked like a record cursor: the current
// fields are filled and stored with Add or Update, and selecting a sensor
// number loads its row back into them. Row 0 is a placeholder that always
// exists; sensors occupy rows 1 to Count.
class clsSensorList {
public:
    clsSensorList() { Clear(); }

    // Current fields; writing them does not touch the table.
    bool Active() const { return current_.active; }
    void setActive(bool value) { current_.active = value; }
    std::int16_t Port() const { return current_.port; }
    void setPort(std::int16_t value) { current_.port = value; }
    // The speed index of the link: 0 115.2K, 1 57.6K, 2 38.4K, 3 19.2K.
    std::int16_t BaudRate() const { return current_.baudRate; }
    void setBaudRate(std::int16_t value) { current_.baudRate = value; }
    std::int16_t Address() const { return current_.address; }
    void setAddress(std::int16_t value) { current_.address = value; }
    QString Serial() const { return current_.serial; }
    void setSerial(const QString& value) { current_.serial = value; }
    QString SensorName() const { return current_.name; }
    void setSensorName(const QString& value) { current_.name = value; }

    // Appends the current fields as a new row and makes it current.
    void Add();
    // Stores the current fields into the current row.
    void Update() { rows_[sensorNumber_] = current_; }
    std::int16_t Count() const { return static_cast<std::int16_t>(rows_.size() - 1); }

    std::int16_t SensorNumber() const { return sensorNumber_; }
    // Selects a row and loads it into the current fields; a number above
    // Count selects the placeholder row 0. Negative numbers are refused.
    void setSensorNumber(int value);

    // Back to the placeholder row alone, which becomes current.
    void Clear();
    // Rows 0 to Count whose active flag is set.
    std::int16_t ActiveCount() const;
    // The lowest active sensor, 0 when there is none.
    std::int16_t FirstActive() const;

    // "Comm 3 @ 57.6K" for a row; -1 means the current sensor number.
    QString PortText(int iSensor = -1) const;
    // "#2 -(00012345) " for a row, with the trailing blank; -1 means the
    // current sensor number.
    QString SensorText(int iSensor = -1) const;

private:
    struct Row {
        std::int16_t port = 0;
        std::int16_t baudRate = 0;
        std::int16_t address = 0;
        QString serial = QStringLiteral("n/a");
        QString name;
        bool active = false;
    };

    int RowOf(int iSensor) const;

    std::vector<Row> rows_;
    Row current_;
    std::int16_t sensorNumber_ = 0;
};

} // namespace kelvar
