#include "ui/Look.h"

#include "shell/Maker.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvar {

namespace {
const char* const OnTextProperty = "onText";
const char* const OffTextProperty = "offText";
} // namespace

void SetLight(QWidget* light, QRgb colour) {
    QPalette palette = light->palette();
    palette.setColor(light->backgroundRole(), QColor(colour));
    light->setPalette(palette);
    light->setAutoFillBackground(true);
}

QRgb LightColour(const QWidget* light) {
    return light->palette().color(light->backgroundRole()).rgb();
}

cIndicator MakeIndicator(IndicatorKind kind, const QString& lampName, const QString& captionName,
                         const QString& onText, const QString& offText, const QString& toolTip) {
    cIndicator indicator;
    indicator.caption = new QLabel(onText);
    indicator.caption->setObjectName(captionName);
    indicator.caption->setToolTip(toolTip);
    indicator.caption->setProperty(OnTextProperty, onText);
    indicator.caption->setProperty(OffTextProperty, offText);
    if (kind == IndicatorKind::Lamp) {
        indicator.light = new QLabel;
        indicator.light->setObjectName(lampName);
        indicator.light->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        const int side = indicator.light->fontMetrics().height();
        indicator.light->setFixedSize(side, side);
        indicator.light->setToolTip(toolTip);
    } else {
        indicator.light = indicator.caption;
        indicator.caption->setAlignment(Qt::AlignCenter);
        indicator.caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        indicator.caption->setMargin(2);
        // White stays readable on every field colour: dark green, red, blue.
        QPalette palette = indicator.caption->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        indicator.caption->setPalette(palette);
        SetBold(indicator.caption, true);
    }
    SetIndicator(indicator, true);
    return indicator;
}

void SetIndicator(const cIndicator& indicator, bool on) {
    const bool field = indicator.light == indicator.caption;
    const QRgb green = field ? Colour::DarkGreen : Colour::LightGreen;
    SetLight(indicator.light, on ? green : Colour::Red);
    indicator.caption->setText(
        indicator.caption->property(on ? OnTextProperty : OffTextProperty).toString());
}

void SetBold(QWidget* widget, bool bold) {
    QFont font = widget->font();
    font.setBold(bold);
    widget->setFont(font);
}

void SetUnderline(QWidget* widget, bool underline) {
    QFont font = widget->font();
    font.setUnderline(underline);
    widget->setFont(font);
}

void SetButtonHighlight(QAbstractButton* button, bool highlighted) {
    QFont font = button->font();
    font.setBold(highlighted);
    font.setPointSize(highlighted ? 12 : 10);
    button->setFont(font);
}

void SetTextColour(QWidget* widget, QRgb colour) {
    QPalette palette = widget->palette();
    // Not the disabled group: a disabled control must still look disabled.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (const QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            palette.setColor(group, role, QColor(colour));
        }
    }
    widget->setPalette(palette);
}

void SetEditing(QWidget* widget, bool editing) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, editing ? QColor(Colour::Editing)
                                             : QApplication::palette(widget).color(QPalette::Base));
    widget->setPalette(palette);
}

void SelectOption(QButtonGroup* group, int index) {
    if (QAbstractButton* button = group->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group refuses to untick its last ticked button.
    const bool exclusive = group->exclusive();
    group->setExclusive(false);
    for (QAbstractButton* member : group->buttons()) {
        member->setChecked(false);
    }
    group->setExclusive(exclusive);
}

QString FromCrLf(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines;
}

QLabel* CentredLabel(const QString& text, const QString& name, qreal scale, bool bold) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

QGridLayout* MakerNameWithShadow() {
    // Both in one grid cell; the margins shift one against the other.
    auto* maker = new QGridLayout;
    const QString name = QString::fromLatin1(MakerName);
    QLabel* shadow = CentredLabel(name, QStringLiteral("lblCompanyShadow"), 2.4, true);
    shadow->setContentsMargins(3, 3, 0, 0);
    SetTextColour(shadow, qRgb(0x80, 0x80, 0x80));
    QLabel* front = CentredLabel(name, QStringLiteral("lblCompany"), 2.4, true);
    front->setContentsMargins(0, 0, 3, 3);
    maker->addWidget(shadow, 0, 0);
    maker->addWidget(front, 0, 0);
    return maker;
}

cUpDown::cUpDown(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QToolButton* upArrow = MakeArrow(Qt::UpArrow);
    QToolButton* downArrow = MakeArrow(Qt::DownArrow);
    layout->addWidget(upArrow);
    layout->addWidget(downArrow);
    connect(upArrow, &QToolButton::clicked, this, &cUpDown::up);
    connect(downArrow, &QToolButton::clicked, this, &cUpDown::down);
}

QToolButton* cUpDown::MakeArrow(Qt::ArrowType arrow) {
    auto* button = new QToolButton(this);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    const int height = fontMetrics().height();
    button->setFixedSize(height + 2, height * 2 / 3 + 2);
    return button;
}

cCylinderDrawing::cCylinderDrawing(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("imgCylinder"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void cCylinderDrawing::SetMirrored(bool mirrored) {
    mirrored_ = mirrored;
    update();
}

QSize cCylinderDrawing::sizeHint() const {
    const int unit = fontMetrics().height();
    return {unit * 16, unit * 3};
}

void cCylinderDrawing::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (mirrored_) {
        painter.translate(width(), 0);
        painter.scale(-1, 1);
    }
    const qreal h = height();
    const qreal w = width();
    // Barrel on the left, rod leaving it to the right.
    const QRectF barrel(w * 0.02, h * 0.15, w * 0.6, h * 0.7);
    const QRectF rod(barrel.right(), h * 0.4, w * 0.33, h * 0.2);
    const QRectF rodEnd(rod.right(), h * 0.3, w * 0.03, h * 0.4);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
    painter.drawRect(barrel);
    painter.setBrush(QColor(0xE0, 0xE0, 0xE0));
    painter.drawRect(rod);
    painter.drawRect(rodEnd);
}

cScrollPane::cScrollPane(QWidget* page, Scrolling scrolling, QWidget* parent)
    : QScrollArea(parent), scrolling_(scrolling) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    if (scrolling == Scrolling::Vertical) {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    setWidget(page);
}

QSize cScrollPane::sizeHint() const {
    const int frame = 2 * frameWidth();
    return widget()->sizeHint() + QSize(frame, frame);
}

QSize cScrollPane::minimumSizeHint() const {
    QSize size = QScrollArea::minimumSizeHint();
    if (scrolling_ == Scrolling::Vertical) {
        size.setWidth(widget()->minimumSizeHint().width() +
                      verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
    }
    return size;
}

} // namespace kelvar
