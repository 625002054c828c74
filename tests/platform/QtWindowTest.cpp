#include "platform/qt/QtApplication.h"

#include "app/FrmActividad.h"
#include "tests/support/FakeBackupModule.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

// Qt and fontconfig keep process-wide caches until exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\nleak:libglib\n";
}

namespace veltor::test {
namespace {

using qt::QtGuiApplication;
using qt::QtMainWindow;

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "qt_window_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv); // lives until the process ends
    }
}

template <class Widget> Widget* Child(QWidget& window, const char* name) {
    auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// The Qt front end with the window's behaviour on it and a fake backup module.
struct QtProgram {
    bool offscreen = (EnsureApplication(), true); // before the front end makes an application of its own
    QtGuiApplication gui{argc, argv};
    MainWindowParts parts = (gui.Initialize(), gui.SetTitle("Backups Veltor"), gui.CreateMainWindow());
    QtMainWindow& window = dynamic_cast<QtMainWindow&>(parts.view);
    TFrmActividad frm{parts.view, parts.timerBackup, parts.timerVerTerminal, gui.ErrorBox(), parts.memo};
    FakeBackupModule module;

    static inline int argc = 1;
    static inline char name[] = "qt_window_test";
    static inline char* argv[] = {name, nullptr};
};

TEST(QtWindow, CaptionFixedSizeAndTitleBar) {
    QtProgram p;
    EXPECT_EQ(p.window.windowTitle(), "Veltor - Backups");
    EXPECT_EQ(p.window.minimumSize(), QSize(825, 468));
    EXPECT_EQ(p.window.maximumSize(), QSize(825, 468));
    const Qt::WindowFlags flags = p.window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_EQ(p.window.font().pixelSize(), 11);
}

TEST(QtWindow, ControlsWithTheirTextsPlacesAndFonts) {
    QtProgram p;
    QLabel* panel = Child<QLabel>(p.window, "Panel1");
    QPushButton* button1 = Child<QPushButton>(p.window, "Button1");
    QPlainTextEdit* memo = Child<QPlainTextEdit>(p.window, "MemoActividad");
    QLineEdit* folder = Child<QLineEdit>(p.window, "EdRutaCopias");
    QPushButton* button3 = Child<QPushButton>(p.window, "Button3");
    QLabel* labRutaCopia = Child<QLabel>(p.window, "LabRutaCopia");
    QLabel* label3 = Child<QLabel>(p.window, "Label3");
    ASSERT_TRUE(panel && button1 && memo && folder && button3 && labRutaCopia && label3);

    EXPECT_EQ(panel->text(), "BACKUPS VELTOR 2026  ");
    EXPECT_EQ(panel->geometry(), QRect(24, 16, 785, 24));
    EXPECT_TRUE(panel->font().bold());
    EXPECT_EQ(panel->font().pixelSize(), 16);
    EXPECT_TRUE(panel->alignment() & Qt::AlignHCenter);

    EXPECT_EQ(button1->text(), "Minimizar");
    EXPECT_EQ(button1->geometry(), QRect(738, 428, 73, 25));
    EXPECT_EQ(button3->text(), "Backup Restore Ahora");
    EXPECT_EQ(button3->geometry(), QRect(611, 428, 121, 25));

    EXPECT_EQ(memo->geometry(), QRect(24, 100, 785, 313));
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    EXPECT_EQ(folder->geometry(), QRect(128, 52, 681, 24));
    EXPECT_FALSE(folder->isEnabled());
    EXPECT_TRUE(folder->font().bold());
    EXPECT_EQ(folder->font().pixelSize(), 13);

    EXPECT_EQ(labRutaCopia->text(), "Carpeta Backups:");
    EXPECT_EQ(labRutaCopia->pos(), QPoint(24, 52));
    EXPECT_EQ(label3->text(), "Log de Actividad:");
    EXPECT_EQ(label3->pos(), QPoint(24, 84));

    // Tab order: Button1, MemoActividad, EdRutaCopias, Button3 (the memo's own parts lie between).
    std::vector<QWidget*> order;
    for (QWidget* w = button1; order.size() < 4; w = w->nextInFocusChain()) {
        if (w == button1 || w == memo || w == folder || w == button3) order.push_back(w);
    }
    EXPECT_THAT(order, ::testing::ElementsAre(button1, memo, folder, button3));
}

TEST(QtWindow, CentredOnTheScreen) {
    QtProgram p;
    p.window.CentreOnScreen();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(p.window.geometry().center().x(), area.center().x(), 1);
    EXPECT_NEAR(p.window.geometry().center().y(), area.center().y(), 1);
}

TEST(QtWindow, ButtonThreeStartsTheImmediateRunAndIsDisabledMeanwhile) {
    QtProgram p;
    p.frm.SetBackupModule(&p.module);
    QPushButton* button3 = Child<QPushButton>(p.window, "Button3");
    std::vector<bool> enabledDuringRun;
    p.module.duringScheduled = [&] {
        enabledDuringRun.push_back(button3->isEnabled());
        EXPECT_TRUE(p.frm.RestoreNow);
    };
    p.window.show();
    QTest::mouseClick(button3, Qt::LeftButton);
    EXPECT_THAT(p.module.calls, ::testing::ElementsAre("RunScheduledBackup", "RunBackupRestore"));
    EXPECT_THAT(p.module.restoreNowGiven, ::testing::ElementsAre(true));
    EXPECT_THAT(enabledDuringRun, ::testing::ElementsAre(false));
    EXPECT_TRUE(button3->isEnabled());
    EXPECT_FALSE(p.frm.RestoreNow);
}

TEST(QtWindow, MemoKeepsTheLastTwentyThousandLinesAndBreaksAtCrLf) {
    QtProgram p;
    QPlainTextEdit* memo = Child<QPlainTextEdit>(p.window, "MemoActividad");
    std::vector<std::string> lines;
    for (int i = 1; i <= 20'005; ++i)
        lines.push_back("línea " + std::to_string(i));
    p.parts.memo.AppendMemoLines(lines);
    EXPECT_EQ(memo->blockCount(), 20'000);
    EXPECT_EQ(memo->document()->firstBlock().text(), "línea 6");

    p.parts.memo.AppendMemoLines({"gbak: first\r\nsecond"});
    EXPECT_EQ(memo->document()->lastBlock().text(), "second");
    EXPECT_EQ(memo->document()->lastBlock().previous().text(), "gbak: first");
}

TEST(QtWindow, AFolderInTheAnsiCodePageShowsItsCharacters) {
    QtProgram p;
    p.parts.view.ShowBackupFolder("C:\\COMPA\xD1\xCD"
                                  "A\\BACKUPS\\");
    EXPECT_EQ(Child<QLineEdit>(p.window, "EdRutaCopias")->text(), QString::fromUtf8("C:\\COMPAÑÍA\\BACKUPS\\"));
}

TEST(QtWindow, ErrorBoxIsCriticalAndCaptionedWithTheTitle) {
    QtProgram p;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->accept();
    });
    p.gui.ErrorBox().ShowError("'' is not a valid integer value.");
    EXPECT_EQ(title, "Backups Veltor");
    EXPECT_EQ(text, "'' is not a valid integer value.");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtWindow, FatalErrorIsShownInTheApplicationErrorBox) {
    QtProgram p;
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    p.gui.ReportFatalError("System Error.  Code: 13.\r\nPermission denied");
    EXPECT_EQ(title, "Application Error");
    EXPECT_EQ(text, "System Error.  Code: 13.\nPermission denied");
}

TEST(QtWindow, MessageLoopActivatesTheWindowOnceAndEndsWhenItCloses) {
    QtProgram p;
    int activations = 0;
    WindowEvents events = p.window.events();
    p.window.BindEvents({.activated =
                             [&] {
                                 ++activations;
                                 events.activated(); // the real handler: reads ADMINBD.inf (missing) ...
                             },
                         .minimiseClicked = events.minimiseClicked,
                         .runNowClicked = events.runNowClicked});
    // ... and shows its error box; close it, then the window.
    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    QTimer::singleShot(100, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        p.window.close();
    });
    p.gui.RunMessageLoop();
    EXPECT_EQ(activations, 1);
}

TEST(QtTimer, ZeroIntervalNeverFiresAndDisabledTimerStops) {
    EnsureApplication();
    qt::QtTimer timer;
    int fired = 0;
    timer.SetOnTimer([&] { ++fired; });
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.timer().isActive());
    QTest::qWait(20);
    EXPECT_EQ(fired, 0);

    timer.SetInterval(5);
    EXPECT_TRUE(timer.timer().isActive());
    QTRY_VERIFY_WITH_TIMEOUT(fired >= 2, 2000);
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.timer().isActive());
}

} // namespace
} // namespace veltor::test
