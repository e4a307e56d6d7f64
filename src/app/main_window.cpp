#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <cstdlib>

#include "app/process_priority.h"
#include "app/report_model.h"
#include "text/codepage.h"
#include "workflow/workflow.h"

namespace {

MainWindow* gWindow = nullptr;
std::atomic<bool> gClosing{false};

constexpr QSize kOuterSize(1117, 410);
constexpr QPoint kOuterPosition(50, 50);
// The window repaints at most once in this many milliseconds, about once per display frame.
constexpr int kRepaintIntervalMs = 16;

template <typename W>
W* Named(W* widget, const char* name, const char* formName) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setProperty("formName", QString::fromUtf8(formName));
  return widget;
}

// A group box whose client area (inside the frame, below the title) has the form's size: the
// box itself grows by its frame and title.
QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* formName, const char* title,
                     QRect client) {
  auto* group = Named(new QGroupBox(QString::fromUtf8(title), parent), name, formName);
  const QMargins frame = group->contentsMargins();
  group->setGeometry(client.x(), client.y(), client.width() + frame.left() + frame.right(),
                     client.height() + frame.top() + frame.bottom());
  return group;
}

// Places a child by its form position, which counts from the group box's client area.
template <typename W>
W* Place(W* child, QWidget* parent, QRect form) {
  const QMargins frame = parent->contentsMargins();
  child->setGeometry(form.translated(frame.left(), frame.top()));
  return child;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* formName, const char* text,
                  QRect form) {
  auto* label = Named(new QLabel(QString::fromUtf8(text), parent), name, formName);
  label->setAutoFillBackground(false);  // the group box shows through
  return Place(label, parent, form);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* formName, const char* text,
                    QRect form) {
  auto* edit = Named(new QLineEdit(QString::fromUtf8(text), parent), name, formName);
  return Place(edit, parent, form);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* formName, const char* text,
                        bool enabled, QRect form, void (*onClicked)()) {
  auto* button = Named(new QPushButton(QString::fromUtf8(text), parent), name, formName);
  button->setEnabled(enabled);
  QObject::connect(button, &QPushButton::clicked, button, [onClicked] { onClicked(); });
  return Place(button, parent, form);
}

QProgressBar* MakeBar(QWidget* parent, const char* name, const char* formName, QRect form) {
  auto* bar = Named(new QProgressBar(parent), name, formName);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setProperty("maximumValue", 100);
  bar->setTextVisible(false);
  return Place(bar, parent, form);
}

QTreeView* MakeList(QWidget* parent, const char* name, const char* formName, ReportModel* model,
                    int column1Width, QRect form) {
  auto* view = Named(new QTreeView(parent), name, formName);
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setWordWrap(false);
  view->setTextElideMode(Qt::ElideRight);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setAllColumnsShowFocus(true);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsMovable(false);
  view->header()->resizeSection(0, 50);
  view->header()->resizeSection(1, column1Width);
  return Place(view, parent, form);
}

QTimer* MakeTimer(QObject* parent, const char* name, const char* formName, void (*onTick)()) {
  auto* timer = Named(new QTimer(parent), name, formName);
  QObject::connect(timer, &QTimer::timeout, timer, [onTick] { onTick(); });
  return timer;
}

void AddMenuItem(QMenu* menu, const char* name, const char* text, void (*onSelected)()) {
  QAction* action = menu->addAction(QString::fromUtf8(text));
  action->setObjectName(QString::fromLatin1(name));
  QObject::connect(action, &QAction::triggered, menu, [onSelected] { onSelected(); });
}

}  // namespace

