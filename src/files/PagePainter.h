#pragma once

#include "files/PrintText.h"

#include <QFont>
#include <QPainter>

class QPagedPaintDevice;

namespace kelvar {

// Printed lines on a printer or a PDF writer: 10-point Courier New (or the
// nearest fixed-pitch font), a line's place by its row on the page.
class cPagePainter : public cPrintSurface {
public:
    explicit cPagePainter(QPagedPaintDevice& device);
    ~cPagePainter() override;

    int LinesPerPage() const override;
    void FitLines(int lines) override;
    void NewPage() override;
    void DrawLine(int row, const QString& text) override;
    // False when the device could not be painted on (no printer, a file that
    // cannot be written).
    bool Ready() const { return painter_.isActive(); }

private:
    QPagedPaintDevice& device_;
    QPainter painter_;
    int fontLineHeight_ = 1;
    int lineHeight_ = 1;
    int ascent_ = 0;
};

} // namespace kelvar
