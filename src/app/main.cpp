// The desktop program: dorvanta [file]
#include <QApplication>
#include <QByteArray>
#include <cstdio>

#include "app/main_frame.h"
#include "app/qt_prompts.h"
#include "app/viewer_app.h"

namespace {

// Qt aborts without a window system; say what to do instead.
bool DisplayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool HelpRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "-?") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (!DisplayAvailable() && HelpRequested(argc, argv)) {
        QCoreApplication core(argc, argv);
        std::printf("%s", qPrintable(CommandLineHelp()));
        return 0;
    }
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "dorvanta: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it on a desktop, set QT_QPA_PLATFORM (for example offscreen), or paint "
                     "pictures without a display with dorvanta-render.\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Dorvanta");
    QApplication::setApplicationName("Dorvanta");
    QApplication::setApplicationVersion("4.0");
    QApplication::setDesktopFileName("dorvanta");

    CViewerApp* app = nullptr;
    QtPrompts prompts([&app]() -> QWidget* { return app ? app->MainFrame() : nullptr; });
    CViewerApp viewer(prompts);
    app = &viewer;
    if (!viewer.InitInstance(QApplication::arguments())) return viewer.ExitCode();
    return QApplication::exec();
}
