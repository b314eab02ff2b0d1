#pragma once

#include <QRgb>
#include <QScrollArea>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QGridLayout;
class QLabel;
class QToolButton;

namespace kelvar {

// Colours of lights, status fields and edited entries.
namespace Colour {
inline constexpr QRgb LightGreen = qRgb(0x00, 0xFF, 0x00);
inline constexpr QRgb Red = qRgb(0xFF, 0x00, 0x00);
inline constexpr QRgb DarkGreen = qRgb(0x00, 0x80, 0x00);
inline constexpr QRgb Blue = qRgb(0x00, 0x00, 0xFF);
inline constexpr QRgb DarkBlue = qRgb(0x00, 0x00, 0xC0);
inline constexpr QRgb Black = qRgb(0x00, 0x00, 0x00);
inline constexpr QRgb Editing = qRgb(0xFF, 0xFF, 0xC0);
} // namespace Colour

// A light is a widget whose background shows its state: a small lamp beside
// a caption, or a status field that carries its own text.
void SetLight(QWidget* light, QRgb colour);
inline void SetLight(QWidget* light, bool green) {
    SetLight(light, green ? Colour::LightGreen : Colour::Red);
}
QRgb LightColour(const QWidget* light);

// One line of a status panel: a light and its caption, which holds an "on"
// text for green and an "off" text for red. For a status field the light and
// the caption are the same label.
struct cIndicator {
    QLabel* light = nullptr;
    QLabel* caption = nullptr;
};

enum class IndicatorKind { Lamp, Field };

// Makes an indicator showing its on text on green: light green for a lamp,
// dark green for a field. lampName names the lamp; a field is captionName.
cIndicator MakeIndicator(IndicatorKind kind, const QString& lampName, const QString& captionName,
                         const QString& onText, const QString& offText,
                         const QString& toolTip = {});
// The on text on green, or the off text on red.
void SetIndicator(const cIndicator& indicator, bool on);

// Font marks: the selected option of a group and a ticked box are bold.
void SetBold(QWidget* widget, bool bold);
void SetUnderline(QWidget* widget, bool underline);
// A chosen setpoint button is bold at 12 points, the others plain at 10.
void SetButtonHighlight(QAbstractButton* button, bool highlighted);

// Text colour of labels, fields and buttons (red for a clamped entry).
void SetTextColour(QWidget* widget, QRgb colour);
// The light-yellow background of a field being edited, or the normal one.
void SetEditing(QWidget* widget, bool editing);

// Ticks option `index` of a group; -1 leaves none ticked. The ticked option
// is the group's checkedId(), -1 when none.
void SelectOption(QButtonGroup* group, int index);

// The system's texts break lines with CR LF.
QString FromCrLf(const QString& text);

// A centred label in the widget's font scaled by `scale`.
QLabel* CentredLabel(const QString& text, const QString& name, qreal scale = 1.0,
                     bool bold = false);
// The maker's name in large letters over a grey copy of itself a little
// lower and further right, its shadow (lblCompany, lblCompanyShadow).
QGridLayout* MakerNameWithShadow();

// A stand-alone pair of spin arrows beside a field; the owner decides what a
// step does.
class cUpDown : public QWidget {
    Q_OBJECT
public:
    explicit cUpDown(const QString& name, QWidget* parent = nullptr);

signals:
    void up();
    void down();

private:
    QToolButton* MakeArrow(Qt::ArrowType arrow);
};

// The cylinder drawn between the labels of the travel pictograph; mirrored
// when the readout runs from the extended end.
class cCylinderDrawing : public QWidget {
    Q_OBJECT
public:
    explicit cCylinderDrawing(QWidget* parent = nullptr);
    void SetMirrored(bool mirrored);
    bool Mirrored() const { return mirrored_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool mirrored_ = false;
};

// A page of controls that scrolls once the window is made smaller than the
// page, so that the window fits a small or large-scaled screen and every
// control can still be reached. It asks for the whole page's size (a plain
// scroll area asks for a few dozen text lines at most, which would shrink
// the window) and is no tab stop of its own.
class cScrollPane : public QScrollArea {
    Q_OBJECT
public:
    enum class Scrolling {
        Both,
        Vertical, // the page keeps its whole width
    };
    explicit cScrollPane(QWidget* page, Scrolling scrolling = Scrolling::Both,
                         QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    Scrolling scrolling_;
};

} // namespace kelvar
