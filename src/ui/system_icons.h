// Stand-in for the companion icon library: two process-wide image lists (small 16 px, large
// 32 px) that share one index per file type. Indexes are handed out lazily the first time a
// type is asked for; the icons come from the MIME database and the icon theme.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <map>
#include <vector>

namespace qelo::ui {

class TSystemImageList {
 public:
  explicit TSystemImageList(int iconSize) : iconSize_(iconSize) {}
  int IconSize() const { return iconSize_; }
  int Count() const;
  // The icon at index, or a null icon when out of range.
  QIcon Icon(int index) const;
  QPixmap Pixmap(int index) const;

 private:
  int iconSize_;
};

// size 1: the small-icon list; any other value: the large-icon list. Never null.
TSystemImageList* GetSystemImageListHandle(int size);
// Index of the icon of name's file type (judged from its extension); a generic icon for a
// null name. name is GBK. flags is reserved and ignored.
int GetSystemIconIndexA(const char* name, int flags);

}  // namespace qelo::ui
