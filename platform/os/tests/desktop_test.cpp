#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <vector>

#include "os/desktop.h"

namespace {

TEST(Desktop, WithoutAnApplicationAPlainScreen) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_EQ(os::ScreenRect(), (os::Rect{0, 0, 1024, 768}));
  EXPECT_EQ(os::WorkArea(), (os::Rect{0, 0, 1024, 768}));
}

TEST(Desktop, ScreenAndWorkAreaOfThePrimaryScreen) {
  int argc = 1;
  char name[] = "os_tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const os::Rect area = os::WorkArea();
  const QRect available = screen->availableGeometry();
  EXPECT_EQ(area, (os::Rect{available.x(), available.y(), available.x() + available.width(),
                            available.y() + available.height()}));
  const QRect full = screen->geometry();
  EXPECT_EQ(os::ScreenRect(), (os::Rect{full.x(), full.y(), full.x() + full.width(), full.y() + full.height()}));
  EXPECT_LE(area.bottom, os::ScreenRect().bottom);
  EXPECT_GT(area.Width(), 0);
}

TEST(Desktop, TaskbarButtonStateReachesItsListenersOnChange) {
  os::Desktop& desktop = os::Use<os::Desktop>();
  ASSERT_TRUE(desktop.TaskbarButtonVisible());
  std::vector<bool> seen;
  {
    auto listening = os::AddTaskbarListener([&](bool visible) { seen.push_back(visible); });
    os::SetTaskbarButtonVisible(false);
    EXPECT_FALSE(desktop.TaskbarButtonVisible());
    os::SetTaskbarButtonVisible(false);  // no change, no call
    os::SetTaskbarButtonVisible(true);
  }
  os::SetTaskbarButtonVisible(false);  // the listener has gone
  os::SetTaskbarButtonVisible(true);
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

}  // namespace
