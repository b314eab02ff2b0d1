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
            const QPoint from = Map(stroke.x - 1, static_cast<double>(stroke.y1));
            const QPoint to = Map(stroke.x, static_cast<double>(stroke.y2));
            painter.drawLine(from, to);
            dirty |= QRect(from, to).normalized().adjusted(-1, -1, 1, 1);
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
    emit widthChanged(LogicalWidth());
}

int cStripChart::LogicalWidth() const {
    return static_cast<int>(
        std::lround(contentsRect().width() * double{cGraph::TwipsPerInch} / logicalDpiX()));
}

QImage cStripChart::Picture(const GraphAxes& axes) const {
    const QMargins m = PictureMargins;
    QImage picture(store_.size().grownBy(m), QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawImage(m.left(), m.top(), store_);
    if (graph_ == nullptr || graph_->ScaleWidth() <= 0 || graph_->ScaleHeight() <= 0) {
        return picture;
    }
    // The same size on every screen: the picture is a file, not the window.
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QRect chart(QPoint(m.left(), m.top()), store_.size());
    painter.drawLine(chart.bottomLeft() + QPoint(-1, 1), chart.topLeft() - QPoint(1, 0));
    painter.drawLine(chart.bottomLeft() + QPoint(-1, 1), chart.bottomRight() + QPoint(0, 1));
    for (const GraphTick& tick : axes.values) {
        const int y = chart.top() + Map(0, tick.at).y();
        painter.drawLine(chart.left() - 6, y, chart.left() - 2, y);
        painter.drawText(QRect(0, y - 8, chart.left() - 8, 16), Qt::AlignRight | Qt::AlignVCenter,
                         tick.text);
    }
    for (const GraphTick& tick : axes.times) {
        const int x = chart.left() + Map(tick.at, 0).x();
        painter.drawLine(x, chart.bottom() + 2, x, chart.bottom() + 6);
        painter.drawText(QRect(x - 30, chart.bottom() + 8, 60, 16), Qt::AlignCenter, tick.text);
    }
    painter.drawText(QRect(chart.left(), chart.bottom() + 28, chart.width(), 20), Qt::AlignCenter,
                     axes.timeTitle);
    painter.save();
    painter.translate(4, chart.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-chart.height() / 2, 0, chart.height(), 20), Qt::AlignCenter,
                     axes.valueTitle);
    painter.restore();
    // The legend: a stroke of each line's colour before its name.
    struct Entry {
        QPen pen;
        QString text;
    };
    QPen limits(Qt::darkGray, 1, Qt::DotLine);
    int x = chart.left();
    for (const Entry& entry :
         {Entry{QPen(TraceColours[1], 1), QStringLiteral("Position")},
          Entry{QPen(TraceColours[0], 1), QStringLiteral("Target")}, Entry{limits, axes.limits}}) {
        painter.setPen(entry.pen);
        painter.drawLine(x, m.top() / 2, x + 24, m.top() / 2);
        painter.setPen(Qt::black);
        const QRect text = painter.boundingRect(QRect(x + 30, 0, 400, m.top()),
                                                Qt::AlignLeft | Qt::AlignVCenter, entry.text);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, entry.text);
        x = text.right() + 24;
    }
    return picture;
}

} // namespace kelvar
