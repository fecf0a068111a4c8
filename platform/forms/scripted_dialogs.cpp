#include "forms/scripted_dialogs.h"

namespace forms {

ScriptedDialogs::ScriptedDialogs() : use_(*this) {}
ScriptedDialogs::~ScriptedDialogs() = default;

void ScriptedDialogs::ClearRecords() {
  messages_.clear();
  inputs_.clear();
  openFiles_.clear();
}

TModalResult ScriptedDialogs::Message(const MessageRequest& request) {
  messages_.push_back(request);
  if (OnMessage) {
    auto handler = OnMessage;
    if (auto answer = handler(request)) return *answer;
  }
  if (!messageAnswers_.empty()) {
    const TModalResult r = messageAnswers_.front();
    messageAnswers_.pop_front();
    return r;
  }
  const auto order = request.Buttons.InOrder();
  return order.empty() ? mrOk : ModalResultOf(order.front());
}

bool ScriptedDialogs::Input(const InputRequest& request, std::string& value) {
  inputs_.push_back(request);
  if (inputAnswers_.empty()) return false;
  InputAnswer a = inputAnswers_.front();
  inputAnswers_.pop_front();
  if (a.ok) value = a.text;
  return a.ok;
}

bool ScriptedDialogs::OpenFile(const OpenFileRequest& request, std::string& fileName) {
  openFiles_.push_back(request);
  if (fileAnswers_.empty()) return false;
  auto a = fileAnswers_.front();
  fileAnswers_.pop_front();
  if (!a) return false;
  fileName = *a;
  return true;
}

}  // namespace forms
