// Arbitrary bytes as a hand-edited settings file, read under the names the
// program uses; then text made from the bytes stored in a new file and read
// back.
//
// Checked besides memory safety: reading a readable file succeeds; a value
// read holds a line break only from the quoted form's codes for one, and a
// blank at either end only from the quoted form; every skipped line is named
// once, as "line N: ..." with N a line of the file; text stored under names
// made from the bytes reads back exactly.

#include "Fuzzing.h"
#include "shell/Registry.h"

#include <QSet>
#include <QStringList>
#include <cstdint>
#include <exception>

using namespace kelvar;

namespace {

struct Name {
    QString section;
    QString key;
};

// Names the program reads, in the file's sections and elsewhere.
const Name KnownNames[] = {
    {QStringLiteral("Settings"), QStringLiteral("PacketTimeout")},
    {QStringLiteral("SensorList"), QStringLiteral("Sensor001")},
    {QStringLiteral("Communications"), QStringLiteral("Port")},
};

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Runs one call of the store; it must not throw.
template <typename Call> bool Calling(const char* what, const QByteArray& bytes, Call call) {
    try {
        return call();
    } catch (const std::exception& e) {
        fuzz::Violated(what, e.what(), bytes);
    } catch (...) {
        fuzz::Violated(what, "something not an exception", bytes);
    }
}

void CheckRead(cRegistry& reg, const QByteArray& bytes) {
    if (!Calling("RegGet threw", bytes, [&reg] { return reg.RegGet(); })) {
        fuzz::Violated("a readable file did not read", "error", reg.ErrorText().toUtf8());
    }
    const QString& value = reg.Setting();
    const qsizetype breaks = value.count(u'\r') + value.count(u'\n');
    const qsizetype codes = bytes.toLower().count("%0d") + bytes.toLower().count("%0a");
    if (breaks > codes || (breaks > 0 && !bytes.contains('"'))) {
        fuzz::Violated("a line break read from outside quotes", "value", value.toUtf8());
    }
    if (!value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back())) &&
        !bytes.contains('"')) {
        fuzz::Violated("a blank at an end read from outside quotes", "value", value.toUtf8());
    }
}

// Every skipped line once, as "line N: " with N from 1 to the file's last
// line, whatever ends its lines.
void CheckSkipped(const QStringList& skipped, const QByteArray& bytes) {
    const qsizetype lineCount = bytes.count('\n') + bytes.count('\r') + 1;
    const QLatin1String prefix("line ");
    for (const QString& entry : skipped) {
        const qsizetype colon = entry.indexOf(QLatin1String(": "));
        bool ok = false;
        const qsizetype number =
            colon < 0 ? 0 : entry.mid(prefix.size(), colon - prefix.size()).toLongLong(&ok);
        if (!entry.startsWith(prefix) || !ok || number < 1 || number > lineCount) {
            fuzz::Violated("a skipped line not named by its number", "entry", entry.toUtf8());
        }
    }
    if (QSet<QString>(skipped.begin(), skipped.end()).size() != skipped.size()) {
        fuzz::Violated("a skipped line named twice", "entries", skipped.join(u'|').toUtf8());
    }
}

// Stores text under names made from it in a file of its own and reads it
// back through another store.
void CheckRoundTrip(const QString& path, const QString& text, const QByteArray& bytes) {
    const QString firstLine = text.section(u'\n', 0, 0);
    const QString secondLine = text.section(u'\n', 1, 1);
    const Name name{firstLine.isEmpty() ? QStringLiteral("Settings") : firstLine,
                    secondLine.isEmpty() ? QStringLiteral("Key") : secondLine};
    cRegistry writer(path);
    writer.setSection(name.section);
    writer.setKey(name.key);
    writer.setSetting(text);
    if (!Calling("RegSave threw", bytes, [&writer] { return writer.RegSave(); })) {
        fuzz::Violated("a valid value was not saved", "error", writer.ErrorText().toUtf8());
    }
    cRegistry reader(path);
    reader.setSection(name.section);
    reader.setKey(name.key);
    if (!Calling("RegGet threw", bytes, [&reader] { return reader.RegGet(); })) {
        fuzz::Violated("a saved value did not read", "error", reader.ErrorText().toUtf8());
    }
    if (reader.Setting() != text) {
        fuzz::Violated("a saved value read back otherwise", "value read",
                       reader.Setting().toUtf8());
    }
    if (!reader.SkippedLines().isEmpty()) {
        fuzz::Violated("a file the store wrote has lines it skips", "entries",
                       reader.SkippedLines().join(u'|').toUtf8());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::NeedApplication();
    // New files each time: QSettings trusts what it read of a file until the
    // file's size or time changes, and two runs may write both alike.
    static std::uint64_t run = 0;
    ++run;
    const QString handWritten = fuzz::ScratchPath(QStringLiteral("hand-%1.ini").arg(run));
    const QString stored = fuzz::ScratchPath(QStringLiteral("stored-%1.ini").arg(run));

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    fuzz::WriteFile(handWritten, bytes);
    cRegistry reg(handWritten);
    for (const Name& name : KnownNames) {
        reg.setSection(name.section);
        reg.setKey(name.key);
        CheckRead(reg, bytes);
    }
    CheckSkipped(reg.SkippedLines(), bytes);

    CheckRoundTrip(stored, QString::fromUtf8(bytes), bytes);
    QFile::remove(handWritten);
    QFile::remove(stored);
    return 0;
}
