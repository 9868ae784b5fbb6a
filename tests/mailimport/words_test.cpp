// The import's failures in the words the window and sorimba-clip have
// always shown, byte for byte.
#include <gtest/gtest.h>

#include <cerrno>

#include "files/files.h"
#include "mail/structure.h"
#include "mailwords/mail_words.h"

namespace sorimba::mailwords {
namespace {

using Kind = Failure::Kind;
using Use = Failure::Use;

Failure at(Kind kind, Use use, int error = 0, const QString& detail = {}) {
    Failure failure = Failure::of(kind, QStringLiteral("/m/f")).in(use);
    failure.systemError = error;
    failure.detail = detail;
    return failure;
}

TEST(Words, TheImportsOwnFiles) {
    const QString denied = files::systemMessage(EACCES);
    const struct {
        Failure failure;
        QString words;
    } cases[] = {
        {Failure::of(Kind::NoName).in(Use::RecordOpen), u"保存ファイルが決まっていません"_qs},
        {at(Kind::Busy, Use::RecordOpen),
         u"/m/f: 同じ保存ファイルへの取り込みがほかで実行中です"_qs},
        {at(Kind::Suspicious, Use::RecordOpen, ELOOP),
         u"/m/f: 取り込みの記録の名前にシンボリックリンクが置かれているので、使いません（確かめてから消してください）"_qs},
        {at(Kind::Suspicious, Use::RecordRead),
         u"/m/f: 取り込みの記録ではないか、形式が違います"_qs},
        {at(Kind::System, Use::RecordOpen, EACCES),
         u"/m/f: 取り込みの記録を開けません（"_qs + denied + u"）"_qs},
        {at(Kind::System, Use::RecordRepair, EACCES),
         u"/m/f: 取り込みの記録を直せません（"_qs + denied + u"）"_qs},
        {at(Kind::NotConfined, Use::JournalRead),
         u"/m/f: 前回中断された取り込みの記録を使いません（保存ファイルとそのフォルダの「●タイトル」別のファイル以外を指しています）。確かめてから消してください"_qs},
        {at(Kind::System, Use::JournalWrite, EACCES),
         u"/m/f: 書き込めません（"_qs + denied + u"）"_qs},
        {at(Kind::NotRegular, Use::Finish),
         u"/m/f: 前回中断された取り込みを仕上げられません（not a regular file）"_qs},
        {at(Kind::System, Use::FinishFolder, EIO), u"/m/f: フォルダを書き込めません"_qs},
        {at(Kind::System, Use::Batch, EACCES, u"/m/a\n/m/b"_qs),
         u"/m/f: "_qs + denied +
             u"\n/m/a: ほかのプログラムが書き足したため、取り込みの一部が残っているかもしれません"
             u"\n/m/b: ほかのプログラムが書き足したため、取り込みの一部が残っているかもしれません"_qs},
        {at(Kind::Busy, Use::Append),
         u"/m/f: 保存ファイルはほかで書き込み中です。何も保存していません。しばらくしてからもう一度保存してください"_qs},
        {at(Kind::System, Use::Append, ENOSPC), u"/m/f（ディスクに空きがありません）"_qs},
    };
    for (const auto& c : cases) EXPECT_EQ(importFailure(c.failure), c.words);
}

TEST(Words, MessageProblems) {
    Failure invalid = Failure::of(Kind::NotText);
    invalid.detail = u"CP932\n○\\x82"_qs;
    Failure nested = Failure::of(Kind::OverLimit);
    nested.detail = u"nesting"_qs;
    EXPECT_EQ(messageProblem(invalid),
              u"投稿欄に文字コード CP932 として正しくないバイトがあります：○\\x82"_qs);
    EXPECT_EQ(messageProblem(nested), u"MIME の入れ子が深すぎます"_qs);
    EXPECT_EQ(messageProblem(mail::limitFailure(mail::Limit::MessageBytes)),
              u"メールが大きすぎます（1 通 64 MiB まで）"_qs);
    EXPECT_EQ(
        messageProblem(mail::limitFailure(mail::Limit::FieldBytes)),
        u"ヘッダーの項目が長すぎます（1 項目 %1 KiB まで）"_qs.arg(mail::kMaxFieldBytes >> 10));
}

}  // namespace
}  // namespace sorimba::mailwords
