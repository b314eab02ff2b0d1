#include "files/PrintText.h"

#include <algorithm>

namespace kelvar {

QString TabPad(const QString& label) {
    const QString text = label.trimmed();
    return text + Tabs(4 - std::min(static_cast<int>(text.size()) / PrintTabWidth, 3));
}

QString Tabs(int count) {
    return QString(std::max(count, 0), u'\t');
}

QString SectionLine(const QString& title) {
    return Tabs(1) + title + QStringLiteral("\r\n");
}

QString RowLine(const QString& label, const QString& value) {
    return Tabs(2) + TabPad(label) + value + QStringLiteral("\r\n");
}

QStringList PrintLines(const QString& text) {
    QStringList lines;
    QString line;
    QString word;
    int column = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            lines.append(line + word);
            line.clear();
            word.clear();
            if (i + 1 < text.size() && text.at(i + 1) == u'\n') {
                ++i;
            }
            column = 0;
        } else {
            word += c;
            if (column >= PrintColumns) {
                lines.append(line);
                line.clear();
                column = 0;
            }
            if (c == u' ') {
                line += word;
                word.clear();
            }
        }
        ++column;
    }
    if (!line.isEmpty() || !word.isEmpty()) {
        lines.append(line + word);
    }
    return lines;
}

QString ExpandTabs(const QString& line) {
    QString expanded;
    for (const QChar c : line) {
        if (c == u'\t') {
            expanded += QString(PrintTabWidth - expanded.size() % PrintTabWidth, u' ');
        } else {
            expanded += c;
        }
    }
    return expanded;
}

void PrintControl(const QString& text, cPrintSurface& surface) {
    const int perPage = std::max(surface.LinesPerPage(), 1);
    int row = 0;
    for (const QString& line : PrintLines(text)) {
        if (row >= perPage) {
            surface.NewPage();
            row = 0;
        }
        surface.DrawLine(row++, ExpandTabs(line));
    }
}

void PrintSheet(const QString& text, cPrintSurface& surface) {
    surface.FitLines(static_cast<int>(PrintLines(text).size()));
    PrintControl(text, surface);
}

} // namespace kelvar
