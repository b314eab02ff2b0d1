#pragma once

#include "link/SensorLink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace kelvar {

class cSession;

// The check marks of the Logging menu.
struct LogOptions {
    bool enabled = false;
    bool sensorList = false;
    bool sensorData = false;
    bool runtime = false;
    bool communications = false;
};

// The Log tab's text: a header, the sensors remembered from the settings,
// the port map, reports of the sensor list and of the selected sensor, and
// while "Communications" is checked one line per transaction. Text is only
// appended, or all of it cleared; lines end with CR LF.
class cLog : public QObject {
    Q_OBJECT
public:
    static constexpr int Width = 50; // of separators and headings
    // Traffic lines are handed on in batches at most this often.
    static constexpr int TrafficBatchMs = 100;

    explicit cLog(cSession& session, QObject* parent = nullptr);

    LogOptions Options;
    // One line per sensor read from the settings at start-up.
    QString RuntimeData;

    const QString& Text() const { return text_; }

    // indent 0: none; n >= 1: 2 (n + 1) blanks. A separator line of 50 "-"
    // comes first when asked (alone when the text is empty).
    void AppendLog(const QString& text, int indent = 0, bool separator = false);
    // An empty line, then the text right-aligned in 50 columns behind "="
    // (a text of 50 characters or more gets no "="). Not framed: the empty
    // line alone.
    void AppendLogHeading(const QString& text, bool framed = true);
    // Replaces the log by a fresh header, the runtime data and the report.
    void InitLog();
    void LogSensorReport();
    // The runtime-data line of a sensor of the list: its text, address, port.
    static QString RuntimeLine(const QString& sensorText, int address, const QString& portText);

    // "Kelvar0000.log", or the first such name not yet in the folder.
    static QString ProposedFileName(const QDir& folder);
    // Writes the whole log and a final CR LF; false with the reason.
    bool Save(const QString& path, QString& error) const;

    // One line of the traffic record: milliseconds since the log was started
    // anew, the request, the answer frame (or "no answer"), the outcome;
    // bytes that are not printable as <XX>.
    static QString TrafficLine(double ms, const QByteArray& request, const QByteArray& answer,
                               const QString& outcome);

    // --- the Log tab's buttons and the Logging menu
    // Hands on the traffic lines not yet appended (they go in batches).
    void FlushTraffic();

    // "Clear": asks to enable logging when it is off, then a fresh log.
    void Clear();
    // "Save": asks for a file (Kelvar0000.log ... proposed) and writes the log.
    void SaveAs();
    // "Enabled": logging on or off.
    void SetEnabled(bool enabled);
    // "Communications": turning it on asks first (it slows the monitor down).
    void SetCommunications(bool checked);
    // "Select All": every option checked, without the question.
    void SelectAll();
    // The "Enabled" item's caption for the current state.
    QString EnabledCaption() const;

signals:
    // Text was added at the end (in batches while traffic is recorded).
    void appended(const QString& text);
    void cleared();
    // A check mark changed: the menu and the Log tab follow.
    void optionsChanged();

private:
    void Append(const QString& text);
    void RecordTraffic(const QByteArray& request, const QByteArray& answer, const QString& outcome);
    void SectionTitle(const QString& title);
    void Row(const QString& text) { AppendLog(text, 1); }

    cSession& session_;
    QString text_;
    QString pendingTraffic_;
    QTimer trafficTimer_;
    // The origin of the traffic record's times: the log's start.
    QElapsedTimer clock_;
    // Other sensors' frames heard while a request waits for its answer.
    QList<QByteArray> otherAddressFrames_;
};

} // namespace kelvar
