#include "forms/dispatcher.h"

#include <cstdio>
#include <stdexcept>

#include "forms/application.h"

namespace forms {

namespace {

void Deliver(TObject* Sender, const std::exception& e) {
  if (Application) {
    Application->HandleException(Sender, e);
    return;
  }
  // No application object (a program part used on its own): the default box.
  TApplication::ShowExceptionWithoutApplication(e);
}

}  // namespace

void HandleException(TObject* Sender, std::exception_ptr error) {
  try {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      Deliver(Sender, e);
    } catch (...) {
      const std::runtime_error unknown("Exception inconnue");
      Deliver(Sender, unknown);
    }
  } catch (const std::exception& e) {
    // Handling itself failed; there is nowhere left to report to but the console.
    std::fprintf(stderr, "Exception dans le traitement d'une exception : %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Exception dans le traitement d'une exception\n");
  }
}

void Dispatch(TObject* Sender, const std::function<void()>& call) {
  try {
    call();
  } catch (...) {
    HandleException(Sender, std::current_exception());
  }
}

}  // namespace forms
