#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QString>

class QLineEdit;

namespace veltro {

// Sets up an edit of the login or users window: at most `maxLength` characters, only characters an
// account can hold (printable ISO 8859-1, so what is typed here is what the file can store), and for a
// password every character shown as "*".
void SetUpAccountEdit(QLineEdit& edit, int maxLength, bool password);

// The account characters of an edit's text; nothing when it holds a character no account can hold.
std::optional<std::string> AccountTextOf(const QString& text);

// A UTF-8 text of the core (messages, listed cells) for a widget.
inline QString Utf8Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace veltro