MainWindow::MainWindow() : fittedMargins_(0, 0), repaintTimer_(new QTimer(this)) {
  repaintTimer_->setSingleShot(true);
  QObject::connect(repaintTimer_, &QTimer::timeout, this, [this] {
    QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  });
  setObjectName(QStringLiteral("MainWindow"));
  resize(kOuterSize);
  move(kOuterPosition);

  matchGroup = MakeGroup(this, "matchGroup", "分组框1", "章节匹配", QRect(8, 8, 592, 368));
  tocUrlLabel =
      MakeLabel(matchGroup, "tocUrlLabel", "透明标签1", "小说目录地址：", QRect(16, 16, 80, 24));
  tocUrlEdit = MakeEdit(matchGroup, "tocUrlEdit", "编辑框1",
                        "http://www.norvel.example/list/1537326.html", QRect(104, 16, 352, 24));
  matchButton = MakeButton(matchGroup, "matchButton", "按钮1", "匹配", true,
                           QRect(464, 16, 120, 40), OnMatchButtonClicked);
  linkPatternLabel = MakeLabel(matchGroup, "linkPatternLabel", "透明标签2",
                               "正则匹配公式章节地址：", QRect(16, 56, 136, 24));
  linkPatternEdit = MakeEdit(matchGroup, "linkPatternEdit", "编辑框2", "/chapter/\\d+/\\d+.html",
                             QRect(144, 56, 312, 24));
  matchCountLabel =
      MakeLabel(matchGroup, "matchCountLabel", "透明标签3", "", QRect(456, 56, 136, 24));
  linkModel =
      new ReportModel({QStringLiteral(u"序号"), QStringLiteral(u"匹配到的章节地址")}, false, this);
  linkList = MakeList(matchGroup, "linkList", "章节地址框", linkModel, 500, QRect(8, 88, 576, 248));
  matchProgress = MakeBar(matchGroup, "matchProgress", "进度条1", QRect(8, 344, 576, 18));

  collectGroup = MakeGroup(this, "collectGroup", "分组框2", "采集", QRect(608, 8, 496, 368));
  filterPatternLabel = MakeLabel(collectGroup, "filterPatternLabel", "透明标签4", "过滤章节地址：",
                                 QRect(8, 16, 80, 24));
  filterPatternEdit = MakeEdit(collectGroup, "filterPatternEdit", "编辑框3",
                               "/chapter/\\d+/\\d+.html", QRect(88, 16, 216, 24));
  collectButton = MakeButton(collectGroup, "collectButton", "按钮2", "采集", false,
                             QRect(312, 16, 88, 40), OnCollectButtonClicked);
  exportButton = MakeButton(collectGroup, "exportButton", "按钮3", "输出到TXT", false,
                            QRect(408, 16, 80, 40), OnExportButtonClicked);
  chapterModel = new ReportModel({QStringLiteral(u"序号"), QStringLiteral(u"章节")}, true, this);
  chapterList =
      MakeList(collectGroup, "chapterList", "章节获取", chapterModel, 405, QRect(8, 64, 480, 272));
  chapterList->viewport()->installEventFilter(this);
  collectProgress = MakeBar(collectGroup, "collectProgress", "进度条2", QRect(8, 344, 480, 18));

  largeRunDoneTimer = MakeTimer(this, "largeRunDoneTimer", "时钟1", LargeRunDoneTick);
  batchFeedTimer = MakeTimer(this, "batchFeedTimer", "时钟2", BatchFeedTick);
  smallRunDoneTimer = MakeTimer(this, "smallRunDoneTimer", "时钟3", SmallRunDoneTick);
  matchProgressTimer = MakeTimer(this, "matchProgressTimer", "时钟4", MatchProgressTick);
  collectProgressTimer = MakeTimer(this, "collectProgressTimer", "时钟5", CollectProgressTick);

  chapterMenu = new QMenu(QStringLiteral(u"菜单"), this);
  chapterMenu->setObjectName(QStringLiteral("chapterMenu"));
  AddMenuItem(chapterMenu, "selectAllItem", "全选", SelectAllChapters);
  AddMenuItem(chapterMenu, "invertSelectionItem", "反选", InvertChapterTicks);
  AddMenuItem(chapterMenu, "checkItem", "检查", CheckEmptyChapters);

  gWindow = this;
  OnMainWindowCreated();
}

