#pragma once

#include <memory>
#include <span>

#include <QDialog>
#include <QString>

#include "app/language.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableWidget;

namespace veltro {

class OperatorInterface;
struct CaptionRow;

// The users window (`TFUsers`, Tools -> Users): lists, adds, changes and deletes the accounts of
// <program folder>/files/users.dat. It never creates that file (docs/ACCOUNTS.md).
class TFUsers : public QDialog {
    Q_OBJECT

public:
    static constexpr int kFieldLength = 10;

    // Messages go through `operatorInterface`; with none, through message boxes.
    explicit TFUsers(const QString& programFolder, OperatorInterface* operatorInterface = nullptr,
                     QWidget* parent = nullptr);
    ~TFUsers() override;

    // The language checked in the main window's menu; applied each time the window is shown.
    void setLanguage(Language language) { m_language = language; }
    Language language() const { return m_language; }
    QString accountFilePath() const;

    // The caption table, in assignment order (the row "TFUsers" is the window title); the grid's
    // column titles are applied with it.
    static std::span<const CaptionRow> captions();

public slots:
    void Butt_addClick();
    void Butt_deleteClick();
    void Butt_endClick();
    void Grid_usersSelectCell(int row, int column);
    // On every show: lists the accounts, then applies the language.
    void FormActivate();
    // On every close or hide: clears the user name, both passwords, the access level and the three
    // permission boxes.
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void listAccounts();
    void writeGridTitles();
    void clearInputFields();

    QString m_programFolder;
    std::unique_ptr<OperatorInterface> m_ownOperator;
    OperatorInterface* m_operator;
    Language m_language = Language::English;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_pass1 = nullptr;
    QLineEdit* m_pass2 = nullptr;
    QComboBox* m_access = nullptr;
    QCheckBox* m_dev = nullptr;
    QCheckBox* m_comm = nullptr;
    QCheckBox* m_display = nullptr;
    QCheckBox* m_require = nullptr;
    QTableWidget* m_grid = nullptr;
};

} // namespace veltro
