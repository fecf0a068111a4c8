#include "forms/form.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <stdexcept>

#include "app_fixture.h"
#include "forms/buttons.h"
#include "forms/screen.h"
#include "os/desktop.h"

namespace forms {
namespace {

using testing::AppTest;

class FormsForm : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    main = &app->CreateForm<TForm>();
    second = &app->CreateForm<TForm>();
    main->Show();
    second->Show();
  }
  TForm* main = nullptr;
  TForm* second = nullptr;
};

TEST_F(FormsForm, CloseGoesThroughCloseQueryThenOnCloseAndActsOnTheChosenAction) {
  struct Case {
    bool canClose;
    TCloseAction action;
    bool visibleAfter;
    bool freed;
  } cases[] = {
      {false, caHide, true, false}, {true, caNone, true, false},      {true, caHide, false, false},
      {true, caMinimize, true, false}, {true, caFree, false, true},
  };
  for (const Case& c : cases) {
    TForm& form = app->CreateForm<TForm>();
    form.Show();
    int closes = 0;
    TCloseAction offered = caNone;
    form.OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = c.canClose; };
    form.OnClose = [&](TObject*, TCloseAction& Action) {
      ++closes;
      offered = Action;
      Action = c.action;
    };
    const int before = app->ComponentCount();
    form.Close();
    EXPECT_EQ(closes, c.canClose ? 1 : 0);
    if (c.canClose) {
      EXPECT_EQ(offered, caHide);  // the default a form offers
    }
    if (!c.freed) {
      EXPECT_EQ(form.Visible(), c.visibleAfter) << c.action;
      if (c.action == caMinimize) {
        EXPECT_EQ(form.WindowState(), wsMinimized);
      }
      form.OnCloseQuery = nullptr;
      form.OnClose = nullptr;
    } else {
      // Freed once the current event is done, not inside Close.
      EXPECT_EQ(app->ComponentCount(), before);
      ASSERT_TRUE(WaitFor([&] { return app->ComponentCount() == before - 1; }));
    }
    EXPECT_FALSE(app->Terminated());
  }
}

TEST_F(FormsForm, TheCloseBoxTakesTheSameRoad) {
  int queries = 0;
  second->OnCloseQuery = [&](TObject*, bool& CanClose) {
    ++queries;
    CanClose = queries > 1;
  };
  second->NativeWidget()->close();  // the window system's close
  EXPECT_TRUE(second->Visible());
  second->NativeWidget()->close();
  EXPECT_FALSE(second->Visible());
  EXPECT_EQ(queries, 2);
}

TEST_F(FormsForm, ClosingTheMainFormEndsTheApplicationUnlessTheActionIsNone) {
  main->OnClose = [](TObject*, TCloseAction& Action) { Action = caNone; };
  main->Close();
  EXPECT_FALSE(app->Terminated());
  main->OnClose = [](TObject*, TCloseAction& Action) { Action = caHide; };
  main->NativeWidget()->close();
  EXPECT_TRUE(app->Terminated());
}

TEST_F(FormsForm, AnExceptionInOnCloseQueryStopsTheCloseAndReachesTheExceptionHandler) {
  std::string caught;
  app->OnException = [&](TObject*, const std::exception& e) { caught = e.what(); };
  int closes = 0;
  second->OnCloseQuery = [](TObject*, bool&) { throw std::runtime_error("disque plein"); };
  second->OnClose = [&](TObject*, TCloseAction&) { ++closes; };
  second->NativeWidget()->close();
  EXPECT_EQ(caught, "disque plein");
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(second->Visible());
  // From code, the caller sees it.
  EXPECT_THROW(second->Close(), std::runtime_error);
}

TEST_F(FormsForm, MinimisingTheMainWindowMinimisesTheApplication) {
  int minimized = 0;
  app->OnMinimize = [&](TObject*) { ++minimized; };
  second->SetWindowState(wsMinimized);  // not the main form
  EXPECT_EQ(minimized, 0);
  main->NativeWidget()->showMinimized();
  EXPECT_EQ(minimized, 1);
  EXPECT_TRUE(app->Minimized());
}

