#include "app/result_list_model.h"

#include <QIcon>
#include <QSize>
#include <string>
#include <utility>

#include "ui/gbk_qt.h"
#include "ui/system_icons.h"

namespace qelo::app {

namespace {

const char16_t* const kColumnTitles[TResultListModel::kColumnCount] = {
    u"文件名称", u"文件类型", u"文件大小", u"价值指数",
    u"人气指数", u"收录时间", u"文件地址", u"文件ID"};

}  // namespace

void TResultListModel::SetRows(TResultTable rows, const ui::TSystemImageList* icons,
                               int rowHeight) {
  beginResetModel();
  rows_ = std::move(rows);
  iconIndexes_.assign(rows_.RowCount(), kNotLookedUp);
  icons_ = icons;
  rowHeight_ = rowHeight;
  endResetModel();
}

int TResultListModel::IconIndex(int row) const {
  if (row < 0 || row >= rowCount()) return -1;
  int& index = iconIndexes_[static_cast<size_t>(row)];
  if (index != kNotLookedUp) return index;
  switch (rows_.IconOf(static_cast<size_t>(row))) {
    case ResultRow::Icon::FileName:
      index =
          ui::GetSystemIconIndexA(std::string(rows_.Caption(static_cast<size_t>(row))).c_str(), 0);
      break;
    case ResultRow::Icon::Generic:
      index = ui::GetSystemIconIndexA(nullptr, 0);
      break;
    case ResultRow::Icon::None:
      index = -1;
      break;
  }
  return index;
}

int TResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.RowCount());
}

int TResultListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TResultListModel::CaptionData(int row, int role) const {
  switch (role) {
    case Qt::DecorationRole: {
      const int index = IconIndex(row);
      if (index < 0 || !icons_) return {};
      return icons_->Icon(index);
    }
    case Qt::SizeHintRole:
      return QSize(0, rowHeight_);
    case kIconIndexRole:
      return IconIndex(row);
    default:
      return {};
  }
}

QVariant TResultListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.parent().isValid() || index.row() >= rowCount() ||
      index.column() >= kColumnCount)
    return {};
  const auto row = static_cast<size_t>(index.row());
  if (role == Qt::DisplayRole) {
    return ui::GbkToQString(index.column() == 0 ? rows_.Caption(row)
                                                : rows_.Cell(row, index.column() - 1));
  }
  return index.column() == 0 ? CaptionData(index.row(), role) : QVariant();
}

QVariant TResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumnCount)
    return {};
  return QString::fromUtf16(kColumnTitles[section]);
}

Qt::ItemFlags TResultListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

}  // namespace qelo::app
