// The two friends pages of the main window: the prefix search, add, search, select, delete,
// the popup menu of the friends list, the row drawing and the files written at close.
#include <fstream>
#include <iterator>

#include "friends_lists.h"
#include "window_fixture.h"

namespace {

using client::ChercheDansListBox;
using Strings = std::vector<std::string>;

const char* const kAlready = " est d\xC3\xA9j\xC3\xA0 existant dans la liste";

class FriendsPagesTest : public client_test::WindowTest {
 protected:
  void Friends(const Strings& entries) {
    f->ListBox3->Items().Clear();
    for (const std::string& e : entries) f->ListBox3->Items().Add(e);
  }
  Strings Shown() {
    Strings texts;
    for (const auto& m : dialogs.Messages()) texts.push_back(m.Text);
    dialogs.ClearRecords();
    return texts;
  }
};

TEST_F(FriendsPagesTest, TheSearchFindsTheFirstEntryThatBeginsWithTheTextInAnyCase) {
  struct Case {
    Strings items;
    std::string text;
    int index;
  };
  const Case cases[] = {
      {{"@exemple.fr", "anne@y.fr", "zoe@x.fr"}, "ANNE@Y.FR", 1},
      {{"@exemple.fr", "anne@y.fr", "zoe@x.fr"}, "ann", 1},
      {{"@exemple.fr", "anne@y.fr", "zoe@x.fr"}, "", 0},  // an empty text finds the first entry
      {{}, "", -1},
      {{"anne@y.fr"}, "anne@y.fr.example", -1},  // longer than every item: only an equal one
      {{"anne", "anne@y.fr"}, "anne@", 1},
      {{"\xC3\xA9lodie@x.fr"}, "\xC3\x89L", 0},  // characters, not bytes, and accents in any case
      {{"\xC3\xA9lodie@x.fr"}, "\xC3", -1},
      {{"zoe@x.fr"}, "bob", -1},
  };
  for (const Case& c : cases) {
    Friends(c.items);
    EXPECT_EQ(ChercheDansListBox(c.text, *f->ListBox3), c.index) << c.text;
  }
}

TEST_F(FriendsPagesTest, AddingRefusesAnEntryThatBeginsAListedOne) {
  Friends({"Anne@y.fr", "zoe@x.fr"});
  struct Case {
    std::string typed;
    Strings shown;
    int selected;
    std::string editAfter;
  };
  const Case cases[] = {
      {"anne@Y.fr", {"anne@Y.fr" + std::string(kAlready)}, 0, "anne@Y.fr"},
      {"zoe", {"zoe" + std::string(kAlready)}, 1, "zoe"},
      {"", {kAlready}, 0, ""},
      {"bob@z.fr", {}, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    f->Edit3->SetText(c.typed);
    f->BitBtn3->UserClick();
    EXPECT_EQ(Shown(), c.shown);
    EXPECT_EQ(f->Edit3->Text(), c.editAfter);
    if (c.selected >= 0) {
      EXPECT_EQ(f->ListBox3->ItemIndex(), c.selected);
    }
  }
  EXPECT_EQ(f->ListBox3->Items().ToVector(), (Strings{"Anne@y.fr", "bob@z.fr", "zoe@x.fr"})) << "kept sorted";

  // An empty edit adds an empty entry to an empty list, on the subjects page as well.
  f->Edit6->SetText("");
  f->BitBtn8->UserClick();
  EXPECT_EQ(f->ListBox4->Items().ToVector(), Strings{""});
  EXPECT_TRUE(Shown().empty());
}

TEST_F(FriendsPagesTest, TheMailListAddsTheSenderOrItsDomain) {
  Friends({"@amis.example"});
  client::MailExpediteur = "jean@exemple.fr";
  client::MailDomaine = "@exemple.fr";
  f->Ajouterlexpditeurlalistedesamis1Click(f);
  EXPECT_EQ(Shown(), Strings{"jean@exemple.fr: ajout\xC3\xA9 \xC3\xA0 la liste"});
  f->Ajouterledomainelalistedesamis1Click(f);
  EXPECT_EQ(Shown(), Strings{"@exemple.fr: ajout\xC3\xA9 \xC3\xA0 la liste"});
  client::MailDomaine = "@AMIS.example";
  f->Ajouterledomainelalistedesamis1Click(f);
  EXPECT_EQ(Shown(), Strings{"@AMIS.example" + std::string(kAlready)});
  EXPECT_EQ(f->ListBox3->ItemIndex(), 0);
  EXPECT_EQ(f->ListBox3->Items().ToVector(), (Strings{"@amis.example", "@exemple.fr", "jean@exemple.fr"}));
}

TEST_F(FriendsPagesTest, TheSearchBoxSelectsAsItIsTyped) {
  Friends({"@exemple.fr", "anne@y.fr"});
  f->Edit4->UserType("an");
  EXPECT_EQ(f->ListBox3->ItemIndex(), 1);
  EXPECT_EQ(f->Label19->Caption(), "anne@y.fr");
  EXPECT_TRUE(f->BitBtn2->Enabled());
  EXPECT_EQ(f->EnvoyerunEmail2->Caption(), "Envoyer un E-mail \xC3\xA0 : anne@y.fr");
  EXPECT_EQ(f->Supprimer1->Caption(), "Supprimer : anne@y.fr");

  f->Edit4->UserType("x");
  EXPECT_EQ(f->ListBox3->ItemIndex(), -1);
  EXPECT_EQ(f->Label19->Caption(), "");
  EXPECT_FALSE(f->BitBtn2->Enabled());
  EXPECT_FALSE(f->EnvoyerunEmail2->Enabled());
  EXPECT_EQ(f->Supprimer1->Caption(), "Supprimer");

  // Clearing the box selects the first entry.
  f->Edit4->SetText("");
  EXPECT_EQ(f->ListBox3->ItemIndex(), 0);
  EXPECT_TRUE(f->BitBtn2->Enabled());

  f->ListBox4->Items().Add("urgent");
  f->Edit7->UserType("URG");
  EXPECT_EQ(f->Label20->Caption(), "urgent");
  EXPECT_TRUE(f->BitBtn10->Enabled());
}

TEST_F(FriendsPagesTest, OnlyAPlainAddressCanBeWrittenTo) {
  struct Case {
    std::string entry;
    bool canWrite;
  };
  const Case cases[] = {{"@exemple.fr", false}, {"a@b.fr", true}, {"sans-arobase", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    Friends({c.entry});
    f->ListBox3->UserClickItem(0);
    EXPECT_EQ(f->EnvoyerunEmail2->Enabled(), c.canWrite);
    EXPECT_EQ(f->EnvoyerunEmail2->Caption(),
              c.canWrite ? "Envoyer un E-mail \xC3\xA0 : " + c.entry : std::string("Envoyer un E-mail"));
    EXPECT_TRUE(f->Supprimer1->Enabled());
    EXPECT_EQ(f->Label19->Caption(), c.entry);
  }
  Friends({"a@b.fr?cc=x@y.z"});
  f->ListBox3->UserClickItem(0);
  f->EnvoyerunEmail2->UserClick();
  EXPECT_EQ(shell.VerbsAndFiles(),
            (std::vector<std::pair<std::string, std::string>>{{"open", "mailto:a@b.fr%3Fcc%3Dx@y.z"}}));
}

TEST_F(FriendsPagesTest, DeletingRemovesTheSelectedEntryOnly) {
  Friends({"a@b.fr", "c@d.fr"});
  f->BitBtn2Click(f);  // nothing selected: nothing happens
  EXPECT_EQ(f->ListBox3->Items().Count(), 2);
  f->ListBox3->UserClickItem(1);
  f->Supprimer1->UserClick();
  EXPECT_EQ(f->ListBox3->Items().ToVector(), Strings{"a@b.fr"});
  EXPECT_EQ(f->ListBox3->ItemIndex(), -1);
  EXPECT_FALSE(f->BitBtn2->Enabled());
  EXPECT_EQ(f->Label19->Caption(), "c@d.fr") << "the label keeps its text until the next selection";
  f->ListBox4->Items().Add("urgent");
  f->ListBox4->UserClickItem(0);
  f->BitBtn10->UserClick();
  EXPECT_EQ(f->ListBox4->Items().Count(), 0);
}

TEST_F(FriendsPagesTest, RowsAreDrawnInAlternateColoursAndTheSelectedOneStandsOut) {
  Friends({"a", "b", "c"});
  EXPECT_EQ(f->ListBox3->Style(), forms::lbOwnerDrawFixed);
  EXPECT_EQ(f->ListBox4->Style(), forms::lbOwnerDrawFixed);
  forms::TCanvas& canvas = f->ListBox3->Canvas();
  f->ListBox3DrawItem(f->ListBox3, 0, {0, 0, 100, 16}, 0);
  EXPECT_EQ(canvas.Brush().Color(), forms::cl3DLight);
  f->ListBox3DrawItem(f->ListBox3, 1, {0, 16, 100, 32}, 0);
  EXPECT_EQ(canvas.Brush().Color(), forms::clWhite);
  EXPECT_FALSE(canvas.Font().Bold());
  f->ListBox3DrawItem(f->ListBox3, 2, {0, 32, 100, 48}, forms::odSelected);
  EXPECT_EQ(canvas.Brush().Color(), forms::RGB(234, 220, 160));
  EXPECT_EQ(canvas.Font().Color(), forms::clWindowText);
  EXPECT_TRUE(canvas.Font().Bold());
}

TEST_F(FriendsPagesTest, TheListsAreWrittenAtCloseInWindows1252WithCrLf) {
  Friends({"z\xC3\xA9ro@x.fr", "@Exemple.fr", ""});
  f->ListBox4->Items().Add("r\xC3\xA9union");
  f->finfichcg();
  f->finfichcg2();
  const auto bytes = [](const std::string& name) {
    std::ifstream in(settings_store::ExecutableFolder() + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(bytes("base.ami"), "\r\n@Exemple.fr\r\nz\xE9ro@x.fr\r\n");
  EXPECT_EQ(bytes("sujet.ami"), "r\xE9union\r\n");
  f->ListBox3->Items().Clear();
  f->lirefichecg();
  EXPECT_EQ(f->ListBox3->Items().ToVector(), (Strings{"", "@Exemple.fr", "z\xC3\xA9ro@x.fr"}));
}

}  // namespace
