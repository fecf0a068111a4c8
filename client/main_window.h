#pragma once
// TForm1, the client's main window: the page buttons, the seven pages with hidden tabs, the
// status bar and the tray icon. It is the hub of the client: the other windows and the
// handlers of every page read and write its controls, and a few hidden controls carry values
// from one handler to the next (see the members below).
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/buttons.h"
#include "forms/datetimepicker.h"
#include "forms/dialogs.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/imagelist.h"
#include "forms/label.h"
#include "forms/lists.h"
#include "forms/listview.h"
#include "forms/menus.h"
#include "forms/pagecontrol.h"
#include "forms/panels.h"
#include "forms/statusbar.h"
#include "forms/timer.h"
#include "forms/trayicon.h"
#include "friends_files.h"
#include "mail/message.h"
#include "mail/pop3_client.h"
#include "mail_identity.h"

namespace settings_store {
class TEditIni;
}

namespace client {

// The question asked at every attempt to close the main window.
std::string QuitQuestion(const std::string& caption);

// The notice of a sound test that could not play its file.
inline constexpr const char* kSoundProblem =
    "Il y a un probl\xC3\xA8me avec le son wav ! Peux \xC3\xAAtre le chemin indiqu\xC3\xA9 n'est pas le bon...";

// The page indexes of PageControl1.
enum Page {
  kPagePending = 0,
  kPageSubjects = 1,
  kPageInstruction = 2,
  kPageMail = 3,
  kPageSettings = 4,
  kPageFriends = 5,
  kPageAgenda = 6,
};

class TForm1 : public forms::TForm {
 public:
  explicit TForm1(forms::TComponent* Owner);
  ~TForm1() override;

  // --- Handlers -------------------------------------------------------------------------
  void FormCreate(forms::TObject* Sender);
  void FormCloseQuery(forms::TObject* Sender, bool& CanClose);
  void FormClose(forms::TObject* Sender, forms::TCloseAction& Action);

  // Page buttons.
  void JvTransparentButton3Click(forms::TObject* Sender);  // page 0
  void JvTransparentButton1Click(forms::TObject* Sender);  // page 2
  void JvTransparentButton2Click(forms::TObject* Sender);  // page 3
  void JvTransparentButton4Click(forms::TObject* Sender);  // page 6, the agenda
  void JvTransparentButton5Click(forms::TObject* Sender);  // page 4
  void BitBtn1Click(forms::TObject* Sender);               // page 5, the friends list
  void BitBtn7Click(forms::TObject* Sender);               // page 1, the friend subjects

  // Showing and hiding.
  void RxTrayIcon1Click(forms::TObject* Sender, forms::TMouseButton Button, forms::TShiftState Shift, int X, int Y);
  void RxTrayIcon1NotificationAreaChange(forms::TObject* Sender);
  void Button4Click(forms::TObject* Sender);
  void SpeedButton8Click(forms::TObject* Sender);
  void ApplicationEvents1Minimize(forms::TObject* Sender);
  void SpeedButton10Click(forms::TObject* Sender);

  // Every exception that no handler caught.
  void ApplicationEvents1Exception(forms::TObject* Sender, const std::exception& E);

  // Settings page.
  void MaskEdit1Change(forms::TObject* Sender);
  void MaskEdit2Change(forms::TObject* Sender);
  void message_ovClick(forms::TObject* Sender);
  void urgent_messClick(forms::TObject* Sender);
  void vi_ovClick(forms::TObject* Sender);
  void rdv_ovClick(forms::TObject* Sender);
  void ScrollBox3MouseWheelDown(forms::TObject* Sender, forms::TShiftState Shift, forms::TPoint MousePos, bool& Handled);
  void ScrollBox3MouseWheelUp(forms::TObject* Sender, forms::TShiftState Shift, forms::TPoint MousePos, bool& Handled);
  void TabSheet5Show(forms::TObject* Sender);
  void SpeedButton18Click(forms::TObject* Sender);
  void SpeedButton17Click(forms::TObject* Sender);
  void SpeedButton2Click(forms::TObject* Sender);
  void SpeedButton16Click(forms::TObject* Sender);
  void SpeedButton1Click(forms::TObject* Sender);
  void JvTransparentButton7Click(forms::TObject* Sender);

