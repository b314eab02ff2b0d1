// Renders the window on the built-in sensor network, off screen, and saves
// the Monitor and Communications tabs as pictures for the documentation.

#include "link/SensorLink.h"
#include "shell/Registry.h"
#include "ui/Application.h"
#include "ui/AsciiSensor.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

using namespace kelvar;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    // A settings file of its own, so the user's settings stay untouched.
    QTemporaryDir settings;
    cRegistry registry(settings.filePath(QStringLiteral("settings.ini")));
    cAppOptions options;
    options.simulate = true;
    cApplication program(options, registry);
    if (!program.Start()) {
        return 1;
    }
    AsciiSensor& window = program.Window();
    window.resize(window.sizeHint());
    const std::pair<int, const char*> shots[] = {{Tab::Monitor, "monitor.png"},
                                                 {Tab::Communications, "communications.png"}};
    for (const auto& [tab, name] : shots) {
        window.SelectTab(tab);
        PauseProcessingEvents(1500);
        const QString path = QDir(folder).filePath(QLatin1String(name));
        if (!window.grab().save(path)) {
            QTextStream(stderr) << "cannot write " << path << Qt::endl;
            return 1;
        }
        QTextStream(stdout) << path << Qt::endl;
    }
    program.Shutdown();
    return 0;
}
