#pragma once
// The image list: small pictures by index, for list rows, menu items and buttons.
#include <memory>
#include <string>

#include "forms/classes.h"
#include "forms/graphics.h"

namespace forms {

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* Owner);
  ~TImageList() override;
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height);
  int Count() const;
  // Adds a picture from a file (scaled to the list's size); returns its index.
  // Throws forms::Exception when the file is not a readable picture.
  int AddFromFile(const std::string& path);
  // Adds a plain picture: a disc of that colour (for lists that need only distinct marks).
  int AddColor(TColor color);
  void Clear();

  // For the forms layer: the picture at `index` as a QIcon, or nullptr when out of range.
  const void* Icon(int index) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int width_ = 16, height_ = 16;
};

}  // namespace forms
