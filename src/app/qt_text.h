#pragma once

#include <QString>

#include "app/texts.h"

namespace veltro {

// A text of the table in the given language, for the Qt side.
inline QString QtText(TextId id, Language language) {
    const std::string_view text = Text(id, language);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace veltro
