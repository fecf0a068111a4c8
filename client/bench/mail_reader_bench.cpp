// How long a large HTML mail takes from the server to the reader's text: fetching it, taking
// the message apart, and removing its tags. The removal runs in one pass, so a 5 MB mail with
// hundreds of thousands of tags takes milliseconds, not the minutes a rescan after each tag
// would take.
#include <benchmark/benchmark.h>

#include <string>

#include "dovecot_server.h"
#include "mail/message.h"
#include "mail/pop3_client.h"
#include "mail_reader.h"

namespace {

// An HTML mail of about `bytes` bytes, one short paragraph with a few tags per line.
std::string HtmlMail(std::size_t bytes) {
  std::string html = "<html><body>\r\n";
  while (html.size() < bytes) html += "<p>Le <b>planning</b> de <i>d\xC3\xA9" "cembre</i> est <a href=\"x\">pr\xC3\xAAt</a>.</p>\r\n";
  html += "</body></html>\r\n";
  return "From: a@exemple.fr\r\nSubject: gros\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n" + html;
}

void BM_SupprimeBalises(benchmark::State& state) {
  mail::Message message;
  message.Parse(HtmlMail(static_cast<std::size_t>(state.range(0))));
  const std::string& body = message.Body();
  for (auto _ : state) benchmark::DoNotOptimize(client::SupprimeBalises(body));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_SupprimeBalises)->Arg(64 << 10)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

void BM_ParseAndStrip(benchmark::State& state) {
  const std::string raw = HtmlMail(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    mail::Message message;
    message.Parse(raw);
    benchmark::DoNotOptimize(client::SupprimeBalises(message.Body()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(raw.size()));
}
BENCHMARK(BM_ParseAndStrip)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

// The whole road of a reading: RETR from a real Dovecot on 127.0.0.1, then as above.
void BM_ReadFromDovecot(benchmark::State& state) {
  mail::test_servers::DovecotServer server;
  server.Deliver(HtmlMail(static_cast<std::size_t>(state.range(0))));
  mail::Pop3Client pop3;
  pop3.Host = server.Host();
  pop3.Port = server.Port();
  pop3.Username = server.User();
  pop3.Password = server.Password();
  for (auto _ : state) {
    pop3.Connect();
    mail::Message message;
    message.Parse(pop3.Retrieve(1));
    benchmark::DoNotOptimize(client::SupprimeBalises(message.Body()));
    pop3.Disconnect();
  }
}
BENCHMARK(BM_ReadFromDovecot)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
