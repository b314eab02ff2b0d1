#include "ui/MachineWork.h"

#include "operations/JsonDocuments.h"
#include "operations/Session.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace kelvar {

namespace {

// A line per port saying what its work does now, and Cancel. Closing the
// dialog cancels too; it stays up until the work has stopped.
class cMachineProgress : public QDialog {
public:
    cMachineProgress(const QString& title, const QList<int>& ports, cMachineBackup& machine,
                     QWidget* parent)
        : QDialog(parent), machine_(machine) {
        setObjectName(QStringLiteral("dlgMachineProgress"));
        setWindowTitle(title);
        auto* layout = new QVBoxLayout(this);
        lines_ = new QVBoxLayout;
        layout->addLayout(lines_);
        for (const int port : ports) {
            Show(port, QStringLiteral("waiting"));
        }
        cancel_ = new QPushButton(QStringLiteral("Cancel"));
        cancel_->setObjectName(QStringLiteral("cmdMachineCancel"));
        auto* buttons = new QDialogButtonBox;
        buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
        connect(buttons, &QDialogButtonBox::rejected, this, &cMachineProgress::reject);
        layout->addWidget(buttons);
        setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60);
    }

    void Show(int port, const QString& doing) {
        const QString name = QStringLiteral("lblMachinePort_%1").arg(port);
        auto* line = findChild<QLabel*>(name);
        if (line == nullptr) {
            line = new QLabel;
            line->setObjectName(name);
            lines_->addWidget(line);
        }
        line->setText(QStringLiteral("Comm %1: %2").arg(port).arg(doing));
    }

    void reject() override {
        machine_.Cancel();
        cancel_->setEnabled(false);
    }

private:
    cMachineBackup& machine_;
    QVBoxLayout* lines_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

const QStringList Columns{QStringLiteral("Port"),   QStringLiteral("Address"),
                          QStringLiteral("Serial"), QStringLiteral("Model"),
                          QStringLiteral("State"),  QStringLiteral("Differences")};

// The result dialog: a line of what was done and a table of the sensors.
QDialog* MakeResultDialog(QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("dlgMachineResult"));
    auto* layout = new QVBoxLayout(dialog);
    auto* summary = new QLabel;
    summary->setObjectName(QStringLiteral("lblMachineResult"));
    summary->setWordWrap(true);
    layout->addWidget(summary);
    auto* table = new QTableWidget(0, static_cast<int>(Columns.size()));
    table->setObjectName(QStringLiteral("tblMachineResult"));
    table->setHorizontalHeaderLabels(Columns);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->resize(dialog->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 110,
                   dialog->fontMetrics().height() * 24);
    return dialog;
}

void FillResult(QDialog& dialog, const QString& title, const QString& summary,
                const QList<MachineRow>& rows) {
    dialog.setWindowTitle(title);
    dialog.findChild<QLabel*>(QStringLiteral("lblMachineResult"))->setText(summary);
    auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("tblMachineResult"));
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < table->rowCount(); ++r) {
        const MachineRow& row = rows.at(r);
        const QStringList cells{QStringLiteral("Comm %1").arg(row.port),
                                QString::number(row.address),
                                row.serial,
                                row.model,
                                row.state,
                                row.differences.join(u'\n')};
        for (int c = 0; c < cells.size(); ++c) {
            table->setItem(r, c, new QTableWidgetItem(cells.at(c)));
        }
    }
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
}

} // namespace

cMachineWork::cMachineWork(cSession& session, QWidget& window)
    : session_(session), window_(window) {}

QString cMachineWork::ChooseFolder(const QString& title) {
    const QString start = lastFolder_.isEmpty()
                              ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                              : lastFolder_;
    const QString folder = session_.view.AskFolder(title, start);
    if (!folder.isEmpty()) {
        lastFolder_ = folder;
    }
    return folder;
}

std::optional<cMachineBackup::VerifyResult> cMachineWork::ChooseBackup(cMachineBackup& machine,
                                                                       const QString& title) {
    const QString folder = ChooseFolder(title);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    // Checked whole before anything is sent.
    cMachineBackup::VerifyResult backup = machine.ReadBackup(folder);
    if (!backup.refusal.isEmpty()) {
        session_.view.Ask(title, backup.refusal, MessageIcon::Exclamation, MessageButtons::Ok);
        return std::nullopt;
    }
    return backup;
}

