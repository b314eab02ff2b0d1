#include "ui/InfoDialog.h"

#include "ui/Look.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvar {

InfoDialog::InfoDialog(const QString& text, const QString& caution, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("InfoDialog"));
    setWindowTitle(QStringLiteral(" User Information"));
    auto* layout = new QVBoxLayout(this);
    auto* information = new QLabel(FromCrLf(text));
    information->setObjectName(QStringLiteral("lblInformation"));
    information->setWordWrap(true);
    auto* warning = new QLabel(FromCrLf(caution));
    warning->setObjectName(QStringLiteral("lblWarning"));
    warning->setWordWrap(true);
    SetTextColour(warning, Colour::Red);
    doNotShow_ = new QCheckBox(QStringLiteral("Do not show this message again"));
    doNotShow_->setObjectName(QStringLiteral("chkDoNotShow"));
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(information);
    layout->addWidget(warning);
    layout->addWidget(doNotShow_);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

bool InfoDialog::DoNotShowAgain() const {
    return doNotShow_->isChecked();
}

} // namespace kelvar
