// The program Update.exe: the updater's window, for the client installed beside it.
#include <string>

#include "Unit1.h"
#include "forms/application.h"

#ifndef ORVALIS_UPDATE_HOST
#error "ORVALIS_UPDATE_HOST names the update host of the build"
#endif

int main() {
  forms::TApplication app;
  app.SetTitle("Mise à jour");
  const std::string exe = app.ExeName();
  const std::string folder = exe.substr(0, exe.find_last_of('/') + 1);
  app.CreateForm<updater::TForm1>(updater::TUpdaterPlace{folder, ORVALIS_UPDATE_HOST});
  app.Run();
  return 0;
}
