#include "ui/AsciiSplash.h"

#include "ui/Look.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kelvar {

namespace {

QLabel* Centred(const QString& text, const QString& name, qreal scale = 1.0, bool bold = false) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

} // namespace

AsciiSplash::AsciiSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("AsciiSplash"));
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Raised);
    frame->setLineWidth(2);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(24, 16, 24, 16);

    // The maker's name twice, the copy offset down and right in grey as its
    // shadow.
    auto* maker = new QGridLayout;
    QLabel* shadow =
        Centred(QStringLiteral("Morvane"), QStringLiteral("lblCompanyShadow"), 2.4, true);
    shadow->setContentsMargins(3, 3, 0, 0);
    SetTextColour(shadow, qRgb(0x80, 0x80, 0x80));
    QLabel* name = Centred(QStringLiteral("Morvane"), QStringLiteral("lblCompany"), 2.4, true);
    name->setContentsMargins(0, 0, 3, 3);
    maker->addWidget(shadow, 0, 0);
    maker->addWidget(name, 0, 0);
    layout->addLayout(maker);

    layout->addWidget(Centred(QString::fromUtf8("Kelvar Actimar\u2122 Configuration Program"),
                              QStringLiteral("lblProductName"), 1.5, true));
    layout->addWidget(
        Centred(QStringLiteral("Version " KELVAR_VERSION), QStringLiteral("lblVersion")));
    layout->addSpacing(12);
    layout->addWidget(Centred(QStringLiteral("Please wait...."), QStringLiteral("lblPleaseWait")));
    status_ = Centred(QStringLiteral("Initializing........"), QStringLiteral("lblStatus"));
    layout->addWidget(status_);

    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setTextVisible(false);
    // Showing the bar later must not move the texts.
    QSizePolicy policy = progress_->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(policy);
    progress_->hide();
    layout->addWidget(progress_);
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 36);
}

void AsciiSplash::SetStatus(const QString& text) {
    status_->setText(FromCrLf(text));
}

void AsciiSplash::SetProgressRange(int minimum, int maximum) {
    progress_->setRange(minimum, maximum);
}

void AsciiSplash::SetProgress(int value) {
    progress_->setValue(value);
}

void AsciiSplash::SetProgressShown(bool shown) {
    progress_->setVisible(shown);
}

void AsciiSplash::mousePressEvent(QMouseEvent* event) {
    event->accept();
    close();
}

} // namespace kelvar
