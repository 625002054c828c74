// Shows the activity window on a real display (Xvfb in the test run), with a folder and a few
// activity lines as a run would write them, and saves what the display shows of it as a PNG.

#include "app/FrmActividad.h"
#include "platform/qt/QtApplication.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    veltor::qt::QtGuiApplication gui(argc, argv);
    gui.Initialize();
    gui.SetTitle("Backups Veltor");
    const veltor::MainWindowParts parts = gui.CreateMainWindow();
    auto& window = dynamic_cast<veltor::qt::QtMainWindow&>(parts.view);

    parts.view.ShowBackupFolder("/var/lib/veltor/backups/");
    parts.memo.AppendMemoLines({
        "08/03/2026 - 10:30:00 Empresas a respaldar: 2",
        "08/03/2026 - 10:30:00 Backup de /srv/veltor/EMP001-2026.GDB en "
        "/var/lib/veltor/backups/EMP001-2026-20260308-1030.GBK",
        "gbak:readied database /srv/veltor/EMP001-2026.GDB for backup\r\ngbak:creating file "
        "/var/lib/veltor/backups/EMP001-2026-20260308-1030.GBK",
        "gbak:closing file, committing, and finishing. 1048576 bytes written",
    });

    int exitCode = 1;
    window.CentreOnScreen();
    window.show();
    QTimer::singleShot(800, [&] {
        QPixmap shot;
        if (QScreen* screen = window.screen()) shot = screen->grabWindow(window.winId());
        if (shot.isNull()) shot = window.grab();
        QDir().mkpath(QFileInfo(output).absolutePath());
        exitCode = shot.save(output, "PNG") ? 0 : 1;
        std::fprintf(stderr, "%s %dx%d\n", qPrintable(output), shot.width(), shot.height());
        window.close();
    });
    QApplication::exec();
    return exitCode;
}
