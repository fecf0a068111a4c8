#include "ZipWriteSupport.h"

#include <cstdio>
#include <sstream>

#include "ZAFiles.h"
#include "ZAPlatform.h"
#include "ZipEngineRun.h"

namespace ziptest {

std::string EngineName(const fs::path& path) { return zip::platform::FromFileSystemPath(path.string()); }

void PrepareArchiver(zip::TZipArchiver& archiver, TWriteRun& run) {
  archiver.SetName("ZipArchiver1");
  AnswerEventsForTests(archiver, run.Failures, run.FailureCodes, true);
}

zip::TZACommitResult WriteWithEngine(const fs::path& archive, bool create,
                                     const std::function<void(zip::TZipArchiver&)>& actions,
                                     const std::function<void(zip::TZipArchiver&)>& setup, TWriteRun* run) {
  TWriteRun local;
  TWriteRun& r = run ? *run : local;
  zip::TZipArchiver archiver;
  PrepareArchiver(archiver, r);
  if (setup) setup(archiver);
  archiver.FileName = EngineName(archive);
  archiver.OpenArchive(create ? zip::ZAFileModeCreate : zip::fmOpenReadWriteDenyWrite);
  archiver.BeginUpdate();
  actions(archiver);
  archiver.EndUpdate();
  archiver.CloseArchive();
  return archiver.LastCommitResult();
}

namespace {

std::string Capture(const std::string& commandLine, int& status) {
  std::string out;
  FILE* pipe = ::popen((commandLine + " 2>&1 </dev/null").c_str(), "r");
  if (!pipe) {
    status = -1;
    return out;
  }
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int rc = ::pclose(pipe);
  status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool Skipped(const std::vector<std::string>& skip, const std::string& what) {
  for (const auto& s : skip)
    if (s == what) return true;
  return false;
}

}  // namespace

std::string PeerCheck(const fs::path& archive, const std::string& password, const std::vector<std::string>& skip) {
  std::ostringstream report;
  const std::string a = Quote(archive.string());
  const std::string pw = password.empty() ? "" : " -P " + Quote(password);
  int status = 0;
  std::string out = Capture("timeout 600 unzip -tqq" + pw + " " + a, status);
  if (status != 0) report << "unzip -t: " << out << "\n";
  if (!Skipped(skip, "zip")) {
    // zip runs unzip for its test; only a password needs a command line of its own.
    const std::string tester = password.empty() ? "" : " -TT " + Quote("unzip -tqq" + pw);
    out = Capture("timeout 600 zip -T" + tester + " " + a, status);
    if (status != 0) report << "zip -T: " << out << "\n";
  }
  if (!Skipped(skip, "7z")) {
    out = Capture("timeout 600 7zz t -bso0 -bsp0 -p" + Quote(password) + " " + a, status);
    if (status != 0) report << "7z t: " << out << "\n";
  }
  const char* script =
      "import os, sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "    if sys.argv[2]: z.setpassword(os.fsencode(sys.argv[2]))\n"
      "    for i in z.infolist():\n"
      "        with z.open(i) as f:\n"
      "            while f.read(1 << 20): pass\n";
  out = Capture("timeout 600 python3 -c " + Quote(script) + " " + a + " " + Quote(password), status);
  if (status != 0) report << "python zipfile: " << out << "\n";
  return report.str();
}

std::string PythonListing(const fs::path& archive) {
  const char* script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "    for i in z.infolist():\n"
      "        print(i.filename, i.file_size, '%08x' % i.CRC, i.compress_type, i.flag_bits)\n";
  int status = 0;
  return Capture("python3 -c " + Quote(script) + " " + Quote(archive.string()), status);
}

TContents PythonContents(const fs::path& archive) {
  const fs::path out = archive.string() + ".contents";
  const int status = RunPython("import sys, zipfile, warnings\n"
                               "warnings.simplefilter('ignore')\n"
                               "with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[2], 'w', encoding='utf-8') as o:\n"
                               "    for i in z.infolist():\n"
                               "        n = i.filename\n"
                               "        if not i.flag_bits & 0x800 and i.create_system == 3:\n"
                               "            n = n.encode('cp437').decode('utf-8', 'replace')  # a Unix host's bytes\n"
                               "        o.write(n + '\\t' + z.open(i).read().decode() + '\\n')\n",
                               {archive.string(), out.string()});
  TContents contents;
  if (status != 0) return {{"python failed", std::to_string(status)}};
  const auto bytes = ReadBytes(out);
  fs::remove(out);
  const std::string text(bytes.begin(), bytes.end());
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    const std::size_t tab = line.find('\t');
    contents.emplace_back(line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return contents;
}

}  // namespace ziptest
