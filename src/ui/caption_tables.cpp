#include "ui/caption_tables.h"

#include <array>

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace veltro {
namespace {

// The main window, in assignment order: search group, meter page, console, tab pages, main menu.
// Two captions are not here because the running scan and read-all cycle compose them in the engine's
// page state ("Find"/"Cerca"/"Stop", "Read all meters"/"Leggi tutti i dispositivi"); a table entry
// would show "Find" on a running scan after a language switch.
constexpr std::array kMainWindowRows{
    CaptionRow{"Group_search", "   Search network   ", "   Scansione Rete   "},
    CaptionRow{"Label_primary", "By Primary address: ", "By Primary address: "},
    CaptionRow{"Label_timeout", "Resp. timeout", "Timeout risposte"},
    CaptionRow{"Check_broadcast", "work on broadcast (0xFE)", "lavora in broadcast (0xFE)"},
    CaptionRow{"Butt_readonce", "Read selected", "Read selected"},
    CaptionRow{"Butt_clear_grid", "Clear table", "Clear table"},
    CaptionRow{"Butt_load_data", "Load", "Load"},
    CaptionRow{"Butt_save_data", "Export", "Salva / Esporta"},
    CaptionRow{"Butt_command_send", "Send", "Send"},
    CaptionRow{"Label_command", "Send custom command", "Invia custom string"},
    CaptionRow{"BitBtn7", "Print log", "Print log"},
    CaptionRow{"BitBtn6", "Save log", "Save log"},
    CaptionRow{"BitBtn5", "Clear log", "Clear log"},
    CaptionRow{"TabSheet1", "   M-bus devices   ", "   M-bus devices   "},
    CaptionRow{"TabSheet2", "   Communication devices   ", "   Comunicazione    "},
    CaptionRow{"TabSheet3", "   Local display LDU   ", "   Display Locale LDU   "},
    CaptionRow{"TabSheet4", "   Get Readings   ", "   Acquisisci letture   "},
    CaptionRow{"File1", "File", "File"},
    CaptionRow{"Open1", "Open", "Apri"},
    CaptionRow{"Save1", "Save", "Salva"},
    CaptionRow{"Exit1", "Exit", "Esci"},
    CaptionRow{"Tools1", "Tools", "Strumenti"},
    CaptionRow{"Users1", "Users", "Utenti"},
    CaptionRow{"Settings1", "Settings", "Impostazioni"},
    CaptionRow{"Language1", "Language", "Lingua"},
    CaptionRow{"Help1", "Help", "Aiuto"},
    CaptionRow{"About2", "About", "Info"},
    CaptionRow{"UserManual2", "User Manual", "Manuale Utente"},
};

constexpr std::array kSettingsWindowRows{
    CaptionRow{"TSettings", "Settings", "Impostazioni"},
    CaptionRow{"GroupBox1", "   Serial port settings   ", "   Impostazioni seriale   "},
    CaptionRow{"Label_com_name", "Name", "Nome"},
    CaptionRow{"Label_com_speed", "Speed", "Velocita"},
    CaptionRow{"Label_com_parity", "Parity", "Parita"},
    CaptionRow{"Label_export_separator", "Export separator:", "Separatore:"},
    CaptionRow{"Label_retry_read", "Retries", "Tentativi"},
    CaptionRow{"BitBtn2", "Cancel", "Cancella"},
    CaptionRow{"BitBtn1", "Apply", "Applica"},
};

// A tab page's caption is its tab's text in the page control that holds it.
bool SetTabText(QWidget& page, const QString& text) {
    auto* stack = qobject_cast<QStackedWidget*>(page.parentWidget());
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    if (!tabs) return false;
    const int index = tabs->indexOf(&page);
    if (index < 0) return false;
    tabs->setTabText(index, text);
    return true;
}

bool Assign(QObject& target, QWidget& root, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(&target)) button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(&target)) label->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(&target)) group->setTitle(text);
    else if (auto* menu = qobject_cast<QMenu*>(&target)) menu->setTitle(text);
    else if (auto* action = qobject_cast<QAction*>(&target)) action->setText(text);
    else if (&target == &root) root.setWindowTitle(text);
    else if (auto* page = qobject_cast<QWidget*>(&target)) return SetTabText(*page, text);
    else return false;
    return true;
}

} // namespace

std::span<const CaptionRow> MainWindowCaptions() { return kMainWindowRows; }
std::span<const CaptionRow> SettingsWindowCaptions() { return kSettingsWindowRows; }

std::vector<const char*> ApplyCaptions(QWidget& root, std::span<const CaptionRow> rows, Language language) {
    std::vector<const char*> missing;
    for (const CaptionRow& row : rows) {
        const QString name = QString::fromLatin1(row.objectName);
        QObject* target = root.objectName() == name ? &root : root.findChild<QObject*>(name);
        const char* text = language == Language::Italian ? row.italian : row.english;
        if (!target || !Assign(*target, root, QString::fromUtf8(text))) missing.push_back(row.objectName);
    }
    return missing;
}

} // namespace veltro
