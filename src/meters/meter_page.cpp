#include "meters/meter_page.h"

#include <QDate>
#include <QTime>

#include "app/live_settings.h"
#include "app/local_time_text.h"
#include "app/operator_interface.h"
#include "app/qt_text.h"
#include "link/communication_log.h"
#include "link/operation_runner.h"
#include "mbus/address.h"
#include "mbus/frames.h"
#include "meters/meter_operations.h"
#include "meters/search_descent.h"
#include "meters/secondary_search.h"

namespace veltro {
namespace {

QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

std::vector<std::string> TitlesOf(const AdditionalTitles& titles) {
    std::vector<std::string> result;
    for (int k = 0; k < titles.count && k < kAdditionalTitleCount; ++k) result.push_back(titles.titles[static_cast<std::size_t>(k)]);
    return result;
}

bool WorksOnTheTable(BusOperation kind) {
    return kind != BusOperation::None && kind != BusOperation::Console;
}

} // namespace

MeterPage::MeterPage(OperationRunner& runner, CommunicationLog& log, LiveSettings& settings,
                     OperatorInterface& operatorInterface, QObject* parent)
    : QObject(parent), m_runner(runner), m_log(log), m_settings(settings), m_operator(operatorInterface),
      m_table(settings.mainWindow().titles.count, settings.language(), TitlesOf(settings.mainWindow().titles)) {
    connect(&m_runner, &OperationRunner::operationEnded, this, [this](BusOperation kind) { operationEnded(kind); });
    updateCaptions();
}

void MeterPage::setBroadcast(bool on) {
    m_broadcast = on;
    if (m_page.broadcastChecked == on) return;
    m_page.broadcastChecked = on;
    emit pageStateChanged();
}

void MeterPage::showRow(int row) {
    m_table.selectCell(row, 0);
    emit tableChanged();
}

BusOperation MeterPage::busOperation() const { return m_runner.currentKind(); }

int MeterPage::responseWindow() const { return m_runner.responseWindow(); }

int MeterPage::retries() const { return m_settings.settings().misc.retry; }

void MeterPage::updateCaptions() {
    const Language language = m_settings.language();
    m_page.findCaption = QtText(scanActive() ? TextId::StopCaption : TextId::FindCaption, language);
    m_page.readAllCaption = QtText(TextId::ReadAllCaption, language);
    m_page.autoAddressCaption = QtText(busOperation() == BusOperation::AutoAddressing ? TextId::StopAddressingCaption
                                                                                       : TextId::AutoAddressCaption,
                                       language);
}

void MeterPage::applyLanguage() {
    m_table.setHeader(m_settings.language(), TitlesOf(m_settings.mainWindow().titles));
    updateCaptions();
    emit tableChanged();
    emit pageStateChanged();
}

void MeterPage::applyTitles() {
    m_table.setAdditionalCount(m_settings.mainWindow().titles.count, TitlesOf(m_settings.mainWindow().titles));
    m_table.setHeader(m_settings.language(), TitlesOf(m_settings.mainWindow().titles));
    emit tableChanged();
}

// The row the operator flagged, as it stands: decodes and the cursor that follows them move the
// selected address, never the flag, so a command cannot drift to the last meter read.
SingleRead::Request MeterPage::singleRowRequest() const {
    SingleRead::Request request;
    const std::vector<int> flagged = m_table.selectedRows();
    request.nothingSelected = flagged.empty();
    const std::string address = flagged.empty() ? std::string() : m_table.cell(flagged.front(), MeterTable::kAddressColumn);
    request.addressText = QString::fromStdString(address.empty() ? std::string("256") : address);
    request.target = MeterTable::AddressOf(address);
    request.broadcast = m_broadcast;
    request.multiTelegram = m_settings.settings().misc.multitelegram;
    request.use5B = m_settings.settings().misc.use5B;
    return request;
}

DecodeSettings MeterPage::decodeSettings(bool fullRead) const {
    DecodeSettings s;
    s.fullRead = fullRead;
    s.additionalCount = m_settings.mainWindow().titles.count;
    s.decodeApator = m_settings.settings().misc.decodeApator;
    const QString mark = m_locale.decimalPoint();
    s.decimalSeparator = mark.size() == 1 && mark[0].unicode() < 0x80 ? static_cast<char>(mark[0].unicode()) : '.';
    s.localTime = LongTimeText(QTime::currentTime(), m_locale).toStdString();
    s.localDate = ShortDateText(QDate::currentDate(), m_locale).toStdString();
    return s;
}

MeterPage::Applied MeterPage::apply(const Telegram& response, Placement placement, bool fullRead) {
    const MeterResponse decoded = DecodeMeterResponse(response, decodeSettings(fullRead));
    for (const auto& line : decoded.log) m_log.append(Latin1(line));
    if (!decoded.report.log.empty() || !decoded.report.rows.empty()) {
        m_report.append(decoded.report);
        emit reportChanged();
    }
    if (decoded.showReport) emit reportShown();
    if (decoded.tableRow && !m_table.place(*decoded.tableRow, placement).empty()) emit tableChanged();
    if (decoded.valid && decoded.header) emit responseDecoded(decoded);
    return {decoded.valid, decoded.moreRecordsPending};
}

// ---- commands ------------------------------------------------------------------------------------

void MeterPage::readSelected() {
    if (m_runner.refuseWhenBusy()) return;
    if (m_table.selectedRows().size() > 1) {
        startSelectedRows();
        return;
    }
    startSingleRead(false);
}

void MeterPage::fullRead() {
    if (m_runner.refuseWhenBusy()) return;
    startSingleRead(true);
}

void MeterPage::startSingleRead(bool fullRead) {
    SingleRead::Request request = singleRowRequest();
    request.useSndNke = m_useSndNke;
    request.fullRead = fullRead;
    m_runner.start(new SingleRead(*this, std::move(request)));
}

void MeterPage::findId(const std::string& text, bool startedByGateway) {
    const IdFieldCheck check = CheckIdField(text);
    for (const auto& line : check.log) m_log.append(QString::fromStdString(line));
    if (check.request == IdFieldRequest::Refused || m_runner.refuseWhenBusy()) return;
    if (check.request == IdFieldRequest::FullSearch) {
        startSearch(startedByGateway);
        return;
    }
    m_runner.start(new SecondarySelection(*this, text));
}

bool MeterPage::askToClearTable() {
    const Language language = m_settings.language();
    const OperatorInterface::Answer answer =
        m_operator.question(QtText(TextId::ClearConfirmationTitle, language), QtText(TextId::ClearConfirmationQuestion, language),
                            OperatorInterface::Buttons::YesNoCancel);
    if (answer == OperatorInterface::Answer::Cancel) return false;
    if (answer == OperatorInterface::Answer::Yes) clearTable();
    return true;
}

void MeterPage::startSearch(bool startedByGateway) {
    if (!startedByGateway && !askToClearTable()) return;
    const Settings::Misc& misc = m_settings.settings().misc;
    SecondarySearch::Options options;
    options.direction = misc.lsbSearch ? SearchDirection::LsbFirst : SearchDirection::MsbFirst;
    options.globalInit = misc.globalInit;
    options.use5B = misc.use5B;
    options.retries = retries();
    options.decode = decodeSettings(false);
    auto* search = new SecondarySearch(*this, options);
    connect(search, &SecondarySearch::progressed, this, &MeterPage::setProgressPosition);
    connect(&m_settings, &LiveSettings::settingsChanged, search, [this, search] { search->setRetries(retries()); });
    connect(search, &Operation::finished, this, [this, search, options] {
        m_lastSearch = SearchReport{options.direction, options.retries, search->statistics(), search->elapsedMilliseconds()};
    });
    setCommandsForSearch(false);
    setProgress(kProgressMinimum, kProgressMaximum, kProgressMinimum, true);
    m_runner.start(search);
}

void MeterPage::stopSecondary() {
    if (busOperation() == BusOperation::SecondarySearch) m_runner.stopCurrent();
}

void MeterPage::placeSearchAnswer(const Telegram& answer) {
    const MeterResponse decoded = DecodeMeterResponse(answer, decodeSettings(false));
    if (!decoded.report.log.empty() || !decoded.report.rows.empty()) {
        m_report.append(decoded.report);
        emit reportChanged();
    }
    if (decoded.tableRow && !m_table.place(*decoded.tableRow, Placement::ById).empty()) emit tableChanged();
}

bool MeterPage::sendConfiguration(const Telegram& telegram, bool readBack) {
    if (m_runner.refuseWhenBusy()) return false;
    SingleRead::Request request = singleRowRequest();
    request.nothingSelected = false;
    request.configuration = telegram;
    request.readBack = readBack;
    return m_runner.start(new SingleRead(*this, std::move(request)));
}

std::vector<RowTarget> MeterPage::flaggedTargets() const {
    std::vector<RowTarget> targets;
    for (int row : m_table.selectedRows()) targets.push_back(targetOf(row));
    return targets;
}

RowTarget MeterPage::targetOf(int row) const {
    return {row, MeterTable::AddressOf(m_table.cell(row, MeterTable::kAddressColumn)), m_table.cell(row, 0),
            m_table.cell(row, MeterTable::kMediumColumn), m_table.cell(row, MeterTable::kManufacturerColumn)};
}

void MeterPage::startSelectedRows() {
    startBatch(BusOperation::SelectedRows, std::make_unique<MeterReadStrategy>(*this, m_settings.settings().misc.use5B));
}

bool MeterPage::startBatch(BusOperation kind, std::unique_ptr<RowStrategy> strategy) {
    if (m_runner.refuseWhenBusy()) return false;
    std::vector<RowTarget> targets = flaggedTargets();
    if (targets.empty()) return false;
    const int count = static_cast<int>(targets.size());
    auto* cycle = new RowCycle(kind, std::move(targets), std::move(strategy), retries());
    connect(cycle, &RowCycle::advanced, this, [this](int index) { setProgressPosition(1 + index); });
    m_page.searchGroupEnabled = false;
    m_page.advancedEnabled = false;
    setProgress(1, count + 1, 1, true);
    return m_runner.start(cycle);
}

void MeterPage::readAll() {
    if (m_table.rowCount() == 2 && m_table.cell(1, MeterTable::kAddressColumn).empty()) return;
    if (m_runner.refuseWhenBusy()) return;
    std::vector<RowTarget> rows;
    for (int row = 1; row < m_table.rowCount(); ++row)
        rows.push_back({row, MeterTable::AddressOf(m_table.cell(row, MeterTable::kAddressColumn)), m_table.cell(row, 0)});
    auto* cycle = new ReadAllCycle(*this, std::move(rows), retries(), m_settings.settings().misc.use5B);
    const int maximum = std::max(2, m_table.rowCount() - 1);
    connect(cycle, &RowCycle::advanced, this, [this, maximum](int index) { setProgressPosition(std::min(1 + index, maximum - 1)); });
    setCommandsForReadAll(false);
    setProgress(1, maximum, 1, true);
    m_runner.start(cycle);
}

void MeterPage::findPrimary(std::optional<int> from, std::optional<int> to, bool startedByGateway) {
    if (scanActive()) {
        stopScan();
        return;
    }
    if (!from || !to) return;
    if (m_runner.refuseWhenBusy()) return;
    if (!startedByGateway) {
        if (!askToClearTable()) return;
    } else {
        clearTable();
    }

    int first = std::clamp(*from, 0, kLastScanAddress);
    int last = std::clamp(*to, 0, kLastScanAddress);
    if (first > last) {
        std::swap(first, last);
        MainWindowState state = m_settings.mainWindow();
        state.searchFrom = first;
        state.searchTo = last;
        m_settings.setMainWindow(state);
        emit scanRangeChanged(first, last);
    }
    const Settings::Misc& misc = m_settings.settings().misc;
    auto* scan = new PrimaryScan(*this, first, last, retries(), m_useSndNke, misc.use5B);
    if (misc.globalInit)
        scan->setPrelude({BuildSndNke(kBroadcastNoReply), SendKind::Telegram, {}}, kGlobalInitWaitMilliseconds);
    const int maximum = last - first;
    connect(scan, &RowCycle::advanced, this, [this, maximum](int index) { setProgressPosition(std::min(index, maximum)); });
    if (!m_runner.start(scan)) return;
    if (!scanActive()) return;  // the link could not be had
    updateCaptions();
    setCommandsForScan(false);
    setProgress(0, maximum, 0, true);
}

void MeterPage::stopScan() {
    if (scanActive()) m_runner.stopCurrent();
}

void MeterPage::operationEnded(BusOperation kind) {
    switch (kind) {
    case BusOperation::Scan:
        updateCaptions();
        setCommandsForScan(true);
        break;
    case BusOperation::ReadAll:
        setCommandsForReadAll(true);
        updateCaptions();
        break;
    case BusOperation::SecondarySearch:
        setCommandsForSearch(true);
        break;
    case BusOperation::AutoAddressing:
        setCommandsForAutoAddressing(false);
        return;
    case BusOperation::SelectedRows:
    case BusOperation::Configuration:
        m_page.searchGroupEnabled = true;
        m_page.advancedEnabled = true;
        updateCaptions();
        break;
    default: return;
    }
    setProgress(m_page.progress.minimum, m_page.progress.maximum, 0, false);
}

// ---- selection and edits ---------------------------------------------------------------------------

void MeterPage::selectCell(int row, int column) { m_table.selectCell(row, column); }

void MeterPage::mouseRelease(int row, bool control) {
    m_table.mouseRelease(row, control);
    emit tableChanged();
}

void MeterPage::doubleClick() { m_table.doubleClick(); }

void MeterPage::setRowSelected(int row, bool selected) {
    m_table.setRowSelected(row, selected);
    emit tableChanged();
}

bool MeterPage::tableInUse() {
    if (!WorksOnTheTable(busOperation())) return false;
    m_log.append(kTableBusyMessage);
    return true;
}

bool MeterPage::clearTable() {
    if (tableInUse()) return false;
    m_table.clear();
    emit tableChanged();
    return true;
}

void MeterPage::clearRows() {
    m_table.clear();
    emit tableChanged();
}

std::vector<int> MeterPage::appendIdentifications(const std::vector<std::string>& ids) {
    std::vector<int> rows;
    for (const std::string& id : ids)
        if (const std::optional<int> row = m_table.appendIdentification(id)) rows.push_back(*row);
    emit tableChanged();
    return rows;
}

void MeterPage::writeCell(int row, int column, const std::string& text) {
    if (row < 1 || row >= m_table.rowCount() || column < 0 || column >= m_table.columnCount()) return;
    m_table.setCell(row, column, text);
    emit tableChanged();
}

bool MeterPage::deleteSelectedRow() {
    if (tableInUse()) return false;
    m_table.deleteSelectedRow();
    emit tableChanged();
    return true;
}

bool MeterPage::addRowBelowSelected() {
    if (tableInUse()) return false;
    const bool added = m_table.addRowBelowSelected();  // refused at the table's 450 rows
    emit tableChanged();
    return added;
}

bool MeterPage::replaceRows(const std::vector<std::vector<std::string>>& rows) {
    if (tableInUse()) return false;
    m_table.replaceRows(rows);
    emit tableChanged();
    return true;
}

bool MeterPage::importTable(const ImportedTable& imported) {
    if (tableInUse()) return false;
    ApplyImport(m_table, imported);
    emit tableChanged();
    return true;
}

bool MeterPage::setKeyCells(const std::vector<int>& rows, const std::string& key) {
    if (tableInUse()) return false;
    for (const int row : rows)
        if (row >= 1) m_table.setCell(row, MeterTable::kKeyColumn, key);
    emit tableChanged();
    return true;
}

// ---- page state ----------------------------------------------------------------------------------

void MeterPage::setCommandsForScan(bool enabled) {
    m_page.readAllEnabled = enabled;
    m_page.readOnceEnabled = enabled;
    m_page.advancedEnabled = enabled;
    m_page.findIdEnabled = enabled;
    m_page.findAllEnabled = enabled;
    m_page.commandSendEnabled = enabled;
    m_page.autoAddressEnabled = enabled;
    emit pageStateChanged();
}

void MeterPage::setCommandsForReadAll(bool enabled) {
    m_page.searchGroupEnabled = enabled;
    m_page.advancedEnabled = enabled;
    m_page.commandSendEnabled = enabled;
    m_page.autoAddressEnabled = enabled;
    m_page.readOnceEnabled = enabled;
    emit pageStateChanged();
}

void MeterPage::setCommandsForSearch(bool enabled) {
    m_page.advancedEnabled = enabled;
    m_page.findPrimaryEnabled = enabled;
    m_page.findIdEnabled = enabled;
    m_page.findAllEnabled = enabled;
    m_page.idFieldEnabled = enabled;
    m_page.readAllEnabled = enabled;
    m_page.readOnceEnabled = enabled;
    m_page.autoAddressEnabled = enabled;
    m_page.loadDataEnabled = enabled;
    m_page.saveDataEnabled = enabled;
    m_page.broadcastEnabled = enabled;
    m_page.commandSendEnabled = enabled;
    m_page.stopSecondaryVisible = !enabled;
    emit pageStateChanged();
}

void MeterPage::setCommandsForAutoAddressing(bool running) {
    m_page.findPrimaryEnabled = !running;
    m_page.readAllEnabled = !running;
    m_page.readOnceEnabled = !running;
    m_page.commandSendEnabled = !running;
    m_page.advancedEnabled = !running;
    m_page.findIdEnabled = !running;
    m_page.findAllEnabled = !running;
    updateCaptions();
    if (running) m_page.autoAddressCaption = QtText(TextId::StopAddressingCaption, m_settings.language());
    emit pageStateChanged();
}

void MeterPage::setProgress(int minimum, int maximum, int position, bool visible) {
    m_page.progress = {minimum, maximum, position, visible};
    emit pageStateChanged();
}

void MeterPage::setProgressPosition(int position) {
    if (m_page.progress.position == position) return;
    m_page.progress.position = position;
    emit pageStateChanged();
}

} // namespace veltro
