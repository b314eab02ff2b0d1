#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <cstdint>

namespace kelvar {

// The one conversion of a real number to an integer: to the nearest, halves
// to even (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -2.5 -> -2).
std::int64_t RoundHalfEven(double value);

// Formats a number by a pattern such as "###,##0.000", "##0.0", "#.0" or
// "#,##0": '0' is a digit always shown, '#' one shown only when needed, ','
// asks for thousands separators and '.' marks the decimals. Separators come
// from the locale; the C locale (the default) is the one for wire and files.
QString FormatNumber(double value, QStringView pattern, const QLocale& locale = QLocale::c());

} // namespace kelvar
