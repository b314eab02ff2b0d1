#pragma once

// The program with its window on the built-in sensor network, for the
// benchmarks that run the window off screen.

#include "shell/Registry.h"
#include "ui/Application.h"

#include <QTemporaryDir>
#include <cstdio>

namespace kelvar::bench {

// Its settings in a folder of its own, so the user's stay untouched.
struct SimulatedProgram {
    static cAppOptions Simulated() {
        cAppOptions options;
        options.simulate = true;
        return options;
    }
    QTemporaryDir dir;
    cRegistry registry{dir.filePath(QStringLiteral("settings.ini"))};
    cApplication program{Simulated(), registry};

    // Starts the program, and says so when it does not.
    bool Start() {
        if (program.Start()) {
            return true;
        }
        std::fprintf(stderr, "the window did not start\n");
        return false;
    }
};

} // namespace kelvar::bench
