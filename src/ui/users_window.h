#pragma once

#include <memory>

#include <QDialog>
#include <QString>

#include "app/language.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableWidget;

namespace veltro {

class OperatorInterface;

// The users window: lists, adds, changes and deletes the accounts of files/users.dat.
class TFUsers : public QDialog {
    Q_OBJECT

public:
    static constexpr int kFieldLength = 10;

    explicit TFUsers(const QString& programFolder, OperatorInterface* operatorInterface = nullptr, QWidget* parent = nullptr);
    ~TFUsers() override;

    void setLanguage(Language language) { m_language = language; }
    QString accountFilePath() const;

public slots:
    void Butt_addClick();
    void Butt_deleteClick();
    void Butt_endClick();
    void Grid_usersSelectCell(int row, int column);
    void FormActivate();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void listAccounts();
    void applyCaptions();
    void clearInputs();

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
