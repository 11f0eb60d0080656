// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "platform/gui/GuiBackends.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace quil;

namespace {

// Acts on the next modal window once it is up, polling with a bound so that
// a box that never appears fails the test instead of hanging it.
void whenModal(std::function<void(QWidget *)> act) {
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    timer->start(5);
}

QString plainText(const QString &buttonText) { return QString(buttonText).remove(u'&'); }

// The rows a file dialog's detail view shows, name, size and date joined by
// " | ", once the folder has been read (bounded).
std::string shownRows(QTreeView *view, int expected) {
    QAbstractItemModel *model = view->model();
    // A folder read short of time shows up as rows missing below.
    (void)QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) == expected; }, 3000);
    QStringList rows;
    for (int r = 0; r < model->rowCount(view->rootIndex()); ++r) {
        QStringList cells;
        for (int c : {0, 1, 3})
            cells << model->index(r, c, view->rootIndex()).data().toString();
        rows << cells.join(QStringLiteral(" | "));
    }
    rows.sort();
    return rows.join(u'\n').toStdString();
}

class GuiBackends : public test::EnvTest {
protected:
    static void SetUpTestSuite() {
        static bool once = false;
        if (!once) {
            once = true;
            ASSERT_TRUE(loadJapaneseTranslations(*static_cast<QApplication *>(QCoreApplication::instance())));
            installFontSubstitutions();
        }
    }
    void SetUp() override {
        EnvTest::SetUp();
        installGuiBackends();
        MessageBox::setTestMode(false);
    }
    void TearDown() override {
        MessageBox::setTestMode(true);
        MessageBox::setBackend(nullptr);
        FileDialog::setBackend(nullptr);
        Opener::setBackend(nullptr);
        Clipboard::setBackend({});
        EnvTest::TearDown();
    }
};

} // namespace

TEST_F(GuiBackends, AQuestionShowsARealBoxWithJapaneseButtons) {
    QString title, text, yes, no;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    whenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        yes = plainText(box->button(QMessageBox::Yes)->text());
        no = plainText(box->button(QMessageBox::No)->text());
        box->button(QMessageBox::No)->click();
    });
    const MsgAnswer answer =
        MessageBox::show(QStringLiteral("新しいバージョンがインストールされました。バージョンアップ処理を行いますか？"),
                         QStringLiteral("新しいバージョンのインストール"), MsgButtons::YesNo, MsgIcon::Information);
    EXPECT_EQ(answer, MsgAnswer::No);
    EXPECT_EQ(title, QStringLiteral("新しいバージョンのインストール"));
    EXPECT_EQ(text, QStringLiteral("新しいバージョンがインストールされました。バージョンアップ処理を行いますか？"));
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(yes.startsWith(QStringLiteral("はい"))) << yes.toStdString();
    EXPECT_TRUE(no.startsWith(QStringLiteral("いいえ"))) << no.toStdString();
}

TEST_F(GuiBackends, EscapeAnswersWithTheLastButtonAndIconsMatch) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString cancel;
    whenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        icon = box->icon();
        cancel = plainText(box->button(QMessageBox::Cancel)->text());
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(MessageBox::show("削除しますか?", "確認", MsgButtons::OkCancel, MsgIcon::Exclamation), MsgAnswer::Cancel);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_TRUE(cancel.startsWith(QStringLiteral("キャンセル"))) << cancel.toStdString();

    whenModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(MessageBox::show("q", "c", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);

    // The general error display: stop icon, OK, the title as caption.
    QString caption;
    whenModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        icon = box->icon();
        caption = box->windowTitle();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(guard([] { throw std::runtime_error("boom"); }));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(caption, "Quillet");
}

TEST_F(GuiBackends, FileDialogsAreQtDialogsWithTheFilterConverted) {
    QStringList filters;
    QString title;
    whenModal([&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        filters = dlg->nameFilters();
        title = dlg->windowTitle();
        dlg->reject();
    });
    EXPECT_EQ(FileDialog::getOpenFileName(QStringLiteral("CSV の読み込み"),
                                          QStringLiteral("CSV ファイル (*.csv)|*.csv|すべてのファイル (*.*)|*.*")),
              QString());
    EXPECT_EQ(title, QStringLiteral("CSV の読み込み"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("CSV ファイル (*.csv)"), QStringLiteral("すべてのファイル (*.*)")}));

    const QString target = env->cwd() + "/out.csv";
    whenModal([&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->selectFile(target);
        static_cast<QDialog *>(dlg)->accept();
    });
    EXPECT_EQ(FileDialog::getSaveFileName("保存", "CSV (*.csv)"), target);
}

