// The window's Japanese words for the core's failures: the same sentences
// the user has always read, chosen by kind, errno and how the file was used.

#include "window/wording.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "convert/convert.h"

namespace sorimba {
namespace {

Failure made(Failure::Kind kind, int error, Failure::Use use = Failure::Use::Append) {
    Failure failure = Failure::of(kind);
    failure.systemError = error;
    failure.use = use;
    return failure;
}

TEST(Wording, EachFailureHasItsJapaneseSentence) {
    using K = Failure::Kind;
    const auto rewrite = Failure::Use::Rewrite;
    const struct {
        Failure failure;
        QString words;
    } cases[] = {
        {made(K::System, ENOENT), u"フォルダがありません"_qs},
        {made(K::System, ENOENT, rewrite), u"見つかりません"_qs},
        {made(K::System, EACCES), u"書き込みが許されていません"_qs},
        {made(K::System, EACCES, rewrite), u"読み書きが許されていません"_qs},
        {made(K::System, ENOSPC), u"ディスクに空きがありません"_qs},
        {made(K::ReadOnly, 0), u"読み取り専用です"_qs},
        {made(K::NotConfined, 0), u"保存先のフォルダの外のファイルです"_qs},
        {made(K::BadName, 0), u"ファイル名に使えない文字（NUL）が入っています"_qs},
        {made(K::BadName, EILSEQ, rewrite), u"名前をこの環境の文字コードで表せません"_qs},
        {made(K::PartialEntry, ENOSPC),
         u"ディスクに空きがありません。ほかのプログラムが書き足したため、新しい行の一部が残っているかもしれません"_qs},
    };
    for (const auto& c : cases) EXPECT_EQ(inJapanese(c.failure), c.words) << c.words.toStdString();
    // Errors without a sentence of their own quote the system's words.
    EXPECT_TRUE(inJapanese(made(K::System, EIO)).startsWith(u"書き込めませんでした："_qs));
    EXPECT_TRUE(inJapanese(made(K::Unconfirmed, EIO))
                    .startsWith(u"ディスクへの書き込みを確かめられませんでした（"_qs));
}

TEST(Wording, AConvertFailureListNamesTheFolderOrEachFile) {
    convert::FolderOutcome unlisted;
    unlisted.listing = Failure::system(ENOENT);
    EXPECT_EQ(convertFailures(QString(), unlisted),
              u"次のフォルダを変換できませんでした：\r\n./（見つかりません）"_qs);

    convert::FolderOutcome some;
    some.converted = 1;
    some.failures.push_back(Failure::of(Failure::Kind::ReadOnly, u"a\0b.txt"_qs));
    EXPECT_EQ(convertFailures(u"dir"_qs, some),
              u"次のファイルを変換できませんでした：\r\na␀b.txt（読み取り専用です）\r\n"
              u"ほかのファイルは変換しました。"_qs);
    EXPECT_TRUE(convertFailures(u"dir"_qs, convert::FolderOutcome{}).isEmpty());
}

}  // namespace
}  // namespace sorimba
