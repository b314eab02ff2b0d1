#include "ui/AsciiSplash.h"

#include "shell/Maker.h"
#include "ui/Look.h"

#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kelvar {

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

    layout->addLayout(MakerNameWithShadow());

    layout->addWidget(CentredLabel(QString::fromUtf8(FileDescription),
                                   QStringLiteral("lblProductName"), 1.5, true));
    layout->addWidget(
        CentredLabel(QStringLiteral("Version " KELVAR_VERSION), QStringLiteral("lblVersion")));
    layout->addSpacing(12);
    layout->addWidget(
        CentredLabel(QStringLiteral("Please wait...."), QStringLiteral("lblPleaseWait")));
    status_ = CentredLabel(QStringLiteral("Initializing........"), QStringLiteral("lblStatus"));
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
