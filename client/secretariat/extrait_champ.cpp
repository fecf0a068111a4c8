#include "secretariat/extrait_champ.h"

namespace secretariat {

void ExtraitChamp(std::string_view text, char separator, int index, std::string& result) {
  int counter = 1;
  std::string collector;
  for (char c : text) {
    if (c != separator) {
      collector += c;
      continue;
    }
    ++counter;
    if (counter == index) {
      result = collector;
      return;  // the counter only grows: no later separator can match again
    }
    collector.clear();
  }
}

std::string ExtraitChamp(std::string_view text, char separator, int index) {
  std::string result;
  ExtraitChamp(text, separator, index, result);
  return result;
}

}  // namespace secretariat
