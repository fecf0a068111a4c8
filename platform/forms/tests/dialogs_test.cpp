#include "forms/dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "app_fixture.h"
#include "shown_text.h"

namespace forms {
namespace {

using FormsApp = testing::AppTest;

TEST_F(FormsApp, MessageDlgIsCaptionedByItsTypeAndShowsItsButtonsInTheFrameworksOrder) {
  app->SetTitle("Orvalis Pulse");
  dialogs.AnswerMessage(mrNo);
  EXPECT_EQ(MessageDlg("Voulez-vous quitter ?", mtCustom, {mbNo, mbYes}), mrNo);
  EXPECT_EQ(MessageDlg("Overwrite?", mtConfirmation, {mbYesToAll, mbNo, mbYes, mbNoToAll}), mrYes);  // unscripted
  ASSERT_EQ(dialogs.Messages().size(), 2u);
  const MessageRequest& quit = dialogs.Messages()[0];
  EXPECT_EQ(quit.Caption, "Orvalis Pulse");
  EXPECT_EQ(quit.Text, "Voulez-vous quitter ?");
  EXPECT_EQ(quit.Buttons.InOrder(), (std::vector<TMsgDlgBtn>{mbYes, mbNo}));
  EXPECT_EQ(quit.DefaultButton, mbYes);
  const MessageRequest& overwrite = dialogs.Messages()[1];
  EXPECT_EQ(overwrite.Caption, "Confirmation");
  EXPECT_EQ(overwrite.Buttons.InOrder(), (std::vector<TMsgDlgBtn>{mbYes, mbNo, mbNoToAll, mbYesToAll}));
}

TEST(FormsDialogTexts, TitlesAndButtonCaptionsAreTheFrameworksFrenchOnes) {
  EXPECT_EQ(MsgDlgTitle(mtConfirmation), "Confirmation");
  EXPECT_EQ(MsgDlgTitle(mtError), "Erreur");
  EXPECT_EQ(MsgDlgTitle(mtWarning), "Avertissement");
  EXPECT_EQ(MsgDlgTitle(mtInformation), "Information");
  const std::pair<TMsgDlgBtn, const char*> captions[] = {
      {mbYes, "&Oui"},          {mbNo, "&Non"},       {mbOK, "OK"},          {mbCancel, "Annuler"},
      {mbAbort, "&Abandonner"}, {mbRetry, "&Retenter"}, {mbIgnore, "&Ignorer"},
      {mbNoToAll, "Non &pour tout"}, {mbYesToAll, "O&ui pour tout"},
  };
  for (const auto& [button, caption] : captions) EXPECT_EQ(MsgDlgButtonCaption(button), caption);
  const std::pair<TMsgDlgBtn, TModalResult> results[] = {
      {mbYes, mrYes}, {mbNo, mrNo}, {mbOK, mrOk}, {mbCancel, mrCancel}, {mbAbort, mrAbort},
      {mbRetry, mrRetry}, {mbIgnore, mrIgnore}, {mbNoToAll, mrNoToAll}, {mbYesToAll, mrYesToAll},
  };
  for (const auto& [button, result] : results) EXPECT_EQ(ModalResultOf(button), result);
}

TEST_F(FormsApp, ShowMessageUsesTheApplicationTitleAndAnOkButton) {
  app->SetTitle("Orvalis Pulse");
  ShowMessage("Il y a un problème avec le son wav !");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].Caption, "Orvalis Pulse");
  EXPECT_EQ(dialogs.Messages()[0].Type, mtCustom);
  EXPECT_EQ(dialogs.Messages()[0].Buttons, TMsgDlgButtons({mbOK}));
}

TEST_F(FormsApp, InputQueryStoresTheTextOnlyWhenClosedWithOk) {
  std::string password = "ancien";
  dialogs.AnswerInput(false, "ignoré");
  EXPECT_FALSE(InputQuery("Password for \"a.txt\"", "Enter password: ", password));
  EXPECT_EQ(password, "ancien");
  dialogs.AnswerInput(true, "nouveau");
  EXPECT_TRUE(InputQuery("Password for \"a.txt\"", "Enter password: ", password));
  EXPECT_EQ(password, "nouveau");
  ASSERT_EQ(dialogs.Inputs().size(), 2u);
  EXPECT_EQ(dialogs.Inputs()[0].Value, "ancien");  // the box opens with the current value
  EXPECT_EQ(dialogs.Inputs()[1].Prompt, "Enter password: ");
}

