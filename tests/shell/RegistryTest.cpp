// The settings store: where its file lives, what comes back from the file, how
// a file edited by hand reads, and what happens when the file cannot be
// written or read.
#include "shell/Registry.h"
#include "support/EnvVar.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kelvar::cRegistry;
using Status = cRegistry::Status;
using kelvar::test::EnvVar;
using kelvar::test::FileSizeLimit;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

void Point(cRegistry& reg, const QString& section, const QString& key) {
    reg.setSection(section);
    reg.setKey(key);
}

void Save(cRegistry& reg, const QString& section, const QString& key, const QString& value) {
    Point(reg, section, key);
    reg.setSetting(value);
    EXPECT_TRUE(reg.RegSave()) << qPrintable(reg.ErrorText());
}

QString Get(cRegistry& reg, const QString& section, const QString& key) {
    Point(reg, section, key);
    EXPECT_TRUE(reg.RegGet()) << qPrintable(reg.ErrorText());
    return reg.Setting();
}

class Registry : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString DefaultFile() const { return Path("Kelvar/Kelvar Setup Software v8.1.0.ini"); }

    // A store over a fresh copy of the file, so that what it reads comes
    // from the disk and not from anything kept in this process.
    cRegistry Reopened(const QString& file) {
        const QString copy = Path(QStringLiteral("copy%1.ini").arg(++copies_));
        EXPECT_TRUE(QFile::copy(file, copy));
        return cRegistry(copy);
    }

    QTemporaryDir dir_;
    EnvVar configHome_{"XDG_CONFIG_HOME", dir_.path().toLocal8Bit()};
    int copies_ = 0;
};

} // namespace

// Under XDG_CONFIG_HOME the file is DefaultFile(), which the hand-written
// file's test reads and rewrites; without it, under HOME.
TEST_F(Registry, FileIsNamedByAppnameInTheConfigFolder) {
    const EnvVar home("HOME", Path("home").toLocal8Bit());
    for (const char* configHome : {"", "relative/config"}) {
        const EnvVar xdg("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(cRegistry().FileName(),
                  Path("home/.config/Kelvar/Kelvar Setup Software v8.1.0.ini"))
            << configHome;
    }
}

TEST_F(Registry, ValuesComeBackFromTheFile) {
    cRegistry reg;
    reg.setSetting("left over");
    EXPECT_EQ(Get(reg, "Startup", "Top"), ""); // a fresh profile
    EXPECT_TRUE(reg.RegDel());
    EXPECT_TRUE(QDir(dir_.path()).isEmpty());

    Save(reg, "Communications", "Port", "0");
    Save(reg, "Communications", "PortBaudRate", "");
    Save(reg, "Settings", "Port", "5");
    Save(reg, "Settings", "Port", "7");
    Save(reg, "Settings", "SensorAddress", "2");
    EXPECT_TRUE(reg.RegDel());

    cRegistry back = Reopened(reg.FileName());
    EXPECT_EQ(Get(back, "Communications", "PortBaudRate"), "");
    EXPECT_EQ(Get(back, "Settings", "SensorAddress"), "");
    EXPECT_EQ(Get(back, "Settings", "Port"), "7");
    EXPECT_EQ(Get(back, "Communications", "Port"), "0");
}

TEST_F(Registry, OddNamesAndValuesRoundTripExactly) {
    // Names that QSettings would merge at a '/', and names and values that
    // would read as something else in a line of the file.
    const QStringList names = {
        "a/b", "a%2Fb", "a\\b", "/a",    " lead",   "trail ",   "x=y",       ";c",
        "#h",  "[s]",   "s]",   "日本😀", "General", "%General", "%67eneral", "Line\nBreak",
    };
    QStringList values;
    values += {" ", " lead", "trail ", "\"q\"", "\"", "@@x", ";c", "#c", "x\ny", "\t", "back\\"};
    values += {"@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", "ü€日本😀", "a=b", "[Startup]"};
    values += {"Press 3, left", "\"C:\\Temp\\new\"", "\"x%0Ay\"", " 100%\n%0A ", "\r\n"};
    values << QString(QChar(0)) + u'z' << QString(5000, u'x');
    cRegistry reg;
    for (const QString& name : names) {
        Save(reg, name, "Key", "section " + name);
        Save(reg, "Section", name, "key " + name);
    }
    Save(reg, "x", "y/z", "x|y/z");
    Save(reg, "x/y", "z", "x/y|z");
    for (qsizetype i = 0; i < values.size(); ++i) {
        Save(reg, "Values", QString::number(i), values[i]);
    }

    cRegistry back = Reopened(reg.FileName());
    for (const QString& name : names) {
        EXPECT_EQ(Get(back, name, "Key"), "section " + name);
        EXPECT_EQ(Get(back, "Section", name), "key " + name);
    }
    EXPECT_EQ(Get(back, "x", "y/z"), "x|y/z");
    EXPECT_EQ(Get(back, "x/y", "z"), "x/y|z");
    for (qsizetype i = 0; i < values.size(); ++i) {
        EXPECT_EQ(Get(back, "Values", QString::number(i)), values[i]);
    }

    // What needs no quotes is written as it is, for a person to read (more
    // in the hand-written file's test).
    const QString written = QString::fromUtf8(ReadFile(reg.FileName()));
    const QString asWritten[][2] = {{"Press 3, left", "Press 3, left"},
                                    {" lead", "\" lead\""},
                                    {"\"C:\\Temp\\new\"", "\"\"C:\\Temp\\new\"\""},
                                    {" 100%\n%0A ", "\" 100%25%0A%250A \""}};
    for (const auto& [value, line] : asWritten) {
        const QString key = QString::number(values.indexOf(value));
        EXPECT_TRUE(written.contains('\n' + key + '=' + line + '\n')) << qPrintable(line);
    }
}

