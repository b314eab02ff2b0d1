#pragma once

#include <QString>
#include <QStringList>

namespace kelvar {

// Printed text is laid out in a fixed-pitch font with tab stops every eight
// columns and lines of at most 74 columns.
inline constexpr int PrintColumns = 74;
inline constexpr int PrintTabWidth = 8;

// The label trimmed, then tabs up to the next of the columns 8, 16, 24, 32:
// four for up to 7 characters, three for 8 to 15, two for 16 to 23, one after.
QString TabPad(const QString& label);
QString Tabs(int count);

// A printed report's lines, each ended by CR LF: a heading one tab in, and a
// row two tabs in with its value in the column after the label's.
QString SectionLine(const QString& title);
QString RowLine(const QString& label, const QString& value);

// The lines a text prints as: a CR (with its LF) ends a line; a line that
// reaches 74 columns is broken before the word in progress, which carries
// over (a longer word overflows its line rather than being cut).
QStringList PrintLines(const QString& text);

// A printed line with its tabs turned into blanks at the tab stops.
QString ExpandTabs(const QString& line);

// Where printed lines go: a printer or a PDF file.
class cPrintSurface {
public:
    virtual ~cPrintSurface() = default;
    // How many lines start above the page's 10-inch mark.
    virtual int LinesPerPage() const = 0;
    // Sets the line spacing for the lines to come: the font's own, or closer
    // where that is needed for `lines` lines to start above the 10-inch mark.
    virtual void FitLines(int lines) = 0;
    virtual void NewPage() = 0;
    virtual void DrawLine(int row, const QString& text) = 0;
};

// Prints the text from the top of the surface's current page, starting a new
// page whenever the next line would start below the 10-inch mark.
void PrintControl(const QString& text, cPrintSurface& surface);

// Prints the text on the surface's current page alone, its lines closer
// together where they would not fit otherwise.
void PrintSheet(const QString& text, cPrintSurface& surface);

} // namespace kelvar
