#include <gtest/gtest.h>

#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "forms/buttons.h"
#include "forms/dispatcher.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/timer.h"

namespace forms {
namespace {

using FormsApp = testing::AppTest;

// A form that records the order in which its parts come to life.
struct Trace {
  std::vector<std::string> steps;
};

class TracingComponent : public TComponent {
 public:
  TracingComponent(TComponent* Owner, Trace& trace) : TComponent(Owner), trace_(trace) {
    trace_.steps.push_back(std::string("construct main=") + (Application->MainForm() ? "set" : "null"));
  }
  void Loaded() override {
    // The form being loaded is already one of the application's components.
    bool listed = false;
    for (int i = 0; i < Application->ComponentCount(); ++i)
      if (Application->Components(i) == Owner()) listed = true;
    trace_.steps.push_back(std::string("loaded ") + Name() + (listed ? " listed" : " unlisted") +
                           " main=" + (Application->MainForm() ? "set" : "null"));
  }

 private:
  Trace& trace_;
};

class TracingForm : public TForm {
 public:
  TracingForm(TComponent* Owner, Trace& trace) : TForm(Owner) {
    OnCreate = [&trace](TObject*) { trace.steps.push_back("create"); };
    Create<TracingComponent>("A", trace);
    Create<TracingComponent>("B", trace);
  }
};

TEST_F(FormsApp, CreateFormListsTheFormLoadsItsComponentsThenRunsOnCreateThenBecomesMain) {
  Trace trace;
  TracingForm& first = app->CreateForm<TracingForm>(trace);
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"construct main=null", "construct main=null",
                                                   "loaded A listed main=null", "loaded B listed main=null",
                                                   "create"}));
  EXPECT_EQ(app->MainForm(), &first);
  trace.steps.clear();
  app->CreateForm<TracingForm>(trace);
  EXPECT_EQ(app->MainForm(), &first);  // only the first form is the main form
  EXPECT_EQ(trace.steps.front(), "construct main=set");
  EXPECT_EQ(app->ComponentCount(), 2);
}

TEST_F(FormsApp, AnExceptionFromAnyHandlerGoesToOnExceptionAndTheProgramGoesOn) {
  std::vector<std::string> caught;
  app->OnException = [&](TObject*, const std::exception& e) { caught.push_back(e.what()); };
  TForm& form = app->CreateForm<TForm>();
  TButton& button = form.Create<TButton>("Button1", &form);
  button.OnClick = [](TObject*) { throw std::runtime_error("bouton"); };
  TTimer& timer = form.Create<TTimer>("Timer1");
  timer.SetEnabled(false);
  timer.OnTimer = [](TObject*) { throw std::runtime_error("minuteur"); };
  TEdit& edit = form.Create<TEdit>("Edit1", &form);
  edit.OnChange = [](TObject*) { throw 42; };  // not even a std::exception

  button.UserClick();
  timer.Fire();
  edit.SetText("x");
  EXPECT_EQ(caught, (std::vector<std::string>{"bouton", "minuteur", "Exception inconnue"}));
  EXPECT_EQ(edit.Text(), "x");
}

TEST_F(FormsApp, AnExceptionInsideANestedProcessMessagesIsCaughtThereAndTheOuterHandlerContinues) {
  std::vector<std::string> caught;
  app->OnException = [&](TObject*, const std::exception& e) { caught.push_back(e.what()); };
  TForm& form = app->CreateForm<TForm>();
  TTimer& inner = form.Create<TTimer>("Inner");
  inner.SetInterval(1);
  inner.OnTimer = [&](TObject*) {
    inner.SetEnabled(false);
    throw std::runtime_error("pendant l'attente");
  };
  TButton& button = form.Create<TButton>("Button1", &form);
  bool finished = false;
  button.OnClick = [&](TObject*) {
    // A handler that waits and pumps messages, as the network calls do.
    for (int i = 0; i < 200 && caught.empty(); ++i) {
      Application->ProcessMessages();
      QTimer t;
      t.start(1);
      while (t.isActive() && t.remainingTime() > 0) Application->ProcessMessages();
    }
    finished = true;
  };
  button.UserClick();
  EXPECT_TRUE(finished);
  EXPECT_EQ(caught, std::vector<std::string>{"pendant l'attente"});
}

TEST_F(FormsApp, WithoutOnExceptionTheErrorBoxShowsTheMessageWithTheFrameworksFullStop) {
  app->SetTitle("Mise à jour");
  struct Case {
    std::string message, shown;
  };
  const Case cases[] = {
      {"Disque plein", "Disque plein."},
      {"Fin.", "Fin."},
      {"Erreur (404)", "Erreur (404)"},      // ')' stands below '.'
      {"fichier créé", "fichier créé."},  // a letter beyond ASCII
      {"", ""},
  };
  for (const Case& c : cases) {
    dialogs.ClearRecords();
    Dispatch(nullptr, [&] { throw std::runtime_error(c.message); });
    ASSERT_EQ(dialogs.Messages().size(), 1u) << c.message;
    EXPECT_EQ(dialogs.Messages()[0].Text, c.shown);
    EXPECT_EQ(dialogs.Messages()[0].Caption, "Mise à jour");
    EXPECT_EQ(dialogs.Messages()[0].Type, mtError);
    EXPECT_EQ(dialogs.Messages()[0].Buttons, TMsgDlgButtons({mbOK}));
  }
}

TEST_F(FormsApp, AnOnExceptionHandlerThatThrowsFallsBackToTheErrorBox) {
  app->OnException = [](TObject*, const std::exception&) { throw std::runtime_error("le gestionnaire a échoué"); };
  Dispatch(nullptr, [] { throw std::runtime_error("première"); });
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].Text, "le gestionnaire a échoué.");
}

TEST_F(FormsApp, MinimizeFiresOnMinimizeOnceAndRestoreBringsTheMainFormBack) {
  TForm& form = app->CreateForm<TForm>();
  form.Show();
  int minimized = 0, restored = 0;
  app->OnMinimize = [&](TObject*) { ++minimized; };
  app->OnRestore = [&](TObject*) { ++restored; };
  app->Minimize();
  app->Minimize();
  EXPECT_EQ(minimized, 1);
  EXPECT_TRUE(app->Minimized());
  app->Restore();
  EXPECT_EQ(restored, 1);
  EXPECT_FALSE(app->Minimized());
  EXPECT_EQ(form.WindowState(), wsNormal);
}

TEST_F(FormsApp, RunShowsTheMainFormOnlyWhenAskedAndReturnsAfterTerminate) {
  TForm& form = app->CreateForm<TForm>();
  app->SetShowMainForm(false);
  QTimer::singleShot(20, [&] { Application->Terminate(); });
  app->Run();
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(app->Terminated());
}

}  // namespace
}  // namespace forms
