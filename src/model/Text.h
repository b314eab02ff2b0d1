#pragma once

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

} // namespace kelvar
