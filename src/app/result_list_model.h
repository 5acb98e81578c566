// The rows of the main window's result list as a table model over a listing's compact rows.
// Texts become QStrings and icons are looked up only when the list asks for a row, so filling
// the list costs little more than the listing itself, however long the reply.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "appcore/search_rows.h"

namespace qelo::ui {
class TSystemImageList;
}

namespace qelo::app {

class TResultListModel : public QAbstractTableModel {
 public:
  // Data role that holds a row's icon index (-1: none looked up).
  static constexpr int kIconIndexRole = Qt::UserRole + 1;
  static constexpr int kColumnCount = 1 + kResultCellCount;

  using QAbstractTableModel::QAbstractTableModel;

  // Replaces every row. icons gives the rows their pictures (none when null); every row asks
  // for rowHeight pixels.
  void SetRows(TResultTable rows, const ui::TSystemImageList* icons, int rowHeight);
  const TResultTable& Rows() const { return rows_; }
  // The row's icon index, looked up the first time it is asked for; -1 for a row without one.
  int IconIndex(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  static constexpr int kNotLookedUp = -2;

  QVariant CaptionData(int row, int role) const;

  TResultTable rows_;
  mutable std::vector<int> iconIndexes_;
  const ui::TSystemImageList* icons_ = nullptr;
  int rowHeight_ = 0;
};

}  // namespace qelo::app
