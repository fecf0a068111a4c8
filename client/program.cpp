// OrvalisP: the tray client of the secretariat service.
#include "forms/application.h"
#include "os/single_instance.h"
#include "program_block.h"

int main() {
  // One client per user: a second one ends at once, without a window or a message. The
  // mutex is held until the process ends.
  const auto mutex = os::CreateMutex(client::kMutexName);
  if (mutex->AlreadyExisted()) return 0;

  forms::TApplication application;
  client::CreateClientForms(application);
  application.Run();
  return 0;
}
