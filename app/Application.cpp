#include "app/Application.h"

#include "app/Glyphs.h"
#include "app/TDBGridForm.h"
#include "app/TQUILMainForm.h"
#include "autoinput/TQUILAutoInputForm.h"
#include "forms/TMIDCopyForm.h"
#include "forms/TOSConfigForm.h"
#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/gui/GuiBackends.h"
#include "store/DataModules.h"
#include "text/Error.h"

#include <QApplication>
#include <QFont>

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
    OSConfigForm = created(new TOSConfigForm());
    QUILForm = created(new TQUILForm());
    QUILAutoInputForm = created(new TQUILAutoInputForm());
    MIDCopyForm = created(new TMIDCopyForm());
    DBGridForm = created(new TDBGridForm());
    QUILMainForm->show();
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
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    setApplicationTitle(title);
    app.setProperty("HelpFile", QStringLiteral("Manual\\index.html"));
    QApplication::setWindowIcon(glyph::programIcon());
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}

int runApplication(int argc, char **argv) {
    QApplication app(argc, argv);
    try {
        installGuiBackends();
        loadJapaneseTranslations(app);
        installFontSubstitutions();
        configureApplication(app);
        createApplicationObjects();
        // Closing the main window ends the program, even while other
        // windows are still shown.
        QObject::connect(QUILMainForm, &TQUILMainForm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        app.exec();
    } catch (const Error &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    }
    try {
        destroyApplicationObjects();
    } catch (...) {
        // Nothing is left to show it in; the exit code is 0 regardless.
    }
    return 0;
}

} // namespace quil
