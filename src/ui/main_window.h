#pragma once

#include <QMainWindow>
#include <QPointer>

#include "app/language.h"
#include "app/login_grant.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPagedPaintDevice;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace veltro {

class DisplayPageView;
class Engine;
class GatewayPageView;
class MeterPageView;
class ReadingsPageView;
class RxvKtPageView;
class TEnterAES;
class TFUsers;

// The main window `TForm11`: the menu, the search group, the five pages, the console, the communication
// log and the status bar. Each page is a class of its own (`MeterPageView`, `GatewayPageView`,
// `DisplayPageView`, `ReadingsPageView`, `RxvKtPageView`) inside
// the window's tree. It holds no state of the operations: its handlers read the widgets, call the engine
// and show what the engine reports (log, page state, serial status).
class TForm11 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm11(Engine& engine, QWidget* parent = nullptr);
    ~TForm11() override;

    // The windows the Tools and Help menus show; they are created after this one.
    void setSettingsWindow(QWidget* window) { m_settingsWindow = window; }
    void setUsersWindow(TFUsers* window);
    void setAboutWindow(QWidget* window) { m_aboutWindow = window; }
    // The key-entry window, opened from the meter table's menu and centred on this window.
    void setEnterAesWindow(TEnterAES* window);

    // What a successful login grants: the Users and Settings menu commands by role; the
    // communication-devices page, the local-display page with the readings page, and the meter page's
    // configuration controls, by permission.
    void applyLogin(const LoginGrant& grant);

    // "Print log" onto a device the print dialog (or a test) chose.
    bool printLog(QPagedPaintDevice& device);

    // The language of the menu's checked item, with every caption, title and grid header that follows it.
    void applyLanguage(Language language);

    // The meter page `TabSheet1`, whose handlers the page itself owns.
    MeterPageView& meterPage();

signals:
    // `FormClose` has run: the program ends.
    void closed();

public slots:
    // Search group.
    void Butt_find_primaryClick();
    void Butt_find_idClick();
    void Butt_find_allClick();
    void Button1Click();
    void Edit_timeoutChange(int milliseconds);
    void Check_nkeClick(bool checked);
    void Check_fastClick(bool checked);
    // "   Global RXVpico   ".
    void BitBtn51Click();
    void BitBtn52Click();
    void BitBtn53Click();
    void BitBtn54Click();
    // Console and log.
    void Butt_command_sendClick();
    void Check_asciiClick();
    void Check_hexClick();
    void BitBtn5Click();
    void BitBtn6Click();
    void BitBtn7Click();
    // Pages.
    void TabSheet1Show();
    void TabSheet2Show();
    void TabSheet3Show();
    void TabSheet5Show();
    // Menu.
    void Open1Click();
    void Save1Click();
    void Exit1Click();
    void Users1Click();
    void Settings1Click();
    void English1Click();
    void Italian1Click();
    void About2Click();
    void UserManual2Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    QWidget* buildSearchGroup();
    QWidget* buildPicoGroup();
    QWidget* buildConsoleAndLog();
    void buildStatusBar();
    void connectEngine();

    void FormCreate();
    void FormActivate();
    void FormClose();

    void updatePageState();
    void appendLogLine(const QString& line);
    void updateLinkStatus();
    void pageChanged(int index);
    void setConsoleHex(bool hex);
    QString workingFolder() const;
    static void ShowWindow(QWidget* window);

    Engine& m_engine;
    bool m_closing = false;

    // Menu.
    QMenu* File1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Tools1 = nullptr;
    QAction* Users1 = nullptr;
    QAction* Settings1 = nullptr;
    QMenu* Language1 = nullptr;
    QAction* English1 = nullptr;
    QAction* Italian1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* About2 = nullptr;
    QAction* UserManual2 = nullptr;

    // Search group.
    QGroupBox* Group_search = nullptr;
    QSpinBox* UD_address_min = nullptr;
    QSpinBox* UD_address_max = nullptr;
    QSpinBox* UD_timeout = nullptr;
    QLineEdit* Edit_address_min = nullptr;
    QLineEdit* Edit_address_max = nullptr;
    QLineEdit* Edit_timeout = nullptr;
    QCheckBox* Check_nke = nullptr;
    QCheckBox* Check_fast = nullptr;
    QPushButton* Butt_find_primary = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLineEdit* Edit_id = nullptr;
    QPushButton* Butt_find_id = nullptr;
    QPushButton* Butt_find_all = nullptr;
    QPushButton* Button1 = nullptr;

    // Global RXVpico group.
    QGroupBox* Group_pico = nullptr;
    QLineEdit* Edit_picoID = nullptr;
    QLineEdit* Edit_rxvAddress = nullptr;

    // Pages.
    QTabWidget* PageControl1 = nullptr;
    MeterPageView* TabSheet1 = nullptr;
    GatewayPageView* TabSheet2 = nullptr;
    DisplayPageView* TabSheet3 = nullptr;
    ReadingsPageView* TabSheet4 = nullptr;
    RxvKtPageView* TabSheet5 = nullptr;

    // Console and log.
    QLineEdit* Edit_command = nullptr;
    QCheckBox* Check_ascii = nullptr;
    QCheckBox* Check_hex = nullptr;
    QPushButton* Butt_command_send = nullptr;
    QPlainTextEdit* Memo_current = nullptr;
    bool m_logFollows = true;  // false while the operator has scrolled up from the newest line

    QLabel* m_statusPanels[3] = {};  // the link, the last operation's result, -
    int m_metersBefore = 0;          // meter rows when the running operation started

    QPointer<QWidget> m_settingsWindow;
    QPointer<TFUsers> m_usersWindow;
    QPointer<QWidget> m_aboutWindow;
};

} // namespace veltro
