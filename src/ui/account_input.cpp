#include "ui/account_input.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "app/account_file.h"

namespace veltro {

void SetUpAccountEdit(QLineEdit& edit, int maxLength, bool password) {
    edit.setMaxLength(maxLength);
    static const QRegularExpression kAccountCharacters(QStringLiteral("[\\x{20}-\\x{7E}\\x{A0}-\\x{FF}]*"));
    edit.setValidator(new QRegularExpressionValidator(kAccountCharacters, &edit));
    if (password) {
        edit.setEchoMode(QLineEdit::Password);
        edit.setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // '*'
    }
}

std::optional<std::string> AccountTextOf(const QString& text) { return AccountTextFromUtf8(text.toStdString()); }

} // namespace veltro
