#include "LinkTakingView.h"

#include <utility>

LinkTakingView::LinkTakingView(std::function<void()> onLinkTaken)
    : onLinkTaken_(std::move(onLinkTaken)) {}

TKovaComms* LinkTakingView::CommsLink() {
  onLinkTaken_();
  return window_->CommsLink();
}
