#pragma once

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

namespace kelvar::test {

inline QString FileText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

// A file of tests/golden, worked out by hand; "@VERSION@" stands for the
// program's version.
inline QString GoldenPath(const QString& name) {
    return QStringLiteral(KELVAR_GOLDEN_DIR "/") + name;
}

inline QString GoldenText(const QString& name) {
    return FileText(GoldenPath(name)).replace("@VERSION@", QStringLiteral(KELVAR_VERSION));
}

// Whole texts; a difference names the first line that differs.
inline ::testing::AssertionResult SameText(const QString& actual, const QString& expected) {
    const QStringList got = actual.split(u'\n');
    const QStringList wanted = expected.split(u'\n');
    for (qsizetype i = 0; i < got.size() || i < wanted.size(); ++i) {
        if (i >= got.size() || i >= wanted.size() || got[i] != wanted[i]) {
            return ::testing::AssertionFailure()
                   << "line " << i + 1 << " differs:\n  expected: "
                   << wanted.value(i, "(end)").replace('\t', "\\t").toStdString()
                   << "\n  actual:   " << got.value(i, "(end)").replace('\t', "\\t").toStdString();
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace kelvar::test
