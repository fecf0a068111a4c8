#pragma once
// The one road by which every event handler is called. The dispatcher runs the handler
// and catches whatever it throws: the exception goes to Application->OnException (or, when
// none is assigned, to the application's default error box), so no exception ever leaves
// a handler into the window system's event loop. Handlers called from inside a handler
// (a nested ProcessMessages, a modal box) go through it again and are caught there.
#include <exception>
#include <functional>
#include <utility>

namespace forms {

class TObject;

// Runs `call` and hands any exception it throws to the application's exception handling.
void Dispatch(TObject* Sender, const std::function<void()>& call);

// Calls an event (a std::function member) through the dispatcher when it is assigned.
// The handler is copied first, so a handler that replaces its own event stays alive.
template <class Event, class... Args>
void Fire(TObject* Sender, const Event& event, Args&&... args) {
  if (!event) return;
  Event handler = event;
  Dispatch(Sender, [&] { handler(std::forward<Args>(args)...); });
}

// Hands an exception to the application's exception handling, as the dispatcher does.
void HandleException(TObject* Sender, std::exception_ptr error);

}  // namespace forms