TEST_F(Registry, MissingNamesAndInvalidTextAreRefused) {
    cRegistry reg;
    Save(reg, "Startup", "Top", "120");
    const QString lone(QChar(0xD800)); // half a surrogate pair
    const QString cases[][3] = {{"", "Top", "1"},
                                {"Startup", "", "1"},
                                {"Startup", "Top", "1" + lone},
                                {"Startup" + lone, "Top", "1"}};
    for (const auto& c : cases) {
        Point(reg, c[0], c[1]);
        reg.setSetting(c[2]);
        EXPECT_FALSE(reg.RegSave()) << qPrintable(c[0] + "/" + c[1]);
        EXPECT_EQ(reg.LastStatus(), Status::BadInput);
    }
    EXPECT_EQ(Get(reg, "Startup", "Top"), "120");
    EXPECT_EQ(QDir(Path("Kelvar")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Kelvar Setup Software v8.1.0.ini"});
}

TEST_F(Registry, WriteFailureIsReportedAndNotReadBack) {
    WriteFile(Path("plain"), "a file where the folder should be");
    const EnvVar xdg("XDG_CONFIG_HOME", Path("plain").toLocal8Bit());
    cRegistry reg;
    Point(reg, "Menu", "Logging");
    reg.setSetting("1");
    EXPECT_FALSE(reg.RegSave());
    EXPECT_EQ(reg.LastStatus(), Status::WriteFailed);
    EXPECT_FALSE(reg.ErrorText().isEmpty());
    EXPECT_EQ(Get(reg, "Menu", "Logging"), "");
}

TEST_F(Registry, FailedChangeNeverTurnsUpLater) {
    cRegistry reg;
    Save(reg, "Menu", "Logging", "old");
    bool saved = true;
    bool savedAgain = true;
    {
        const FileSizeLimit noGrowth(QFileInfo(reg.FileName()).size());
        ASSERT_TRUE(noGrowth.active);
        reg.setSetting("a value longer than the file allows");
        saved = reg.RegSave();
        savedAgain = reg.RegSave();
        reg.RegGet();
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(savedAgain);
    EXPECT_EQ(reg.Setting(), "old");

    // Nor may a later change that succeeds carry the failed one along.
    Save(reg, "Menu", "Search", "1");
    cRegistry back = Reopened(reg.FileName());
    EXPECT_EQ(Get(back, "Menu", "Logging"), "old");
    EXPECT_EQ(Get(back, "Menu", "Search"), "1");
}

TEST_F(Registry, GatheredChangesReachTheFileInOneReplacementOrNotAtAll) {
    cRegistry reg;
    Save(reg, "Startup", "Top", "1");
    Save(reg, "SensorList", "Sensor002", "01090000000009 0Gone");
    const QByteArray before = ReadFile(reg.FileName());
    const QString list = "01020000001234 0" + QString(100, u'x');
    const auto change = [&] {
        reg.BeginChanges();
        Save(reg, "Startup", "Top", "220");
        Save(reg, "SensorList", "Sensor001", list);
        Point(reg, "SensorList", "Sensor002");
        EXPECT_TRUE(reg.RegDel());
        EXPECT_EQ(Get(reg, "Startup", "Top"), "1") << "the file changes only at the commit";
        return reg.CommitChanges();
    };
    // Stopped at any byte, the write leaves the old file whole (key by key,
    // the smaller files on the way would go through).
    bool written = false;
    for (qint64 limit = 0; !written && limit < 1000; ++limit) {
        const FileSizeLimit stop(limit);
        ASSERT_TRUE(stop.active);
        written = change();
        if (!written) {
            EXPECT_EQ(reg.LastStatus(), Status::WriteFailed) << limit;
            ASSERT_EQ(ReadFile(reg.FileName()), before) << limit;
        }
    }
    EXPECT_EQ(ReadFile(reg.FileName()),
              "[SensorList]\nSensor001=" + list.toUtf8() + "\n\n[Startup]\nTop=220\n");
}

TEST_F(Registry, UnreadableFileIsSetAsideWhole) {
    ASSERT_TRUE(QDir().mkpath(DefaultFile()));
    cRegistry reg;
    Point(reg, "Startup", "Top");
    EXPECT_FALSE(reg.RegGet());
    EXPECT_EQ(reg.LastStatus(), Status::Unreadable);
    EXPECT_TRUE(reg.RegDel()); // nothing readable, so nothing to remove
    EXPECT_TRUE(QFileInfo(DefaultFile()).isDir());

    Save(reg, "Startup", "Top", "90");
    EXPECT_EQ(reg.SetAsidePath(), DefaultFile() + ".bad");
    EXPECT_TRUE(QFileInfo(reg.SetAsidePath()).isDir());
    EXPECT_EQ(Get(reg, "Startup", "Top"), "90");
}

namespace {

// Written in an editor on Windows, with a few slips.
const QByteArray HandWritten = "\xEF\xBB\xBF; edited by hand\r\n"
                               "Orphan=before any section\r\n"
                               "[sensors]\r\n"
                               "name=Press 3, left\r\n"
                               "Note = first; second \r\n"
                               "Path=C:\\Temp\\new\r\n"
                               "Greeting=hello\r\n"
                               "Quoted=\"Press 3\"\r\n"
                               "# Owner=nobody\r\n"
                               "Owner=J\xfcrgen\r\n" // Latin-1
                               "stray text\r\n"
                               "Sum=a=b\r\n"
                               "Axis/Mode=fast\r\n"
                               "[Startup\r\n"
                               "Top=250\r\n"
                               "[Communications]\r\n"
                               "=3\r\n"
                               "Port=3\r\n"
                               "\r\n"
                               "[SENSORS]\r\n"
                               "GREETING=say \"hi\r\n";

} // namespace

TEST_F(Registry, HandWrittenFileReadsAsWrittenAndSavingKeepsItsValues) {
    WriteFile(DefaultFile(), HandWritten);
    cRegistry reg;
    EXPECT_EQ(Get(reg, "Sensors", "Name"), "Press 3, left");
    EXPECT_EQ(Get(reg, "Startup", "Top"), "");
    EXPECT_EQ(Get(reg, "COMMUNICATIONS", "port"), "3");
    const QStringList skipped = {"line 2: Orphan=before any section", "line 11: stray text",
                                 "line 14: [Startup", "line 15: Top=250", "line 17: =3"};
    EXPECT_EQ(reg.SkippedLines(), skipped);
    EXPECT_EQ(ReadFile(DefaultFile()), HandWritten); // reading changes nothing

    // Saving rewrites it, keeping its values.
    Save(reg, "SENSORS", "NAME", "Press 4, right");
    Save(reg, "Startup", "Top", "250");
    EXPECT_EQ(reg.SetAsidePath(), "");
    EXPECT_EQ(reg.SkippedLines(), skipped);

    // Spelt as the file spelt them, the later of two lines; the skipped lines
    // and comments are gone.
    EXPECT_EQ(ReadFile(DefaultFile()),
              "[Communications]\nPort=3\n\n[Startup]\nTop=250\n\n[sensors]\nAxis%2FMode=fast\n"
              "Greeting=say \"hi\nNote=first; second\nOwner=J\xc3\xbcrgen\nPath=C:\\Temp\\new\n"
              "Quoted=Press 3\nSum=a=b\nname=Press 4, right\n");
    cRegistry back = Reopened(DefaultFile());
    EXPECT_EQ(Get(back, "sensors", "name"), "Press 4, right");
    EXPECT_EQ(Get(back, "Sensors", "Path"), "C:\\Temp\\new");
    EXPECT_TRUE(back.SkippedLines().isEmpty());
}

TEST_F(Registry, ByteOrderMarksAtTheStartOfALine) {
    // Editors put one there; it is no part of the line.
    WriteFile(DefaultFile(), "\xEF\xBB\xBF[Startup]\n\xEF\xBB\xBFTop=90\n");
    cRegistry reg;
    EXPECT_EQ(Get(reg, "Startup", "Top"), "90");

    // So a name that starts with one still reads back, whatever follows.
    const QString mark(QChar(0xFEFF));
    const QStringList names = {mark, mark + mark + "x", mark + "[s]", mark + ";c"};
    for (const QString& name : names) {
        Save(reg, "Startup", name, name);
    }
    cRegistry back = Reopened(reg.FileName());
    for (const QString& name : names) {
        EXPECT_EQ(Get(back, "Startup", name), name);
    }
    EXPECT_TRUE(back.SkippedLines().isEmpty()) << qPrintable(back.SkippedLines().join('|'));
}
