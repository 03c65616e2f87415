#include "meters/meter_configuration.h"

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "app/qt_text.h"
#include "decode/medium_table.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "mbus/frames.h"
#include "mbus/hex.h"
#include "meters/configuration_telegrams.h"
#include "meters/meter_operations.h"
#include "meters/meter_page.h"

namespace veltro {
namespace {

QString Text(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

std::string Std(const QString& text) { return text.toStdString(); }

} // namespace

MeterConfiguration::MeterConfiguration(MeterPage& page, FreeCommandConsole& console, QObject* parent)
    : QObject(parent), m_page(page), m_console(console) {}

void MeterConfiguration::log(std::string_view line) { m_page.log().append(Text(line)); }

std::optional<RowTarget> MeterConfiguration::oneRow(std::string_view refusal) {
    const std::vector<RowTarget> rows = m_page.flaggedTargets();
    if (rows.size() == 1) return rows.front();
    log(refusal);
    return std::nullopt;
}

std::optional<std::uint8_t> MeterConfiguration::addressOf(const RowTarget& target) const {
    if (m_page.broadcast()) return static_cast<std::uint8_t>(kBroadcastWithReply);
    if (!target.address) return std::nullopt;
    return static_cast<std::uint8_t>(*target.address);
}

bool MeterConfiguration::sendToOne(const RowTarget& target, Telegram telegram, bool readBack, SendKind kind) {
    if (m_page.runner().refuseWhenBusy()) return false;
    SingleRead::Request request;
    request.kind = BusOperation::Configuration;
    request.addressText = m_page.broadcast() ? QString::number(kBroadcastWithReply)
                                             : QString::fromStdString(target.address ? std::to_string(*target.address) : "256");
    request.target = target.address;
    request.broadcast = m_page.broadcast();
    request.configuration = std::move(telegram);
    request.configurationKind = kind;
    request.readBack = readBack;
    request.use5B = m_page.settings().settings().misc.use5B;
    return m_page.runner().start(new SingleRead(m_page, std::move(request)));
}

bool MeterConfiguration::sendToRows(std::function<std::optional<Outgoing>(const RowTarget&)> build) {
    return m_page.startBatch(BusOperation::Configuration, std::make_unique<ConfigurationStrategy>(m_page, std::move(build)));
}

void MeterConfiguration::reset() {
    const auto target = oneRow(kNothingOrTooManySelected);
    if (!target) return;
    if (const auto address = addressOf(*target)) sendToOne(*target, BuildSndNke(*address), false);
}

void MeterConfiguration::setAddress(const QString& newAddressText) {
    const auto newAddress = CheckNewAddress(Std(newAddressText));
    if (!newAddress) return log(newAddress.refusal);
    const auto target = oneRow(kNothingOrTooManySelected);
    if (!target) return;
    if (m_page.broadcast()) {
        sendToOne(*target, BuildSetAddress(kBroadcastWithReply, *newAddress.value), false);
        return;
    }
    // Through the secondary address, so meters sharing the row's address are not all renumbered.
    if (target->identification.empty()) return;
    const auto id = CheckIdentification(target->identification);
    if (!id) return log(id.refusal);
    if (m_page.runner().refuseWhenBusy()) return;
    m_page.runner().start(new SecondarySelection(
        m_page, *id.value, Outgoing{BuildSetAddress(kSecondaryAddress, *newAddress.value), SendKind::Telegram, {}},
        BusOperation::Configuration));
}

void MeterConfiguration::setIdentification(const QString& identification) {
    const std::string id = Std(identification);
    if (id.size() != 8) return;
    const auto target = oneRow(kNothingOrTooManySelected);
    if (!target) return;
    const auto address = addressOf(*target);
    if (!address) return;
    const auto telegram = BuildSetIdentification(*address, id);
    if (!telegram) return m_page.log().append(QStringLiteral("Exception changing address - ") + Text(kIncorrectId));
    sendToOne(*target, *telegram, true);
}

void MeterConfiguration::setBaud(const QString& baudText) {
    const std::string baud = Std(baudText);
    const auto ci = CheckBaud(baud);
    // "9600" is a speed the meters know, so it is refused only once the link is had.
    if (!ci && ci.refusal != kBaudNotPermitted) return log(ci.refusal);
    const std::vector<RowTarget> rows = m_page.flaggedTargets();
    if (rows.empty()) return log(kNothingSelected);
    if (!ci) {
        if (m_page.runner().refuseWhenBusy()) return;
        SingleRead::Request request;
        request.kind = BusOperation::Configuration;
        request.refusalAfterAcquire = Text(kBaudNotPermitted);
        m_page.runner().start(new SingleRead(m_page, std::move(request)));
        return;
    }
    const std::uint8_t code = *ci.value;
    if (rows.size() == 1) {
        if (const auto address = addressOf(rows.front())) sendToOne(rows.front(), BuildSetBaud(*address, code), false);
        return;
    }
    sendToRows([code](const RowTarget& row) -> std::optional<Outgoing> {
        return Outgoing{BuildSetBaud(static_cast<std::uint8_t>(*row.address), code), SendKind::Telegram, {}};
    });
}

void MeterConfiguration::setMedium(const QString& mediumText) {
    const std::string medium = Std(mediumText);
    if (medium.empty()) return log(kIncompleteMedium);
    const std::vector<RowTarget> rows = m_page.flaggedTargets();
    if (rows.empty()) return log(kNothingSelected);
    const std::uint8_t code = MediumCode(medium);
    if (rows.size() == 1) {
        const auto address = addressOf(rows.front());
        if (!address) return;
        bool overridden = false;
        const auto id = m_page.broadcast() ? std::nullopt : std::optional<std::string_view>(rows.front().identification);
        const Telegram telegram = BuildSetMedium(*address, id, code, &overridden);
        if (overridden) log(kIdOverridden);
        sendToOne(rows.front(), telegram, true, SendKind::MediumChange);
        return;
    }
    // Each row gets the set-medium telegram with its own identification, never another command.
    sendToRows([code](const RowTarget& row) -> std::optional<Outgoing> {
        return Outgoing{BuildSetMedium(static_cast<std::uint8_t>(*row.address), row.identification, code),
                        SendKind::MediumChange, {}};
    });
}

void MeterConfiguration::setUnit(const QString& unitText, const QString& multiplierText, const QString& relayValue) {
    if (m_relay) return relayUnit(unitText, multiplierText, relayValue);
    const auto vif = CheckUnit(Std(unitText), Std(multiplierText));
    if (!vif) return log(vif.refusal);
    const std::vector<RowTarget> rows = m_page.flaggedTargets();
    if (rows.empty()) return log(kNothingSelected);
    const std::uint8_t v = *vif.value;
    if (rows.size() == 1) {
        if (const auto address = addressOf(rows.front()))
            sendToOne(rows.front(), BuildSetUnit(*address, v, RowMediumCode(rows.front().medium)), true, SendKind::UnitChange);
        return;
    }
    // Each row's own medium: a water meter must not be told it counts heat.
    sendToRows([v](const RowTarget& row) -> std::optional<Outgoing> {
        return Outgoing{BuildSetUnit(static_cast<std::uint8_t>(*row.address), v, RowMediumCode(row.medium)), SendKind::UnitChange, {}};
    });
}

void MeterConfiguration::setPulseWidth(const QString& widthText) {
    const std::string width = Std(widthText);
    if (width.empty()) return log(kWrongPulseWidth);
    const std::vector<RowTarget> rows = m_page.flaggedTargets();
    if (rows.empty()) return log(kNothingSelected);
    const std::uint8_t code = PulseWidthCode(width);
    if (rows.size() == 1) {
        if (const auto address = addressOf(rows.front())) sendToOne(rows.front(), BuildSetPulseWidth(*address, code), false);
        return;
    }
    sendToRows([code](const RowTarget& row) -> std::optional<Outgoing> {
        return Outgoing{BuildSetPulseWidth(static_cast<std::uint8_t>(*row.address), code), SendKind::Telegram, {}};
    });
}

void MeterConfiguration::setPulseValue(const QString& valueText) {
    const auto value = CheckPulseValue(Std(valueText));
    if (!value) return log(value.refusal);
    const auto target = oneRow(kOneCounterForValue);
    if (!target) return;
    if (const auto address = addressOf(*target)) sendToOne(*target, BuildSetPulseValue(*address, *value.value), true);
}

void MeterConfiguration::setCounterType(const QString& typeText) {
    const auto type = CheckCounterType(Std(typeText));
    if (!type) return log(type.refusal);
    const auto target = oneRow(kOneCounterForType);
    if (!target || !target->address) return;  // never by broadcast
    // The module answers in its own format: the console shows it as hex.
    m_console.setMode(ConsoleMode::Hex);
    emit consoleModeChanged();
    const Telegram telegram = BuildSetCounterType(static_cast<std::uint8_t>(*target->address), *type.value);
    m_console.send(QString::fromLatin1(HexRendering(telegram)).trimmed());
}

void MeterConfiguration::relayUnit(const QString& unitText, const QString& multiplierText, const QString& valueText) {
    if (unitText.isEmpty()) return log(kEnterUnit);
    if (multiplierText.isEmpty()) return log(kEnterConstant);
    const auto vif = CheckUnit(Std(unitText), Std(multiplierText));
    if (!vif) return log(vif.refusal);
    const auto target = oneRow(kNothingOrTooManySelected);
    if (!target) return;
    if (!m_page.broadcast() && target->manufacturer != "REL") return log(kNotRelay);
    const auto value = CheckRelayValue(Std(valueText));
    if (!value) return log(value.refusal);
    const auto address = addressOf(*target);
    if (!address) return;
    if (const auto telegram = BuildRelayValue(*address, *vif.value, *value.value)) sendToOne(*target, *telegram, true);
}

void MeterConfiguration::autoAddress(int firstAddress, bool tableAddresses) {
    if (m_page.busOperation() == BusOperation::AutoAddressing) {
        m_page.runner().stopCurrent();
        return;
    }
    const MeterTable& table = m_page.table();
    std::vector<RowTarget> rows;
    for (int row = 1; row < table.rowCount() - 1; ++row) rows.push_back(m_page.targetOf(row));
    if (rows.empty()) return m_page.log().append(kNothingToAutoAddress);
    if (m_page.runner().refuseWhenBusy()) return;
    const Language language = m_page.settings().language();
    const auto answer = m_page.operatorInterface().question(QtText(TextId::AddressConfirmationTitle, language),
                                                            QtText(TextId::AddressConfirmationQuestion, language),
                                                            OperatorInterface::Buttons::YesNoCancel);
    if (answer != OperatorInterface::Answer::Yes) return;
    // Every change goes through the secondary address: a broadcast would renumber every meter at once.
    m_page.setBroadcast(false);
    const int first = tableAddresses ? rows.front().address.value_or(0) : firstAddress;
    auto* addressing = new AutoAddressing(m_page, std::move(rows), first, tableAddresses);
    m_page.setCommandsForAutoAddressing(true);
    if (!m_page.runner().start(addressing)) m_page.setCommandsForAutoAddressing(false);
}

// ---- automatic addressing ------------------------------------------------------------------------

AutoAddressing::AutoAddressing(MeterPage& page, std::vector<RowTarget> rows, int firstAddress, bool tableAddresses,
                               QObject* parent)
    : Operation(BusOperation::AutoAddressing, CollectTexts::Generic(), parent), m_page(page), m_rows(std::move(rows)),
      m_tableAddresses(tableAddresses), m_nextAddress(firstAddress) {}

void AutoAddressing::beginRow() {
    if (m_nextAddress > kHighestAddress) {
        log().append(QStringLiteral("Primary address can not be above 249, aborting..."));
        finish(OperationOutcome::Completed);
        return;
    }
    if (m_index >= m_rows.size()) {
        log().append(QStringLiteral("Auto addressing has finished..."));
        finish(OperationOutcome::Completed);
        return;
    }
    const RowTarget& row = m_rows[m_index];
    m_page.showRow(row.row);
    emit rowStarted(row.row);
    // A row without a proper identification would select no meter, or several: it costs no window.
    const auto selection = BuildSelection(row.identification);
    if (!selection) {
        if (!row.identification.empty()) log().append(Text(kIncorrectId));
        nextRow(0);
        return;
    }
    m_step = Step::Selecting;
    transmit({*selection, SendKind::Telegram, {}});
}

void AutoAddressing::nextRow(int pauseMilliseconds) {
    ++m_index;
    if (m_tableAddresses)
        m_nextAddress = m_index < m_rows.size() ? m_rows[m_index].address.value_or(0) : m_nextAddress + 1;
    else
        ++m_nextAddress;
    if (pauseMilliseconds > 0) pause(pauseMilliseconds, [this] { beginRow(); });
    else beginRow();
}

void AutoAddressing::deselect() {
    m_step = Step::Deselecting;
    transmit({BuildSndNke(kSecondaryAddress), SendKind::Telegram, {}});
}

void AutoAddressing::judge(const Telegram& received) {
    const QString id = QString::fromStdString(m_rows[m_index].identification);
    switch (m_step) {
    case Step::Selecting:
        if (received.empty()) {
            log().append(QStringLiteral("No response from device ") + id);
            nextRow(kNextRowMilliseconds);
            return;
        }
        if (!IsAcknowledge(received)) {
            m_page.apply(received, Placement::ById, false);
            deselect();
            return;
        }
        log().append(QStringLiteral("0xE5 (Acknowledge)"));
        m_step = Step::Configuring;
        transmit({BuildSetAddress(kSecondaryAddress, static_cast<std::uint8_t>(m_nextAddress)), SendKind::Telegram, {}});
        return;
    case Step::Configuring:
        if (IsAcknowledge(received)) {
            log().append(QStringLiteral("0xE5 (Acknowledge)"));
            m_step = Step::Reading;
            transmit({BuildReqUd2(kSecondaryAddress, false), SendKind::ReadRequest, {}});
            return;
        }
        if (received.empty()) log().append(QStringLiteral("No response from device ") + id);
        else m_page.apply(received, Placement::ById, false);
        deselect();
        return;
    case Step::Reading:
        // One read after the change, whatever it brings: an acknowledge ends the meter too.
        if (!received.empty() && !IsAcknowledge(received)) m_page.apply(received, Placement::ById, false);
        deselect();
        return;
    case Step::Deselecting:
        if (IsAcknowledge(received)) log().append(QStringLiteral("0xE5 (Acknowledge) 1"));
        link().emptyReceiveBuffers();
        nextRow(kAfterDeselectMilliseconds + kNextRowMilliseconds);
        return;
    }
}

} // namespace veltro
