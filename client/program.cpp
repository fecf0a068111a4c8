// OrvalisP: the tray client of the secretariat service.
#include "forms/application.h"
#include "os/file_size_limit.h"
#include "os/single_instance.h"
#include "program_block.h"

int main() {
  // A write past the file size limit fails with EFBIG and is told, instead of ending the client.
  os::IgnoreFileSizeSignal();
  // One client per user: a second one ends at once, without a window or a message. The
  // mutex is held until the process ends.
  const auto mutex = os::CreateMutex(client::kMutexName);
  if (mutex->AlreadyExisted()) return 0;

  forms::TApplication application;
  client::CreateClientForms(application);
  application.Run();
  return 0;
}
