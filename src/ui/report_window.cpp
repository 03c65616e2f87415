#include "ui/report_window.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "meters/meter_page.h"
#include "meters/table_file.h"
#include "app/save_file.h"
#include "ui/meter_grid.h"
#include "ui/named_widgets.h"

namespace veltro {
namespace {

const QString kTextFilter = QStringLiteral("TXT files (*.txt)");
const QString kErrorTitle = QStringLiteral("Error saving file");

} // namespace

TFormFullMbus::TFormFullMbus(Engine& engine, QWidget* parent) : QDialog(parent), m_engine(engine) {
    setObjectName(QStringLiteral("TFormFullMbus"));
    setWindowTitle(QStringLiteral("Detailed m-bus report"));
    // On top of the other windows, no close button in the title bar: "Close" closes it.
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    Memo_fullMbus = NamedLogView("Memo_fullMbus", this);
    layout->addWidget(Memo_fullMbus, 1);

    auto* buttons = new QHBoxLayout;
    QPushButton* clear = NamedButton("Butt_clear", QStringLiteral("Clear"), this);
    QPushButton* save = NamedButton("Butt_save", QStringLiteral("Save"), this);
    QPushButton* exportCsv = NamedButton("Butt_export", QStringLiteral("Export CSV"), this);
    QPushButton* closeButton = NamedButton("Butt_close", QStringLiteral("Close"), this);
    for (QPushButton* button : {clear, save, exportCsv, closeButton}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    resize(820, 560);

    connect(clear, &QPushButton::clicked, this, &TFormFullMbus::ClearClick);
    connect(save, &QPushButton::clicked, this, &TFormFullMbus::SaveClick);
    connect(exportCsv, &QPushButton::clicked, this, &TFormFullMbus::ExportClick);
    connect(closeButton, &QPushButton::clicked, this, &TFormFullMbus::CloseClick);
    connect(&m_engine.meters(), &MeterPage::reportChanged, this, &TFormFullMbus::refresh);
    connect(&m_engine.meters(), &MeterPage::reportShown, this, &TFormFullMbus::showReport);
    refresh();
}

void TFormFullMbus::refresh() {
    QStringList lines;
    for (const std::string& line : m_engine.meters().report().log()) lines.append(DisplayText(line));
    Memo_fullMbus->setPlainText(lines.join(QLatin1Char('\n')));
    Memo_fullMbus->moveCursor(QTextCursor::End);
}

void TFormFullMbus::showReport() {
    refresh();
    if (!isVisible() && m_centreOn) {
        const QRect area = m_centreOn->frameGeometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
}

void TFormFullMbus::ClearClick() {
    m_engine.meters().report().clear();
    refresh();
}

void TFormFullMbus::SaveClick() {
    OperatorInterface& op = m_engine.operatorInterface();
    const auto chosen = op.saveFileName(QString::fromStdString(m_engine.settings().mainWindow().dir), QString(), kTextFilter);
    if (!chosen || chosen->isEmpty()) return;
    QString error;
    if (SaveFileAtomically(*chosen, m_engine.meters().report().logText(), &error)) return;
    // The report log itself tells of the failure.
    m_engine.meters().report().append(ReportAppend{{(kSaveFailedPrefix + error).toStdString()}, {}});
    refresh();
}

void TFormFullMbus::ExportClick() {
    OperatorInterface& op = m_engine.operatorInterface();
    const auto chosen = op.saveFileName(QString::fromStdString(m_engine.settings().mainWindow().dir),
                                        QString::fromLatin1(DetailedReport::kProposedCsvName), kTextFilter);
    if (!chosen || chosen->isEmpty()) return;
    const std::string& separator = m_engine.settings().settings().misc.exportSeparator;
    const std::string text = m_engine.meters().report().csvText(separator.empty() ? ';' : separator.front());
    if (!SaveFileAtomically(*chosen, text))
        op.message(kErrorTitle, QString::fromLatin1(kExportWriteFailedMessage), OperatorInterface::Icon::Error);
}

void TFormFullMbus::CloseClick() { hide(); }

} // namespace veltro
