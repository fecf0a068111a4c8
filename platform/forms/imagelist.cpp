#include "forms/imagelist.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <vector>

#include "forms/native.h"
#include "forms/sysutils.h"

namespace forms {

struct TImageList::Impl {
  std::vector<QIcon> icons;
};

TImageList::TImageList(TComponent* Owner) : TComponent(Owner), impl_(std::make_unique<Impl>()) {}
TImageList::~TImageList() = default;

void TImageList::SetSize(int width, int height) {
  width_ = width > 0 ? width : 16;
  height_ = height > 0 ? height : 16;
}

int TImageList::Count() const { return static_cast<int>(impl_->icons.size()); }

int TImageList::AddFromFile(const std::string& path) {
  QPixmap p;
  if (!p.load(detail::Q(path))) throw Exception("Impossible de lire l'image " + path);
  impl_->icons.emplace_back(p.scaled(width_, height_, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  return Count() - 1;
}

int TImageList::AddColor(TColor color) {
  QPixmap p(width_, height_);
  p.fill(Qt::transparent);
  {
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(detail::ToQColor(color));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(1, 1, width_ - 2, height_ - 2));
  }
  impl_->icons.emplace_back(p);
  return Count() - 1;
}

void TImageList::Clear() { impl_->icons.clear(); }

const void* TImageList::Icon(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return &impl_->icons[static_cast<size_t>(index)];
}

}  // namespace forms
