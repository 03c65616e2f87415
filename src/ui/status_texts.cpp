#include "ui/status_texts.h"

#include <array>

namespace veltro {
namespace {

// The texts are few and belong to the status bar alone, so they are kept here in both languages.
struct Words {
    const char* english;
    const char* italian;
};

QString Pick(const Words& words, Language language) {
    return QString::fromUtf8(language == Language::Italian ? words.italian : words.english);
}

constexpr Words kBridge{"Bridge", "Bridge"};
constexpr Words kConnected{"connected", "connesso"};
constexpr Words kNotConnected{"not connected", "non connesso"};
constexpr Words kGatewayServer{"Gateway clients: not available", "Gateway client: non disponibile"};
constexpr Words kGatewayClient{"Gateway server: not available", "Gateway server: non disponibile"};

// In `BusOperation` order, every kind: the window names the last operation whatever it was.
constexpr std::array<Words, 12> kOperations{{
    {"", ""},
    {"Read", "Lettura"},
    {"Scan", "Scansione"},
    {"Read all", "Lettura di tutti"},
    {"Read selected", "Lettura selezionati"},
    {"Command", "Comando"},
    {"Selection by ID", "Selezione per ID"},
    {"Secondary search", "Ricerca secondaria"},
    {"Configuration", "Configurazione"},
    {"Auto address", "Indirizzamento automatico"},
    {"Display", "Display"},
    {"Receiver", "Ricevitore"},
}};
static_assert(static_cast<std::size_t>(BusOperation::Receiver) + 1 == kOperations.size());

// In `OperationOutcome` order.
constexpr std::array<Words, 4> kOutcomes{{
    {"done", "completata"},
    {"no response", "nessuna risposta"},
    {"stopped", "interrotta"},
    {"link not available", "collegamento non disponibile"},
}};
static_assert(static_cast<std::size_t>(OperationOutcome::LinkFailed) + 1 == kOutcomes.size());

constexpr Words kOneMeterFound{"1 meter found", "1 contatore trovato"};
constexpr Words kMetersFound{"%1 meters found", "%1 contatori trovati"};

} // namespace

QString LinkStatusText(LinkMode mode, const QString& serialStatus, const QString& bridgeEndpoint,
                       bool bridgeConnected, Language language) {
    switch (mode) {
    case LinkMode::Serial: return serialStatus;
    case LinkMode::Bridge:
        return Pick(kBridge, language) + QLatin1Char(' ') + bridgeEndpoint + QLatin1Char(' ') +
               Pick(bridgeConnected ? kConnected : kNotConnected, language);
    case LinkMode::GatewayClient: return Pick(kGatewayClient, language);
    case LinkMode::GatewayServer: break;
    }
    return Pick(kGatewayServer, language);
}

QString OperationResultText(BusOperation kind, OperationOutcome outcome, int metersFound, Language language) {
    QString result;
    if (kind == BusOperation::Scan && outcome == OperationOutcome::Completed)
        result = metersFound == 1 ? Pick(kOneMeterFound, language) : Pick(kMetersFound, language).arg(metersFound);
    else
        result = Pick(kOutcomes[static_cast<std::size_t>(outcome)], language);
    const QString operation = Pick(kOperations[static_cast<std::size_t>(kind)], language);
    return operation.isEmpty() ? result : operation + QStringLiteral(": ") + result;
}

} // namespace veltro
