// The window as it opens: caption, controls, start states, layout, and the chapter list's menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "app/main_window.h"
#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/window_ops.h"

namespace {

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>();
    window_->show();
  }
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, CaptionEndsInExactlyTwentySpaces) {
  const QString expected = QStringLiteral(u"Norvel小说网多线程采集器V1.0") + QString(20, u' ');
  EXPECT_EQ(window_->windowTitle(), expected);
}

TEST_F(MainWindowTest, OnlyTheMatchButtonStartsEnabled) {
  EXPECT_TRUE(window_->matchButton->isEnabled());
  EXPECT_FALSE(window_->collectButton->isEnabled());
  EXPECT_FALSE(window_->exportButton->isEnabled());
}

TEST_F(MainWindowTest, TimersStoppedBarsAtZeroListsEmpty) {
  for (QTimer* timer :
       {window_->largeRunDoneTimer, window_->batchFeedTimer, window_->smallRunDoneTimer,
        window_->matchProgressTimer, window_->collectProgressTimer}) {
    EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();
  }
  for (Control bar : {Control::matchProgress, Control::collectProgress}) {
    EXPECT_EQ(GetProgressPosition(bar), 0);
    EXPECT_EQ(GetProgressMaximum(bar), 100);
  }
  EXPECT_EQ(ListRowCount(Control::linkList), 0);
  EXPECT_EQ(ListRowCount(Control::chapterList), 0);
}

TEST_F(MainWindowTest, EditBoxesCarryTheirDefaults) {
  EXPECT_EQ(GetEditText(Control::tocUrlEdit), "http://www.norvel.example/list/1537326.html");
  EXPECT_EQ(GetEditText(Control::linkPatternEdit), "/chapter/\\d+/\\d+.html");
  EXPECT_EQ(GetEditText(Control::filterPatternEdit), "/chapter/\\d+/\\d+.html");
}

TEST_F(MainWindowTest, ReportListsHaveTheirColumns) {
  struct Case {
    QTreeView* list;
    QString column1;
    int width1;
  };
  for (const Case& c : {Case{window_->linkList, QStringLiteral(u"匹配到的章节地址"), 500},
                        Case{window_->chapterList, QStringLiteral(u"章节"), 405}}) {
    SCOPED_TRACE(c.list->objectName().toStdString());
    QAbstractItemModel* model = c.list->model();
    ASSERT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral(u"序号"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), c.column1);
    EXPECT_EQ(c.list->header()->sectionSize(0), 50);
    EXPECT_EQ(c.list->header()->sectionSize(1), c.width1);
  }
}

// The form's positions count from a group box's client area: no control may cover the title or
// the frame, nor be cut off at the bottom.
TEST_F(MainWindowTest, ControlsLieInsideTheirGroupsClientArea) {
  EXPECT_EQ(window_->frameGeometry().size(), QSize(1117, 410));
  EXPECT_EQ(window_->frameGeometry().topLeft(), QPoint(50, 50));
  for (QGroupBox* group : {window_->matchGroup, window_->collectGroup}) {
    EXPECT_TRUE(window_->rect().contains(group->geometry())) << group->objectName().toStdString();
    const QRect client = group->contentsRect();
    for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      EXPECT_TRUE(client.contains(child->geometry())) << child->objectName().toStdString();
    }
  }
  EXPECT_EQ(
      window_->matchButton->geometry().topLeft() - window_->matchGroup->contentsRect().topLeft(),
      QPoint(464, 16));
  EXPECT_EQ(window_->chapterList->size(), QSize(480, 272));
}

TEST_F(MainWindowTest, RightClickInAnEmptyChapterListShowsTheMenu) {
  ASSERT_EQ(ListRowCount(Control::chapterList), 0);
  QMenu* menu = window_->chapterMenu;
  QStringList items;
  for (QAction* action : menu->actions())
    items << action->text();
  EXPECT_EQ(items, (QStringList{QStringLiteral(u"全选"), QStringLiteral(u"反选"),
                                QStringLiteral(u"检查")}));

  // The menu runs its own loop; a watcher inside that loop sees it open and closes it.
  bool shown = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, menu, [&] {
    if (menu->isVisible()) {
      shown = true;
      menu->close();
    }
  });
  watcher.start(5);
  QTimer::singleShot(10000, menu, [menu] { menu->close(); });

  QWidget* viewport = window_->chapterList->viewport();
  const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &press);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(menu->isVisible());
}

TEST_F(MainWindowTest, TheUserCanTickARow) {
  ListInsertRow(Control::chapterList, 0, "1");
  QAbstractItemModel* model = window_->chapterList->model();
  // The view hears of appended rows within a frame.
  ASSERT_TRUE(PumpUntil([&] { return model->rowCount() == 1; }));
  const QModelIndex cell = model->index(0, 0);
  EXPECT_TRUE(model->flags(cell) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(model->data(cell, Qt::CheckStateRole).toInt(), Qt::Unchecked);
  ASSERT_TRUE(model->setData(cell, Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(ListGetTick(Control::chapterList, 0), 1);
}

}  // namespace
