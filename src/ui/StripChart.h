#pragma once

#include "operations/Graph.h"

#include <QFrame>
#include <QImage>
#include <QMargins>

namespace kelvar {

// The Graph tab's chart. Samples are drawn into an image as they come, only
// what each adds; a paint copies the image, so the chart costs next to
// nothing between samples and a wrap or a resize alone draws all of it.
class cStripChart : public QFrame {
    Q_OBJECT
public:
    explicit cStripChart(QWidget* parent = nullptr);

    // The model whose scale the chart is drawn to, and whose whole sweep a
    // resized chart draws again.
    void SetGraph(const cGraph* graph);
    void Draw(const GraphPlot& plot);
    // The chart as shown.
    const QImage& Image() const { return store_; }
    // The drawing area's width in twips, the unit of the chart's scale.
    int LogicalWidth() const;
    // The room a saved picture leaves around the chart: the legend above,
    // the value axis left, the time axis below.
    static constexpr QMargins PictureMargins{96, 32, 24, 56};
    // The chart as saved: with its axes and a legend of the traces and the
    // limit lines, in the margins above.
    QImage Picture(const GraphAxes& axes) const;

signals:
    // The drawing area's width in twips.
    void widthChanged(int twips);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPoint Map(double x, double y) const;

    const cGraph* graph_ = nullptr;
    QImage store_;
};

} // namespace kelvar