TEST_F(GuiBackends, FileDialogsShowTheFiltersAsWrittenChooseByTheirPatternsAndSpeakJapanese) {
    useJapaneseLocale();
    const QDateTime stamp(QDate(2024, 3, 2), QTime(8, 41));
    for (const char *name : {"register.csv", "old.k3", "notes.txt", ",", "settings.ini"}) {
        QFile file(env->writeFile(QString::fromUtf8(name), "12345"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(stamp, QFileDevice::FileModificationTime);
    }
    ASSERT_TRUE(QDir(env->cwd()).mkdir(QStringLiteral("保存フォルダ")));

    QStringList texts, cutColumns;
    std::string csvRows, txtRows;
    QString folderType;
    bool allColumnsSeen = false;
    whenModal([&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        auto *types = dlg->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        auto *view = dlg->findChild<QTreeView *>(QStringLiteral("treeView"));
        ASSERT_TRUE(types && view);
        for (int i = 0; i < types->count(); ++i)
            texts << types->itemText(i);
        csvRows = shownRows(view, 3);
        for (int r = 0; r < 3; ++r)
            if (view->model()->index(r, 0, view->rootIndex()).data().toString() == QStringLiteral("保存フォルダ"))
                folderType = view->model()->index(r, 2, view->rootIndex()).data().toString();
        const QHeaderView *header = view->header();
        const QFontMetrics fm(view->font());
        for (int c = 0; c < 4; ++c) {
            const QString widest = c == 0 ? QString() : view->model()->index(0, c, view->rootIndex()).data().toString();
            if (header->sectionSize(c) < header->sectionSizeHint(c) || header->sectionSize(c) < fm.horizontalAdvance(widest))
                cutColumns << header->model()->headerData(c, Qt::Horizontal).toString();
        }
        allColumnsSeen = header->length() <= view->viewport()->width();
        // The reader picks the second filter with the keyboard.
        QTest::keyClick(types, Qt::Key_Down);
        txtRows = shownRows(view, 2);
        dlg->reject();
    });
    EXPECT_EQ(FileDialog::getOpenFileName(
                  QString(), QStringLiteral("カンマ区切り子ファイル(*.csv , *.k3)|*.csv;*.k3|テキストファイル(*.txt)|*.txt"),
                  QStringLiteral("csv")),
              QString());
    EXPECT_EQ(texts, (QStringList{QStringLiteral("カンマ区切り子ファイル(*.csv , *.k3)"), QStringLiteral("テキストファイル(*.txt)")}));
    // "," is no pattern, though the dialog would read one from the text.
    const QString folderDate = QLocale().toString(QFileInfo(env->cwd() + QStringLiteral("/保存フォルダ")).lastModified(),
                                                  QLocale::ShortFormat);
    EXPECT_EQ(csvRows, QStringLiteral("old.k3 | 5 バイト | 2024/03/02 8:41\n"
                                      "register.csv | 5 バイト | 2024/03/02 8:41\n"
                                      "保存フォルダ |  | %1").arg(folderDate).toStdString());
    EXPECT_EQ(txtRows, QStringLiteral("notes.txt | 5 バイト | 2024/03/02 8:41\n保存フォルダ |  | %1").arg(folderDate).toStdString());
    EXPECT_EQ(folderType.toStdString(), "フォルダー");
    EXPECT_TRUE(cutColumns.isEmpty()) << cutColumns.join(u',').toStdString();
    EXPECT_TRUE(allColumnsSeen);
}

TEST_F(GuiBackends, TheClipboardIsTheDesktopClipboard) {
    Clipboard::setText(QStringLiteral("会員ＩＤ 12345"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("会員ＩＤ 12345"));
    QGuiApplication::clipboard()->setText("from elsewhere");
    EXPECT_EQ(Clipboard::text(), "from elsewhere");
}

TEST_F(GuiBackends, WindowsFontNamesResolveToTheIpaFaces) {
    const QStringList families = QFontDatabase::families();
    ASSERT_TRUE(families.contains("IPAPGothic")) << "fonts-ipafont missing";
    ASSERT_TRUE(families.contains("IPAGothic"));
    // Qt keeps substitutes in lower case.
    EXPECT_EQ(QFont::substitute(QStringLiteral("ＭＳ Ｐゴシック")).toLower(), "ipapgothic");
    EXPECT_EQ(QFont::substitute(QStringLiteral("ＭＳ ゴシック")).toLower(), "ipagothic");
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9)).family(), "IPAPGothic");
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("ＭＳ ゴシック"), 9)).family(), "IPAGothic");
}
