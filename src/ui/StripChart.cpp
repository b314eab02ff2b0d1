#include "ui/StripChart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <cmath>

namespace kelvar {

namespace {

const QColor TraceColours[] = {QColor(0, 0, 255), QColor(255, 0, 0)};

} // namespace

cStripChart::cStripChart(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(320, 160);
    // The image covers the area: nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void cStripChart::SetGraph(const cGraph* graph) {
    graph_ = graph;
    if (graph_ != nullptr && !store_.isNull()) {
        Draw(graph_->Whole());
    }
}

QPoint cStripChart::Map(double x, double y) const {
    return {static_cast<int>(std::lround(x * store_.width() / graph_->ScaleWidth())),
            static_cast<int>(
                std::lround(y * store_.height() / static_cast<double>(graph_->ScaleHeight())))};
}

void cStripChart::Draw(const GraphPlot& plot) {
    if (store_.isNull()) {
        return;
    }
    const bool scaled = graph_ != nullptr && graph_->ScaleWidth() > 0 && graph_->ScaleHeight() > 0;
    QPainter painter(&store_);
    QRect dirty;
    if (plot.clear) {
        store_.fill(Qt::white);
        dirty = store_.rect();
        if (scaled) {
            QPen pen(Qt::darkGray, 1);
            for (const GraphLine& line : plot.grid) {
                pen.setStyle(line.dotted ? Qt::DotLine : Qt::SolidLine);
                painter.setPen(pen);
                painter.drawLine(Map(line.x1, line.y1), Map(line.x2, line.y2));
            }
        }
    }
    if (scaled) {
        for (const GraphStroke& stroke : plot.strokes) {
            painter.setPen(QPen(TraceColours[static_cast<int>(stroke.trace)], 1));
            const QPoint from = Map(stroke.x, static_cast<double>(stroke.y1));
            const QPoint to = Map(stroke.x, static_cast<double>(stroke.y2));
            if (stroke.y1 == stroke.y2) {
                // Two pixels high, whatever the scale: a still trace stays visible.
                painter.drawPoint(from);
                painter.drawPoint(from - QPoint(0, 1));
                dirty |= QRect(from.x(), from.y() - 1, 1, 2);
            } else {
                painter.drawLine(from, to);
                dirty |= QRect(from, to).normalized().adjusted(-1, -1, 1, 1);
            }
        }
    }
    painter.end();
    if (!dirty.isEmpty()) {
        update(dirty.translated(contentsRect().topLeft()));
    }
}

void cStripChart::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        const QRect area = event->rect() & contentsRect();
        painter.drawImage(area, store_, area.translated(-contentsRect().topLeft()));
    }
    // A new stroke lies inside: the frame needs no drawing again.
    if (!contentsRect().contains(event->rect())) {
        QFrame::paintEvent(event);
    }
}

void cStripChart::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const QSize size = contentsRect().size();
    if (size.isEmpty()) {
        store_ = QImage();
        return;
    }
    store_ = QImage(size, QImage::Format_RGB32);
    store_.fill(Qt::white);
    if (graph_ != nullptr) {
        Draw(graph_->Whole());
    }
    emit widthChanged(size.width());
}

} // namespace kelvar