TEST_F(FormsApp, AScriptedBoxCanActWhileItIsUp) {
  int seen = 0;
  dialogs.OnMessage = [&](const MessageRequest& r) -> std::optional<TModalResult> {
    ++seen;
    if (r.Text == "second") return mrCancel;
    return std::nullopt;  // left to the script
  };
  dialogs.AnswerMessage(mrRetry);
  EXPECT_EQ(MessageDlg("first", mtConfirmation, mbAbortRetryIgnore), mrRetry);
  EXPECT_EQ(MessageDlg("second", mtConfirmation, mbOKCancel), mrCancel);
  EXPECT_EQ(seen, 2);
}

TEST_F(FormsApp, TheOpenDialogGivesTheChosenFileOrKeepsTheOldName) {
  TOpenDialog& dlg = app->Create<TOpenDialog>("OpenDialog2");
  dlg.SetFilter("wav|*.wav");
  dlg.SetInitialDir("/home/u/sons");
  dialogs.AnswerOpenFile(std::nullopt);
  dialogs.AnswerOpenFile("/home/u/sons/ding.wav");
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), "");
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), "/home/u/sons/ding.wav");
  ASSERT_EQ(dialogs.OpenFiles().size(), 2u);
  EXPECT_EQ(dialogs.OpenFiles()[0].Filter, "wav|*.wav");
  EXPECT_EQ(dialogs.OpenFiles()[0].InitialDir, "/home/u/sons");
}

}  // namespace
}  // namespace forms

namespace forms {
namespace {

// The window system's own boxes, answered by pressing one of their buttons.
TEST(FormsRealDialogs, AMessageBoxShowsTheFrenchButtonsAndReturnsThePressedOne) {
  TApplication app;
  app.SetTitle("Orvalis Pulse");
  QStringList captions;
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    QAbstractButton* no = nullptr;
    for (QAbstractButton* b : box->buttons()) {
      captions << b->text();
      if (b->text() == "&Non") no = b;
    }
    ASSERT_NE(no, nullptr);
    no->click();
  });
  EXPECT_EQ(MessageDlg("Voulez-vous quitter Orvalis Pulse ?\rSi vous quittez maintenant...", mtCustom, mbYesNo), mrNo);
  EXPECT_EQ(title, "Orvalis Pulse");
  EXPECT_EQ(text, "Voulez-vous quitter Orvalis Pulse ?\nSi vous quittez maintenant...");
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"&Non", "&Oui"}));
}

TEST(FormsRealDialogs, TheInputBoxGivesTheTypedTextOnOk) {
  TApplication app;
  QTimer::singleShot(0, [] {
    auto* dlg = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->textValue(), "ancien");
    dlg->setTextValue("secret");
    dlg->accept();
  });
  std::string value = "ancien";
  EXPECT_TRUE(InputQuery("Password for \"a.txt\"", "Enter password: ", value));
  EXPECT_EQ(value, "secret");
}

// Texts that come from outside (a refusal of the server, a file name, a typed value) are
// shown as they are, whatever markup they seem to hold.
TEST(FormsRealDialogs, BoxesShowTheirTextsAsPlainText) {
  TApplication app;
  const std::string hostile = "Refus : <a href=\"http://ailleurs\">cliquez</a> <b>ici</b> & <font color=white>cach\xC3\xA9</font>";
  const QString expected = QString::fromUtf8(hostile.c_str());
  QString shownInBox, shownInPrompt;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shownInBox = testing::WhatTheUserReads(box->text(), box->textFormat());
    box->buttons().front()->click();
  });
  ShowMessage(hostile);
  EXPECT_EQ(shownInBox, expected);

  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    for (QLabel* label : dlg->findChildren<QLabel*>())
      if (!label->text().isEmpty()) shownInPrompt = testing::WhatTheUserReads(label->text(), label->textFormat());
    dlg->reject();
  });
  std::string value;
  EXPECT_FALSE(InputQuery("Mot de passe", hostile, value));
  EXPECT_EQ(shownInPrompt, expected);
}

}  // namespace
}  // namespace forms
