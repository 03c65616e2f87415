#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace veltro {

// The key-press filters of the numeric fields: only the listed characters, backspace (08h), line
// feed (0Ah) and carriage return (0Dh) are typed; any other character key is discarded. Keys that type
// nothing (arrows, Delete, Home, Escape, Tab) and Ctrl shortcuts (copy, paste, select all) pass; a
// validator on the field keeps pasted text to the same characters.
class KeyFilter : public QObject {
    Q_OBJECT

public:
    // Installs the filter on `field` (a line edit or a spin box, which receives the keys of its own
    // edit line) and, on a line edit without one, the matching validator. `extra` are accepted
    // besides the digits.
    static void Install(QWidget& field, const QString& extra = QString());

    explicit KeyFilter(QString extra, QObject* parent) : QObject(parent), m_extra(std::move(extra)) {}
    bool accepts(QChar character) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_extra;
};

} // namespace veltro
