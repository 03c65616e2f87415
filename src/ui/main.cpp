// veltro: the desktop program. The windows are created in a fixed order and live for the whole run;
// the login window comes first and is the application's main window, the main window stays hidden
// until a login succeeds.
#include <QApplication>
#include <QFileInfo>
#include <QLocale>

#include "engine/engine.h"
#include "app/live_settings.h"
#include "app/program_folder.h"
#include "meters/meter_page.h"
#include "ui/about_window.h"
#include "ui/application_identity.h"
#include "ui/dialog_operator.h"
#include "ui/enter_aes_window.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/report_window.h"
#include "ui/settings_window.h"
#include "ui/users_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    veltro::ApplyApplicationIdentity(application);

    const QString programFolder = veltro::ProgramFolder(application.arguments());
    const QString executableName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    veltro::DialogOperator dialogs;
    veltro::Engine engine(veltro::IniFilePath(programFolder, executableName), programFolder, dialogs);
    engine.meters().setLocale(QLocale::system());

    veltro::TLogin login(programFolder);
    veltro::TForm11 mainWindow(engine);
    veltro::TSettings settingsWindow(engine);
    veltro::TFUsers usersWindow(programFolder);
    veltro::TFAbout aboutWindow;
    veltro::TFormFullMbus reportWindow(engine);
    veltro::TEnterAES enterAesWindow(engine);
    mainWindow.setSettingsWindow(&settingsWindow);
    mainWindow.setUsersWindow(&usersWindow);
    mainWindow.setAboutWindow(&aboutWindow);
    reportWindow.setCentreOn(&mainWindow);
    mainWindow.setEnterAesWindow(&enterAesWindow);

    QObject::connect(&login, &veltro::TLogin::loggedIn, &mainWindow, [&](const veltro::LoginGrant& grant) {
        mainWindow.applyLogin(grant);
        mainWindow.show();
        login.hide();
    });
    QObject::connect(&login, &veltro::TLogin::quitRequested, &application, &QApplication::quit);
    QObject::connect(&mainWindow, &veltro::TForm11::closed, &application, [&] {
        login.close();
        application.quit();
    });

    login.setLanguage(engine.settings().language());
    login.show();
    return application.exec();
}