MainWindow::~MainWindow() {
  if (gWindow == this) gWindow = nullptr;
}

QObject* MainWindow::ControlObject(Control control) const {
  switch (control) {
    case Control::MainWindow:
      return const_cast<MainWindow*>(this);
    case Control::matchGroup:
      return matchGroup;
    case Control::tocUrlLabel:
      return tocUrlLabel;
    case Control::tocUrlEdit:
      return tocUrlEdit;
    case Control::matchButton:
      return matchButton;
    case Control::linkPatternLabel:
      return linkPatternLabel;
    case Control::linkPatternEdit:
      return linkPatternEdit;
    case Control::matchCountLabel:
      return matchCountLabel;
    case Control::linkList:
      return linkList;
    case Control::matchProgress:
      return matchProgress;
    case Control::collectGroup:
      return collectGroup;
    case Control::filterPatternLabel:
      return filterPatternLabel;
    case Control::filterPatternEdit:
      return filterPatternEdit;
    case Control::collectButton:
      return collectButton;
    case Control::exportButton:
      return exportButton;
    case Control::chapterList:
      return chapterList;
    case Control::collectProgress:
      return collectProgress;
    case Control::largeRunDoneTimer:
      return largeRunDoneTimer;
    case Control::batchFeedTimer:
      return batchFeedTimer;
    case Control::smallRunDoneTimer:
      return smallRunDoneTimer;
    case Control::matchProgressTimer:
      return matchProgressTimer;
    case Control::collectProgressTimer:
      return collectProgressTimer;
    case Control::chapterMenu:
      return chapterMenu;
  }
  return nullptr;
}

ReportModel* MainWindow::ListModel(Control control) const {
  if (control == Control::linkList) return linkModel;
  if (control == Control::chapterList) return chapterModel;
  return nullptr;
}

QTreeView* MainWindow::ListView(Control control) const {
  if (control == Control::linkList) return linkList;
  if (control == Control::chapterList) return chapterList;
  return nullptr;
}

// Calls from the job threads and the workers reach the main thread one per event, and Qt would
// repaint the window after every one of them: hundreds of whole repaints a second that keep the
// main thread from serving the calls. A repaint asked for within a frame of the last one is held
// back to the end of that frame; the changes it carries are painted together then.
bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::UpdateRequest) {
    if (repaintTimer_->isActive()) return true;
    if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintIntervalMs) {
      repaintTimer_->start(kRepaintIntervalMs - static_cast<int>(sinceRepaint_.elapsed()));
      return true;
    }
    sinceRepaint_.start();
  }
  return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  OnMainWindowDestroyed();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == chapterList->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    ShowChapterMenu();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FitFrame();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  FitFrame();
}

// The outer size counts the window manager's frame, which is known only once the window is
// mapped; the client area never shrinks below what the two group boxes need.
void MainWindow::FitFrame() {
  const QSize margins = frameGeometry().size() - size();
  if (margins == fittedMargins_) return;
  fittedMargins_ = margins;
  const QSize needed(collectGroup->geometry().right() + 1, collectGroup->geometry().bottom() + 1);
  resize((kOuterSize - margins).expandedTo(needed));
}

MainWindow* CurrentMainWindow() {
  return gWindow;
}

bool WindowIsClosing() {
  return gClosing.load();
}

void OnMainWindowCreated() {
  static const Text caption = Utf8ToAnsi("Norvel小说网多线程采集器V1.0") + Text(20, ' ');
  SetCaption(Control::MainWindow, caption);
  SetProcessPriority(std::nullopt, 0);
}

void OnMainWindowDestroyed() {
  gClosing.store(true);
  // quick_exit runs the registered exit hooks but no static destructors, which job threads and
  // workers that are still running could trip over.
  std::quick_exit(0);
}

void ShowChapterMenu() {
  PopupMenu(Control::chapterMenu);
}
