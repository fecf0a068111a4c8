// The mail watch of page 3: the check of the POP3 mailbox, the mail list with its friend
// test, its selection and colours, the deletion on the server, and new mails through the
// user's mail program.
#include <chrono>
#include <ctime>
#include <future>
#include <system_error>

#include "forms/application.h"
#include "forms/sysutils.h"
#include "mail_reader.h"
#include "mailto.h"
#include "main_window.h"
#include "os/shell.h"

namespace client {

using namespace forms;

namespace {

constexpr const char* kFillInTheFields = "Renseignez les champs dans la section \"E-mail\" ";
constexpr const char* kDeleteQuestion = "Voulez-vous supprimer le ou les E-mail de votre serveur POP ?";
constexpr TColor kFriendColor = RGB(234, 220, 160);

// Row images of ImageList1.
constexpr int kMultipartImage = 4;
constexpr int kFriendImage = 5;
constexpr int kMailImage = 6;

// Sub-items of a mail row: N°, date, heure, sujet, expéditeur.
constexpr int kNumberSubItem = 0;
constexpr int kSenderSubItem = 4;

std::string SubItem(const TListItem& row, int index) {
  return index < row.SubItems().Count() ? row.SubItems()[index] : std::string();
}

// "@" and the text between the first "@" and the next one (or the end).
std::string SenderDomain(const std::string& address) {
  const auto at = address.find('@');
  if (at == std::string::npos) return "@";
  const auto next = address.find('@', at + 1);
  std::string domain = "@";
  domain.append(address, at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
  return domain;
}

// The mail's date and time in the user's forms; empty without a date header.
void DateAndTime(const mail::Message& message, std::string& date, std::string& time) {
  date.clear();
  time.clear();
  const auto when = message.Date();
  if (!when) return;
  const std::time_t t = static_cast<std::time_t>(when->unixTime);
  std::tm local{};
  if (!::localtime_r(&t, &local)) return;
  try {
    const TDateTime value = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
                            EncodeTime(local.tm_hour, local.tm_min, local.tm_sec);
    date = DateToStr(value);
    time = TimeToStr(value);
  } catch (const EConvertError&) {
  }
}

}  // namespace

void TForm1::GiveAccountToPop3() {
  POP3->Host = pop_3->Text();
  // The port is a decimal number, else the POP3 port.
  const std::string port = pop_port->Text();
  const bool decimal = !port.empty() && port.size() <= 9 && port.find_first_not_of("0123456789") == std::string::npos;
  POP3->Port = decimal ? std::stoi(port) : 110;
  POP3->Username = pop_user->Text();
  POP3->Password = pop_passe->Text();
}

void TForm1::MailGuarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const mail::EMailError& e) {
    Label15->SetCaption(e.what());
  } catch (const forms::Exception& e) {
    Label15->SetCaption(e.what());
  }
}

