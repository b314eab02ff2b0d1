#pragma once

#include <QDateTime>
#include <QString>
#include <array>

namespace kelvar {

class cSession;
class cPrintSurface;

// The configuration report of the selected sensor, as printed text: page 1
// the information, physical, dynamic and option settings (edited values),
// page 2 the edited setpoints. Both headers say "of 2".
std::array<QString, 2> ConfigurationReport(cSession& session, const QDateTime& now);

// Prints the report's two pages, each on a sheet of its own.
void PrintConfigurationReport(cSession& session, cPrintSurface& surface);
// Prints the log text and a final line end.
void PrintLog(cSession& session, cPrintSurface& surface);

} // namespace kelvar
