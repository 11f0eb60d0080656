// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// Column names, spelled exactly as stored (full-width letters included).
namespace quil::col {
// Magazine table
inline const QString Publishing = QStringLiteral("発行媒体");
inline const QString MBName = QStringLiteral("メールマガジン名");
inline const QString MBID = QStringLiteral("マガジンＩＤ");
inline const QString MBType = QStringLiteral("データタイプ");
inline const QString MBCycle = QStringLiteral("発行周期");
inline const QString Web = QStringLiteral("関連Ｗｅｂページ");
inline const QString Publisher = QStringLiteral("発行者メールアドレス");
inline const QString RegAddress = QStringLiteral("登録アドレス");
inline const QString RegTime = QStringLiteral("登録日時");
inline const QString IPAddress = QStringLiteral("ＩＰアドレス");
inline const QString ChargeOrFree = QStringLiteral("有料／無料の区別");
inline const QString Explanation = QStringLiteral("説明");
inline const QString DeleteState = QStringLiteral("削除状態");
// Publishing-system table
inline const QString MMSysID = QStringLiteral("発行システムＩＤ");
inline const QString MMSysName = QStringLiteral("発行システム名");
inline const QString CancelUrl = QStringLiteral("解除ページ");
inline const QString AppendMMID = QStringLiteral("マガジンＩＤの付加");
inline const QString MMIDFigure = QStringLiteral("マガジンＩＤ桁数");
inline const QString NeedMemberID = QStringLiteral("会員ＩＤとパスワード有無");
inline const QString MemberID = QStringLiteral("会員ＩＤ");
inline const QString MemberPass = QStringLiteral("パスワード");
inline const QString SysRegAddress = QStringLiteral("登録メールアドレス");
inline const QString Expansion = QStringLiteral("拡張子");
inline const QString Note = QStringLiteral("備考");
} // namespace quil::col

namespace quil::state {
inline const QString NotSubscribed = QStringLiteral("未購読");
inline const QString Subscribed = QStringLiteral("購読中");
inline const QString CancelCandidate = QStringLiteral("解除候補");
inline const QString Cancelled = QStringLiteral("解除");
} // namespace quil::state

// The names of the publishing services the program knows by name. What each
// one means (its cancel page, its block of the page of cancel forms, its
// notices, its place in the record form) is the table in cancel/core/Services.
namespace quil::service {
inline const QString MagMag = QStringLiteral("まぐまぐ");
inline const QString Pubzine = QStringLiteral("Pubzine");
inline const QString Melma = QStringLiteral("melma");
inline const QString OwnSystem = QStringLiteral("独自システム");
// A list that announces itself in its headers (List-Id, List-Unsubscribe)
// and is left by them.
inline const QString MailingList = QStringLiteral("メーリングリスト");
// Retired: the version upgrade turns its records into melma ones, spelled
// in lower case as the old program stored it.
inline const QString RetiredClickincome = QStringLiteral("clickincome");
inline const QString Clickincome = QStringLiteral("Clickincome");
} // namespace quil::service
