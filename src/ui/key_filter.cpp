#include "ui/key_filter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace veltro {

void KeyFilter::Install(QWidget& field, const QString& extra) {
    field.installEventFilter(new KeyFilter(extra, &field));
    // A spin box validates its own text; a plain field gets a validator for pasted text.
    auto* edit = qobject_cast<QLineEdit*>(&field);
    if (!edit || edit->validator()) return;
    const QString pattern = QStringLiteral("[0-9%1]*").arg(QRegularExpression::escape(extra));
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
}

bool KeyFilter::accepts(QChar character) const {
    const char16_t c = character.unicode();
    return (c >= u'0' && c <= u'9') || c == 0x08 || c == 0x0A || c == 0x0D || c == 0x7F || m_extra.contains(character);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    if (text.isEmpty()) return false;
    for (const QChar c : text) {
        // Control characters type nothing: Escape (1Bh) and Tab reach the window's handling.
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) continue;
        if (!accepts(c)) return true;  // discarded
    }
    return false;
}

} // namespace veltro
