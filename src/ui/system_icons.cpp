#include "ui/system_icons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

#include "ui/gbk_qt.h"

namespace qelo::ui {

namespace {

// The shared icon table behind both lists: one entry per file type.
class IconTable {
 public:
  static IconTable& Instance() {
    static IconTable table;
    return table;
  }

  int IndexFor(const QString& key, const QStringList& themeNames) {
    auto it = byKey_.find(key);
    if (it != byKey_.end()) return it->second;
    icons_.push_back(Resolve(themeNames));
    const int index = static_cast<int>(icons_.size()) - 1;
    byKey_.emplace(key, index);
    return index;
  }

  int Count() const { return static_cast<int>(icons_.size()); }
  QIcon At(int index) const {
    return index >= 0 && index < Count() ? icons_[static_cast<size_t>(index)] : QIcon();
  }

 private:
  IconTable() { EnsureTheme(); }

  static void EnsureTheme() {
    // Offscreen and minimal sessions often name no theme, or one without MIME icons.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
      QIcon::setThemeName(QStringLiteral("Adwaita"));
  }

  static QIcon Resolve(const QStringList& themeNames) {
    for (const QString& n : themeNames) {
      if (!n.isEmpty() && QIcon::hasThemeIcon(n)) return QIcon::fromTheme(n);
    }
    if (qApp) return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return QIcon();
  }

  std::map<QString, int> byKey_;
  std::vector<QIcon> icons_;
};

QString GenericKey() {
  return QStringLiteral("<generic>");
}

}  // namespace

int TSystemImageList::Count() const {
  return IconTable::Instance().Count();
}

QIcon TSystemImageList::Icon(int index) const {
  return IconTable::Instance().At(index);
}

QPixmap TSystemImageList::Pixmap(int index) const {
  return Icon(index).pixmap(iconSize_, iconSize_);
}

TSystemImageList* GetSystemImageListHandle(int size) {
  static TSystemImageList small(16);
  static TSystemImageList large(32);
  return size == 1 ? &small : &large;
}

int GetSystemIconIndexA(const char* name, int /*flags*/) {
  IconTable& table = IconTable::Instance();
  if (!name)
    return table.IndexFor(GenericKey(),
                          {QStringLiteral("text-x-generic"), QStringLiteral("unknown")});
  static const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForFile(GbkToQString(name), QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault())
    return table.IndexFor(GenericKey(),
                          {QStringLiteral("text-x-generic"), QStringLiteral("unknown")});
  return table.IndexFor(
      type.name(), {type.iconName(), type.genericIconName(), QStringLiteral("text-x-generic")});
}

}  // namespace qelo::ui
