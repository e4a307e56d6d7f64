// The window operations of workflow/window_ops.h on the Qt widgets of `MainWindow`.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

#include "app/main_window.h"
#include "app/report_model.h"
#include "text/codepage.h"
#include "workflow/window_ops.h"

namespace {

bool OnMainThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

[[noreturn]] void WaitForProcessEnd() {
  for (;;)
    std::this_thread::sleep_for(std::chrono::hours(24));
}

// A call waiting for the main thread. The hand-over runs through our own mutex and condition
// variable, not through Qt's event queue, so that what the caller wrote before the call is
// visibly ordered before the main thread runs it, and the result before the caller reads it
// (also to ThreadSanitizer, which cannot see into Qt's own locks).
struct PendingCall {
  std::function<void()> run;
  std::condition_variable finished;
  bool done = false;
};

std::mutex callsMutex;
std::deque<PendingCall*> pendingCalls;

// Runs the oldest waiting call on the main thread, without holding the lock, since a call may open
// a modal loop that serves further calls. One call per wake-up event (each call posts one), so a
// steady stream of calls never keeps the event loop from its timers and input.
void RunOldestPendingCall() {
  PendingCall* call;
  {
    std::lock_guard lock(callsMutex);
    if (pendingCalls.empty()) return;
    call = pendingCalls.front();
    pendingCalls.pop_front();
  }
  call->run();
  std::lock_guard lock(callsMutex);
  call->done = true;
  // Under the lock: the caller may leave, and destroy `finished`, as soon as it sees `done`.
  call->finished.notify_one();
}

// Receives the wake-up events that tell the main thread calls are waiting. The events carry
// nothing: the calls themselves travel through `pendingCalls`.
class CallReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    // The event was made under the lock, so taking it here orders that before reading it.
    { std::lock_guard lock(callsMutex); }
    if (e->type() != QEvent::User) return QObject::event(e);
    RunOldestPendingCall();
    return true;
  }
};

CallReceiver* Receiver() {
  // Made on the main thread by the first call from there (the window's creation makes many).
  static CallReceiver* receiver = [] {
    auto* r = new CallReceiver();
    r->moveToThread(QCoreApplication::instance()->thread());
    return r;
  }();
  return receiver;
}

// Runs `action` on the main thread and gives back its result: at once on the main thread,
// otherwise queued for the main thread's event loop (or its pump, or a modal loop) while the
// caller waits. Without an application nothing runs and the result is empty.
template <typename Action>
auto RunOnMainThread(Action action) -> std::invoke_result_t<Action&> {
  using Result = std::invoke_result_t<Action&>;
  if (OnMainThread()) {
    Receiver();
    return action();
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) {
    if constexpr (std::is_void_v<Result>) {
      return;
    } else {
      return Result{};
    }
  }
  // The widgets are going away with the process: never touch them again.
  if (WindowIsClosing()) WaitForProcessEnd();
  PendingCall call;
  std::conditional_t<std::is_void_v<Result>, int, Result> result{};
  if constexpr (std::is_void_v<Result>) {
    call.run = [&action] { action(); };
  } else {
    call.run = [&result, &action] { result = action(); };
  }
  QEvent* wakeUp;
  {
    std::lock_guard lock(callsMutex);
    pendingCalls.push_back(&call);
    wakeUp = new QEvent(QEvent::User);
  }
  QCoreApplication::postEvent(Receiver(), wakeUp);
  std::unique_lock lock(callsMutex);
  call.finished.wait(lock, [&call] { return call.done; });
  if constexpr (!std::is_void_v<Result>) return result;
}

template <typename W>
W* Find(Control control) {
  MainWindow* window = CurrentMainWindow();
  if (window == nullptr) return nullptr;
  return qobject_cast<W*>(window->ControlObject(control));
}

ReportModel* FindList(Control control) {
  MainWindow* window = CurrentMainWindow();
  return window == nullptr ? nullptr : window->ListModel(control);
}

QString ToQt(const Text& text) {
  const std::u16string units = GbkToUtf16(text);
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

Text FromQt(const QString& text) {
  return Utf16ToGbk(text.toStdU16String());
}

int ProgressMaximum(const QProgressBar* bar) {
  return bar->property("maximumValue").toInt();
}

}  // namespace

void SetDisabled(Control control, int disabled) {
  RunOnMainThread([=] {
    if (auto* widget = Find<QWidget>(control)) widget->setEnabled(disabled == 0);
  });
}

void SetCaption(Control control, const Text& text) {
  RunOnMainThread([=] {
    QObject* target = Find<QObject>(control);
    const QString caption = ToQt(text);
    if (auto* label = qobject_cast<QLabel*>(target)) {
      label->setText(caption);
    } else if (auto* group = qobject_cast<QGroupBox*>(target)) {
      group->setTitle(caption);
    } else if (auto* button = qobject_cast<QPushButton*>(target)) {
      button->setText(caption);
    } else if (auto* edit = qobject_cast<QLineEdit*>(target)) {
      edit->setText(caption);
    } else if (control == Control::MainWindow && target != nullptr) {
      static_cast<QWidget*>(target)->setWindowTitle(caption);
    }
  });
}

