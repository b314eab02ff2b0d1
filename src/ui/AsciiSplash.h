#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace kelvar {

// The frameless window shown while the program starts: product, version,
// maker, a status text and a progress bar. A click on it closes it.
class AsciiSplash : public QWidget {
    Q_OBJECT
public:
    explicit AsciiSplash(QWidget* parent = nullptr);

    // Line breaks may be CR LF.
    void SetStatus(const QString& text);
    void SetProgressRange(int minimum, int maximum);
    void SetProgress(int value);
    void SetProgressShown(bool shown);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace kelvar
