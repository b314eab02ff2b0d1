#include "files/PagePainter.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>

namespace kelvar {

namespace {

// A page break comes once the next line would start this far down the page.
constexpr int PrintedInches = 10;

} // namespace

cPagePainter::cPagePainter(QPagedPaintDevice& device) : device_(device) {
    if (!painter_.begin(&device_)) {
        return;
    }
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    painter_.setFont(font);
    const QFontMetrics metrics(painter_.font(), &device_);
    fontLineHeight_ = std::max(metrics.lineSpacing(), 1);
    lineHeight_ = fontLineHeight_;
    ascent_ = metrics.ascent();
}

cPagePainter::~cPagePainter() {
    if (painter_.isActive()) {
        painter_.end();
    }
}

int cPagePainter::LinesPerPage() const {
    return PrintedInches * device_.logicalDpiY() / lineHeight_ + 1;
}

void cPagePainter::FitLines(int lines) {
    const int fitting = PrintedInches * device_.logicalDpiY() / std::max(lines - 1, 1);
    lineHeight_ = std::max(std::min(fontLineHeight_, fitting), 1);
}

void cPagePainter::NewPage() {
    device_.newPage();
}

void cPagePainter::DrawLine(int row, const QString& text) {
    if (painter_.isActive()) {
        painter_.drawText(0, row * lineHeight_ + ascent_, text);
    }
}

} // namespace kelvar
