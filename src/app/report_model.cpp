#include "app/report_model.h"

#include <QAbstractItemView>
#include <string_view>

#include "text/codepage.h"

QString OneLineDisplay(const Text& text, int maxBytes) {
  std::size_t end = 0;
  const std::size_t limit = maxBytes < 0 ? 0 : static_cast<std::size_t>(maxBytes);
  while (end < text.size() && end < limit) {
    const auto byte = static_cast<unsigned char>(text[end]);
    end += (byte >= 0x81 && byte <= 0xFE && end + 1 < text.size()) ? 2 : 1;
  }
  const std::u16string units = GbkToUtf16(std::string_view(text).substr(0, end));
  QString shown = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
  for (QChar& ch : shown) {
    if (ch.unicode() < 0x20) ch = QLatin1Char(' ');
  }
  if (end < text.size()) shown += QChar(0x2026);
  return shown;
}

namespace {
// About one display frame.
constexpr int kPublishDelayMs = 16;
}  // namespace

ReportModel::ReportModel(const QStringList& headers, bool withTicks, QObject* parent)
    : QAbstractTableModel(parent), headers_(headers), withTicks_(withTicks) {
  publishTimer_.setSingleShot(true);
  QObject::connect(&publishTimer_, &QTimer::timeout, this, [this] { Publish(); });
}

int ReportModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_;
}

void ReportModel::Publish() {
  publishTimer_.stop();
  if (shown_ < RowCount()) {
    beginInsertRows(QModelIndex(), shown_, RowCount() - 1);
    shown_ = RowCount();
    endInsertRows();
  }
  if (scrollView_ != nullptr && scrollRow_ >= 0 && scrollRow_ < shown_) {
    scrollView_->scrollTo(index(scrollRow_, 0));
  }
  scrollView_ = nullptr;
  scrollRow_ = -1;
}

void ReportModel::EnsureVisible(int row, QAbstractItemView* view) {
  if (row < 0 || row >= RowCount()) return;
  scrollView_ = view;
  scrollRow_ = row;
  if (row < shown_) {
    Publish();
  } else if (!publishTimer_.isActive()) {
    publishTimer_.start(kPublishDelayMs);
  }
}

int ReportModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !HasCell(index.row(), index.column())) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) return OneLineDisplay(row.cells[index.column()]);
  if (role == Qt::CheckStateRole && withTicks_ && index.column() == 0) {
    return row.tick ? Qt::Checked : Qt::Unchecked;
  }
  return {};
}

bool ReportModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !withTicks_ || index.column() != 0 ||
      !HasCell(index.row(), 0)) {
    return false;
  }
  SetTick(index.row(), value.toInt() == Qt::Checked ? 1 : 0);
  return true;
}

Qt::ItemFlags ReportModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (withTicks_ && index.column() == 0) result |= Qt::ItemIsUserCheckable;
  return result;
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= headers_.size()) return {};
  return headers_[section];
}

void ReportModel::DeleteAll() {
  publishTimer_.stop();
  scrollView_ = nullptr;
  scrollRow_ = -1;
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  shown_ = 0;
  endResetModel();
}

void ReportModel::InsertRow(int row, const Text& column0) {
  if (row < 0) return;
  if (row > RowCount()) row = RowCount();
  Row fresh;
  fresh.cells[0] = column0;
  if (row == RowCount()) {
    // Appending, as the jobs always do: the view hears of it with the next batch.
    rows_.push_back(std::move(fresh));
    if (!publishTimer_.isActive()) publishTimer_.start(kPublishDelayMs);
    return;
  }
  Publish();
  beginInsertRows(QModelIndex(), row, row);
  rows_.insert(rows_.begin() + row, std::move(fresh));
  ++shown_;
  endInsertRows();
}

void ReportModel::SetCellText(int row, int column, const Text& text) {
  if (!HasCell(row, column)) return;
  rows_[static_cast<std::size_t>(row)].cells[column] = text;
  if (row >= shown_) return;
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

Text ReportModel::CellText(int row, int column) const {
  if (!HasCell(row, column)) return {};
  return rows_[static_cast<std::size_t>(row)].cells[column];
}

int ReportModel::Tick(int row) const {
  if (!withTicks_ || !HasCell(row, 0)) return 0;
  return rows_[static_cast<std::size_t>(row)].tick ? 1 : 0;
}

void ReportModel::SetTick(int row, int tick) {
  if (!withTicks_ || !HasCell(row, 0)) return;
  rows_[static_cast<std::size_t>(row)].tick = tick != 0;
  if (row >= shown_) return;
  const QModelIndex changed = index(row, 0);
  emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

bool ReportModel::HasCell(int row, int column) const {
  return row >= 0 && row < RowCount() && column >= 0 && column < 2;
}