Text GetEditText(Control edit) {
  return RunOnMainThread([=] {
    const auto* box = Find<QLineEdit>(edit);
    return box == nullptr ? Text() : FromQt(box->text());
  });
}

// Like the platform's progress bars, a position outside the range is held at its nearer end.
void SetProgressPosition(Control bar, int position) {
  RunOnMainThread([=] {
    auto* progress = Find<QProgressBar>(bar);
    if (progress == nullptr) return;
    const int maximum = ProgressMaximum(progress);
    progress->setValue(std::clamp(position, 0, std::max(maximum, 0)));
  });
}

int GetProgressPosition(Control bar) {
  return RunOnMainThread([=] {
    const auto* progress = Find<QProgressBar>(bar);
    return progress == nullptr ? 0 : progress->value();
  });
}

// A range of 0 to 0 would turn Qt's bar into a busy indicator; it shows as an empty bar instead,
// while `GetProgressMaximum` still reads the maximum that was set.
void SetProgressMaximum(Control bar, int maximum) {
  RunOnMainThread([=] {
    auto* progress = Find<QProgressBar>(bar);
    if (progress == nullptr) return;
    const int position = progress->value();
    progress->setProperty("maximumValue", maximum);
    progress->setRange(0, std::max(maximum, 1));
    progress->setValue(std::clamp(position, 0, std::max(maximum, 0)));
  });
}

int GetProgressMaximum(Control bar) {
  return RunOnMainThread([=] {
    const auto* progress = Find<QProgressBar>(bar);
    return progress == nullptr ? 0 : ProgressMaximum(progress);
  });
}

void SetTimerPeriod(Control timer, int periodMs) {
  RunOnMainThread([=] {
    auto* clock = Find<QTimer>(timer);
    if (clock == nullptr) return;
    if (periodMs <= 0) {
      clock->stop();
    } else {
      clock->start(periodMs);
    }
  });
}

void ListDeleteAll(Control list) {
  RunOnMainThread([=] {
    if (auto* model = FindList(list)) model->DeleteAll();
  });
}

void ListInsertRow(Control list, int row, const Text& column0) {
  RunOnMainThread([=] {
    if (auto* model = FindList(list)) model->InsertRow(row, column0);
  });
}

void ListSetCellText(Control list, int row, int column, const Text& text) {
  RunOnMainThread([&] {
    if (auto* model = FindList(list)) model->SetCellText(row, column, text);
  });
}

Text ListGetCellText(Control list, int row, int column) {
  return RunOnMainThread([=] {
    const auto* model = FindList(list);
    return model == nullptr ? Text() : model->CellText(row, column);
  });
}

int ListRowCount(Control list) {
  return RunOnMainThread([=] {
    const auto* model = FindList(list);
    return model == nullptr ? 0 : model->RowCount();
  });
}

int ListGetTick(Control list, int row) {
  return RunOnMainThread([=] {
    const auto* model = FindList(list);
    return model == nullptr ? 0 : model->Tick(row);
  });
}

void ListSetTick(Control list, int row, int tick) {
  RunOnMainThread([=] {
    if (auto* model = FindList(list)) model->SetTick(row, tick);
  });
}

void ListEnsureVisible(Control list, int row) {
  RunOnMainThread([=] {
    MainWindow* window = CurrentMainWindow();
    if (window == nullptr) return;
    ReportModel* model = window->ListModel(list);
    if (model != nullptr) model->EnsureVisible(row, window->ListView(list));
  });
}

void ShowMessageBox(const Text& text, int iconFlag, const Text& title) {
  RunOnMainThread([&] {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (iconFlag & 0xF0) {
      case kIconError:
        icon = QMessageBox::Critical;
        break;
      case 0x20:
        icon = QMessageBox::Question;
        break;
      case 0x30:
        icon = QMessageBox::Warning;
        break;
      case 0x40:
        icon = QMessageBox::Information;
        break;
      default:
        break;
    }
    QMessageBox box(icon, ToQt(title), ToQt(text), QMessageBox::Ok, CurrentMainWindow());
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  });
}

void PopupMenu(Control menu) {
  RunOnMainThread([=] {
    if (auto* popup = Find<QMenu>(menu)) popup->exec(QCursor::pos());
  });
}

void ProcessPendingEvents() {
  if (OnMainThread()) QCoreApplication::processEvents();
}

void StartJobThread(void (*job)()) {
  if (job == nullptr) return;
  try {
    std::thread(job).detach();
  } catch (const std::system_error&) {
    // No job runs, so nothing enables the buttons its click disabled; that is all that happens.
  }
}
