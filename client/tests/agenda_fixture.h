#pragma once
// The real main window offscreen against the stand-in server, on the agenda page's controls.
#include <string>
#include <vector>

#include "booking_dialog.h"
#include "http/stand-in/server.h"
#include "scripted_replies.h"
#include "window_fixture.h"

namespace client_test {

class AgendaTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    b = Form4;
    Account(server.HostAndPort());
    f->DateTimePicker1->SetDateTime(FixedNow());
  }

  // A line of the day's reply: kind, Heure, Nom, Prénom, Motif, Tél, Iso, Fax/Mail/Gsm,
  // Adresse, numero, pris.
  static std::string Line(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "|" : "") + fields[i];
    return line + "\r\n";
  }
  // A sample day: a free slot, a taken one, an urgent visit and a message.
  static std::string SampleDay() {
    return Line({"rv", "09:00", "", "", "", "", "101", "", "", "3", ""}) +
           Line({"rv", "09:30", "pris", "", "", "", "102", "", "", "3", "pris"}) +
           Line({"vi", "10:00", "urgence", "Mme Petit", "Fi\xE8vre", "0478", "103", "", "Lyon", "2", "donne"}) +
           Line({"message", "11:00", "Martin", "Paul", "Rappeler", "0102", "104", "p@x.fr", "", "1", ""});
  }

  void FetchDay(const std::string& body) {
    server.Queue(Body(body));
    f->BitBtn17->UserClick();
  }
  // The Iso of each row, top to bottom.
  std::vector<std::string> Isos() const {
    std::vector<std::string> ids;
    for (int i = 0; i < f->ListView3->Items().Count(); ++i) ids.push_back(f->ListView3->Items()[i]->SubItems()[5]);
    return ids;
  }
  int IndexOf(const std::string& iso) const {
    const auto ids = Isos();
    for (std::size_t i = 0; i < ids.size(); ++i)
      if (ids[i] == iso) return static_cast<int>(i);
    ADD_FAILURE() << "no row " << iso;
    return 0;
  }
  // The sub-items of the row of that Iso: Heure, Nom, Prénom, Motif, Tél, Iso, Fax/Mail/Gsm,
  // Adresse, numero, pris.
  std::vector<std::string> RowOf(const std::string& iso) const {
    return f->ListView3->Items()[IndexOf(iso)]->SubItems().ToVector();
  }
  void Select(const std::string& iso) { f->ListView3->UserClickItem(IndexOf(iso)); }
  std::string LastTarget() const { return server.Requests().back().target; }
  // The requests since the last ForgetRequests.
  std::size_t Sent() const { return server.Requests().size() - forgotten_; }
  void ForgetRequests() { forgotten_ = server.Requests().size(); }
  // The menu items Lu, Annuler, Indisponible, Pris, Libre: which are enabled.
  std::vector<bool> Offers() const {
    return {f->Lu1->Enabled(), f->Annuler1->Enabled(), f->Indisponible1->Enabled(), f->Pris1->Enabled(),
            f->Libre1->Enabled()};
  }

  http::stand_in::Server server;
  client::TForm4* b = nullptr;

 private:
  std::size_t forgotten_ = 0;
};

}  // namespace client_test
