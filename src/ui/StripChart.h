#pragma once

#include "operations/Graph.h"

#include <QFrame>
#include <QImage>

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

signals:
    // The drawing area's width in pixels.
    void widthChanged(int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPoint Map(double x, double y) const;

    const cGraph* graph_ = nullptr;
    QImage store_;
};

} // namespace kelvar
