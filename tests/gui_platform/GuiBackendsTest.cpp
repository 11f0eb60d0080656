#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "platform/gui/GuiBackends.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
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
