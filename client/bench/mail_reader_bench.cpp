// How long a large HTML mail takes from the server's bytes to the reader's text: taking the
// message apart, and removing its tags. The removal runs in one pass, so a 5 MB mail with
// hundreds of thousands of tags takes milliseconds, not the minutes a rescan after each tag
// would take.
#include <benchmark/benchmark.h>

#include <string>

#include "mail/message.h"
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

}  // namespace

BENCHMARK_MAIN();
