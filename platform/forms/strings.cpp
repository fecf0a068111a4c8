#include "forms/strings.h"

#include <QCollator>
#include <QString>
#include <algorithm>
#include <stdexcept>

namespace forms {

int TStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Strings(i), s)) return i;
  return -1;
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  const std::vector<std::string> lines = other.ToVector();
  Clear();
  AddStrings(lines);
}

void TStrings::AddStrings(const std::vector<std::string>& lines) {
  for (const auto& l : lines) Add(l);
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) out.push_back(Strings(i));
  return out;
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Strings(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  Clear();
  AddStrings(lines);
}

static void CheckIndex(int index, int count) {
  if (index < 0 || index >= count)
    throw std::out_of_range("Index de liste hors limites (" + std::to_string(index) + ")");
}

std::string TStringList::Strings(int index) const {
  CheckIndex(index, Count());
  return lines_[static_cast<size_t>(index)];
}

void TStringList::Put(int index, const std::string& s) {
  CheckIndex(index, Count());
  lines_[static_cast<size_t>(index)] = s;
}

void TStringList::Insert(int index, const std::string& s) {
  if (index < 0 || index > Count()) CheckIndex(index, Count());
  lines_.insert(lines_.begin() + index, s);
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count());
  lines_.erase(lines_.begin() + index);
}

void TStringList::Clear() { lines_.clear(); }

int TStringList::Add(const std::string& s) {
  if (!sorted_) return TStrings::Add(s);
  auto it = std::upper_bound(lines_.begin(), lines_.end(), s, [](const std::string& a, const std::string& b) {
    return AnsiCompareText(a, b) < 0;
  });
  const int index = static_cast<int>(it - lines_.begin());
  lines_.insert(it, s);
  return index;
}

void TStringList::SetSorted(bool sorted) {
  sorted_ = sorted;
  if (sorted_)
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
}

int AnsiCompareText(const std::string& a, const std::string& b) {
  static const QCollator collator = [] {
    QCollator c;  // the user's locale
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  const QString qa = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
  const QString qb = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
  int r = collator.compare(qa, qb);
  if (r == 0) r = qa.compare(qb, Qt::CaseInsensitive);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool SameText(const std::string& a, const std::string& b) {
  const QString qa = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
  const QString qb = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
  return qa.compare(qb, Qt::CaseInsensitive) == 0;
}

std::string AnsiUpperCase(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUpper().toStdString();
}

}  // namespace forms