TEST_F(FormsForm, ShowAndHideRunTheirEventsOnlyOnAChange) {
  int shows = 0, hides = 0;
  TForm& form = app->CreateForm<TForm>();
  form.OnShow = [&](TObject*) { ++shows; };
  form.OnHide = [&](TObject*) { ++hides; };
  EXPECT_FALSE(form.Visible());  // a form starts hidden
  form.Show();
  form.Show();
  form.SetVisible(false);
  form.Hide();
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(hides, 1);
}

class FakeDesktop : public os::Desktop {
 public:
  os::Rect ScreenRect() override { return {0, 0, 1280, 1024}; }
  os::Rect WorkArea() override { return {0, 0, 1280, 984}; }
  void SetTaskbarButtonVisible(bool v) override { visible = v; }
  bool TaskbarButtonVisible() override { return visible; }
  bool visible = true;
};

TEST_F(FormsForm, ADesktopCentredFormIsPlacedInTheMiddleOfTheScreenWhenFirstShown) {
  FakeDesktop desktop;
  os::ScopedOverride<os::Desktop> use(desktop);
  EXPECT_EQ(Screen->Width(), 1280);
  EXPECT_EQ(Screen->WorkAreaRect().Bottom, 984);
  TForm& form = app->CreateForm<TForm>();
  form.SetBounds(0, 0, 664, 572);
  form.SetPosition(poDesktopCenter);
  form.Show();
  EXPECT_EQ(form.Left(), (1280 - 664) / 2);
  EXPECT_EQ(form.Top(), (1024 - 572) / 2);
}

TEST_F(FormsForm, ABorderlessStayOnTopFormKeepsItsClientSizeAndPlace) {
  TForm& notice = app->CreateForm<TForm>();
  notice.SetBorderStyle(bsNone);
  notice.SetFormStyle(fsStayOnTop);
  notice.SetClientWidth(270);
  notice.SetClientHeight(1);
  notice.SetLeft(1000);
  notice.SetTop(900);
  notice.Show();
  for (int i = 0; i < 5; ++i) {
    notice.SetClientHeight(notice.ClientHeight() + 1);
    notice.SetTop(notice.Top() - 1);
  }
  EXPECT_EQ(notice.ClientHeight(), 6);
  EXPECT_EQ(notice.Top(), 895);
  EXPECT_EQ(notice.Left(), 1000);
  EXPECT_TRUE(notice.NativeWidget()->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(notice.NativeWidget()->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(FormsForm, ABorderlessFormTellsTheWindowManagerThatItsSizeIsFixed) {
  TForm& notice = app->CreateForm<TForm>();
  notice.SetClientWidth(300);
  notice.SetBorderStyle(bsNone);
  const auto fixedAt = [&](int w, int h) {
    const QWidget* window = notice.NativeWidget();
    return window->size() == QSize(w, h) && window->minimumSize() == QSize(w, h) &&
           window->maximumSize() == QSize(w, h);
  };
  notice.SetClientHeight(1);
  notice.Show();
  EXPECT_TRUE(fixedAt(300, 1));
  notice.SetBounds(900, 800, 270, 12);
  EXPECT_TRUE(fixedAt(270, 12));
  notice.SetClientWidth(280);
  EXPECT_TRUE(fixedAt(280, 12));
  // A form with a frame stays resizable.
  notice.SetBorderStyle(bsSizeable);
  EXPECT_EQ(notice.NativeWidget()->minimumSize(), QSize(0, 0));
  notice.SetClientHeight(50);
  EXPECT_EQ(notice.NativeWidget()->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

// Owner and parent differ: the button belongs to one form and is shown on the other.
TEST_F(FormsForm, AControlOutlivesTheWindowItWasShownIn) {
  TForm& shownOn = app->CreateForm<TForm>();
  TForm& owner = app->CreateForm<TForm>();
  TButton& button = owner.Create<TButton>("Button1", &shownOn);
  int clicks = 0;
  button.OnClick = [&](TObject*) { ++clicks; };
  int destroyed = 0;
  shownOn.OnDestroy = [&](TObject*) { ++destroyed; };
  app->DestroyComponent(&shownOn);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(button.Parent(), nullptr);
  button.SetCaption("encore là");
  button.Click();
  EXPECT_EQ(clicks, 1);
  app->DestroyComponent(&owner);
}

}  // namespace
}  // namespace forms