  // The poll: every 300000 ms (then the trim of the process) and "Essai Connexion Orvalis".
  void Timer1Timer(forms::TObject* Sender);
  void Button2Click(forms::TObject* Sender);
  // The mail check (the poll runs it as its button does).
  void Button5Click(forms::TObject* Sender);

  // The pending list of page 0.
  void ajout(const std::string& kind, const std::string& date, const std::string& heure, const std::string& nom,
             const std::string& prenom, const std::string& motif, const std::string& tel, const std::string& iso,
             const std::string& fax, const std::string& adresse);
  void ListView1CustomDrawItem(forms::TObject* Sender, forms::TListItem* Item, forms::TCustomDrawState State,
                               bool& DefaultDraw);
  void ListView1MouseMove(forms::TObject* Sender, forms::TShiftState Shift, int X, int Y);
  void ListView1SelectItem(forms::TObject* Sender, forms::TListItem* Item, bool Selected);
  void Mouvementlu1Click(forms::TObject* Sender);  // "Enregistrer comme lu"

  // The notice window: fills it with the counts and starts it; the hidden "Voir Fenêtre"
  // does the same with sample texts.
  void fenetre(const std::string& messages, const std::string& rendezVous, const std::string& visites,
               const std::string& mails);
  void Button1Click(forms::TObject* Sender);

  // --- Agenda (page 6), instruction and stop visits (page 2) --------------------------
  // The day agenda: the day fetch (the picker's OnCloseUp and "Actualiser"), the day steps,
  // the kind filters, the rows with their colours and hints, and the selection rules.
  void DateTimePicker1Change(forms::TObject* Sender);
  void Button7Click(forms::TObject* Sender);  // ">>", the next day
  void Button8Click(forms::TObject* Sender);  // "<<", the previous day
  void BitBtn14Click(forms::TObject* Sender);  // appointments only
  void BitBtn15Click(forms::TObject* Sender);  // home visits only
  void BitBtn16Click(forms::TObject* Sender);  // messages only
  void ajouta(const std::string& kind, const std::string& heure, const std::string& nom, const std::string& prenom,
              const std::string& motif, const std::string& tel, const std::string& iso, const std::string& fax,
              const std::string& adresse, const std::string& numero, const std::string& pris);
  void ListView3CustomDrawItem(forms::TObject* Sender, forms::TListItem* Item, forms::TCustomDrawState State,
                               bool& DefaultDraw);
  void ListView3MouseMove(forms::TObject* Sender, forms::TShiftState Shift, int X, int Y);
  void ListView3SelectItem(forms::TObject* Sender, forms::TListItem* Item, bool Selected);
  void ListView3DblClick(forms::TObject* Sender);
  // The slot actions of the agenda's popup menu.
  void Lu1Click(forms::TObject* Sender);
  void Annuler1Click(forms::TObject* Sender);
  void Libre1Click(forms::TObject* Sender);
  void Pris1Click(forms::TObject* Sender);
  void Indisponible1Click(forms::TObject* Sender);
  // Page 2: "Envoi" sends the instruction, "Stop VAD" the order to stop today's visits.
  void Button3Click(forms::TObject* Sender);
  void Button9Click(forms::TObject* Sender);

  // The secretariat request of every handler: unless the script keeps the login as typed,
  // the login's spaces become "_" in nom_ov; `target` is cleared (unless `clearFirst` is
  // false) and filled with the reply's lines; a failure throws (http::EHttpException).
  void SendSecretariatRequest(const std::string& scriptAndQuery, forms::TStrings& target, bool clearFirst = true);
  // True when nom_ov, pass_ov and site_ov are all filled in.
  bool HasCredentials() const;

  // The friends lists on disk. A list whose file could not be read is never written back
  // over that file (it would lose what the file holds); the user is told so once the list
  // changes, or at close.
  void lirefichecg();
  void lirefichecg2();
  void finfichcg();
  void finfichcg2();
  struct ListFile {
    explicit ListFile(const char* fileName) : name(fileName) {}
    const char* name;
    bool unread = false;               // there, but could not be read
    std::vector<std::string> entries;  // what the list held when it could not be read
    bool told = false;                 // the user knows it will not be saved
  };
  ListFile friendsFile_{kFriendsFile};
  ListFile subjectsFile_{kFriendSubjectsFile};

