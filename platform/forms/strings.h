#pragma once
// String lists: TStrings (the interface every list of lines or items offers) and
// TStringList (one held in memory). The lines of a memo and the items of a list box or
// combo box are TStrings that read and write the control itself.
#include <functional>
#include <string>
#include <vector>

namespace forms {

class TStrings {
 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;
  virtual ~TStrings() = default;

  virtual int Count() const = 0;
  virtual std::string Strings(int index) const = 0;  // throws std::out_of_range
  virtual void Put(int index, const std::string& s) = 0;
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  // Appends (or, for a sorted list, inserts in order) and returns the new index.
  virtual int Add(const std::string& s);

  std::string operator[](int index) const { return Strings(index); }
  // First index whose text equals s (case-insensitive, as the framework compares), or -1.
  virtual int IndexOf(const std::string& s) const;
  void Assign(const TStrings& other);
  void AddStrings(const std::vector<std::string>& lines);
  std::vector<std::string> ToVector() const;
  // All lines, each followed by CR LF; SetText splits at CR, LF or CR LF.
  std::string Text() const;
  void SetText(const std::string& text);
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  int Count() const override { return static_cast<int>(lines_.size()); }
  std::string Strings(int index) const override;
  void Put(int index, const std::string& s) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;

  // A sorted list keeps its strings in case-insensitive order; Add inserts in place.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);

 private:
  std::vector<std::string> lines_;
  bool sorted_ = false;
};

// Case-insensitive comparison of UTF-8 texts in the user's collation, as the framework's
// AnsiCompareText: <0, 0 or >0.
int AnsiCompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);
// Upper case in the user's locale (AnsiUpperCase).
std::string AnsiUpperCase(const std::string& s);

}  // namespace forms
