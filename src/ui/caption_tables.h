#pragma once

#include <span>
#include <vector>

#include <QString>

#include "app/language.h"
#include "app/texts.h"

class QWidget;

namespace veltro {

// One caption assignment: the control's objectName and its text in the program's text table.
struct CaptionRow {
    const char* objectName;
    TextId text;
};

// A text of the table as a widget shows it.
QString CaptionText(TextId id, Language language);

// The main window's assignments in the order they are applied, after the meter table's column titles
// (which come from MeterTableTitles). Only controls that exist are listed.
std::span<const CaptionRow> MainWindowCaptions();
// The settings window's assignments; the row named "TSettings" is the window title.
std::span<const CaptionRow> SettingsWindowCaptions();

// Assigns each row's text in `language` to the control of that objectName under `root` (or to `root`
// itself), in table order: a button's or label's text, a group's title, a menu's title, an action's
// text, a tab page's tab text, a window's title. Controls not in the table keep their captions.
// Returns the names of rows whose control was not found, so a test can insist on none.
std::vector<const char*> ApplyCaptions(QWidget& root, std::span<const CaptionRow> rows, Language language);

} // namespace veltro
