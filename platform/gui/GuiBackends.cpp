// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/GuiBackends.h"

#include "platform/MessageBox.h"
#include "platform/Opener.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFont>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QScreen>
#include <QTranslator>
#include <QTreeView>
#include <QUrl>

namespace quil {
namespace {

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None: return QMessageBox::NoIcon;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

MsgAnswer showBox(const ShownMessage &msg) {
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton first = QMessageBox::Ok;
    MsgAnswer closed = MsgAnswer::Ok;
    switch (msg.buttons) {
    case MsgButtons::Ok: break;
    case MsgButtons::OkCancel:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        closed = MsgAnswer::Cancel;
        break;
    case MsgButtons::YesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        first = QMessageBox::Yes;
        closed = MsgAnswer::No;
        break;
    }
    QMessageBox box(qtIcon(msg.icon), msg.caption, msg.text, buttons, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("QuilMessageBox"));
    box.setDefaultButton(first);
    // Escape and the close box answer as the last button does.
    box.setEscapeButton(msg.buttons == MsgButtons::Ok ? QMessageBox::Ok
                                                      : (msg.buttons == MsgButtons::YesNo ? QMessageBox::No
                                                                                          : QMessageBox::Cancel));
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return closed;
    }
}

// One entry of a dialog's filter list: the text the reader sees and the
// patterns that choose the files.
struct NameFilter {
    QString text;
    QStringList patterns; // empty: the dialog reads them from the text
};

// "カンマ区切り子ファイル(*.csv , *.k3)|*.csv;*.k3|テキストファイル(*.txt)|*.txt"
// is the classic form: text and patterns in turn. A filter without "|" is
// Qt's own form, "CSV (*.csv);;すべて (*.*)".
QList<NameFilter> nameFilters(const QString &filter) {
    QList<NameFilter> out;
    if (!filter.contains(u'|')) {
        for (const QString &text : filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts))
            out.append({text, {}});
        return out;
    }
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out.append({parts[i], parts[i + 1].split(u';', Qt::SkipEmptyParts)});
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        out.append({parts.last(), {}});
    return out;
}

// QFileSystemModel writes sizes and dates in the system's locale, which
// follows LANG; the dialog shows them in the program's.
class LocalizedFileList : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override {
        auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case 1:
            if (files->isDir(source))
                break;
            return QLocale().formattedDataSize(files->size(source));
        case 2:
            // Qt's catalogue leaves a folder's type "Folder"; files are
            // named by their MIME type, in the program's language already.
            if (files->isDir(source))
                return QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory")).comment();
            break;
        case 3: return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default: break;
        }
        return QIdentityProxyModel::data(index, role);
    }
};

// Qt sizes the detail columns for English samples ("128.88 GB",
// "10/29/81 02:02PM"); Japanese titles, types and dates need more, and the
// names the room of a larger dialog.
void sizeForReading(QFileDialog &dialog) {
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView *header = view->header();
    const QFontMetrics fm(view->font());
    const int pad = fm.averageCharWidth() * 3;
    const QLocale locale;
    const QString samples[] = {
        QString(),
        locale.formattedDataSize(qint64(1000) * 1024 * 1024 * 1024 - 1),
        // The type column names MIME types: "平文テキストドキュメント" for a .txt.
        QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment(),
        locale.toString(QDateTime(QDate(2088, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat),
    };
    int detail = 0;
    for (int column = 1; column < header->count() && column < 4; ++column) {
        const int wanted = std::max({header->sectionSize(column), header->sectionSizeHint(column),
                                     fm.horizontalAdvance(samples[column]) + pad});
        header->resizeSection(column, wanted);
        detail += wanted;
    }
    const int names = fm.horizontalAdvance(QLatin1Char('w')) * 24;
    // The sidebar and the frames come on top of the columns.
    QSize size = dialog.sizeHint().expandedTo(QSize(names + detail + 240, 460));
    if (const QScreen *screen = dialog.screen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    dialog.resize(size);
    // The names take what the other columns leave, so that all of them are
    // seen without scrolling sideways; the view has its width once shown.
    struct NamesFill : QObject {
        QTreeView *view;
        int detail, least;
        NamesFill(QTreeView *v, int d, int l) : QObject(v), view(v), detail(d), least(l) {}
        bool eventFilter(QObject *, QEvent *event) override {
            if (event->type() == QEvent::Show) {
                view->header()->resizeSection(0, std::max(least, view->viewport()->width() - detail));
                deleteLater();
            }
            return false;
        }
    };
    view->installEventFilter(new NamesFill(view, detail, fm.horizontalAdvance(QLatin1Char('w')) * 12));
}

} // namespace

void installGuiBackends() {
    MessageBox::setBackend(showBox);
    FileDialog::setBackend([](const QString &caption, const QString &filter, bool save, const QString &suffix) {
        QFileDialog dialog(QApplication::activeWindow(), caption);
        // Qt's own dialog: it speaks the program's language and shows the
        // filters as written; a desktop's dialog follows LANG.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // Open: only an existing file; save: asks before replacing one.
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(suffix);
        dialog.setProxyModel(new LocalizedFileList(&dialog));
        const QList<NameFilter> filters = nameFilters(filter);
        QStringList texts;
        for (const NameFilter &f : filters)
            texts << f.text;
        dialog.setNameFilters(texts);
        // The dialog would take the patterns from the text, "," of
        // "(*.csv , *.k3)" among them; the files are chosen by those given.
        auto *files = qobject_cast<QFileSystemModel *>(dialog.proxyModel()->sourceModel());
        auto usePatterns = [files, filters](const QString &text) {
            for (const NameFilter &f : filters)
                if (f.text == text && !f.patterns.isEmpty() && files)
                    files->setNameFilters(f.patterns);
        };
        if (!texts.isEmpty())
            usePatterns(texts.first());
        // Emitted after the dialog has applied its own reading of the text.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, usePatterns);
        sizeForReading(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    });
    Opener::setBackend([](const Opener::Request &request) {
        // The desktop's opener is started and not waited for.
        QDesktopServices::openUrl(request.localFile ? QUrl::fromLocalFile(request.address)
                                                    : QUrl(request.address, QUrl::TolerantMode));
    });
    Clipboard::setBackend(Clipboard::Backend{
        [] { return QGuiApplication::clipboard()->text(); },
        [](const QString &text) { QGuiApplication::clipboard()->setText(text); },
    });
}

bool loadJapaneseTranslations(QApplication &app) {
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app.installTranslator(translator);
    return true;
}

void useJapaneseLocale() {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    // Setting it races with threads that read it; only the first call sets.
    if (QLocale() != japanese)
        QLocale::setDefault(japanese);
}

void installFontSubstitutions() {
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
}

} // namespace quil
