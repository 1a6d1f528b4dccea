#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Dark mode of the Windows platform plugin off; only that plugin knows the option.
    qputenv("QT_QPA_PLATFORM", "windows:darkmode=0");
#endif
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    app.installNativeEventFilter(&window);
    return app.exec();
}
