#pragma once

#include <string>

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace veltro {

class Engine;

// The key-entry window `TEnterAES` "Enter AES-128 key ": a key typed for the meter of the row selected
// when it opened, or for every meter of the table, stored as text in the table's "AES-128 key "
// column. It is shown without blocking the main window and only hidden, so the field and the box keep
// their state for the next opening.
class TEnterAES : public QDialog {
    Q_OBJECT

public:
    static constexpr int kKeyLength = 32;
    // "Done" found another meter (or none) in the row it opened on: the table changed meanwhile.
    static inline const QString kRowChangedPrefix =
        QStringLiteral("The meter table changed while the key was entered, no key stored for meter ");

    explicit TEnterAES(Engine& engine, QWidget* parent = nullptr);

    // Opens centred on `window` (the main window).
    void setCentreOn(QWidget* window) { m_centreOn = window; }
    // `EnterAES128key1Click`: shown, or brought to the front for the row selected now.
    void showForSelectedRow();

public slots:
    void BitBtn1Click();  // "Done"
    void BitBtn2Click();  // "Cancel"

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void captureRow();

    Engine& m_engine;
    QWidget* m_centreOn = nullptr;
    // The row selected when the window opened and the ID it held then; row 0: none.
    int m_row = 0;
    std::string m_id;

    QLineEdit* Edit_enterKey = nullptr;
    QCheckBox* Check_allAES = nullptr;
};

} // namespace veltro
