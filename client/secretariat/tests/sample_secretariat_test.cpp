// The sample secretariat that newcomers start by hand, driven through the client's own request
// and field routines, so what they will watch is known to work.
#include <gtest/gtest.h>

#include <map>

#include "http/stand-in/sample_secretariat.h"
#include "http/stand-in/server.h"
#include "secretariat/extrait_champ.h"
#include "secretariat/secretariat_request.h"

namespace {

using namespace std::chrono_literals;
using secretariat::ExtraitChamp;
using Lines = std::vector<std::string>;

class SampleSecretariatTest : public ::testing::Test {
 protected:
  SampleSecretariatTest()
      : sample_("cabinet_nord", "s3cr\xC3\xA9t", "10/12/2026"),
        server_([this](const http::stand_in::RecordedRequest& r) { return sample_.Answer(r); }) {
    settings_.time_limit = 10s;
  }

  Lines Send(const std::string& script_and_query, std::string password = "s3cr\xC3\xA9t") {
    return secretariat::SecretariatRequest({"cabinet_nord", password, server_.HostAndPort()},
                                           script_and_query, settings_);
  }

  http::stand_in::SampleSecretariat sample_;
  http::stand_in::Server server_;
  secretariat::RequestSettings settings_;
};

TEST_F(SampleSecretariatTest, PollFindsTheSampleAndRecordingAsReadEmptiesIt) {
  Lines poll = Send("indy.pl?message=1&rv=1&vi=1&urgent=0");
  ASSERT_EQ(poll.size(), 5u);
  EXPECT_EQ(poll[0], "2-1-1");
  EXPECT_EQ(ExtraitChamp(poll[1] + "|", '|', 2), "message");
  EXPECT_EQ(ExtraitChamp(poll[1] + "|", '|', 3), "10/12/2026");
  EXPECT_EQ(ExtraitChamp(poll[2] + "|", '|', 5), "Lefèvre");

  EXPECT_EQ(Send("indy.pl?message=0&rv=1&vi=0&urgent=0")[0], "0-1-0");

  std::string ids;
  for (std::size_t i = 1; i < poll.size(); ++i) ids = ExtraitChamp(poll[i] + "|", '|', 9) + ";" + ids;
  EXPECT_EQ(Send("indypris.pl?id=" + ids)[0], "4 mouvement(s) enregistré(s) comme lu(s)");
  EXPECT_EQ(Send("indy.pl?message=1&rv=1&vi=1&urgent=0"), Lines{"0-0-0"});
}

TEST_F(SampleSecretariatTest, NewMessagesArriveWhenAsked) {
  EXPECT_EQ(Send("indy.pl?message=1&rv=0&vi=0&urgent=0")[0], "2-0-0");
  sample_.SetArrivalInterval(0s);
  EXPECT_EQ(Send("indy.pl?message=1&rv=0&vi=0&urgent=0")[0], "3-0-0");
  const Lines poll = Send("indy.pl?message=1&rv=0&vi=0&urgent=0");
  ASSERT_EQ(poll.size(), 5u);
  EXPECT_EQ(poll[0], "4-0-0");
  EXPECT_EQ(ExtraitChamp(poll[4] + "|", '|', 5), "Moreau");
  sample_.SetArrivalInterval(3600s);
  EXPECT_EQ(Send("indy.pl?message=1&rv=0&vi=0&urgent=0")[0], "4-0-0");
}

TEST_F(SampleSecretariatTest, AgendaSlotsAnswerTheActionsAndTheBooking) {
  const Lines day = Send("indya.pl?date=11/12/2026");
  std::string free_slot;
  for (const auto& line : day) {
    std::string numero, nom;
    ExtraitChamp(line + "|", '|', 11, numero);
    ExtraitChamp(line + "|", '|', 4, nom);
    if (numero == "3" && nom.empty()) free_slot = ExtraitChamp(line + "|", '|', 8);
  }
  ASSERT_FALSE(free_slot.empty());

  EXPECT_EQ(Send("indyprisa.pl?id=" + free_slot)[0], "Mouvement iso " + free_slot + " pris");
  EXPECT_EQ(Send("indyrendez.pl?id=" + free_slot + "&nom=Roux&prenom=&tel=&fax=&creneau=1&adresse=&motif=")[0],
            "Ce créneau n'est plus libre");
  EXPECT_EQ(Send("indylibre.pl?id=" + free_slot)[0], "Mouvement iso " + free_slot + " libre");
  EXPECT_EQ(Send("indyrendez.pl?id=" + free_slot +
                 "&nom=Roux+Blanc&prenom=Anaïs&tel=0612&fax=&creneau=1&adresse=&motif=Vaccin")[0],
            "OK");
  bool booked = false;
  for (const auto& line : Send("indya.pl?date=11/12/2026"))
    booked = booked || (ExtraitChamp(line + "|", '|', 8) == free_slot &&
                        ExtraitChamp(line + "|", '|', 4) == "Roux Blanc" &&
                        ExtraitChamp(line + "|", '|', 5) == "Anaïs" &&
                        ExtraitChamp(line + "|", '|', 12) == "donne");
  EXPECT_TRUE(booked);
  EXPECT_EQ(Send("indyannulation.pl?id=" + free_slot)[0], "Mouvement iso " + free_slot + " annulé");
  EXPECT_EQ(Send("indyindis.pl?id=999999")[0], "Mouvement iso 999999 introuvable");
}

TEST_F(SampleSecretariatTest, ABookingReadsPercentEncodedValuesAndHoldsTheSlotsThatFollow) {
  // The free slots of a fresh day, in time order: 09:00, 10:00, 10:30 (11:00 is taken).
  std::vector<std::string> free_slots;
  for (const auto& line : Send("indya.pl?date=12/12/2026"))
    if (ExtraitChamp(line + "|", '|', 11) == "3" && ExtraitChamp(line + "|", '|', 4).empty())
      free_slots.push_back(ExtraitChamp(line + "|", '|', 8));
  ASSERT_GE(free_slots.size(), 3u);

  EXPECT_EQ(Send("indyrendez.pl?id=" + free_slots[0] +
                 "&nom=Roux&prenom=&tel=%2B33612&fax=&creneau=2&adresse=&motif=Suivi+%26id%3D7+100%25+%23b+%zz")[0],
            "OK");
  std::map<std::string, std::pair<std::string, std::string>> by_id;  // id: nom, motif
  for (const auto& line : Send("indya.pl?date=12/12/2026"))
    by_id[ExtraitChamp(line + "|", '|', 8)] = {ExtraitChamp(line + "|", '|', 4), ExtraitChamp(line + "|", '|', 6) + "|" +
                                                                                     ExtraitChamp(line + "|", '|', 7)};
  EXPECT_EQ(by_id[free_slots[0]], (std::pair<std::string, std::string>{"Roux", "Suivi &id=7 100% #b %zz|+33612"}));
  EXPECT_EQ(by_id[free_slots[1]].first, "créneau double") << "the second slot of the appointment";
  EXPECT_EQ(by_id[free_slots[2]].first, "") << "only two slots were asked for";
  EXPECT_EQ(Send("indyrendez.pl?id=" + free_slots[1] + "&nom=X&prenom=&tel=&fax=&creneau=1&adresse=&motif=")[0],
            "Ce créneau n'est plus libre");
}

TEST_F(SampleSecretariatTest, InstructionStopAndWrongCredentials) {
  EXPECT_EQ(Send("indycons.pl?motif=Rappeler+M.+Roux"),
            (Lines{"Consigne transmise au secrétariat :", "Rappeler M. Roux"}));
  EXPECT_EQ(Send("indystop.pl"), Lines{"Les visites d'aujourd'hui sont stoppées."});
  try {
    Send("indy.pl?message=1&rv=1&vi=1&urgent=0", "wrong");
    ADD_FAILURE() << "no exception";
  } catch (const http::EHttpException& e) {
    EXPECT_EQ(e.StatusCode(), 401);
    EXPECT_STREQ(e.what(), "Authorization Required");
  }
}

}  // namespace
