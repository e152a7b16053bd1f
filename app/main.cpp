// K-58: starts the application, builds the main window and runs the message
// loop until the window is closed. A failure while the window is built ends
// the program with an error box and exit code 1.
#include "app/Motor_F.h"
#include "assets/Assets.h"
#include "platform/qt/AppIcon.h"
#include "platform/qt/Application.h"
#include "platform/qt/PlatformPlugin.h"

#include <QApplication>

int main(int argc, char** argv) {
    k58::ChoosePlatformPlugin();
    QApplication toolkit(argc, argv);
    k58::TApplication application;
    application.SetTitle("K-58");
    QApplication::setWindowIcon(
        k58::MakeAppIcon(k58::assets::Find("k58.ico"), k58::assets::Find("k58.png")));

    k58::TMotorForm* form = nullptr;
    try {
        // Owned by the application object, which frees it on exit.
        form = new k58::TMotorForm(&application);
    } catch (const std::exception& error) {
        k58::TApplication::ShowStartupError(error);
        return 1;
    }
    form->OnClose = [](k58::TObject*) { k58::Application->Terminate(); };
    form->Show();
    application.Run();
    return 0;
}
