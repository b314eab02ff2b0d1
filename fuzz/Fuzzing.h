#pragma once

// What the fuzz targets share: the application object, the way a broken
// promise ends the run, and files for readers that take a path.

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace kelvar::fuzz {

// Ends the run so that libFuzzer keeps the input: what went wrong, and the
// bytes it concerns (`about` says which) percent-encoded.
[[noreturn]] inline void Violated(const char* what, const char* about, const QByteArray& bytes) {
    std::fprintf(stderr, "invariant violated: %s (%s \"%s\")\n", what, about,
                 bytes.toPercentEncoding().constData());
    std::abort();
}

// Qt's file and event code wants an application object; one for the run.
inline void NeedApplication() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// The run cannot go on for a reason outside the code under test.
[[noreturn]] inline void CannotRun(const char* what, const QString& reason) {
    std::fprintf(stderr, "cannot fuzz: %s: %s\n", what, qUtf8Printable(reason));
    std::abort();
}

// A path in a folder of this process's own, removed when the run ends, so
// that fuzzers running side by side never share a file.
inline QString ScratchPath(const QString& name) {
    static const QTemporaryDir folder;
    if (!folder.isValid()) {
        CannotRun("no temporary folder", folder.errorString());
    }
    return folder.filePath(name);
}

// The bytes as the file at path, replacing any file there.
inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        CannotRun("the input could not be written", file.errorString());
    }
}

} // namespace kelvar::fuzz
