#include "window/kept_settings.h"

namespace sorimba {
namespace {

QString unreadableSettingsText(const settings::SettingsFiles& files,
                               const settings::Unreadable& unreadable) {
    QString text = QStringLiteral("設定ファイルを読み込めませんでした：");
    if (unreadable.data) text += QStringLiteral("\n") + files.data;
    if (unreadable.data2) text += QStringLiteral("\n") + files.data2;
    return text + QStringLiteral("\nこのファイルの設定は使わず、終了するときも保存しません。");
}

QString storeFailureText(const settings::StoreResult& stored) {
    using Failure = settings::StoreResult::Failure;
    QString text = stored.failure == Failure::Folder
                       ? QStringLiteral("設定を保存できませんでした。フォルダを作れません：\n")
                       : QStringLiteral("設定を保存できませんでした：\n");
    text += stored.path;
    if (!stored.error.isEmpty()) text += QStringLiteral("\n") + stored.error;
    return text;
}

}  // namespace

QString KeptSettings::load(WindowSettings& window, const settings::SettingsFiles& files,
                           std::optional<QString>* trouble) {
    files_ = files;
    const settings::Loaded loaded = settings::loadSettings(window, files);
    unreadable_ = loaded.unreadable;
    if (unreadable_.any()) *trouble = unreadableSettingsText(files, unreadable_);
    return loaded.savePath;
}

std::optional<QString> KeptSettings::store(const WindowSettings& window,
                                           const QString& savePath) const {
    if (!files_) return std::nullopt;
    const settings::StoreResult stored =
        settings::storeSettings(window, *files_, savePath, unreadable_);
    if (stored.ok()) return std::nullopt;
    return storeFailureText(stored);
}

}  // namespace sorimba
