#pragma once

#include <QString>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace veltro {

// Controls carry their documented names as objectName: the caption tables and the tests find them by it.

template <class Object>
Object* Named(Object* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QPushButton* NamedButton(const char* name, const QString& caption, QWidget* parent);
// A read-only text of log lines: unwrapped, in a fixed-width font, so hex bytes line up.
QPlainTextEdit* NamedLogView(const char* name, QWidget* parent);
QLabel* NamedLabel(const char* name, const QString& caption, QWidget* parent);
QCheckBox* NamedCheckBox(const char* name, const QString& caption, QWidget* parent);
QAction* NamedAction(QMenu& menu, const char* name, const QString& text);

// A numeric field that types digits only (`KeyFilter`).
QSpinBox* NamedSpinBox(const char* name, int lowest, int highest, QWidget* parent);

// An up-down control with its edit field, named as the pair: `UD_...` the spinner, `Edit_...` its field,
// which takes at most `characters` digits and is wide enough to show them.
QSpinBox* NamedUpDown(const char* upDownName, const char* editName, int lowest, int highest, int step, int characters,
                      QWidget* parent, QLineEdit** edit);

} // namespace veltro