  // --- Mail watch, mail reader, friends pages and mail program: handlers ---------------
  // The mail list of page 3.
  void ajoutmail(const std::string& numero, const std::string& date, const std::string& heure,
                 const std::string& sujet, const std::string& expediteur, const std::string& contentType);
  void ListView2SelectItem(forms::TObject* Sender, forms::TListItem* Item, bool Selected);
  void ListView2CustomDrawItem(forms::TObject* Sender, forms::TListItem* Item, forms::TCustomDrawState State,
                               bool& DefaultDraw);
  void SupprimerEmaildemonserveur1Click(forms::TObject* Sender);
  void Repondrelexpditeur1Click(forms::TObject* Sender);
  void EnvoyerunEmail1Click(forms::TObject* Sender);
  // The mail reader: the selected mail into Form3.
  void Afficherladebutdumessage1Click(forms::TObject* Sender);
  // The friends pages, and the mail list's two items that add to the friends list.
  void Ajouterlexpditeurlalistedesamis1Click(forms::TObject* Sender);
  void Ajouterledomainelalistedesamis1Click(forms::TObject* Sender);
  void BitBtn3Click(forms::TObject* Sender);
  void BitBtn8Click(forms::TObject* Sender);
  void Edit4Change(forms::TObject* Sender);
  void Edit7Change(forms::TObject* Sender);
  void ListBox3Click(forms::TObject* Sender);
  void ListBox4Click(forms::TObject* Sender);
  void BitBtn2Click(forms::TObject* Sender);
  void BitBtn10Click(forms::TObject* Sender);
  void EnvoyerunEmail2Click(forms::TObject* Sender);
  void ListBox3DrawItem(forms::TObject* Control, int Index, forms::TRect Rect, forms::TOwnerDrawState State);
  void ListBox4DrawItem(forms::TObject* Control, int Index, forms::TRect Rect, forms::TOwnerDrawState State);
  // The user's mail program.
  void Button6Click(forms::TObject* Sender);

  // --- Controls -------------------------------------------------------------------------
  // Top button bar.
  forms::TPanel* Panel1;
  forms::TJvTransparentButton* JvTransparentButton3;  // "Mouvements"
  forms::TJvTransparentButton* JvTransparentButton1;  // "Consigne"
  forms::TJvTransparentButton* JvTransparentButton2;  // "E-mail"
  forms::TJvTransparentButton* JvTransparentButton4;  // "Agenda"
  forms::TJvTransparentButton* JvTransparentButton5;  // "Configurer"
  forms::TJvTransparentButton* JvTransparentButton7;  // "Mise à jour"

  // Bottom bar and status bar.
  forms::TPanel* Panel2;
  forms::TSpeedButton* SpeedButton10;  // "Quitter"
  forms::TSpeedButton* SpeedButton8;   // "Réduire"
  forms::TButton* Button1;             // hidden: the notice window with sample texts
  forms::TButton* Button4;             // hidden: shows the main window on page 0
  forms::TStatusBar* StatusBar1;

  forms::TPageControl* PageControl1;
  forms::TTabSheet* TabSheet1;  // 0 pending entries
  forms::TTabSheet* TabSheet2;  // 1 friend subjects
  forms::TTabSheet* TabSheet3;  // 2 instruction and stop visits
  forms::TTabSheet* TabSheet4;  // 3 mail
  forms::TTabSheet* TabSheet5;  // 4 settings
  forms::TTabSheet* TabSheet6;  // 5 friends
  forms::TTabSheet* TabSheet7;  // 6 day agenda

  // Page 0.
  forms::TListView* ListView1;
  forms::TLabel* Label1;
  // Page 1.
  forms::TListBox* ListBox4;
  forms::TBitBtn* BitBtn12;  // "Base AMIS"
  // Page 2 (instruction and stop visits, built with the agenda's pages).
  forms::TEdit* Edit1;     // the instruction
  forms::TButton* Button3;  // "Envoi"
  forms::TLabel* Label6;   // beside "Stop VAD"
  forms::TButton* Button9;  // "Stop VAD"
  forms::TMemo* Memo3;     // reply lines of the last instruction or stop-visits request
  // Page 3.
  forms::TListView* ListView2;
  forms::TBitBtn* BitBtn1;  // "Base AMIS"
  forms::TBitBtn* BitBtn7;  // "Sujets AMIS"
  // Page 5.
  forms::TListBox* ListBox3;
  forms::TBitBtn* BitBtn13;  // "Sujets AMIS"
  // Page 6, the day agenda.
  forms::TDateTimePicker* DateTimePicker1;  // the day shown
  forms::TButton* Button7;                  // ">>"
  forms::TButton* Button8;                  // "<<"
  forms::TBitBtn* BitBtn17;                 // "Actualiser"
  forms::TBitBtn* BitBtn14;                 // "Seulement les Rendez-Vous"
  forms::TBitBtn* BitBtn15;                 // "Seulement les Visites"
  forms::TBitBtn* BitBtn16;                 // "Seulement les Messages"
  forms::TListView* ListView3;
  forms::TMenuItem* Lu1;            // in PopupMenu4, with the four below
  forms::TMenuItem* Annuler1;
  forms::TMenuItem* Indisponible1;
  forms::TMenuItem* Pris1;
  forms::TMenuItem* Libre1;

