#include "platform/qt/QtApplication.h"
#include "text/Windows1252.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace veltor::qt {

namespace {

QFont WindowFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A value from outside that is not UTF-8 (the folder of ADMINBD.inf) shows its Windows-1252
// characters, as the month log holds them.
QString FromUtf8(const std::string& text) {
    const std::string utf8 = ToProgramText(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QtMessageHandler previousHandler = nullptr;

// Qt aborts on a fatal message, such as a display it cannot open or no platform plugin; the
// program ends instead with a line that says why and exit code 1.
void EndOnFatalMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (previousHandler) previousHandler(type, context, message);
        return;
    }
    const QByteArray text = message.toLocal8Bit();
    std::fprintf(stderr, "veltor-backups: the window cannot start: %s\n", text.constData());
    std::fflush(stderr);
    std::_Exit(1);
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

} // namespace

QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        // A copy: the handler may replace itself.
        std::function<void()> handler = handler_;
        if (handler) handler();
    });
}

void QtTimer::Restart() {
    timer_.stop();
    // A QTimer of interval 0 fires whenever the loop is idle; ours never fires.
    if (!enabled_ || interval_ == 0) return;
    const std::uint32_t longest = std::numeric_limits<int>::max();
    timer_.start(static_cast<int>(interval_ < longest ? interval_ : longest));
}

void QtTimer::SetInterval(std::uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    Restart();
}

void QtTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

QtMainWindow::QtMainWindow() {
    setObjectName(QStringLiteral("FrmActividad"));
    setWindowTitle(QStringLiteral("Veltor - Backups"));
    // Title, system menu and close box only; the size is fixed.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(825, 468);
    setFont(WindowFont(11, false));

    panel1_ = new QLabel(QStringLiteral("BACKUPS VELTOR 2026  "), this);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    panel1_->setGeometry(24, 16, 785, 24);
    panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel1_->setAlignment(Qt::AlignCenter);
    panel1_->setFont(WindowFont(16, true));

    button1_ = new QPushButton(QStringLiteral("Minimizar"), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setGeometry(738, 428, 73, 25);

    memoActividad_ = new QPlainTextEdit(this);
    memoActividad_->setObjectName(QStringLiteral("MemoActividad"));
    memoActividad_->setGeometry(24, 100, 785, 313);
    memoActividad_->setReadOnly(true);
    memoActividad_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoActividad_->setMaximumBlockCount(kMemoLineLimit);

    edRutaCopias_ = new QLineEdit(this);
    edRutaCopias_->setObjectName(QStringLiteral("EdRutaCopias"));
    edRutaCopias_->setGeometry(128, 52, 681, 24);
    edRutaCopias_->setEnabled(false);
    edRutaCopias_->setFont(WindowFont(13, true));

    button3_ = new QPushButton(QStringLiteral("Backup Restore Ahora"), this);
    button3_->setObjectName(QStringLiteral("Button3"));
    button3_->setGeometry(611, 428, 121, 25);

    auto* labRutaCopia = new QLabel(QStringLiteral("Carpeta Backups:"), this);
    labRutaCopia->setObjectName(QStringLiteral("LabRutaCopia"));
    labRutaCopia->move(24, 52);
    labRutaCopia->adjustSize();
    auto* label3 = new QLabel(QStringLiteral("Log de Actividad:"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->move(24, 84);
    label3->adjustSize();

    setTabOrder(button1_, memoActividad_);
    setTabOrder(memoActividad_, edRutaCopias_);
    setTabOrder(edRutaCopias_, button3_);

    connect(button1_, &QPushButton::clicked, this, [this] {
        if (events_.minimiseClicked) events_.minimiseClicked();
    });
    connect(button3_, &QPushButton::clicked, this, [this] {
        if (events_.runNowClicked) events_.runNowClicked();
    });
}

void QtMainWindow::ShowBackupFolder(const std::string& folder) {
    edRutaCopias_->setText(FromUtf8(folder));
}

void QtMainWindow::Minimize() {
    setWindowState((windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

void QtMainWindow::SetRunNowEnabled(bool enabled) {
    button3_->setEnabled(enabled);
}

void QtMainWindow::AppendMemoLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        QString text = FromUtf8(line);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        memoActividad_->appendPlainText(text);
    }
}

void QtMainWindow::ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMainWindow::CentreOnScreen() {
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (shown == nullptr) return;
    const QRect area = shown->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void QtMainWindow::ActivateOnce() {
    if (activated_) return;
    activated_ = true;
    if (events_.activated) events_.activated();
}

void QtErrorBox::ShowError(const std::string& text) {
    QMessageBox::critical(parent_, FromUtf8(title_), FromUtf8(text), QMessageBox::Ok);
}

QtGuiApplication::QtGuiApplication(int& argc, char** argv) : argc_(argc), argv_(argv) {
    QtMessageHandler previous = qInstallMessageHandler(EndOnFatalMessage);
    if (previous != EndOnFatalMessage) previousHandler = previous;
}

QtGuiApplication::~QtGuiApplication() {
    // The window and timers go before the application object.
    window_.reset();
    timerBackup_.reset();
    timerVerTerminal_.reset();
}

void QtGuiApplication::ReportFatalError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    // The box as well when there is a display (a refused password prompt comes before the
    // window exists, so the application may have to be made here).
    if (QApplication::instance() == nullptr && !HasDisplay()) return;
    Initialize();
    QString message = FromUtf8(text);
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox::critical(nullptr, QStringLiteral("Application Error"), message, QMessageBox::Ok);
}

void QtGuiApplication::Initialize() {
    if (QApplication::instance() == nullptr) application_ = std::make_unique<QApplication>(argc_, argv_);
}

void QtGuiApplication::SetTitle(const std::string& title) {
    // The application name, not the display name, which Qt would add to every caption.
    QCoreApplication::setApplicationName(FromUtf8(title));
    errorBox_.SetTitle(title);
}

MainWindowParts QtGuiApplication::CreateMainWindow() {
    if (window_) throw std::logic_error("The main window exists already.");
    timerBackup_ = std::make_unique<QtTimer>();
    timerVerTerminal_ = std::make_unique<QtTimer>();
    window_ = std::make_unique<QtMainWindow>();
    errorBox_.SetParent(window_.get());
    return {*window_, *window_, *timerBackup_, *timerVerTerminal_};
}

void QtGuiApplication::RunMessageLoop() {
    if (!window_) throw std::logic_error("There is no main window.");
    window_->CentreOnScreen();
    window_->show();
    QtMainWindow* window = window_.get();
    QTimer::singleShot(0, window, [window] { window->ActivateOnce(); });
    QApplication::exec();
}

} // namespace veltor::qt
