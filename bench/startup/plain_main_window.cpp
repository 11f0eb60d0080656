// SPDX-License-Identifier: GPL-3.0-or-later
// A second yardstick for start-up: the main window's frame, menu bar, group
// boxes, buttons and captions in the same faces and sizes, built with plain
// Qt and nothing else (no register, no other windows, no button glyphs). The
// gap between it and the bare window is what the window's own content costs;
// the gap between it and Quillet is what the program adds.
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

namespace {

QFont face(int pixels) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixels);
    return font;
}

template <typename W>
W *at(W *widget, int x, int y, int w, int h) {
    widget->setGeometry(x, y, w, h);
    return widget;
}

QToolButton *toolButton(QWidget *parent, const QString &caption, int x, int y, int w, int h, bool checkable) {
    auto *b = at(new QToolButton(parent), x, y, w, h);
    b->setText(caption);
    b->setCheckable(checkable);
    b->setAutoRaise(!checkable);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void menu(QMenuBar *bar, const QString &caption, const QStringList &items) {
    QMenu *m = bar->addMenu(caption);
    for (const QString &item : items)
        m->addAction(item);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QApplication::setFont(face(12));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quillet"));
    window.setFont(face(12));
    auto *client = new QWidget;
    client->setFixedSize(662, 191);
    window.setCentralWidget(client);

    auto *box1 = at(new QGroupBox(QStringLiteral("表示項目への操作"), client), 8, 8, 177, 177);
    box1->setFont(face(13));
    at(new QPushButton(QStringLiteral("解除のページへ"), box1), 10, 24, 153, 25);
    at(new QPushButton(QStringLiteral("選択項目の削除"), box1), 10, 60, 153, 25);
    at(new QPushButton(QStringLiteral("解除候補のＨＴＭＬ化"), box1), 10, 96, 153, 25);

    auto *box4 = at(new QGroupBox(QStringLiteral("フォームの表示"), client), 192, 8, 137, 177);
    toolButton(box4, QStringLiteral("自動入力フォーム(&I)"), 8, 24, 121, 25, false);
    toolButton(box4, QStringLiteral("データベース(&D)"), 8, 56, 121, 22, false);
    toolButton(box4, QStringLiteral("一覧表表示(&T)"), 8, 88, 121, 22, false);

    auto *box2 = at(new QGroupBox(QStringLiteral("検　　索"), client), 336, 8, 321, 113);
    box2->setFont(face(13));
    at(new QLineEdit(box2), 8, 24, 209, 21);
    at(new QPushButton(QStringLiteral("検　索"), box2), 232, 24, 75, 25);
    toolButton(box2, QStringLiteral("マガジン名"), 64, 53, 97, 22, true);
    toolButton(box2, QStringLiteral("マガジンID"), 160, 53, 97, 22, true)->setChecked(true);
    at(new QCheckBox(QStringLiteral("検索機能の強化版を使用"), box2), 16, 88, 161, 17);

    auto *box3 = at(new QGroupBox(QStringLiteral("状態によるのサーチ"), client), 336, 128, 321, 57);
    toolButton(box3, QStringLiteral("解除候補"), 16, 24, 89, 22, true)->setChecked(true);
    toolButton(box3, QStringLiteral("解　　除"), 104, 24, 89, 22, true);
    at(new QPushButton(QStringLiteral("次　へ"), box3), 232, 24, 75, 25);

    QMenuBar *bar = window.menuBar();
    menu(bar, QStringLiteral("ファイル(&F)"),
         {QStringLiteral("CSV ファイルとして保存"), QStringLiteral("ファイルから読みこみ(&O)"),
          QStringLiteral("データベース項目の全削除"), QStringLiteral("「解除」のデータをデータベースより削除"),
          QStringLiteral("全てを「解除候補」に変更"), QStringLiteral("全てを「購読中」に変更")});
    menu(bar, QStringLiteral("設定(&S)"),
         {QStringLiteral("メールアドレスの設定(&M)"), QStringLiteral("解除通知の作成"),
          QStringLiteral("IPアドレスの自動入力(Pubzine)")});
    menu(bar, QStringLiteral("フォーム(&V)"),
         {QStringLiteral("データベース(&D)"), QStringLiteral("自動入力フォーム(&I)"), QStringLiteral("一覧表表示(&T)"),
          QStringLiteral("発行システム設定フォーム")});
    menu(bar, QStringLiteral("バージョン情報(&H)"), {QStringLiteral("ヘルプ"), QStringLiteral("バージョン情報(&A)")});
    bar->addAction(QStringLiteral("終了(&Q)"));

    window.layout()->setSizeConstraint(QLayout::SetFixedSize);
    window.show();
    return app.exec();
}