void cMachineWork::Work(cMachineBackup& machine, const QString& title,
                        const std::function<void()>& work) {
    cMachineProgress progress(title, machine.Ports(), machine, &window_);
    machine.portProgress = [&progress](int port, const QString& doing) {
        progress.Show(port, doing);
    };
    progress.open();
    work();
    machine.portProgress = nullptr;
}

void cMachineWork::Finish(const QString& title, const QString& folder,
                          const QList<MachineRow>& rows, bool cancelled) {
    cLog& log = session_.log;
    const QString where = QDir::toNativeSeparators(folder);
    log.AppendLog(title + QStringLiteral(": ") + where, 0, true);
    for (const MachineRow& row : rows) {
        log.AppendLog(RowText(row), 1);
    }
    const QString stopped = QStringLiteral("Cancelled before the end.");
    if (cancelled) {
        log.AppendLog(stopped, 1);
    }
    if (result_ == nullptr) {
        result_ = MakeResultDialog(&window_);
    }
    FillResult(
        *result_, title,
        where + (rows.isEmpty() ? QStringLiteral(": no sensor answered on any port") : QString()) +
            (cancelled ? u'\n' + stopped : QString()),
        rows);
    result_->show();
    result_->raise();
    if (session_.view.VisibleTab() == Tab::Monitor) {
        session_.monitor.Start();
    }
}

void cMachineWork::BackUpAll() {
    const QString title = QStringLiteral("Back Up All Sensors");
    const QString folder = ChooseFolder(title);
    if (folder.isEmpty()) {
        return;
    }
    const bool held = QFileInfo::exists(QDir(folder).filePath(cMachineBackup::ManifestName));
    if (held &&
        session_.view.Ask(title,
                          QStringLiteral("%1 holds a backup already.\r\n\r\nBack up all "
                                         "sensors into it in place of that backup?")
                              .arg(QDir::toNativeSeparators(folder)),
                          MessageIcon::Exclamation, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    cMachineBackup machine(session_);
    cMachineBackup::BackupResult result;
    Work(machine, title, [&] { result = machine.Backup(folder, held); });
    // A folder that could not be made or written to is all there is to say.
    if (!result.sensors.isEmpty() || result.error.isEmpty()) {
        Finish(title, folder, BackupRows(result.sensors), machine.Cancelled());
    }
    if (!result.error.isEmpty()) {
        session_.view.Ask(title, result.error, MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

void cMachineWork::CompareWithBackup() {
    const QString title = QStringLiteral("Compare With Backup");
    cMachineBackup machine(session_);
    std::optional<cMachineBackup::VerifyResult> backup = ChooseBackup(machine, title);
    if (!backup) {
        return;
    }
    Work(machine, title, [&] { machine.Verify(*backup); });
    Finish(title, backup->folder, CompareRows(*backup), machine.Cancelled());
}

void cMachineWork::RestoreFromBackup() {
    const QString title = QStringLiteral("Restore From Backup");
    cMachineBackup machine(session_);
    std::optional<cMachineBackup::VerifyResult> backup = ChooseBackup(machine, title);
    if (!backup) {
        return;
    }
    // The review before a write is the write: what is agreed to is what goes.
    machine.confirmWrite = [this](const cMachineBackup::VerifiedSensor& sensor) {
        return session_.apply.ReviewWrites(sensor.differences,
                                           QStringLiteral("%1 on Comm %2, serial %3")
                                               .arg(sensor.found->address)
                                               .arg(sensor.found->port)
                                               .arg(sensor.found->serial));
    };
    // The window's own sensor, to be read again if the restore wrote anything.
    const bool loaded = session_.link.StateFlags.TestBit(StateBit::DataLoaded);
    const int selected = session_.sensors.SensorNumber();
    Work(machine, title, [&] { machine.Restore(*backup, {}); });
    const bool written =
        std::any_of(backup->sensors.cbegin(), backup->sensors.cend(),
                    [](const cMachineBackup::VerifiedSensor& sensor) { return sensor.written; });
    // What the sensors did not confirm is kept for the service record, as
    // kelvar-cli restore keeps it.
    if (QString error; written && !SaveRestoreRecord(backup->folder, RestoreJson(*backup), error)) {
        session_.view.Ask(title, error, MessageIcon::Exclamation, MessageButtons::Ok);
    }
    if (written && loaded) {
        session_.read.LoadSensor(selected, true);
    }
    Finish(title, backup->folder, RestoreRows(*backup), machine.Cancelled());
}

} // namespace kelvar
