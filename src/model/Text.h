#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace kelvar {

// Lower-cases the text, then upper-cases the first letter of every word.
// Blanks are kept as they are, trailing ones included: "EXTEND GAIN " gives
// "Extend Gain ".
QString ProperCase(QStringView text);

// The whole number a text begins with, as plain decimal digits without
// leading zeros: blanks are skipped, reading stops at the first other
// character that is not a digit, and a text without digits gives "0". Kept
// as text because sensor serial numbers run to twelve digits.
QString LeadingDigits(QStringView text);

// A sensor whose units text is "in" is an English (inch) one; any other is
// metric.
bool IsEnglishUnits(const QString& units);
// The length unit captions name: "in", or a metric sensor's own units text
// ("mm"; "mm" when it sent none).
QString LengthUnit(const QString& units);
// A caption as a sensor with these units shows it. Captions are typed for an
// English sensor and come back unchanged for one; for a metric sensor
// "(in)", "(In.)" and "in/sec" name its own unit ("(mm)", "mm/sec").
QString CaptionInUnits(const QString& caption, const QString& units);

// Bytes off the line as one line of text: printable ASCII as it is, any
// other byte as two upper-case hex digits in angle brackets ("<0D>"), so that
// a stray CR or LF cannot break a record in two.
QString PrintableBytes(const QByteArray& bytes);

} // namespace kelvar
