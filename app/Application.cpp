// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include "app/Glyphs.h"
#include "app/StartupWarmup.h"
#include "app/TDBGridForm.h"
#include "app/TQUILMainForm.h"
#include "autoinput/TQUILAutoInputForm.h"
#include "forms/TMIDCopyForm.h"
#include "forms/TOSConfigForm.h"
#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/gui/GuiBackends.h"
#include "platform/gui/LazyIcons.h"
#include "store/DataModules.h"
#include "text/Error.h"

#include <QApplication>
#include <QFont>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWindow>

namespace quil {

namespace {

QStringList g_order;

template <typename T>
T *created(T *object) {
    g_order << object->objectName();
    return object;
}

// Closing a table stores the record being edited when it was changed and
// drops it otherwise, exactly as a move would.
void closeTable(Table *table) {
    if (table && table->active())
        guard([table] { table->close(); });
}

// Delivers the shown window's first exposure, so that it paints, taking no
// input meanwhile: a key pressed this early waits until every window exists.
// Bounded, for a window system that never exposes the window.
void paintOnce(QWidget *window) {
    QWindow *handle = window->windowHandle();
    if (!handle)
        return;
    struct ExposeWatch : QObject {
        bool exposed = false;
        bool eventFilter(QObject *watched, QEvent *event) override {
            if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed())
                exposed = true;
            return false;
        }
    } watch;
    handle->installEventFilter(&watch);
    QDeadlineTimer deadline(500);
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(500);
    while (!watch.exposed && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    handle->removeEventFilter(&watch);
    // The window has painted; hand the picture to the window system now, not
    // when the event loop next waits.
    QGuiApplication::sync();
}

template <typename T>
void destroy(T *&global) {
    T *object = global;
    global = nullptr;
    delete object;
}

} // namespace

void createApplicationObjects() {
    g_order.clear();
    DataModule1 = created(new TDataModule1());
    MMagSysDataModule = created(new TMMagSysDataModule());
    QUILMainForm = created(new TQUILMainForm());
    // The main window is the only one shown; showing it before the windows
    // that start hidden lets the reader see it while they are made.
    QUILMainForm->show();
    paintOnce(QUILMainForm);
    OSConfigForm = created(new TOSConfigForm());
    QUILForm = created(new TQUILForm());
    QUILAutoInputForm = created(new TQUILAutoInputForm());
    MIDCopyForm = created(new TMIDCopyForm());
    DBGridForm = created(new TDBGridForm());
}

void destroyApplicationObjects() {
    if (DataModule1)
        closeTable(DataModule1->Table1);
    if (MMagSysDataModule)
        closeTable(MMagSysDataModule->Table2);
    destroy(DBGridForm);
    destroy(MIDCopyForm);
    destroy(QUILAutoInputForm);
    destroy(QUILForm);
    destroy(OSConfigForm);
    destroy(QUILMainForm);
    destroy(MMagSysDataModule);
    destroy(DataModule1);
}

QStringList applicationObjectOrder() { return g_order; }

void configureApplication(QApplication &app) {
    const QString title = QStringLiteral("Quillet");
    // Only the name: a display name would be appended to every window's caption.
    QApplication::setApplicationName(title);
    QApplication::setDesktopFileName(QStringLiteral("io.github.quillet.Quillet"));
    setApplicationTitle(title);
    // Before any window exists, so that every widget takes it.
    useJapaneseLocale();
    app.setProperty("HelpFile", QStringLiteral("Manual\\index.html"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}

int runApplication(int argc, char **argv) {
    // Before the warm-up's threads, which may read it.
    useJapaneseLocale();
    StartupWarmup warmup;
    QApplication app(argc, argv);
    // The substitutions first: the warm-up looks the main window's face up.
    installFontSubstitutions();
    warmup.applicationReady();
    try {
        installGuiBackends();
        installLazyStandardIcons(app);
        loadJapaneseTranslations(app);
        configureApplication(app);
        createApplicationObjects();
        warmup.finish();
        // Decoding the icon in every size and handing it to the window
        // system is left until the main window has painted.
        QApplication::setWindowIcon(glyph::programIcon());
        // Closing the main window ends the program, even while other
        // windows are still shown.
        QObject::connect(QUILMainForm, &TQUILMainForm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        // A window system's close request is not held back while the main
        // window paints for the first time; closed then, the program ends.
        if (QUILMainForm->isVisible())
            app.exec();
    } catch (const Error &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    }
    warmup.finish();
    try {
        destroyApplicationObjects();
    } catch (...) {
        // Nothing is left to show it in; the exit code is 0 regardless.
    }
    return 0;
}

} // namespace quil
