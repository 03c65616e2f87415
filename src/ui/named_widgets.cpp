#include "ui/named_widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "ui/key_filter.h"

namespace veltro {

QPlainTextEdit* NamedLogView(const char* name, QWidget* parent) {
    auto* view = Named(new QPlainTextEdit(parent), name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    view->setFont(fixed);
    return view;
}

QPushButton* NamedButton(const char* name, const QString& caption, QWidget* parent) {
    return Named(new QPushButton(caption, parent), name);
}

QLabel* NamedLabel(const char* name, const QString& caption, QWidget* parent) {
    return Named(new QLabel(caption, parent), name);
}

QCheckBox* NamedCheckBox(const char* name, const QString& caption, QWidget* parent) {
    return Named(new QCheckBox(caption, parent), name);
}

QAction* NamedAction(QMenu& menu, const char* name, const QString& text) { return Named(menu.addAction(text), name); }

QSpinBox* NamedSpinBox(const char* name, int lowest, int highest, QWidget* parent) {
    auto* spin = Named(new QSpinBox(parent), name);
    spin->setRange(lowest, highest);
    KeyFilter::Install(*spin);
    return spin;
}

QSpinBox* NamedUpDown(const char* upDownName, const char* editName, int lowest, int highest, int step, int characters,
                      QWidget* parent, QLineEdit** edit) {
    QSpinBox* spin = NamedSpinBox(upDownName, lowest, highest, parent);
    spin->setSingleStep(step);
    spin->setAccelerated(true);
    *edit = Named(spin->findChild<QLineEdit*>(), editName);
    (*edit)->setMaxLength(characters);
    // Room for one digit more than the field takes, and the arrows.
    spin->setMinimumWidth(spin->fontMetrics().horizontalAdvance(QString(characters + 1, QLatin1Char('0'))) + 36);
    return spin;
}

} // namespace veltro
