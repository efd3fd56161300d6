// The desktop program: dorvanta [file]
#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
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

void NameApplication() {
    QCoreApplication::setOrganizationName("Dorvanta");
    QCoreApplication::setApplicationName("Dorvanta");
    QCoreApplication::setApplicationVersion(DORVANTA_VERSION);
}

// --help, --help-all and --version print their text and exit 0 without touching the desktop:
// the platform without a window system still lets Qt list its own options for --help-all.
int PrintInformation(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "minimal");
    QGuiApplication application(argc, argv);
    NameApplication();
    QCommandLineParser parser;
    SetUpCommandLine(parser);
    parser.process(application);  // prints and exits
    return 0;
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    if (AsksForInformation(ArgumentsOf(argc, argv))) return PrintInformation(argc, argv);
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "dorvanta: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it on a desktop, set QT_QPA_PLATFORM (for example offscreen), or paint "
                     "pictures without a display with dorvanta-render.\n");
        return 1;
    }
    QApplication application(argc, argv);
    NameApplication();
    QApplication::setDesktopFileName("dorvanta");

    CViewerApp* app = nullptr;
    QtPrompts prompts([&app]() -> QWidget* { return app ? app->MainFrame() : nullptr; });
    CViewerApp viewer(prompts);
    app = &viewer;
    if (!viewer.InitInstance(QApplication::arguments())) return viewer.ExitCode();
    return QApplication::exec();
}
