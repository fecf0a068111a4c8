#include "forms/statusbar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <stdexcept>

#include "forms/native.h"
#include "forms/screen_text.h"

namespace forms {

namespace {

// The bar: one sunken label per panel, the last one taking what remains.
class StatusBarWidget : public QWidget {
 public:
  StatusBarWidget() {
    layout_ = new QHBoxLayout(this);  // owned by the widget
    layout_->setContentsMargins(1, 1, 1, 1);
    layout_->setSpacing(2);
    simple_ = AddLabel();
  }
  QLabel* AddLabel() {
    auto* label = new QLabel(this);  // owned by the widget
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setTextFormat(Qt::PlainText);
    layout_->addWidget(label);
    return label;
  }
  QHBoxLayout* layout_;
  QLabel* simple_;
  std::vector<QLabel*> labels;
};

StatusBarWidget* BarOf(const TControl* c) { return static_cast<StatusBarWidget*>(c->NativeWidget()); }

}  // namespace

void TStatusPanel::SetText(const std::string& text) {
  text_ = text;
  bar_.PanelChanged(index_);
}

void TStatusPanel::SetWidth(int w) {
  width_ = w;
  bar_.PanelChanged(index_);
}

TStatusBar::TStatusBar(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  AttachWidget(std::make_unique<StatusBarWidget>());
  NativeWidget()->resize(NativeWidget()->width(), 19);
}

TStatusBar::~TStatusBar() = default;

TStatusPanel& TStatusBar::Panels(int index) {
  if (index < 0 || index >= PanelCount())
    throw std::out_of_range("Index de panneau hors limites (" + std::to_string(index) + ")");
  return *panels_[static_cast<size_t>(index)];
}

TStatusPanel& TStatusBar::AddPanel() {
  StatusBarWidget* bar = BarOf(this);
  bar->simple_->hide();
  panels_.push_back(std::make_unique<TStatusPanel>(*this, PanelCount()));
  bar->labels.push_back(bar->AddLabel());
  PanelChanged(PanelCount() - 1);
  return *panels_.back();
}

void TStatusBar::SetSimpleText(const std::string& text) {
  simpleText_ = text;
  QLabel* label = BarOf(this)->simple_;
  label->setText(detail::FitToRoom(detail::DisplayText(text), label->font(), detail::ScreenRoom(16), detail::Fit::CutLines));
}

void TStatusBar::PanelChanged(int index) {
  StatusBarWidget* bar = BarOf(this);
  if (index < 0 || index >= static_cast<int>(bar->labels.size())) return;
  QLabel* label = bar->labels[static_cast<size_t>(index)];
  const TStatusPanel& panel = *panels_[static_cast<size_t>(index)];
  // A panel shows what a screen line can hold of its text; Text keeps it whole.
  label->setText(
      detail::FitToRoom(detail::DisplayText(panel.Text()), label->font(), detail::ScreenRoom(16), detail::Fit::CutLines));
  // Every panel but the last keeps its width; the last one takes what remains.
  for (size_t i = 0; i < bar->labels.size(); ++i) {
    QLabel* l = bar->labels[i];
    if (i + 1 == bar->labels.size()) {
      l->setMinimumWidth(panels_[i]->Width());
      l->setMaximumWidth(QWIDGETSIZE_MAX);
      bar->layout_->setStretchFactor(l, 1);
    } else {
      l->setFixedWidth(panels_[i]->Width());
      bar->layout_->setStretchFactor(l, 0);
    }
  }
}

}  // namespace forms
