#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace veltro {

class Engine;

// The detailed report `TFormFullMbus` "Detailed m-bus report": a view of the engine's report (the log
// `Memo_fullMbus` and the hidden grid), opened by itself when a full read has been decoded. Its
// commands clear, save and export that content; "Close" hides it and the content stays.
class TFormFullMbus : public QDialog {
    Q_OBJECT

public:
    static inline const QString kSaveFailedPrefix = QStringLiteral("Exception saving to file - ");

    explicit TFormFullMbus(Engine& engine, QWidget* parent = nullptr);

    // Centred on `window` each time it opens (the main window).
    void setCentreOn(QWidget* window) { m_centreOn = window; }

public slots:
    void ClearClick();
    void SaveClick();
    void ExportClick();
    void CloseClick();
    void showReport();

private:
    void refresh();

    Engine& m_engine;
    QWidget* m_centreOn = nullptr;
    QPlainTextEdit* Memo_fullMbus = nullptr;
};

} // namespace veltro
