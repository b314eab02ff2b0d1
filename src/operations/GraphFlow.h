#pragma once

#include "operations/Graph.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>

class QIODevice;

namespace kelvar {

class cSession;

// The Graph tab: the strip chart fed by the monitor's polls, its Start/Stop
// and Pause, and saving what it drew.
class cGraphFlow : public QObject {
    Q_OBJECT
public:
    explicit cGraphFlow(cSession& session);

    const cGraph& Chart() const { return graph_; }
    // The chart's width in twips, as the window lays it out.
    void SetAreaWidth(int width) { graph_.AreaWidth = width; }
    // The scale list's entry; -1 for none.
    void SetScaleEntry(int entry) { scaleEntry_ = entry; }
    // Start and Stop: the monitor polls every 30 ms while the graph runs and
    // each tick adds a sample. Refused while a flow runs.
    void StartStop();
    // Pause and Resume: the chart and its index stay.
    void Pause();
    // True from Start to Stop, paused or not.
    bool Running() const { return running_; }
    bool Paused() const { return paused_; }
    QString StartCaption() const;
    QString PauseCaption() const;
    // Asks for an image file and then a CSV file; writeImage puts the chart
    // as the window shows it into the file. Tells the user what failed.
    void Save(const std::function<bool(QIODevice&)>& writeImage);
    // The Graph tab was shown.
    void TabShown();
    // The monitor tick's sample, from the last answered position and target.
    void TakeSample();

signals:
    // Start, Stop, Pause or Resume: captions and what is enabled change.
    void graphStateChanged();
    // What to draw on the chart now.
    void graphDrawn(const kelvar::GraphPlot& plot);

private:
    // Scale and buffers for the current sensor and the chart's width.
    void Init();

    cSession& session_;
    cGraph graph_;
    int scaleEntry_ = DefaultGraphScale;
    bool running_ = false;
    bool paused_ = false;
    QElapsedTimer clock_;
};

} // namespace kelvar
