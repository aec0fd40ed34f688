#pragma once
// A dialog view with no window: the model is the dialog. Showing returns at once; hiding
// and message boxes are handed to the host, which prints them and answers OK.
#include <functional>

#include "ports/dialog_view.h"

namespace velmora::script {

class HeadlessView : public UnseenView {
 public:
  struct Events {
    std::function<void()> hidden;
    std::function<void(std::u16string_view title, std::u16string_view text, MessageIcon icon)> messageBox;
  };
  explicit HeadlessView(Events events) : events_(std::move(events)) {}

  void Hide() override {
    if (events_.hidden) events_.hidden();
  }
  void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) override {
    if (events_.messageBox) events_.messageBox(title, text, icon);
  }

 private:
  Events events_;
};

}  // namespace velmora::script