  // Page 4, the settings. Controls whose name holds "_" are saved in "serie.ini".
  forms::TScrollBox* ScrollBox3;
  forms::TEdit* nom_ov;
  forms::TMaskEdit* MaskEdit1;  // the visible password box; pass_ov keeps the value
  forms::TEdit* pass_ov;
  forms::TEdit* site_ov;
  forms::TCheckBox* message_ov;
  forms::TCheckBox* vi_ov;
  forms::TCheckBox* rdv_ov;
  forms::TCheckBox* e_mail;
  forms::TCheckBox* urgent_mess;
  forms::TButton* Button2;  // "Essai Connexion Orvalis"
  forms::TEdit* pop_3;
  forms::TEdit* pop_user;
  forms::TMaskEdit* MaskEdit2;  // the visible POP3 password box; pop_passe keeps the value
  forms::TEdit* pop_passe;
  forms::TEdit* pop_port;
  forms::TButton* Button5;  // "Essai POP3"
  forms::TCheckBox* bip_ov;
  forms::TEdit* on_equeued;
  forms::TSpeedButton* SpeedButton18;  // "Ecouter le Bip"
  forms::TSpeedButton* SpeedButton17;  // "Ecouter le fichier WAV"
  forms::TSpeedButton* SpeedButton16;  // "Sélectionner le fichier WAV"
  forms::TEdit* pop_ami;
  forms::TSpeedButton* SpeedButton1;  // "Sélectionner le fichier WAV" (friend's mail)
  forms::TSpeedButton* SpeedButton2;  // "Ecouter le fichier WAV AMI"

  // Values carried between handlers.
  forms::TEdit* Edit2;      // the mail count as text
  forms::TEdit* Edit5;      // "1" when a friend's mail was listed, else empty
  forms::TMemo* Memo1;      // reply lines of the last poll
  forms::TMemo* Memo2;      // reply lines of the last day-agenda fetch
  forms::TMemo* Memo4;      // reply lines of the last record-as-read request
  forms::TMemo* Memo5;      // reply lines of the last agenda slot action
  forms::TListBox* ListBox1;  // numbers of the selected mail rows
  forms::TListBox* ListBox2;  // entry ids of the selected pending rows
  forms::TListBox* ListBox5;  // entry id of the selected agenda row
  forms::TLabel* Label15;   // mail status or mail error (red, bold)
  forms::TLabel* Label16;   // the last unhandled exception (red, bold)

  // Non-visual components.
  forms::TTimer* Timer1;
  forms::TRxTrayIcon* RxTrayIcon1;
  settings_store::TEditIni* EditIni1;
  forms::TOpenDialog* OpenDialog2;
  forms::TPopupMenu* PopupMenu1;
  forms::TMenuItem* Mouvementlu1;  // "Enregistrer comme lu", in PopupMenu1
  forms::TPopupMenu* PopupMenu2;
  forms::TMenuItem* ListedesAMIS1;  // "Liste des AMIS", in PopupMenu2
  forms::TPopupMenu* PopupMenu3;
  forms::TPopupMenu* PopupMenu4;
  forms::TImageList* ImageList1;  // row icons of the lists
  forms::TImageList* ImageList2;  // menu icons
  forms::TImageList* ImageList3;  // menu icons

