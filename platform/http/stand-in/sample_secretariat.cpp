#include "http/stand-in/sample_secretariat.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <initializer_list>

#include "http/base64.h"
#include "os/codepage.h"

namespace http::stand_in {
namespace {

std::string Join(std::initializer_list<const std::string*> fields) {
  std::string line;
  bool first = true;
  for (const std::string* field : fields) {
    if (!first) line += '|';
    line += *field;
    first = false;
  }
  return line;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A query value as a CGI script reads it: "+" is a space and "%XX" the byte XX; a "%" that is
// not followed by two hexadecimal digits stays as it is.
std::string DecodeValue(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '+') {
      out += ' ';
    } else if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
               HexDigit(value[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

// "a=1&b=x+y%26z" to {a: "1", b: "x y&z"}, the values turned from Windows-1252 into UTF-8.
std::map<std::string, std::string> ReadQuery(const std::string& query) {
  std::map<std::string, std::string> values;
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const auto equals = pair.find('=');
    const std::string value = equals == std::string::npos ? "" : DecodeValue(pair.substr(equals + 1));
    if (!pair.empty()) values[pair.substr(0, equals)] = os::Cp1252ToUtf8(value);
    start = end + 1;
  }
  return values;
}

bool IsSlotLabel(const std::string& nom) {
  return nom == "pris" || nom == "indispo" || nom == "créneau double" || nom == "consul-libre";
}

ScriptedReply Text(int status, std::string reason, const std::string& utf8) {
  ScriptedReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.headers = {{"Content-Type", "text/plain; charset=windows-1252"}};
  reply.body = os::Utf8ToCp1252(utf8);
  return reply;
}

}  // namespace

SampleSecretariat::SampleSecretariat(std::string login, std::string password, std::string today)
    : login_(std::move(login)), password_(std::move(password)), today_(std::move(today)) {
  auto add = [&](std::string kind, std::string heure, std::string nom, std::string prenom,
                 std::string motif, std::string tel, std::string fax, std::string adresse) {
    const std::string iso = NextIso();
    pending_.push_back({kind, today_, heure, nom, prenom, motif, tel, iso, fax, adresse});
    Rows(today_).push_back({kind, heure, nom, prenom, motif, tel, iso, fax, adresse, "1", ""});
  };
  add("message", "08:12", "Martin", "Claire", "Rappeler pour les résultats-- avant midi si possible",
      "04 78 12 34 56", "claire.martin@example.org", "12 rue des Lilas, Lyon");
  add("message", "08:47", "Lefèvre", "Jean", "Demande une ordonnance", "06 11 22 33 44", "", "");
  add("rv", "09:30", "Durand", "Paul", "Contrôle annuel", "04 72 00 00 00", "06 98 76 54 32", "");
  add("vi", "14:00", "urgence", "Mme Petit", "Fièvre depuis hier-- toux", "04 78 55 66 77", "",
      "3 place Bellecour, Lyon");
}

std::string SampleSecretariat::NextIso() { return std::to_string(next_iso_++); }

void SampleSecretariat::SetArrivalInterval(std::chrono::seconds interval) {
  std::lock_guard lock(mutex_);
  arrival_interval_ = interval;
  last_arrival_ = std::chrono::steady_clock::now();
}

void SampleSecretariat::ArriveIfDue() {
  if (!arrival_interval_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_arrival_ < *arrival_interval_) return;
  last_arrival_ = now;
  struct Caller {
    const char* nom;
    const char* prenom;
    const char* motif;
    const char* tel;
  };
  static constexpr Caller kCallers[] = {
      {"Garnier", "Sophie", "Souhaite avancer son rendez-vous", "04 78 10 20 30"},
      {"Moreau", "Éric", "Résultats d'analyse reçus-- à rappeler", "06 20 30 40 50"},
      {"Faure", "Hélène", "Question sur le traitement", "04 72 11 22 33"},
  };
  const Caller& c = kCallers[arrivals_++ % std::size(kCallers)];
  char heure[8];
  const std::time_t clock = std::time(nullptr);
  std::tm local{};
  localtime_r(&clock, &local);
  std::strftime(heure, sizeof heure, "%H:%M", &local);
  const std::string iso = NextIso();
  pending_.push_back({"message", today_, heure, c.nom, c.prenom, c.motif, c.tel, iso, "", ""});
  Rows(today_).push_back({"message", heure, c.nom, c.prenom, c.motif, c.tel, iso, "", "", "1", ""});
}

std::vector<SampleSecretariat::Row>& SampleSecretariat::Rows(const std::string& date) {
  auto [it, added] = days_.try_emplace(date);
  if (added) {
    // Every day starts as the same morning: free slots, a taken one and an unavailable one.
    const char* free_slots[] = {"09:00", "10:00", "10:30", "11:30"};
    for (const char* heure : free_slots)
      it->second.push_back({"rv", heure, "", "", "", "", NextIso(), "", "", "3", ""});
    it->second.push_back({"rv", "11:00", "pris", "", "", "", NextIso(), "", "", "3", "pris"});
    it->second.push_back({"rv", "12:00", "indispo", "", "", "", NextIso(), "", "", "3", "pris"});
    it->second.push_back({"vi", "16:00", "Bernard", "Louis", "Pansement &copy; soins", "04 78 00 11 22",
                          NextIso(), "", "8 rue Victor Hugo, Lyon", "2", "donne"});
    it->second.push_back({"message", "08:05", "Roux", "Marie", "Demande de rappel-- au sujet du devis",
                          "04 72 33 44 55", NextIso(), "marie.roux@example.org", "", "1", ""});
  }
  std::sort(it->second.begin(), it->second.end(),
            [](const Row& a, const Row& b) { return a.heure < b.heure; });
  return it->second;
}

SampleSecretariat::Row* SampleSecretariat::FindRow(const std::string& iso) {
  for (auto& [date, rows] : days_)
    for (auto& row : rows)
      if (row.iso == iso) return &row;
  return nullptr;
}

ScriptedReply SampleSecretariat::Answer(const RecordedRequest& request) {
  std::lock_guard lock(mutex_);
  if (!login_.empty() &&
      request.Header("Authorization") != BasicAuthorization(os::Utf8ToCp1252(login_), os::Utf8ToCp1252(password_)))
    return Text(401, "Authorization Required", "<html><body>401 Authorization Required</body></html>");

  constexpr std::string_view kScripts = "/cgi-bin/clients/";
  const std::string& target = request.target;
  if (target.compare(0, kScripts.size(), kScripts) != 0)
    return Text(404, "Not Found", "<html><body>404 Not Found</body></html>");
  const auto mark = target.find('?');
  const std::string script = target.substr(kScripts.size(), mark == std::string::npos ? std::string::npos : mark - kScripts.size());
  const std::string raw_query = mark == std::string::npos ? "" : target.substr(mark + 1);
  const auto query = ReadQuery(raw_query);
  auto value = [&](const char* key) {
    const auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
  };

  if (script == "indy.pl") {
    ArriveIfDue();
    return Text(200, "OK", Poll(query));
  }
  if (script == "indypris.pl") return Text(200, "OK", RecordRead(value("id")));
  if (script == "indya.pl") return Text(200, "OK", Day(value("date")));
  if (script == "indyannulation.pl" || script == "indylibre.pl" || script == "indyprisa.pl" ||
      script == "indyindis.pl")
    return Text(200, "OK", SlotAction(script, value("id")));
  if (script == "indyrendez.pl") return Text(200, "OK", Book(query));
  if (script == "indycons.pl") return Text(200, "OK", "Consigne transmise au secrétariat :\n" + value("motif"));
  if (script == "indystop.pl") return Text(200, "OK", "Les visites d'aujourd'hui sont stoppées.");
  return Text(404, "Not Found", "<html><body>404 Not Found</body></html>");
}

std::string SampleSecretariat::Poll(const std::map<std::string, std::string>& query) const {
  auto asked = [&](const char* key) {
    const auto it = query.find(key);
    return it != query.end() && it->second == "1";
  };
  const bool wanted[] = {asked("message"), asked("rv"), asked("vi")};
  const char* kinds[] = {"message", "rv", "vi"};
  std::string counts;
  std::string lines;
  for (int k = 0; k < 3; ++k) {
    int count = 0;
    for (const auto& e : pending_) {
      if (!wanted[k] || e.kind != kinds[k]) continue;
      ++count;
      lines += "\n" + Join({&e.kind, &e.date, &e.heure, &e.nom, &e.prenom, &e.motif, &e.tel, &e.iso,
                            &e.fax, &e.adresse});
    }
    counts += (k > 0 ? "-" : "") + std::to_string(count);
  }
  return counts + lines + "\n";
}

std::string SampleSecretariat::RecordRead(const std::string& ids) {
  std::size_t start = 0;
  int recorded = 0;
  while (start < ids.size()) {
    auto end = ids.find(';', start);
    if (end == std::string::npos) end = ids.size();
    const std::string iso = ids.substr(start, end - start);
    start = end + 1;
    if (iso.empty()) continue;
    const auto before = pending_.size();
    std::erase_if(pending_, [&](const Entry& e) { return e.iso == iso; });
    Row* row = FindRow(iso);
    if (row != nullptr) {
      row->numero = "2";
      row->pris = "pris";
    }
    if (pending_.size() != before || row != nullptr) ++recorded;
  }
  return std::to_string(recorded) + " mouvement(s) enregistré(s) comme lu(s)\n";
}

std::string SampleSecretariat::Day(const std::string& date) {
  std::string body;
  for (const auto& r : Rows(date))
    body += Join({&r.kind, &r.heure, &r.nom, &r.prenom, &r.motif, &r.tel, &r.iso, &r.fax, &r.adresse,
                  &r.numero, &r.pris}) + "\n";
  return body;
}

std::string SampleSecretariat::SlotAction(const std::string& script, const std::string& id) {
  Row* row = FindRow(id);
  if (row == nullptr) return "Mouvement iso " + id + " introuvable\n";
  std::string done;
  std::string nom;
  std::string pris;
  if (script == "indyannulation.pl") {
    done = " annulé";
  } else if (script == "indylibre.pl") {
    done = " libre";
  } else if (script == "indyprisa.pl") {
    done = " pris";
    nom = pris = "pris";
  } else {
    done = " indispo";
    nom = "indispo";
    pris = "pris";
  }
  *row = Row{"rv", row->heure, nom, "", "", "", row->iso, "", "", "3", pris};
  std::erase_if(pending_, [&](const Entry& e) { return e.iso == id; });
  return "Mouvement iso " + id + done + "\n";
}

std::string SampleSecretariat::Book(const std::map<std::string, std::string>& query) {
  auto value = [&](const char* key) {
    const auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
  };
  const auto free = [](const Row& r) { return r.numero == "3" && !IsSlotLabel(r.nom) && r.pris.empty(); };
  for (auto& [date, rows] : days_) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      Row& row = rows[i];
      if (row.iso != value("id")) continue;
      if (!free(row)) return "Ce créneau n'est plus libre\n";
      row = Row{"rv", row.heure, value("nom"), value("prenom"), value("motif"), value("tel"), row.iso,
                value("fax"), value("adresse"), "2", "donne"};
      // More than one slot: the free slots that follow are held for the same appointment.
      long more = std::clamp(std::strtol(value("creneau").c_str(), nullptr, 10), 1L, 4L) - 1;
      for (std::size_t j = i + 1; more > 0 && j < rows.size() && free(rows[j]); ++j, --more)
        rows[j] = Row{"rv", rows[j].heure, "créneau double", "", "", "", rows[j].iso, "", "", "3", "pris"};
      return "OK\n";
    }
  }
  return "Ce créneau n'est plus libre\n";
}

}  // namespace http::stand_in
