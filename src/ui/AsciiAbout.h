#pragma once

#include "shell/Help.h"

#include <QDialog>

namespace kelvar {

// The about box: the program's title, its version in Roman numerals, the
// maker and the legal warning; "System Info..." starts the system
// information tool that `lookup` finds.
class AsciiAbout : public QDialog {
    Q_OBJECT
public:
    AsciiAbout(cPrompter& prompter, QWidget* parent = nullptr, ProgramLookup lookup = FindOnPath);
};

} // namespace kelvar