  // --- Mail watch, mail reader, friends pages and mail program: controls ----------------
  // Page 3, the mail list, and its popup menu (items in their places, separators between).
  forms::TBitBtn* BitBtn5;  // "Lancer votre messagerie"
  forms::TMenuItem* LirelEmailenModeTexte1;
  forms::TMenuItem* Repondrelexpditeur1;
  forms::TMenuItem* Ajouterlexpditeurlalistedesamis1;
  forms::TMenuItem* Ajouterledomainelalistedesamis1;
  forms::TMenuItem* SupprimercetEmaildemonserveurPOP1;
  forms::TMenuItem* EnvoyerunEmail1;
  forms::TMenuItem* Lancevotremessagerie1;
  forms::TButton* Button6;  // hidden: "Lance votre Messagerie"
  // Page 5, the friends list.
  forms::TEdit* Edit3;      // entry to add
  forms::TBitBtn* BitBtn3;  // "Ajouter"
  forms::TEdit* Edit4;      // search text
  forms::TLabel* Label19;   // the entry found or selected
  forms::TBitBtn* BitBtn2;  // "Supprimer"
  forms::TBitBtn* BitBtn6;  // "Lancer votre messagerie"
  forms::TMenuItem* EnvoyerunEmail2;  // in PopupMenu3
  forms::TMenuItem* Supprimer1;       // in PopupMenu3
  // Page 1, the friend subjects.
  forms::TEdit* Edit6;
  forms::TBitBtn* BitBtn8;  // "Ajouter"
  forms::TEdit* Edit7;
  forms::TLabel* Label20;
  forms::TBitBtn* BitBtn10;  // "Supprimer"
  forms::TBitBtn* BitBtn11;  // "Lancer votre messagerie"
  // The POP3 client and the message of every mail operation (one at a time).
  std::unique_ptr<mail::Pop3Client> POP3;
  std::unique_ptr<mail::Message> IdMsg;

 private:
  void BuildButtonBars();
  void BuildPages();
  void BuildSettingsPage();
  void BuildCarriers();
  void BuildPendingList();
  // Agenda and page 2.
  void BuildInstructionPage();
  void BuildAgendaPage();
  void ListDayLines(const char* onlyKind);
  void ForgetDayRows();
  // Day fetches waiting for their reply: the list is empty meanwhile, yet a day is chosen.
  int dayFetchesUnderWay_ = 0;
  struct SlotAction;
  void RunSlotAction(const SlotAction& action);
  // The pending rows were cleared: no row is selected any more, so no id is left to send.
  void ForgetSelectedIds();
  void BuildComponents();
  // The page buttons show the current page: its button in colour, the four others grey.
  void MarkPageButton(forms::TJvTransparentButton* current);
  // Show the main window, on page 0.
  void ShowMainWindow();
  // Plays a WAV file for the sound test; a file that cannot be played is told.
  void SoundTest(const std::string& fileName);

  // --- Mail watch, mail reader, friends pages and mail program: internals ---------------
  void BuildMailPage();
  void BuildFriendsPages();
  // The account of the settings page, into POP3.
  void GiveAccountToPop3();
  // Runs the part of a mail operation that talks to the server: a failure of the server, of
  // the connection or of a number ends it with its message in Label15.
  void MailGuarded(const std::function<void()>& work);
  // Runs `parse` (a mail or a header taken apart) on a thread of its own while the windows keep
  // being served.
  void ParseWhileServing(const std::function<void()>& parse);
  // The header of a mail taken apart that way, for CurrentNumber.
  HeaderParser HeaderParsedWhileServing();
  // The program is closing: no mail operation starts any more.
  static bool ProgramEnding();
  // The popup menu of the friends list as for an entry selected (or, empty, none).
  void ShowFriendInMenu(const std::string& entry, bool selected);
  // A mail operation (check, reading, deletion) is under way: another one does nothing.
  bool mailBusy_ = false;
  class MailOperation {  // marks one as running for its scope
   public:
    explicit MailOperation(bool& busy) : busy_(busy) { busy_ = true; }
    ~MailOperation() { busy_ = false; }
    MailOperation(const MailOperation&) = delete;
    MailOperation& operator=(const MailOperation&) = delete;

   private:
    bool& busy_;
  };
  // What tells each listed mail apart on the server, by its "N°" text, and the selected one's.
  std::map<std::string, MailIdentity> mailIdentities_;
  MailIdentity selectedMail_;
};

// The text of the ids to record as read, and the selected mail's number, sender address
// and sender domain.
extern std::string IdsLus;
extern std::string MailNumero;
extern std::string MailExpediteur;
extern std::string MailDomaine;

}  // namespace client

// The client's windows, created at start and alive until the program ends.
extern client::TForm1* Form1;