void TForm1::ParseWhileServing(const std::function<void()>& parse) {
  std::future<void> parsing;
  try {
    parsing = std::async(std::launch::async, parse);
  } catch (const std::system_error&) {
    parse();  // no thread to be had: here, then
    return;
  }
  while (parsing.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
    if (Application) Application->ProcessMessages();
  parsing.get();
}

HeaderParser TForm1::HeaderParsedWhileServing() {
  return [this](mail::Message& m, const std::string& raw) { ParseWhileServing([&] { m.ParseHeader(raw); }); };
}

bool TForm1::ProgramEnding() { return Application && Application->Terminated(); }

void TForm1::Button5Click(TObject*) {
  // A check, a reading or a deletion under way, or a program that closes: nothing starts.
  if (mailBusy_ || ProgramEnding()) return;
  // 1. Nothing to check without a server and a user.
  if (pop_3->Text().empty() || pop_user->Text().empty()) {
    Label15->SetCaption(kFillInTheFields);
    return;
  }
  MailOperation operation(mailBusy_);
  // 2. A new list.
  Edit2->SetText("0");
  ListView2->Items().Clear();
  mailIdentities_.clear();
  // 3. The account.
  GiveAccountToPop3();
  // 4. The count and every header, each taken apart once; 5. on a failure the rows listed so
  //    far stay.
  int count = 0;
  int listed = 0;
  bool allListed = false;
  MailGuarded([&] {
    POP3->Connect();
    count = POP3->CheckMessages();
    Edit2->SetText(IntToStr(count));
    const auto uids = POP3->UniqueIds();
    for (int i = 1; i <= count; ++i) {
      Application->ProcessMessages();
      const std::string header = POP3->RetrieveHeader(i);
      ParseWhileServing([&] { IdMsg->ParseHeader(header); });
      std::string date, time;
      DateAndTime(*IdMsg, date, time);
      ajoutmail(IntToStr(i), date, time, IdMsg->Subject(), IdMsg->FromAddress(), IdMsg->ContentType());
      mailIdentities_[IntToStr(i)] = IdentityAt(i, uids, header, *IdMsg);
      IdMsg->Clear();
      listed = i;
    }
    allListed = true;
  });
  // 6.
  POP3->Disconnect();
  // 7. The count is what the list shows: after a failure, the mails listed before it, and
  //    the failure's message stays in Label15.
  if (!allListed) count = listed;
  Edit2->SetText(IntToStr(count));
  if (allListed && count != 0) Label15->SetCaption("Vous avez " + IntToStr(count) + " E-mail");
}

void TForm1::ajoutmail(const std::string& numero, const std::string& date, const std::string& heure,
                       const std::string& sujet, const std::string& expediteur, const std::string& contentType) {
  // 1. to 4. The friend test: the subject against the subject words, the sender against the
  //    friends list, each contained without regard to case.
  const std::string subject = AnsiUpperCase(sujet);
  const std::string sender = AnsiUpperCase(expediteur);
  bool friendsMail = false;
  const auto matches = [](const std::string& text, const std::string& entry) {
    const std::string e = AnsiUpperCase(entry);
    return text == e || (!e.empty() && text.find(e) != std::string::npos);
  };
  for (const std::string& entry : ListBox4->Items().ToVector())
    if (matches(subject, entry)) friendsMail = true;
  for (const std::string& entry : ListBox3->Items().ToVector())
    if (matches(sender, entry)) friendsMail = true;
  if (friendsMail) Edit5->SetText("1");

  // 5. The row.
  TListItem* row = ListView2->Items().Add();
  row->SetImageIndex(friendsMail ? kFriendImage
                                 : contentType.find("multipart") != std::string::npos ? kMultipartImage : kMailImage);
  for (const std::string* field : {&numero, &date, &heure, &sujet, &expediteur}) row->SubItems().Add(*field);
  // 6. The newest rows come into view.
  ListView2->Scroll(0, 100);
}

void TForm1::ListView2SelectItem(TObject*, TListItem* Item, bool Selected) {
  for (TMenuItem* item : {LirelEmailenModeTexte1, Repondrelexpditeur1, Ajouterlexpditeurlalistedesamis1,
                          Ajouterledomainelalistedesamis1, SupprimercetEmaildemonserveurPOP1})
    item->SetEnabled(Selected);
  if (Selected && Item) {
    MailNumero = SubItem(*Item, kNumberSubItem);
    MailExpediteur = SubItem(*Item, kSenderSubItem);
    MailDomaine = SenderDomain(MailExpediteur);
    const auto known = mailIdentities_.find(MailNumero);
    selectedMail_ = known != mailIdentities_.end() ? known->second : MailIdentity{};
    Repondrelexpditeur1->SetCaption("R\xC3\xA9pondre \xC3\xA0 l'exp\xC3\xA9" "diteur : " + MailExpediteur);
    Ajouterlexpditeurlalistedesamis1->SetCaption("Ajouter l'exp\xC3\xA9" "diteur \"" + MailExpediteur +
                                                 "\" \xC3\xA0 la liste des amis");
    Ajouterledomainelalistedesamis1->SetCaption("Ajouter le domaine \"" + MailDomaine + "\" \xC3\xA0 la liste des amis");
    // A sender written without a domain has none to add: a bare "@" would make every mail a
    // friend's.
    Ajouterledomainelalistedesamis1->SetEnabled(MailDomaine != "@");
  } else {
    Repondrelexpditeur1->SetCaption("R\xC3\xA9pondre \xC3\xA0 l'exp\xC3\xA9" "diteur");
    Ajouterlexpditeurlalistedesamis1->SetCaption("Ajouter l'exp\xC3\xA9" "diteur \xC3\xA0 la liste des amis");
    Ajouterledomainelalistedesamis1->SetCaption("Ajouter le domaine \xC3\xA0 la liste des amis");
    MailNumero.clear();
    MailExpediteur.clear();
    MailDomaine.clear();
    selectedMail_ = {};
  }
}

void TForm1::ListView2CustomDrawItem(TObject*, TListItem* Item, TCustomDrawState, bool&) {
  if (Item && Item->ImageIndex() == kFriendImage) {
    ListView2->Canvas().Brush().SetColor(kFriendColor);
    ListView2->Canvas().Font().SetStyle(Font().Style() | fsBold);
  } else {
    ListView2->Canvas().Font().SetColor(clBlack);
    ListView2->Canvas().Brush().SetColor(Item && Item->Index() % 2 == 1 ? cl3DLight : clWhite);
  }
}

void TForm1::SupprimerEmaildemonserveur1Click(TObject*) {
  if (mailBusy_ || ProgramEnding()) return;
  // 1. The question.
  if (MessageDlg(kDeleteQuestion, mtCustom, mbYesNo) == mrNo) return;
  // 2. The selected rows, the highest first, each only while it is still the mail listed.
  if (!MailNumero.empty()) {
    MailOperation operation(mailBusy_);
    GiveAccountToPop3();
    const HeaderParser parse = HeaderParsedWhileServing();
    MailGuarded([&] {
      POP3->Connect();
      const auto uidsNow = POP3->UniqueIds();
      for (int i = ListView2->Items().Count() - 1; i >= 0; --i) {
        TListItem* row = ListView2->Items()[i];
        if (!row->Selected()) continue;
        const std::string numero = SubItem(*row, kNumberSubItem);
        const int listed = StrToInt(numero);
        const auto known = mailIdentities_.find(numero);
        if (known == mailIdentities_.end()) continue;
        if (const auto current = CurrentNumber(*POP3, known->second, listed, uidsNow, parse)) POP3->Delete(*current);
      }
    });
    // The QUIT commits the deletions. After a refusal of the server the connection is still
    // open, so the mails flagged before it are removed; after any other failure (a time-out,
    // a cut connection, the program closing) the connection is already closed without QUIT,
    // and a POP3 server then removes none of them.
    POP3->Disconnect();
  }
  // 3. The mailbox anew.
  MailNumero.clear();
  MailExpediteur.clear();
  selectedMail_ = {};
  Button5Click(this);
}

void TForm1::Repondrelexpditeur1Click(TObject*) {
  Form3->EmptyText();
  os::ShellExecute("open", MailtoUrl(MailExpediteur));
}

void TForm1::EnvoyerunEmail1Click(TObject*) { os::ShellExecute("open", MailtoUrl("")); }

}  // namespace client
