// The rows of a two-column report list: GBK Text per cell and, for a list with tick boxes, one
// tick per row. The view shows each cell on one line, converted from a bounded prefix, so long
// chapters stay cheap to paint; the stored Text is kept exactly.
//
// Appended rows reach the view in batches, at most one frame after they are stored: a view that
// is told of every row on its own lays all its rows out again each time, which made filling a
// list of 100,000 links take minutes. Everything the window operations read (row count, texts,
// ticks) is the stored state and is exact at once.
//
// Promises: main thread only (it is a Qt model). Row and column numbers count from 0; a row or
// column that does not exist is ignored by the setters and reads as empty Text or 0.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <vector>

#include "text/text_ops.h"

class ReportModel : public QAbstractTableModel {
 public:
  ReportModel(const QStringList& headers, bool withTicks, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void DeleteAll();
  // Inserts at `row`; a row past the end appends, a negative one is ignored.
  void InsertRow(int row, const Text& column0);
  void SetCellText(int row, int column, const Text& text);
  Text CellText(int row, int column) const;
  int RowCount() const { return static_cast<int>(rows_.size()); }
  int Tick(int row) const;
  void SetTick(int row, int tick);
  // Scrolls `view` to the row as soon as the view knows of it.
  void EnsureVisible(int row, class QAbstractItemView* view);
  // Tells the view of every row stored so far.
  void Publish();

 private:
  struct Row {
    Text cells[2];
    bool tick = false;
  };
  bool HasCell(int row, int column) const;

  QStringList headers_;
  bool withTicks_;
  std::vector<Row> rows_;
  int shown_ = 0;  // rows the view has been told of
  QTimer publishTimer_;
  class QAbstractItemView* scrollView_ = nullptr;
  int scrollRow_ = -1;
};

// The one-line form of a cell: at most `maxBytes` bytes of `text` (never cut inside a
// double-byte character), control characters shown as spaces, and an ellipsis when cut.
QString OneLineDisplay(const Text& text, int maxBytes = 1024);
