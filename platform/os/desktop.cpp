#include "os/desktop.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <mutex>
#include <vector>

#include "os/x11_taskbar.h"

namespace os {
namespace {

constexpr Rect kNoScreen{0, 0, 1024, 768};

QScreen* PrimaryScreen() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
  return QGuiApplication::primaryScreen();
}

Rect FromQt(const QRect& r) { return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// Listeners of the taskbar state; each one lives as long as the token handed out for it.
class TaskbarListeners {
 public:
  std::shared_ptr<void> Add(TaskbarListener listener) {
    auto entry = std::make_shared<TaskbarListener>(std::move(listener));
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
    return entry;
  }
  void Notify(bool visible) {
    std::vector<std::shared_ptr<TaskbarListener>> live;
    {
      std::lock_guard lock(mutex_);
      std::erase_if(entries_, [](const std::weak_ptr<TaskbarListener>& w) { return w.expired(); });
      for (auto& w : entries_)
        if (auto l = w.lock()) live.push_back(std::move(l));
    }
    for (auto& l : live) (*l)(visible);
  }

 private:
  std::mutex mutex_;
  std::vector<std::weak_ptr<TaskbarListener>> entries_;
};

TaskbarListeners& Listeners() {
  static TaskbarListeners listeners;
  return listeners;
}

class QtDesktop final : public Desktop {
 public:
  Rect ScreenRect() override {
    if (QScreen* screen = PrimaryScreen()) {
      return FromQt(screen->geometry());
    }
    return kNoScreen;
  }

  Rect WorkArea() override {
    if (QScreen* screen = PrimaryScreen()) {
      return FromQt(screen->availableGeometry());
    }
    return kNoScreen;
  }

  void SetTaskbarButtonVisible(bool visible) override {
    {
      std::lock_guard lock(mutex_);
      if (visible_ == visible) return;
      visible_ = visible;
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      for (QWindow* window : QGuiApplication::topLevelWindows())
        if (window->isVisible()) SetSkipTaskbar(*window, !visible);
    }
    Listeners().Notify(visible);
  }

  bool TaskbarButtonVisible() override {
    std::lock_guard lock(mutex_);
    return visible_;
  }

 private:
  std::mutex mutex_;
  bool visible_ = true;
};

}  // namespace

template <>
Desktop& RealService<Desktop>() {
  static QtDesktop real;
  return real;
}

std::shared_ptr<void> AddTaskbarListener(TaskbarListener listener) { return Listeners().Add(std::move(listener)); }

Rect ScreenRect() { return Use<Desktop>().ScreenRect(); }
Rect WorkArea() { return Use<Desktop>().WorkArea(); }
void SetTaskbarButtonVisible(bool visible) { Use<Desktop>().SetTaskbarButtonVisible(visible); }

}  // namespace os
