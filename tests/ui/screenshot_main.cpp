// Grabs the main window after a scan of the simulated bus: the real TForm11 on an engine whose bridge
// link reaches the default simulated bus on loopback; with --display, also the local-display page with
// the found meters taken into its table; with --folder, every window and page the user manual shows.
// Usage: ui_screenshot FILE.png [SETTINGS.png] [--display DISPLAY.png] | ui_screenshot --folder DIR
#include <iostream>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QStringList>
#include <QTabWidget>
#include <QTemporaryDir>

#include "engine/engine.h"
#include "app/live_settings.h"
#include "app/scripted_operator.h"
#include "devices/display_engine.h"
#include "meters/meter_page.h"
#include "sim/bridge_server.h"
#include "sim/default_bus.h"
#include "ui/application_identity.h"
#include "ui/about_window.h"
#include "ui/display_page_view.h"
#include "ui/enter_aes_window.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/meter_page_view.h"
#include "ui/report_window.h"
#include "ui/settings_window.h"
#include "ui/users_window.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    veltro::ApplyApplicationIdentity(application);
    QStringList files = QApplication::arguments().mid(1);
    QString displayFile, folder;
    if (files.size() == 2 && files[0] == QStringLiteral("--folder")) {
        folder = files[1];
        files = {QDir(folder).filePath(QStringLiteral("main-window.png")), QDir(folder).filePath(QStringLiteral("settings-window.png")),
                 QStringLiteral("--display"), QDir(folder).filePath(QStringLiteral("display-page.png"))};
    }
    if (const qsizetype at = files.indexOf(QStringLiteral("--display")); at >= 0 && at + 1 < files.size()) {
        displayFile = files[at + 1];
        files.remove(at, 2);
    }
    if (files.size() != 1 && files.size() != 2) {
        std::cerr << "usage: ui_screenshot FILE.png [SETTINGS.png] [--display DISPLAY.png] | ui_screenshot --folder DIR\n";
        return 2;
    }

    auto bus = veltro::sim::DefaultBus();
    veltro::sim::BridgeServer bridge(*bus, veltro::sim::LineTiming{std::chrono::milliseconds{5}});
    if (!bridge.listen()) {
        std::cerr << "ui_screenshot: the simulated bridge did not start: " << bridge.errorString().toStdString() << "\n";
        return 1;
    }
    QTemporaryDir home;
    QFile ini(home.filePath(QStringLiteral("veltro.ini")));
    if (!home.isValid() || !ini.open(QIODevice::WriteOnly)) {
        std::cerr << "ui_screenshot: no temporary program folder\n";
        return 1;
    }
    ini.write("[Mbus]\r\nSearchFrom=0\r\nSearchTo=20\r\nTimeout=300\r\n[Misc]\r\nUseVODUD=1\r\nRetry=0\r\n"
              "[VODUD]\r\nIP=127.0.0.1\r\nPort=" + QByteArray::number(bridge.port()) + "\r\nEthTimeout=20\r\n");
    ini.close();

    veltro::test::ScriptedOperator answers;  // "Yes" to clearing the table
    veltro::Engine engine(ini.fileName(), home.path(), answers);
    veltro::TForm11 window(engine);
    window.applyLogin({veltro::Role::Administrator, true, true, true});
    window.resize(1280, 800);
    window.show();

    engine.settings().setResponseWindow(80);  // a quick scan; the field keeps showing 300
    window.Butt_find_primaryClick();
    QElapsedTimer waited;
    waited.start();
    while (engine.meters().busOperation() != veltro::BusOperation::None && waited.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (engine.meters().busOperation() != veltro::BusOperation::None) {
        std::cerr << "ui_screenshot: the scan did not end\n";
        return 1;
    }
    // Two meters picked for reading, as an operator would with Ctrl+click.
    veltro::MeterPageView& page = window.meterPage();
    page.Grid_bmetersSelectCell(2, 0);
    page.Grid_bmetersMouseUp(2, false);
    page.Grid_bmetersSelectCell(4, 0);
    page.Grid_bmetersMouseUp(4, true);
    QApplication::processEvents();

    auto save = [](QWidget& widget, const QString& file) {
        if (!widget.grab().save(file)) {
            std::cerr << "ui_screenshot: cannot write " << file.toStdString() << "\n";
            return false;
        }
        std::cout << "wrote " << file.toStdString() << "\n";
        return true;
    };
    if (!save(window, files[0])) return 1;
    if (files.size() == 2) {
        veltro::TSettings settings(engine);
        settings.show();
        QApplication::processEvents();
        if (!save(settings, files[1])) return 1;
    }
    if (!displayFile.isEmpty()) {
        // The found meters taken into the display table, three of them picked, two settings to write.
        auto* display = window.findChild<veltro::DisplayPageView*>(QStringLiteral("TabSheet3"));
        window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentWidget(display);
        display->BitBtn1Click();
        for (int row : {1, 2, 4}) display->Grid_lduBoxToggled(row);
        engine.display().tickSetting(veltro::DisplaySetting::Units, true);
        engine.display().tickSetting(veltro::DisplaySetting::User, true);
        QApplication::processEvents();
        if (!save(window, displayFile)) return 1;
    }
    if (folder.isEmpty()) return 0;

    auto file = [&folder](const char* name) { return QDir(folder).filePath(QString::fromLatin1(name)); };
    auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    const std::pair<const char*, const char*> tabs[] = {
        {"TabSheet4", "readings-page.png"}, {"TabSheet2", "communication-page.png"}, {"TabSheet5", "rxv-kt-page.png"}};
    for (const auto& [tab, name] : tabs) {
        pages->setCurrentWidget(window.findChild<QWidget*>(QString::fromLatin1(tab)));
        QApplication::processEvents();
        if (!save(window, file(name))) return 1;
    }
    pages->setCurrentIndex(0);
    QApplication::processEvents();
    if (!save(*window.findChild<QWidget*>(QStringLiteral("Group_pico")), file("rxvpico-page.png"))) return 1;

    // A full read of the meter at 2 fills the detailed report.
    page.Grid_bmetersSelectCell(2, 0);
    page.Grid_bmetersMouseUp(2, false);
    engine.meters().fullRead();
    waited.restart();
    while (engine.meters().busOperation() != veltro::BusOperation::None && waited.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    veltro::TFormFullMbus report(engine);
    report.resize(1000, 640);
    report.show();
    QApplication::processEvents();
    if (!save(report, file("report-window.png"))) return 1;

    veltro::TLogin login(home.path());
    login.show();
    QApplication::processEvents();
    if (!save(login, file("login-window.png"))) return 1;
    veltro::TFUsers users(home.path(), &answers);
    users.show();
    QApplication::processEvents();
    if (!save(users, file("users-window.png"))) return 1;
    veltro::TFAbout about;
    about.show();
    QApplication::processEvents();
    if (!save(about, file("about-window.png"))) return 1;
    veltro::TEnterAES key(engine);
    key.show();
    QApplication::processEvents();
    if (!save(key, file("key-window.png"))) return 1;
    return 0;
}
