// The main window: every control, timer and menu of the form, their start states, and the
// bindings of their events to the workflow's actions.
//
// Promises: main thread only. `CurrentMainWindow` is the window that is open (the newest one
// created), or null. `OnMainWindowDestroyed` ends the process with exit code 0 and never returns;
// from then on `WindowIsClosing` is true on every thread.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include "workflow/window_ops.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;
class ReportModel;

class MainWindow : public QWidget {
 public:
  MainWindow();
  ~MainWindow() override;

  // The object behind a control, timer or menu of the form; the window itself for
  // `Control::MainWindow`.
  QObject* ControlObject(Control control) const;
  // The model of a report list, or null when `control` is not one.
  ReportModel* ListModel(Control control) const;
  QTreeView* ListView(Control control) const;

  QGroupBox* matchGroup;
  QLabel* tocUrlLabel;
  QLineEdit* tocUrlEdit;
  QPushButton* matchButton;
  QLabel* linkPatternLabel;
  QLineEdit* linkPatternEdit;
  QLabel* matchCountLabel;
  QTreeView* linkList;
  QProgressBar* matchProgress;
  QGroupBox* collectGroup;
  QLabel* filterPatternLabel;
  QLineEdit* filterPatternEdit;
  QPushButton* collectButton;
  QPushButton* exportButton;
  QTreeView* chapterList;
  QProgressBar* collectProgress;
  QTimer* largeRunDoneTimer;
  QTimer* batchFeedTimer;
  QTimer* smallRunDoneTimer;
  QTimer* matchProgressTimer;
  QTimer* collectProgressTimer;
  QMenu* chapterMenu;
  ReportModel* linkModel;
  ReportModel* chapterModel;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void FitFrame();

  QSize fittedMargins_;
  QTimer* repaintTimer_;
  QElapsedTimer sinceRepaint_;
};

MainWindow* CurrentMainWindow();
bool WindowIsClosing();

// Event actions of the window itself.
void OnMainWindowCreated();
[[noreturn]] void OnMainWindowDestroyed();
void ShowChapterMenu();
