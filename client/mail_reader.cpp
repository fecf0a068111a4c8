// The mail reader: the selected mail fetched whole from the POP3 server and shown as plain
// text in TForm3.
#include "mail_reader.h"

#include <algorithm>

#include "forms/application.h"
#include "forms/sysutils.h"
#include "main_window.h"

client::TForm3* Form3 = nullptr;

namespace client {

using namespace forms;

std::string SupprimeBalises(const std::string& text) {
  // One pass: a tag is dropped once its ">" is seen; an open "<" with no ">" after it stays.
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('<', pos);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('>', open + 1);
    if (close == std::string::npos) break;
    result.append(text, pos, open - pos);
    pos = close + 1;
  }
  result.append(text, pos, std::string::npos);
  return result;
}

TForm3::TForm3(TComponent* Owner) : TForm(Owner) {
  Form3 = this;
  SetName("Form3");
  SetCaption("Lire un E-mail");
  SetPosition(poDesktopCenter);
  SetBounds(0, 0, 564, 446);
  SetVisible(false);
  OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };

  Panel1 = &Create<TPanel>("Panel1", this);
  Panel1->SetAlign(alTop);
  Panel1->SetHeight(56);
  Label1 = &Create<TLabel>("Label1", Panel1);
  Label1->SetLeft(8);
  Label1->SetTop(8);
  Label2 = &Create<TLabel>("Label2", Panel1);
  Label2->SetLeft(8);
  Label2->SetTop(30);
  Label3 = &Create<TLabel>("Label3", Panel1);
  Label3->SetLeft(360);
  Label3->SetTop(8);

  Panel2 = &Create<TPanel>("Panel2", this);
  Panel2->SetAlign(alBottom);
  Panel2->SetHeight(40);
  Button1 = &Create<TButton>("Button1", Panel2);
  Button1->SetBounds(464, 8, 84, 25);
  Button1->SetCaption("Fermer");
  Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
  Button2 = &Create<TButton>("Button2", Panel2);
  Button2->SetBounds(8, 8, 84, 25);
  Button2->SetVisible(false);

  Memo1 = &Create<TMemo>("Memo1", this);
  Memo1->SetAlign(alClient);
  Memo1->SetScrollBars(ssVertical);
  Memo1->SetReadOnly(true);
}

TForm3::~TForm3() {
  DestroyComponents();
  if (Form3 == this) Form3 = nullptr;
}

void TForm3::Button1Click(TObject*) {
  Close();
  EmptyText();
}

void TForm3::FormCloseQuery(TObject*, bool& CanClose) {
  EmptyText();
  CanClose = true;
}

void TForm3::EmptyText() {
  ++emptied_;
  Memo1->Lines().Clear();
}

namespace {

// What one step of a filling adds at most: the window system takes some tens of milliseconds
// for that much.
constexpr std::size_t kStepLines = 5000;
constexpr std::size_t kStepBytes = 256 * 1024;
// A line longer than this (in bytes, about as many characters) goes into the box as lines of
// at most that length, cut between characters. The box breaks such a line on screen anyway;
// one line of millions of characters would take the window system seconds to lay out at once.
constexpr std::size_t kLongestLine = 10000;

// Where a piece of `line` from `at` ends: at most kLongestLine bytes on, before a UTF-8
// continuation byte.
std::size_t PieceEnd(const std::string& line, std::size_t at) {
  std::size_t end = std::min(line.size(), at + kLongestLine);
  while (end < line.size() && end > at + 1 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  return end;
}

}  // namespace

void TForm3::FillText(const std::vector<std::string>& lines) {
  const unsigned filling = emptied_;
  const auto over = [&] { return emptied_ != filling || (Application && Application->Terminated()); };
  std::string step;
  std::size_t stepLines = 0;
  const auto addStep = [&] {
    Memo1->AppendLines(step);
    step.clear();
    stepLines = 0;
    if (Application) Application->ProcessMessages();
  };
  for (const std::string& line : lines) {
    std::size_t at = 0;
    do {
      const std::size_t end = PieceEnd(line, at);
      step.append(line, at, end - at);
      step += "\r\n";
      ++stepLines;
      at = end;
      if (stepLines >= kStepLines || step.size() >= kStepBytes) {
        addStep();
        if (over()) return;
      }
    } while (at < line.size());
  }
  if (!step.empty()) addStep();
}

void TForm1::Afficherladebutdumessage1Click(TObject*) {
  if (mailBusy_ || ProgramEnding()) return;  // the check or a deletion holds the connection
  MailOperation operation(mailBusy_);
  // The lines of the text, into the window once the mail is read, also those read before a
  // failure.
  std::vector<std::string> text;
  // 1. The mail of the selected row.
  if (!MailNumero.empty()) {
    // Nothing of another mail stays in the window, whether this reading succeeds or not.
    Form3->EmptyText();
    Form3->Label1->SetCaption("");
    Form3->Label2->SetCaption("");
    Form3->Label3->SetCaption("");
    const auto addText = [&text](const std::string& t) {
      for (std::string& line : mail::SplitLines(t)) text.push_back(std::move(line));
    };
    GiveAccountToPop3();
    // 6. On a failure, what the window holds so far stays.
    MailGuarded([&] {
      POP3->Connect();
      // Only the mail the row showed, under whatever number it has now.
      const auto uids = POP3->UniqueIds();
      const HeaderParser parse = HeaderParsedWhileServing();
      const auto current = CurrentNumber(*POP3, selectedMail_, StrToInt(MailNumero), uids, parse);
      if (!current) throw mail::EMailError(mail::Failure::Refused, "Cet E-mail n'est plus sur votre serveur POP");
      const std::string whole = POP3->Retrieve(*current);
      ParseWhileServing([&] { IdMsg->Parse(whole); });
      // 3. The text parts: plain ones as they are, the others without their tags.
      bool anyText = false;
      for (const mail::MessagePart& part : IdMsg->Parts()) {
        if (!part.isText) continue;
        anyText = true;
        if (part.contentType.find("text/plain") != std::string::npos) {
          text.insert(text.end(), part.bodyLines.begin(), part.bodyLines.end());
        } else {
          std::string body;
          for (const std::string& line : part.bodyLines) body += line + "\r\n";
          addText(SupprimeBalises(body));
        }
      }
      // 4. No text part: the body itself, without its tags.
      if (!anyText) addText(SupprimeBalises(IdMsg->Body()));
      // 5.
      Form3->Label1->SetCaption("De : " + IdMsg->FromAddress());
      Form3->Label2->SetCaption("Sujet : " + IdMsg->Subject());
      Form3->Label3->SetCaption(IdMsg->Organization());
      IdMsg->Clear();
    });
    // 7.
    POP3->Disconnect();
  }
  // 2. The selection is used up; the window shows what it holds, its text coming in while it
  //    is already shown, so that a long one is seen filling rather than waited for.
  MailNumero.clear();
  MailExpediteur.clear();
  MailDomaine.clear();
  selectedMail_ = {};
  if (ProgramEnding()) return;
  Form3->Show();
  Form3->FillText(text);
}

}  // namespace client
