#pragma once

#include <QDialog>

class QCheckBox;

namespace kelvar {

// The information dialog: a message, a caution line and the "Do not show
// this message again" box.
class InfoDialog : public QDialog {
    Q_OBJECT
public:
    InfoDialog(const QString& text, const QString& caution, QWidget* parent = nullptr);
    bool DoNotShowAgain() const;

private:
    QCheckBox* doNotShow_;
};

} // namespace kelvar
