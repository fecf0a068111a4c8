// The program Update.exe: the updater's window, for the client installed beside it.
#include <string>

#include "Unit1.h"
#include "forms/application.h"
#include "os/file_size_limit.h"

#ifndef ORVALIS_UPDATE_HOST
#error "ORVALIS_UPDATE_HOST names the update host of the build"
#endif

int main() {
  // A write past the file size limit (the archive, an extracted file) fails with EFBIG and
  // takes the failure path that starts the client again, instead of ending the updater.
  os::IgnoreFileSizeSignal();
  forms::TApplication app;
  app.SetTitle("Mise à jour");
  const std::string exe = app.ExeName();
  const std::string folder = exe.substr(0, exe.find_last_of('/') + 1);
  app.CreateForm<updater::TForm1>(updater::TUpdaterPlace{folder, ORVALIS_UPDATE_HOST});
  app.Run();
  return 0;
}
