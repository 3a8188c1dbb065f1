#include "core/frmMain.h"
#include "shell/SingleInstance.h"
#include "shell/StartupMessages.h"
#include "shell/frmBegin.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Qt's own UNIX event dispatcher costs a third less per connection than
    // the glib one; it has to be chosen before the application object exists.
    setenv("QT_NO_GLIB", "1", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvex"));
    QApplication::setOrganizationName(QStringLiteral("Talvex"));

    SingleInstance instance;
    if (!ensureSingleInstance(instance))
        return 0;

    const bool loaded = runGuardedLoad([] {
        auto* begin = new frmBegin([] {
            auto* main = new frmMain();
            main->loadAndShow();
        });
        begin->show();
    });
    if (!loaded)
        return 1;
    return app.exec();
}
