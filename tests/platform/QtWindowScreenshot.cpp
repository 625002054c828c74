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

    // A scheduled run as the program writes it.
    parts.view.ShowBackupFolder("/var/lib/veltor/Backups/");
    parts.memo.AppendMemoLines({
        " ",
        "12/07/2026 - 12:45:01 Inicia Backup ",
        "12/07/2026 - 12:45:01 Empresas Pendientes de Backup: 1",
        " ",
        "12/07/2026 - 12:45:01 Inicio Backup: 001 - EMPRESA UNO",
        "12/07/2026 - 12:45:01 Archivo Backup: /var/lib/veltor/Backups/EMPRESA1-20261207-1245.GBK",
        "  gbak:readied database /srv/veltor/EMPRESA1.FDB for backup",
        "  gbak:creating file /var/lib/veltor/Backups/EMPRESA1-20261207-1245.GBK",
        "  gbak:closing file, committing, and finishing. 1048576 bytes written",
        "  ",
        "12/07/2026 - 12:45:03 Finaliza Backup: 001 - EMPRESA UNO",
        "12/07/2026 - 12:45:03 Ruta del Backup Realizado: /var/lib/veltor/Backups/EMPRESA1-20261207-1245.GBK",
        "  ",
        "12/07/2026 - 12:45:03 Backup Finalizado ",
        "  ",
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
